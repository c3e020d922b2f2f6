// The rows of a table as text: all that printing and the clipboard read of a list.
#pragma once

#include <QString>

class ITableText {
public:
    virtual ~ITableText() = default;
    // The list's window text (its caption); empty when it has none.
    virtual QString WindowText() const = 0;
    virtual int RowCount() const = 0;
    virtual int ColumnCount() const = 0;
    virtual QString HeaderText(int column) const = 0;
    virtual QString CellText(int row, int column) const = 0;
    virtual bool IsRowSelected(int row) const = 0;
    // The caption a printout carries: the window text unless the list says what it prints.
    virtual QString PrintCaption() const { return WindowText(); }
    // Whether a printout marks the selected rows (a list whose selection is its meaning).
    virtual bool PrintMarksSelection() const { return false; }
};
