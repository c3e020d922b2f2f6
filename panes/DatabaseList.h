// The Database pane's list (id 16): one row per stored system, a multiple selection shown by
// row images, the "DB Popup" commands and sorting by header click.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "panes/list/OwnerDrawList.h"
#include "resources/ResourceIds.h"

class CWnd;
class IFrameServices;
class QMenu;

class CDatabaseList : public COwnerDrawList {
    Q_OBJECT

public:
    // owner: the view, to which every request goes; frame: prompts and the wait cursor;
    // recordOrder: a record key's place in the document's record table.
    CDatabaseList(QWidget* parent, CWnd* owner, IFrameServices& frame,
                  std::function<int(int32_t)> recordOrder);

    // Column flags: numeric columns sort as numbers. Sort states start at 0.
    void SetColumnFlags(std::vector<uint8_t> numeric);

    int ContextRow() const { return m_contextRow; }
    void SetContextRow(int row) { m_contextRow = row; }
    int LastSortedColumn() const { return m_lastSorted; }
    int SortState(int column) const;

    void OnHeaderClick(int column);
    // Sorts by the last sorted column and its state.
    void Sort();
    // The "DB Popup" with its commands enabled for the context row.
    QMenu* PrepareMenu();
    void OnRightButtonUp(int row, const QPoint& globalPos);
    // The context menu's commands; false for other ids.
    bool OnCommand(int id);
    // Takes away the row of a record that left the database elsewhere (another user deleted
    // it), if it still has one; a selected row changes the selection.
    void RemoveRecordRow(int32_t key);
    // Record keys of the selected rows, top to bottom, without filler rows.
    std::vector<int32_t> SelectedKeys() const;

    // Printed: every row, the selected ones marked, under a caption that counts them.
    QString PrintCaption() const override;
    bool PrintMarksSelection() const override { return true; }

    // Shows a context menu and answers the chosen command id (0: none). Tests replace it.
    std::function<int(QMenu*, const QPoint&)> m_trackMenu;

private:
    void OnRowState(int row, bool selected, bool focused);
    // The header's arrow shows the last sorted column's direction (none: the document's order).
    void ShowSortIndicator();
    int Query(int32_t key) const;
    void SelChange();
    void DeleteAllSelected();

    std::vector<uint8_t> m_numeric;
    std::vector<uint8_t> m_sortState;
    QMenu* m_menu = nullptr;
    int m_contextRow = -1;
    int m_lastSorted = 0;
    bool m_menuShowing = false;
    CWnd* m_owner;
    IFrameServices& m_frame;
    std::function<int(int32_t)> m_recordOrder;
};
