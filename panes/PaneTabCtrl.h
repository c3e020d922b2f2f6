// The tab strip across the top of the main view; a tab click becomes a pane switch request.
#pragma once

#include <QTabBar>

class CWnd;

class CPaneTabCtrl : public QTabBar {
    Q_OBJECT

public:
    enum { kControlID = 3 };

    // Created visible as a child of parent in rect; owner receives UM_TABCHANGE.
    CPaneTabCtrl(CWnd* owner, QWidget* parent, const QRect& rect);

    // Adds a tab whose item data is the pane number.
    int InsertItem(int index, const QString& text, int itemData);
    int GetItemData(int index) const;
    // The selection set by the program raises no notification; an index that names no tab
    // leaves no tab selected.
    void SetCurSel(int index);
    int GetCurSel() const { return m_curSel; }

    // The selection-change notification: sends UM_TABCHANGE for an index of 0 or more.
    void OnSelChange(int index);
    // Ctrl+Tab / Ctrl+PgDn (step 1) and Ctrl+Shift+Tab / Ctrl+PgUp (step -1): the next or
    // previous tab, round the end, as a click on it would select it.
    void SelectAdjacent(int step);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CWnd* m_owner;
    int m_curSel = -1;
    bool m_programmatic = false;
};
