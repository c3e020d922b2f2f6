#include "panes/DatabaseList.h"

#include <QAction>
#include <QHeaderView>
#include <QLocale>
#include <QMenu>
#include <QTreeView>
#include <algorithm>

#include "analyzers/KQAnalyzer.h"
#include "document/FrameServices.h"
#include "document/PaneSources.h"
#include "panes/PopupMenus.h"
#include "resources/Strings.h"

namespace {

int ExecMenu(QMenu* menu, const QPoint& pos) {
    QAction* chosen = menu->exec(pos);
    return chosen ? chosen->data().toInt() : 0;
}

}  // namespace

CDatabaseList::CDatabaseList(QWidget* parent, CWnd* owner, IFrameServices& frame,
                             std::function<int(int32_t)> recordOrder)
    : COwnerDrawList(16, parent),
      m_trackMenu(ExecMenu),
      m_owner(owner),
      m_frame(frame),
      m_recordOrder(std::move(recordOrder)) {
    SetMultipleSelection(true);
    SetRightPressSelects(false);  // the right button acts on release only
    // The sorted column shows its direction.
    QHeaderView* header = View()->header();
    header->setSortIndicatorShown(true);
    ShowSortIndicator();
    connect(this, &COwnerDrawList::RowStateChanged, this, &CDatabaseList::OnRowState);
    connect(this, &COwnerDrawList::RightButtonUp, this, &CDatabaseList::OnRightButtonUp);
    connect(this, &COwnerDrawList::HeaderClicked, this, &CDatabaseList::OnHeaderClick);
}

void CDatabaseList::SetColumnFlags(std::vector<uint8_t> numeric) {
    m_numeric = std::move(numeric);
    m_sortState.assign(m_numeric.size(), 0);
    m_lastSorted = 0;
    ShowSortIndicator();
}

void CDatabaseList::ShowSortIndicator() {
    const int state = SortState(m_lastSorted);
    QHeaderView* header = View()->header();
    if (m_lastSorted == 0 && state == 0)
        header->setSortIndicator(-1, Qt::AscendingOrder);
    else
        header->setSortIndicator(m_lastSorted,
                                 state == 1 ? Qt::AscendingOrder : Qt::DescendingOrder);
}

QString CDatabaseList::PrintCaption() const {
    int systems = 0, selected = 0;
    for (int row = 0; row < RowCount(); ++row) {
        if (GetItemData(row) == 0) continue;  // filler rows stand for no record
        ++systems;
        if (IsRowSelected(row)) ++selected;
    }
    const QLocale english(QLocale::English);  // "2,008", as the program writes numbers
    return QString::fromStdString(FormatKQString(IDS_DATABASE_PRINT_CAPTION,
                                                 english.toString(selected).toStdString(),
                                                 english.toString(systems).toStdString()));
}

int CDatabaseList::SortState(int column) const {
    return column >= 0 && size_t(column) < m_sortState.size() ? m_sortState[size_t(column)] : 0;
}

int CDatabaseList::Query(int32_t key) const {
    return m_owner ? int(m_owner->SendMessage(UM_QUERYRECORD, 0, key)) : 0;
}

void CDatabaseList::SelChange() {
    if (m_owner) m_owner->SendMessage(UM_SELCHANGE, 0, 0);
}

// ---- row state ----

void CDatabaseList::OnRowState(int row, bool selected, bool focused) {
    if (GetItemData(row) == 0) {
        if (selected) SelectRow(row, false);  // filler rows stand for no record
        return;
    }
    SetItemImage(row, selected ? 1 : 0);
    SelChange();
    if (focused) m_contextRow = row;
}

void CDatabaseList::RemoveRecordRow(int32_t key) {
    const int row = key != 0 ? FindRow(key) : -1;
    if (row < 0) return;
    const bool selected = IsRowSelected(row);
    DeleteRow(row);
    if (m_contextRow == row)
        m_contextRow = -1;
    else if (m_contextRow > row)
        --m_contextRow;
    if (selected) SelChange();
}

std::vector<int32_t> CDatabaseList::SelectedKeys() const {
    std::vector<int32_t> keys;
    for (int row : SelectedRows())
        if (GetItemData(row) != 0) keys.push_back(GetItemData(row));
    return keys;
}

// ---- context menu ----

QMenu* CDatabaseList::PrepareMenu() {
    if (!m_menu) m_menu = LoadPopupMenu(POPUP_DB, this);
    const int selected = SelectedCount();
    const bool rowSelected = IsRowSelected(m_contextRow);
    auto enable = [this](int id, bool on) {
        if (QAction* a = FindMenuCommand(m_menu, id)) a->setEnabled(on);
    };
    enable(ID_DB_DESELECT_ALL, selected > 0);
    enable(ID_DB_EXPORT_SELECTED, selected > 0);
    enable(ID_DB_SELECT, !rowSelected);
    enable(ID_DB_DESELECT, rowSelected);
    bool onlyRunningSystem = false;
    if (selected == 1) onlyRunningSystem = Query(GetItemData(SelectedRows().front())) == 2;
    // Another team database user's records are theirs to change.
    bool onlyOthers = selected > 0;
    for (int row : SelectedRows()) onlyOthers = onlyOthers && Query(GetItemData(row)) == 3;
    enable(ID_DB_DELETE_SELECTED, !onlyRunningSystem && !onlyOthers);
    enable(ID_DB_PROPERTIES, Query(GetItemData(m_contextRow)) != 3);
    return m_menu;
}

void CDatabaseList::OnRightButtonUp(int row, const QPoint& globalPos) {
    if (row < 0) return;
    m_contextRow = row;
    if (m_menuShowing) return;
    if (!IsRowSelected(row)) SelectRow(row, true);
    if (GetItemData(row) == 0) return;
    QMenu* menu = PrepareMenu();
    m_menuShowing = true;
    const int command = m_trackMenu(menu, globalPos);
    m_menuShowing = false;
    if (command != 0) OnCommand(command);
}

bool CDatabaseList::OnCommand(int id) {
    switch (id) {
        case ID_DB_SELECT:
            if (m_contextRow < 0) return true;
            SelectRow(m_contextRow, true);
            View()->viewport()->update();
            SelChange();
            return true;
        case ID_DB_DESELECT:
            if (m_contextRow < 0) return true;
            SelectRow(m_contextRow, false);
            View()->viewport()->update();
            SelChange();
            return true;
        case ID_DB_DESELECT_ALL:
            if (SelectedCount() > 0) {
                DeselectAll();
                SelChange();
            }
            return true;
        case ID_DB_EXPORT: {
            const int32_t key = GetItemData(m_contextRow);
            if (m_contextRow < 0 || key == 0) return true;
            std::vector<int32_t> keys{key};
            if (m_owner)
                m_owner->SendMessage(UM_EXPORTRECORD, 0, reinterpret_cast<intptr_t>(&keys));
            return true;
        }
        case ID_DB_EXPORT_SELECTED: {
            std::vector<int32_t> keys = SelectedKeys();
            if (!keys.empty() && m_owner)
                m_owner->SendMessage(UM_EXPORTRECORD, 0, reinterpret_cast<intptr_t>(&keys));
            return true;
        }
        case ID_DB_DELETE_SELECTED:
            DeleteAllSelected();
            return true;
        case ID_DB_PROPERTIES:
            if (m_contextRow >= 0 && m_owner)
                m_owner->SendMessage(UM_RECORDPROPS, 0, GetItemData(m_contextRow));
            return true;
        default:
            return false;
    }
}

void CDatabaseList::DeleteAllSelected() {
    // The running system's own record is never deleted: it leaves the selection for the pass.
    int32_t kept = 0;
    for (int row : SelectedRows()) {
        if (Query(GetItemData(row)) == 2) {
            kept = GetItemData(row);
            SelectRow(row, false);
            break;
        }
    }
    auto reselect = [&] {
        if (kept != 0) SelectRow(FindRow(kept), true);
    };
    const int n = SelectedCount();
    const std::string prompt =
        n < 2 ? LoadKQString(IDS_CONFIRM_DELETE_ONE)
              : FormatKQString(IDS_CONFIRM_DELETE_MANY, KQFormat("%u", unsigned(n)));
    if (m_frame.MessageBox(prompt, LoadKQString(IDS_APP_TITLE), MsgIcon::Question,
                           MsgButtons::OkCancel) != IDOK) {
        reselect();
        return;
    }
    m_frame.BeginWaitCursor();
    for (int row = 0; row < RowCount();) {
        const int32_t key = GetItemData(row);
        if (IsRowSelected(row) && Query(key) == 1) {
            // A non-zero answer refuses the delete (a test run): the rows stay.
            if (m_owner && m_owner->SendMessage(UM_DELETERECORD, 0, key) != 0) break;
            // The next row moves into its place (the pane may have taken it away already).
            if (row < RowCount() && GetItemData(row) == key) DeleteRow(row);
            continue;
        }
        ++row;
    }
    m_frame.EndWaitCursor();
    SelChange();
    reselect();
    m_contextRow = -1;
}

// ---- sorting ----

void CDatabaseList::OnHeaderClick(int column) {
    if (column < 0 || size_t(column) >= m_sortState.size()) return;
    uint8_t& state = m_sortState[size_t(column)];
    state = column == 0 ? uint8_t((state + 1) % 3) : uint8_t(state == 0 ? 1 : 0);
    m_lastSorted = column;
    Sort();
    ShowSortIndicator();
}

void CDatabaseList::Sort() {
    const int k = m_lastSorted;
    const int state = SortState(k);
    const int n = RowCount();
    // Keys worked out once per row, not once per comparison.
    std::vector<uint8_t> filler(static_cast<size_t>(n));
    for (int r = 0; r < n; ++r) filler[size_t(r)] = GetItemData(r) == 0;
    auto fillerLast = [&](int a, int b, auto&& less) {
        if (filler[size_t(a)] || filler[size_t(b)]) return !filler[size_t(a)] && filler[size_t(b)];
        return less(a, b);
    };
    if (k == 0 && state == 0) {
        std::vector<int> order(static_cast<size_t>(n));
        for (int r = 0; r < n; ++r)
            order[size_t(r)] = m_recordOrder ? m_recordOrder(GetItemData(r)) : r;
        SortRows([&](int a, int b) {
            return fillerLast(a, b,
                              [&](int x, int y) { return order[size_t(x)] < order[size_t(y)]; });
        });
        return;
    }
    const bool ascending = state == 1;
    if (size_t(k) < m_numeric.size() && m_numeric[size_t(k)]) {
        std::vector<double> value(static_cast<size_t>(n));
        for (int r = 0; r < n; ++r) value[size_t(r)] = LeadingNumber(GetCellText(r, k));
        SortRows([&](int a, int b) {
            return fillerLast(a, b, [&](int x, int y) {
                return ascending ? value[size_t(x)] < value[size_t(y)]
                                 : value[size_t(y)] < value[size_t(x)];
            });
        });
        return;
    }
    SortRows([&](int a, int b) {
        return fillerLast(a, b, [&](int x, int y) {
            // std::string compares as unsigned bytes.
            return ascending ? GetCellText(x, k) < GetCellText(y, k)
                             : GetCellText(y, k) < GetCellText(x, k);
        });
    });
}
