// One of the Summary pane's two lists (highlights 10, tips 11): rows that stand for entries'
// attributes or tips, a description on every click, Tell Me More by menu and double click.
#pragma once

#include <vector>

#include "panes/list/OwnerDrawList.h"
#include "reports/DetailItem.h"

class CWnd;
class QMenu;

class CSummaryList : public COwnerDrawList {
    Q_OBJECT

public:
    // Item data of a filler row.
    static constexpr int32_t kFiller = -1;

    CSummaryList(int controlID, QWidget* parent, CWnd* owner);

    // Deletes every row and empties the item array; the flags are off until the fill ends.
    void Clear();
    // Appends a row for item; its item data is the item's index in the array.
    int AppendItem(const CDetailItem& item, std::vector<std::string> cells, int image);
    // Two empty rows when the list holds at least a page minus one.
    void AppendFillerRows();
    // Sorts the rows by their items' sort keys, highest first.
    void SortBySortKey();
    void EnableNotify(bool on) { m_notify = on; }
    void EnableMenu(bool on) { m_menuFlag = on; }
    void SetTellMeMoreCode(int code) { m_tellMeMoreCode = code; }

    // The item of a row (null for filler rows and rows out of range).
    const CDetailItem* ItemOfRow(int row) const;
    int LastClickedRow() const { return m_lastClicked; }
    const std::vector<CDetailItem>& Items() const { return m_items; }

    void OnTellMeMore();
    void OnRightClick(int row, const QPoint& globalPos);
    void OnDoubleClick(int row);

    // Shows a context menu and answers the chosen command id (0: none). Tests replace it.
    std::function<int(QMenu*, const QPoint&)> m_trackMenu;

private:
    void OnRowState(int row, bool selected, bool focused);
    // The row reacts to the menu and double click: valid item with an analyzer.
    bool AcceptsMenu(int row) const;

    int m_lastClicked = -1;
    QMenu* m_menu = nullptr;
    CWnd* m_owner;
    bool m_notify = false;
    bool m_menuFlag = false;
    std::vector<CDetailItem> m_items;
    int m_tellMeMoreCode = 0;
    bool m_menuShowing = false;
};
