#include "panes/ReportList.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <algorithm>

namespace {

// Fixed rows: the text height + 1, at least 17 pixels.
class CFixedRowDelegate : public QStyledItemDelegate {
public:
    CFixedRowDelegate(const CReportList* list) : QStyledItemDelegate(nullptr), m_list(list) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(m_list->RowHeight());
        return size;
    }

private:
    const CReportList* m_list;
};

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

void CReportTableModel::SetTable(CReportTable table) {
    beginResetModel();
    m_table = std::move(table);
    endResetModel();
}

int CReportTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_table.RowCount();
}

int CReportTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_table.ColumnCount();
}

QVariant CReportTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_table.RowCount()) return {};
    const auto& row = m_table.m_cells[size_t(index.row())];
    if (size_t(index.column()) >= row.size()) return {};
    if (role == Qt::DisplayRole) return Q(row[size_t(index.column())]);
    if (role == Qt::UserRole && index.column() == 0) return m_table.m_itemData[size_t(index.row())];
    return {};
}

QVariant CReportTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= m_table.ColumnCount())
        return {};
    return Q(m_table.m_headers[size_t(section)]);
}

CReportList::CReportList(QWidget* parent) : QTreeView(parent), m_model(this) {
    setModel(&m_model);
    setItemDelegate(new CFixedRowDelegate(this));
    itemDelegate()->setParent(this);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    header()->setSectionsClickable(false);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
}

int CReportList::RowHeight() const { return std::max(17, fontMetrics().height() + 1); }

int CReportList::VisibleRows() const {
    // From the widget's own height: a hidden list's viewport is not laid out yet.
    const int area = height() - 2 * frameWidth() - header()->sizeHint().height() -
                     horizontalScrollBar()->sizeHint().height();
    return std::max(0, area / RowHeight());
}

void CReportList::SetTable(CReportTable table) {
    std::vector<int> widths = table.m_widths;
    m_model.SetTable(std::move(table));
    // The delegate draws the text inside a margin on either side, and its text layout may
    // come out a pixel or two wider than the integer advance the width was measured with.
    const int margin =
        2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) + 4;
    for (size_t c = 0; c < widths.size(); ++c) setColumnWidth(int(c), widths[c] + margin);
}

QString CReportList::HeaderText(int column) const {
    return m_model.headerData(column, Qt::Horizontal).toString();
}

QString CReportList::CellText(int row, int column) const {
    return m_model.data(m_model.index(row, column)).toString();
}

bool CReportList::IsRowSelected(int row) const {
    return selectionModel() && selectionModel()->isRowSelected(row, QModelIndex());
}
