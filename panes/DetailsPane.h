// Pane 5: the details tree on the left half, the description of its item on the right.
#pragma once

#include <QPointer>

#include "document/PaneSources.h"
#include "panes/MyTreeCtrl.h"
#include "panes/Pane.h"
#include "panes/RightPane.h"

class CDetailsPane : public CPane {
public:
    enum { kTreeID = 22, kRightPaneID = 23 };

    explicit CDetailsPane(ISystemSource& source) : m_source(source) {}
    ~CDetailsPane() override;

    // Out of date when this machine's tree was rebuilt or a record's properties were edited.
    void OnDocumentEvent(const DocumentEvent& event) override;

    void DescribeAttr(KQAID id, const CAttr& attr) override;
    void DescribeTip(KQAID id, const CTip& tip) override;
    const CDetailItem* CurrentItem() const override;

    CMyTreeCtrl* Tree() const { return m_tree; }
    CRightPane* RightPane() const { return m_rightPane; }
    int Middle() const;

protected:
    void CreateWindows() override;
    void OnResize() override;
    void OnShow(bool show) override;
    void OnDraw(QPainter& painter) override;

private:
    void DestroyWindows();

    ISystemSource& m_source;

    QPointer<CMyTreeCtrl> m_tree;
    QPointer<CRightPane> m_rightPane;
};
