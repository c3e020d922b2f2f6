// The one list class of the program's tables (Summary highlights 10 and tips 11, Database 16,
// Reports 21): a report-style list over a table model whose rows a delegate draws, with an
// optional title strip (the list's window text), a small image per row, 32-bit item data,
// and its rows readable as text for printing and the clipboard.
#pragma once

#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <QFontMetrics>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "panes/list/ListModel.h"
#include "panes/list/TableText.h"

class QTimer;
class QTreeView;
class QItemSelection;
class CListRowDelegate;

class COwnerDrawList : public QWidget, public ITableText {
    Q_OBJECT

public:
    // The control id is also the list's object name ("10", "11", "16", "21").
    COwnerDrawList(int controlID, QWidget* parent);
    ~COwnerDrawList() override;

    int ControlID() const { return m_controlID; }

    // ---- style ----
    // The caption shown in a title strip above the list; empty: no strip.
    void SetCaption(const QString& caption);
    void SetMultipleSelection(bool multiple);
    void SetHeaderVisible(bool visible);
    // Whether pressing the right button selects the row under it first (as a click does).
    void SetRightPressSelects(bool on) { m_rightPressSelects = on; }
    void SetListFont(const QFont& font);
    // Small images (16 by 16) drawn at the left of each row.
    void SetImageList(std::vector<QPixmap> images);
    int ImageCount() const;

    // ---- columns ----
    void InsertColumn(int column, const QString& header, int width);
    void SetColumnWidth(int column, int width);
    // Columns and rows alike (a list whose columns change with its contents).
    void DeleteAllColumns();
    int GetColumnWidth(int column) const;

    // ---- rows ----
    // deferred: the row reaches the screen with the next batch (a listing in progress).
    int AppendRow(std::vector<std::string> cells, int image, int32_t data, bool deferred = false);
    int InsertRow(int row, std::vector<std::string> cells, int image, int32_t data);
    void DeleteRow(int row);
    void DeleteAllRows();
    const std::string& GetCellText(int row, int column) const;
    void SetCellText(int row, int column, const std::string& text);
    int GetItemImage(int row) const;
    void SetItemImage(int row, int image);
    int32_t GetItemData(int row) const;
    void SetItemData(int row, int32_t data);
    // The first row holding that item data (a map, not a search); -1 when none.
    int FindRow(int32_t data) const;
    // Stable sort of the rows; selection and focus stay with their rows.
    void SortRows(const std::function<bool(int, int)>& less);

    // ---- selection and focus ----
    void SelectRow(int row, bool select);
    void DeselectAll();
    int SelectedCount() const;
    std::vector<int> SelectedRows() const;  // top to bottom
    int FocusRow() const;                   // -1 when none
    void SetFocusRow(int row);

    // ---- geometry ----
    int RowHeight() const;
    int RowsPerPage() const;
    // Row under a point in the list widget's own coordinates; -1 when none.
    int HitTest(const QPoint& pos) const;
    QRect RowRect(int row) const;  // in the list widget's coordinates
    int TitleHeight() const;
    // Width of the list's client area (inside frame and scroll bar).
    int ClientWidth() const;
    int TextWidth(const std::string& text) const;
    // Moves the list (title strip and list control) at once, shown or not.
    void SetRect(const QRect& rect);
    void SetScrollBarAlwaysOn(bool on);
    // Scrolls the columns to their right end (where the newest of a time series is).
    void ShowLastColumn();

    // Pending rows of a listing reach the view.
    void Flush();

    QTreeView* View() const { return m_view; }
    CListModel* Model() const { return m_model; }
    CListRowDelegate* Delegate() const { return m_delegate; }

    // ---- rows as text (printing, clipboard) ----
    QString WindowText() const override { return windowTitle(); }
    int RowCount() const override { return m_model->RowCount(); }
    int ColumnCount() const override { return m_model->ColumnCount(); }
    QString HeaderText(int column) const override;
    QString CellText(int row, int column) const override;
    bool IsRowSelected(int row) const override;

    // Centred at the top of every printed page when not empty.
    QString m_printTitle;

signals:
    // A row's selected or focused state changed.
    void RowStateChanged(int row, bool selected, bool focused);
    // Right button released over the list (row -1: no row); pressing it does nothing.
    void RightButtonUp(int row, const QPoint& globalPos);
    void RowDoubleClicked(int row, const QPoint& globalPos);
    void HeaderClicked(int column);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class CListView;
    void OnSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    void OnCurrentChanged(int current, int previous);
    void PlaceView();

    int m_controlID;
    CListModel* m_model;
    CListRowDelegate* m_delegate;
    QTreeView* m_view;
    int m_announcedFocus = -1;
    QTimer* m_flushTimer = nullptr;
    int m_structural = 0;  // inside a structural change of the rows
    bool m_rightPressSelects = true;
    mutable std::optional<QFontMetrics> m_metrics;
    mutable QFont m_metricsFont;
    mutable std::array<int, 128> m_advances{};
};
