// Pane 1: highlights (top left), ranked tips (bottom left), the summary panel (top right) and
// the description of the last item clicked (bottom right).
#pragma once

#include <QPixmap>
#include <QPointer>
#include <string>
#include <vector>

#include "document/PaneSources.h"
#include "panes/Pane.h"
#include "panes/RightPane.h"
#include "panes/SummaryList.h"
#include "panes/SummaryPanel.h"

class CSummaryPane : public CPane {
public:
    enum { kHighlightsID = 10, kTipsID = 11, kDescriptionID = 12 };

    explicit CSummaryPane(ISystemSource& source) : m_source(source) {}
    ~CSummaryPane() override;

    // Out of date when this machine's tree was rebuilt or a record's properties were edited.
    void OnDocumentEvent(const DocumentEvent& event) override;

    void DescribeAttr(KQAID id, const CAttr& attr) override;
    void DescribeTip(KQAID id, const CTip& tip) override;
    const CDetailItem* CurrentItem() const override { return m_currentItem; }
    // The item a description is about to be shown for (the view's item action 1).
    void SetCurrentItem(const CDetailItem* item) { m_currentItem = item; }

    // Printing reads the list that has the keyboard focus, the highlights when neither has.
    ITableText* TableText() override;
    QString PrintTitle() const override;
    // Demo mode: selects and focuses the tip row after the focused one, wrapping past the last
    // real tip; false when there is no tip.
    bool SelectNextTip();

    CSummaryList* Highlights() const { return m_highlights; }
    CSummaryList* Tips() const { return m_tips; }
    CRightPane* Description() const { return m_description; }
    CSummaryPanel* Panel() const { return m_panel; }

    // Path and analyzer ID of an entry below a parent with (path, id).
    static void EntryPath(const CKQTreeEntry& entry, std::string& path, KQAID& id);
    // Priority icon: 3 high, 2 medium, 1 low, past the last image for 0 and below.
    static int TipIcon(int32_t priority);

protected:
    void CreateWindows() override;
    void OnResize() override;
    void OnShow(bool show) override;
    void OnRefresh() override;

private:
    struct Quarters {
        QRect highlights, tips, description, panel;
    };
    Quarters Layout() const;
    void CreatePanel(const QRect& rect);
    void Fill();
    void FillHighlights(CKQTree* tree, const std::string& path, KQAID id, int& widest);
    void FillTips(CKQTree* tree, const std::string& path, KQAID id);

    ISystemSource& m_source;
    QPointer<CSummaryList> m_highlights;
    std::vector<QPixmap> m_images;
    QPointer<CSummaryList> m_tips;
    QPointer<CRightPane> m_description;
    QPointer<CSummaryPanel> m_panel;
    const CDetailItem* m_currentItem = nullptr;
};
