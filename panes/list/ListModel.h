// The rows of an owner-drawn list: cell texts (UTF-8 bytes, as the core hands them over),
// a small image index, 32-bit item data and the selected flag, with a key-to-row map so that
// a record's row is found without a search.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

struct CListRow {
    std::vector<std::string> m_cells;
    int32_t m_data = 0;
    int m_image = -1;  // -1 or past the image list: none drawn
    bool m_selected = false;
};

class CListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // Roles the delegate reads besides Qt::DisplayRole.
    enum { ImageRole = Qt::UserRole + 1, ItemDataRole, SelectedRole };

    explicit CListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Columns.
    void InsertColumn(int column, const std::string& header);
    void SetHeaderText(int column, const std::string& header);
    // Every column and row goes: the list is built again with other columns.
    void RemoveAllColumns();
    const std::string& HeaderText(int column) const;
    int ColumnCount() const { return static_cast<int>(m_headers.size()); }

    // Rows. Rows appended while a listing runs are announced to the views in batches
    // (Flush), so a long listing does not relayout the view once per row.
    int AppendRow(std::vector<std::string> cells, int image, int32_t data, bool deferred = false);
    int InsertRow(int row, std::vector<std::string> cells, int image, int32_t data);
    void RemoveRow(int row);
    void RemoveAllRows();
    void Flush();
    bool HasPending() const { return m_announced < static_cast<int>(m_rows.size()); }

    int RowCount() const { return static_cast<int>(m_rows.size()); }
    const CListRow& Row(int row) const { return m_rows[static_cast<size_t>(row)]; }
    const std::string& Cell(int row, int column) const;
    void SetCell(int row, int column, const std::string& text);
    void SetImage(int row, int image);
    void SetItemData(int row, int32_t data);
    // Only the flag: the view's selection model is the one that changes it (see the list).
    void SetSelectedFlag(int row, bool selected);

    // The first row holding that item data, -1 when none.
    int FindRow(int32_t data) const;

    // Stable sort; less(a, b) compares the rows at positions a and b before the sort, so
    // callers can compare keys they computed once per row. Selection and focus follow.
    void SortRows(const std::function<bool(int, int)>& less);

private:
    void RowChanged(int row);
    void InvalidateMap() { m_mapValid = false; }

    std::vector<std::string> m_headers;
    std::vector<CListRow> m_rows;
    int m_announced = 0;
    mutable std::unordered_map<int32_t, int> m_rowOfData;
    mutable bool m_mapValid = true;
};
