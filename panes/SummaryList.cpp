#include "panes/SummaryList.h"

#include <QAction>
#include <QMenu>

#include "analyzers/KQAnalyzer.h"
#include "panes/PopupMenus.h"

namespace {

int ExecMenu(QMenu* menu, const QPoint& pos) {
    QAction* chosen = menu->exec(pos);
    return chosen ? chosen->data().toInt() : 0;
}

}  // namespace

CSummaryList::CSummaryList(int controlID, QWidget* parent, CWnd* owner)
    : COwnerDrawList(controlID, parent), m_trackMenu(ExecMenu), m_owner(owner) {
    connect(this, &COwnerDrawList::RowStateChanged, this, &CSummaryList::OnRowState);
    connect(this, &COwnerDrawList::RightButtonUp, this, &CSummaryList::OnRightClick);
    connect(this, &COwnerDrawList::RowDoubleClicked, this,
            [this](int row, const QPoint&) { OnDoubleClick(row); });
}

void CSummaryList::Clear() {
    m_notify = false;
    m_menuFlag = false;
    m_lastClicked = -1;
    DeleteAllRows();
    m_items.clear();
}

int CSummaryList::AppendItem(const CDetailItem& item, std::vector<std::string> cells, int image) {
    m_items.push_back(item);
    return AppendRow(std::move(cells), image, static_cast<int32_t>(m_items.size() - 1));
}

void CSummaryList::AppendFillerRows() {
    if (RowCount() < RowsPerPage() - 1) return;
    for (int i = 0; i < 2; ++i) AppendRow({}, -1, kFiller);
}

void CSummaryList::SortBySortKey() {
    SortRows([this](int a, int b) {
        const CDetailItem* ia = ItemOfRow(a);
        const CDetailItem* ib = ItemOfRow(b);
        if (!ia || !ib) return ia && !ib;
        return ia->m_sortKey > ib->m_sortKey;
    });
}

const CDetailItem* CSummaryList::ItemOfRow(int row) const {
    if (row < 0 || row >= RowCount()) return nullptr;
    const int32_t data = GetItemData(row);
    if (data < 0 || size_t(data) >= m_items.size()) return nullptr;
    return &m_items[size_t(data)];
}

void CSummaryList::OnRowState(int row, bool selected, bool focused) {
    if (!m_notify) return;
    if (GetItemData(row) == kFiller) {
        if (selected) SelectRow(row, false);
        return;
    }
    // Only a row that became selected and has the focus: a row merely deselected (the
    // other list took over) describes nothing.
    const CDetailItem* item = ItemOfRow(row);
    if (!item || !selected || !focused) return;
    m_lastClicked = row;
    if (m_owner)
        m_owner->SendMessage(UM_ITEMACTION, IA_SUMMARY_DESCRIBE, reinterpret_cast<intptr_t>(item));
}

bool CSummaryList::AcceptsMenu(int row) const {
    if (!m_menuFlag || m_tellMeMoreCode == 0 || m_menuShowing) return false;
    const CDetailItem* item = ItemOfRow(row);
    return item && item->m_kqaid != 0;
}

void CSummaryList::OnRightClick(int row, const QPoint& globalPos) {
    if (!AcceptsMenu(row)) return;
    m_lastClicked = row;
    if (!m_menu) m_menu = LoadPopupMenu(POPUP_SUMMARY, this);
    m_menuShowing = true;
    const int command = m_trackMenu(m_menu, globalPos);
    m_menuShowing = false;
    if (command == ID_TELL_ME_MORE) OnTellMeMore();
}

void CSummaryList::OnDoubleClick(int row) {
    if (!AcceptsMenu(row)) return;
    m_lastClicked = row;
    OnTellMeMore();
}

void CSummaryList::OnTellMeMore() {
    const CDetailItem* item = ItemOfRow(m_lastClicked);
    if (!item || !m_owner) return;
    m_owner->SendMessage(UM_ITEMACTION, uintptr_t(m_tellMeMoreCode),
                         reinterpret_cast<intptr_t>(item));
}
