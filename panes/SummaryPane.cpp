#include "panes/SummaryPane.h"

#include <QTreeView>

#include "panes/Bitmaps.h"
#include "panes/QtText.h"
#include "resources/Strings.h"

namespace {

constexpr int kImageCount = 7;

}  // namespace

CSummaryPane::~CSummaryPane() {
    delete m_highlights.data();
    delete m_tips.data();
    delete m_description.data();
    delete m_panel.data();
}

CSummaryPane::Quarters CSummaryPane::Layout() const {
    const QRect r = PaneRect();
    const int mx = r.left() + r.width() / 2;
    const int my = r.top() + r.height() / 2;
    const int right = r.left() + r.width(), bottom = r.top() + r.height();
    return {QRect(r.left(), r.top(), mx - r.left(), my - r.top()),
            QRect(r.left(), my, mx - r.left(), bottom - my), QRect(mx, my, right - mx, bottom - my),
            QRect(mx, r.top(), right - mx, my - r.top())};
}

void CSummaryPane::CreateWindows() {
    const Quarters q = Layout();
    QWidget* parent = ViewWidget();

    m_highlights = new CSummaryList(kHighlightsID, parent, Owner());
    m_highlights->SetCaption(KQText(IDS_HIGHLIGHTS_CAPTION));
    m_highlights->SetHeaderVisible(false);
    m_highlights->SetScrollBarAlwaysOn(true);
    m_highlights->InsertColumn(0, KQText(IDS_COLUMN_ITEM), 10 * m_aveCharWidth);
    m_highlights->InsertColumn(1, KQText(IDS_COLUMN_VALUE), 10 * m_aveCharWidth);
    m_highlights->SetTellMeMoreCode(IA_SUMMARY_BOX);
    m_highlights->SetRect(q.highlights);
    m_highlights->hide();

    m_images = SplitImageStrip(LoadKQBitmapMasked(IDB_ITEM_IMAGES), kImageCount);

    m_tips = new CSummaryList(kTipsID, parent, Owner());
    m_tips->SetCaption(KQText(IDS_TIPS_CAPTION));
    m_tips->SetHeaderVisible(false);
    m_tips->SetScrollBarAlwaysOn(true);
    m_tips->SetRect(q.tips);
    m_tips->InsertColumn(0, QString(), m_tips->ClientWidth());
    m_tips->SetImageList(m_images);
    m_tips->SetTellMeMoreCode(IA_SUMMARY_BOX);
    m_tips->hide();

    m_description = new CRightPane(Owner());
    m_description->Create(q.description, parent, kDescriptionID, true, false);
    m_description->setWindowTitle(KQText(IDS_DESCRIPTION));
    m_description->SetTellMeMoreCode(IA_SUMMARY_BOX);

    CreatePanel(q.panel);
    m_upToDate = 0;
    m_currentItem = nullptr;
}

void CSummaryPane::CreatePanel(const QRect& rect) {
    delete m_panel.data();
    m_panel = new CSummaryPanel(Commands(), m_source.HasBrowser(), rect, ViewWidget());
    m_panel->hide();
}

void CSummaryPane::OnResize() {
    const Quarters q = Layout();
    // The columns fill the lists' new width, or a selected row is highlighted only as far
    // as the old one.
    if (m_highlights) {
        m_highlights->SetRect(q.highlights);
        const int itemWidth = m_highlights->GetColumnWidth(0);
        m_highlights->SetColumnWidth(1, std::max(0, m_highlights->ClientWidth() - itemWidth));
    }
    if (m_tips) {
        m_tips->SetRect(q.tips);
        m_tips->SetColumnWidth(0, m_tips->ClientWidth());
    }
    if (m_description) m_description->setGeometry(q.description);
    // The logo is laid out for the panel's size: a new panel.
    const bool visible = m_panel && m_panel->isVisible();
    CreatePanel(q.panel);
    if (visible) m_panel->show();
}

void CSummaryPane::OnDocumentEvent(const DocumentEvent& event) {
    if (TreeRebuilt(event.kind) || event.kind == DocEvent::RecordChanged) m_upToDate = 0;
}

void CSummaryPane::OnShow(bool show) {
    if (show && !m_upToDate) Fill();
    for (QWidget* w : {static_cast<QWidget*>(m_highlights.data()),
                       static_cast<QWidget*>(m_tips.data()), static_cast<QWidget*>(m_panel.data())})
        if (w) {
            w->setVisible(show);
            if (show) w->update();
        }
    if (m_description) {
        m_description->Show(show);
        if (show) m_description->update();
    }
}

void CSummaryPane::OnRefresh() {
    if (m_highlights) m_highlights->hide();
    if (m_tips) m_tips->hide();
    if (m_description) m_description->Show(false);
    Fill();
    OnShow(true);
}

// ---- describing ----

ITableText* CSummaryPane::TableText() {
    if (m_tips && m_tips->View()->hasFocus()) return m_tips;
    return m_highlights;
}

QString CSummaryPane::PrintTitle() const { return KQText(IDS_APP_TITLE); }

bool CSummaryPane::SelectNextTip() {
    if (!m_tips) return false;
    // Filler rows close the list; they are no tips.
    int count = 0;
    while (count < m_tips->RowCount() && m_tips->ItemOfRow(count)) ++count;
    if (count == 0) return false;
    const int next = (m_tips->FocusRow() + 1) % count;
    m_tips->DeselectAll();
    m_tips->SelectRow(next, true);
    m_tips->SetFocusRow(next);
    return true;
}

void CSummaryPane::DescribeAttr(KQAID id, const CAttr& attr) {
    if (!m_description) return;
    CAttr copy = attr;
    std::string text;
    m_source.AttrDesc(id, &copy, text);
    m_description->SetText(text);
    m_description->repaint();
    if (m_tips) m_tips->DeselectAll();
}

void CSummaryPane::DescribeTip(KQAID id, const CTip& tip) {
    if (!m_description) return;
    CTip copy = tip;
    std::string text;
    m_source.TipDesc(id, &copy, text);
    m_description->SetText(text);
    m_description->repaint();
    if (m_highlights) m_highlights->DeselectAll();
}

// ---- fill ----

void CSummaryPane::EntryPath(const CKQTreeEntry& entry, std::string& path, KQAID& id) {
    if (entry.m_kqaid != 0) {
        id = entry.m_kqaid;
        return;
    }
    path = path.empty() ? entry.m_key : path + "~" + entry.m_key;
}

int CSummaryPane::TipIcon(int32_t priority) {
    if (priority >= 80) return 3;
    if (priority >= 50) return 2;
    if (priority >= 1) return 1;
    return kImageCount;  // one past the last image: none drawn
}

void CSummaryPane::FillHighlights(CKQTree* tree, const std::string& parentPath, KQAID parentID,
                                  int& widest) {
    if (!tree) return;
    for (CKQTreeEntry* entry : *tree) {
        std::string path = parentPath;
        KQAID id = parentID;
        EntryPath(*entry, path, id);
        for (int i = 0; i < entry->GetAttrCount(); ++i) {
            const CAttr& attr = *entry->GetAttr(i);
            if ((attr.m_data & DATA_HIGHLIGHT) == 0) continue;
            const std::string name =
                ReplaceSepIDs(path.empty() ? attr.m_id : path + "~" + attr.m_id, ' ');
            widest = std::max(widest, m_highlights->TextWidth(name));
            m_highlights->AppendItem(CDetailItem(entry, id, DETAIL_ATTR, i, 0),
                                     {name, attr.m_value}, -1);
        }
        FillHighlights(entry->GetSubtree(), path, id, widest);
    }
}

void CSummaryPane::FillTips(CKQTree* tree, const std::string& parentPath, KQAID parentID) {
    if (!tree) return;
    for (CKQTreeEntry* entry : *tree) {
        std::string path = parentPath;
        KQAID id = parentID;
        EntryPath(*entry, path, id);
        const std::string label =
            path.empty() ? std::string() : " (" + ReplaceSepIDs(path, ' ') + ")";
        for (int i = 0; i < entry->GetTipCount(); ++i) {
            CTip tip = *entry->GetTip(i);
            std::string text;
            m_source.TipText(id, &tip, text);
            m_tips->AppendItem(CDetailItem(entry, id, DETAIL_TIP, i, tip.m_priority),
                               {text + label}, TipIcon(tip.m_priority));
        }
        FillTips(entry->GetSubtree(), path, id);
    }
}

void CSummaryPane::Fill() {
    if (!m_highlights || !m_tips) return;
    m_currentItem = nullptr;  // it pointed into the arrays emptied now

    m_highlights->Clear();
    int widest = 0;
    FillHighlights(&m_source.CurrentTree(), std::string(), 0, widest);
    m_highlights->EnableNotify(true);
    m_highlights->EnableMenu(true);
    const int itemWidth = std::min(widest + m_aveCharWidth, 30 * m_aveCharWidth);
    m_highlights->SetColumnWidth(0, itemWidth);
    m_highlights->SetColumnWidth(1, std::max(0, m_highlights->ClientWidth() - itemWidth));
    m_highlights->AppendFillerRows();

    m_tips->Clear();
    FillTips(&m_source.CurrentTree(), std::string(), 0);
    m_tips->SortBySortKey();
    m_tips->SetColumnWidth(0, m_tips->ClientWidth());
    m_tips->EnableNotify(true);
    m_tips->EnableMenu(true);
    m_tips->SelectRow(0, true);
    m_tips->AppendFillerRows();
    m_upToDate = 1;
}
