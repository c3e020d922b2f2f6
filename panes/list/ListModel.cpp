#include "panes/list/ListModel.h"

#include <algorithm>
#include <numeric>

#include "panes/QtText.h"

namespace {

const std::string kEmpty;

}  // namespace

CListModel::CListModel(QObject* parent) : QAbstractTableModel(parent) {}

int CListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_announced;
}

int CListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount();
}

QVariant CListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_announced) return {};
    const CListRow& row = m_rows[size_t(index.row())];
    switch (role) {
        case Qt::DisplayRole:
            return Q(Cell(index.row(), index.column()));
        case ImageRole:
            return row.m_image;
        case ItemDataRole:
            return row.m_data;
        case SelectedRole:
            return row.m_selected;
        default:
            return {};
    }
}

QVariant CListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    // The tool tip holds the whole title of a header that its column cuts.
    if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    if (section < 0 || section >= ColumnCount()) return {};
    return Q(m_headers[size_t(section)]);
}

void CListModel::InsertColumn(int column, const std::string& header) {
    column = std::clamp(column, 0, ColumnCount());
    Flush();
    beginInsertColumns(QModelIndex(), column, column);
    m_headers.insert(m_headers.begin() + column, header);
    for (CListRow& row : m_rows)
        if (int(row.m_cells.size()) > column)
            row.m_cells.insert(row.m_cells.begin() + column, std::string());
    endInsertColumns();
}

void CListModel::SetHeaderText(int column, const std::string& header) {
    if (column < 0 || column >= ColumnCount()) return;
    m_headers[size_t(column)] = header;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

const std::string& CListModel::HeaderText(int column) const {
    if (column < 0 || column >= ColumnCount()) return kEmpty;
    return m_headers[size_t(column)];
}

int CListModel::AppendRow(std::vector<std::string> cells, int image, int32_t data, bool deferred) {
    const int row = RowCount();
    if (!deferred) Flush();
    m_rows.push_back({std::move(cells), data, image, false});
    if (m_mapValid) m_rowOfData.emplace(data, row);
    if (!deferred) {
        beginInsertRows(QModelIndex(), row, row);
        m_announced = RowCount();
        endInsertRows();
    }
    return row;
}

int CListModel::InsertRow(int row, std::vector<std::string> cells, int image, int32_t data) {
    Flush();
    row = std::clamp(row, 0, RowCount());
    if (row == RowCount()) return AppendRow(std::move(cells), image, data);
    beginInsertRows(QModelIndex(), row, row);
    m_rows.insert(m_rows.begin() + row, CListRow{std::move(cells), data, image, false});
    m_announced = RowCount();
    InvalidateMap();
    endInsertRows();
    return row;
}

void CListModel::RemoveRow(int row) {
    Flush();
    if (row < 0 || row >= RowCount()) return;
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.erase(m_rows.begin() + row);
    m_announced = RowCount();
    InvalidateMap();
    endRemoveRows();
}

void CListModel::RemoveAllColumns() {
    beginResetModel();
    m_headers.clear();
    m_rows.clear();
    m_announced = 0;
    m_rowOfData.clear();
    m_mapValid = true;
    endResetModel();
}

void CListModel::RemoveAllRows() {
    beginResetModel();
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_announced = 0;
    m_rowOfData.clear();
    m_mapValid = true;
    endResetModel();
}

void CListModel::Flush() {
    if (!HasPending()) return;
    beginInsertRows(QModelIndex(), m_announced, RowCount() - 1);
    m_announced = RowCount();
    endInsertRows();
}

const std::string& CListModel::Cell(int row, int column) const {
    if (row < 0 || row >= RowCount() || column < 0) return kEmpty;
    const auto& cells = m_rows[size_t(row)].m_cells;
    return size_t(column) < cells.size() ? cells[size_t(column)] : kEmpty;
}

void CListModel::SetCell(int row, int column, const std::string& text) {
    if (row < 0 || row >= RowCount() || column < 0 || column >= ColumnCount()) return;
    auto& cells = m_rows[size_t(row)].m_cells;
    if (cells.size() <= size_t(column)) cells.resize(size_t(column) + 1);
    if (cells[size_t(column)] == text) return;
    cells[size_t(column)] = text;
    if (row < m_announced) emit dataChanged(index(row, column), index(row, column));
}

void CListModel::SetImage(int row, int image) {
    if (row < 0 || row >= RowCount() || m_rows[size_t(row)].m_image == image) return;
    m_rows[size_t(row)].m_image = image;
    RowChanged(row);
}

void CListModel::SetItemData(int row, int32_t data) {
    if (row < 0 || row >= RowCount() || m_rows[size_t(row)].m_data == data) return;
    m_rows[size_t(row)].m_data = data;
    InvalidateMap();
}

void CListModel::SetSelectedFlag(int row, bool selected) {
    if (row < 0 || row >= RowCount()) return;
    m_rows[size_t(row)].m_selected = selected;
}

void CListModel::RowChanged(int row) {
    if (row < m_announced && ColumnCount() > 0)
        emit dataChanged(index(row, 0), index(row, ColumnCount() - 1));
}

int CListModel::FindRow(int32_t data) const {
    if (!m_mapValid) {
        m_rowOfData.clear();
        m_rowOfData.reserve(m_rows.size());
        for (size_t i = 0; i < m_rows.size(); ++i) m_rowOfData.emplace(m_rows[i].m_data, int(i));
        m_mapValid = true;
    }
    auto it = m_rowOfData.find(data);
    return it == m_rowOfData.end() ? -1 : it->second;
}

void CListModel::SortRows(const std::function<bool(int, int)>& less) {
    Flush();
    const size_t n = m_rows.size();
    std::vector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), less);

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRowOf(n);
    std::vector<CListRow> sorted;
    sorted.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        newRowOf[size_t(order[i])] = int(i);
        sorted.push_back(std::move(m_rows[size_t(order[i])]));
    }
    m_rows = std::move(sorted);
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& i : from) to.append(index(newRowOf[size_t(i.row())], i.column()));
    changePersistentIndexList(from, to);
    InvalidateMap();
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
