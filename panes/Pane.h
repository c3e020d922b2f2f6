// Common base of the main view's panes: each lays itself out below the tab strip, hears the
// document's changes for itself (marking itself out of date on those it cares about), and
// rebuilds only when shown while it is out of date.
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QString>
#include <cstdint>
#include <vector>

#include "analyzers/KQAnalyzer.h"
#include "document/DocumentEvents.h"
#include "panes/PaneView.h"

class CDetailItem;
class QPainter;
class QWidget;
class ITableText;
class IPaneCommands;
class IFrameServices;

class CPane : public IDocumentObserver {
public:
    CPane() = default;
    ~CPane() override;  // leaves the document's channel
    CPane(const CPane&) = delete;
    CPane& operator=(const CPane&) = delete;

    // Stores view, tab strip rectangle and font, takes the view's text metrics, creates the
    // pane's child windows, then subscribes to the document's changes.
    void Create(IPaneView* view, const QRect& tabRect, const QFont* font);
    // A new tab strip rectangle (the view was resized).
    void Resize(const QRect& tabRect);
    void Show(bool show);
    void Refresh();
    // Paints the pane's own static parts on the view's surface.
    void Draw(QPainter& painter);

    bool IsCreated() const { return m_view != nullptr; }
    const QRect& TabRect() const { return m_tabRect; }

    // Description box of the panes that have one (Summary, Details); the others ignore it.
    virtual void DescribeAttr(KQAID /*id*/, const CAttr& /*attr*/) {}
    virtual void DescribeTip(KQAID /*id*/, const CTip& /*tip*/) {}
    // The item last described (Summary) or selected (Details); null when none.
    virtual const CDetailItem* CurrentItem() const { return nullptr; }

    // The list that Print and Copy work on while this pane is current (null: none), and the
    // title printed over it.
    virtual ITableText* TableText() { return nullptr; }
    virtual QString PrintTitle() const { return QString(); }

    // The document's changes; each pane overrides it for those it cares about.
    void OnDocumentEvent(const DocumentEvent& /*event*/) override {}

    int32_t m_upToDate = 0;

protected:
    virtual void CreateWindows() {}
    virtual void OnResize() {}
    virtual void OnShow(bool /*show*/) {}
    virtual void OnRefresh() { OnShow(true); }
    virtual void OnDraw(QPainter& /*painter*/) {}

    // This machine's tree was built again (a run, tips, properties) or the database file was
    // read late: what a pane shows of them is out of date.
    static bool TreeRebuilt(DocEvent kind);

    // The pane's area: the view's client rectangle from the tab strip's bottom down.
    QRect PaneRect() const;
    QWidget* ViewWidget() const;
    // The view as the address of the private messages and as the runner of commands.
    CWnd* Owner() const;
    IPaneCommands* Commands() const;
    // Status bar, wait cursor and message boxes.
    IFrameServices& Frame() const;

    IPaneView* m_view = nullptr;
    IDocumentEvents* m_events = nullptr;
    QRect m_tabRect;
    const QFont* m_font = nullptr;
    int m_textHeight = 0;
    int m_aveCharWidth = 0;
};

// The Database pane's share that the view relies on before the pane's list exists:
// the ordered selection of record keys that the Charts and Reports panes compare.
class CSelectionPane : public CPane {
public:
    void AddToSelection(int32_t key) { m_selection.push_back(key); }
    const std::vector<int32_t>& GetSelection() const { return m_selection; }

    std::vector<int32_t> m_selection;
};
