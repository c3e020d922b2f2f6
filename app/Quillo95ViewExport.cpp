// The File menu's exports for scripts and spreadsheets: the view chooses what goes out, the
// document writes it.
#include "app/Quillo95View.h"

#include "document/Document.h"
#include "panes/QtText.h"
#include "panes/list/TableText.h"
#include "resources/Strings.h"

namespace {

std::vector<std::string> LineOf(const ITableText& list, int row) {
    std::vector<std::string> cells;
    cells.reserve(static_cast<size_t>(list.ColumnCount()));
    for (int c = 0; c < list.ColumnCount(); ++c)
        cells.push_back((row < 0 ? list.HeaderText(c) : list.CellText(row, c)).toStdString());
    return cells;
}

bool AllEmpty(const std::vector<std::string>& cells) {
    for (const std::string& c : cells)
        if (!c.empty()) return false;
    return true;
}

}  // namespace

void CQuillo95View::OnExportJson() {
    if (RefusedDuringRun()) return;
    // The rows selected in the Database list, as its own export takes them; else this machine.
    std::vector<int32_t> keys;
    if (CDatabaseList* list = m_databasePane.List()) keys = list->SelectedKeys();
    m_doc.ExportJson(keys, std::string());
}

void CQuillo95View::OnExportList() {
    if (RefusedDuringRun()) return;
    // The report on the Reports pane; the Database list from every other pane.
    const bool report = m_currentPane == PANE_REPORTS && PrintableList(PANE_REPORTS);
    const ITableText* list = PrintableList(report ? PANE_REPORTS : PANE_DATABASE);
    if (!list) return;
    bool selectedOnly = false;
    if (!report) {
        int selected = 0, rows = 0;
        for (int r = 0; r < list->RowCount(); ++r) {
            if (AllEmpty(LineOf(*list, r))) continue;  // the filler rows below the records
            ++rows;
            if (list->IsRowSelected(r)) ++selected;
        }
        if (selected > 0 && selected < rows)
            selectedOnly =
                m_doc.Frame().MessageBox(
                    FormatKQString(IDS_EXPORT_LIST_SELECTED_ONLY, std::to_string(selected),
                                   std::to_string(rows)),
                    LoadKQString(IDS_APP_TITLE), MsgIcon::Question, MsgButtons::YesNo) == IDYES;
    }
    std::vector<std::vector<std::string>> table{LineOf(*list, -1)};
    for (int r = 0; r < list->RowCount(); ++r) {
        if (selectedOnly && !list->IsRowSelected(r)) continue;
        std::vector<std::string> cells = LineOf(*list, r);
        if (!AllEmpty(cells)) table.push_back(std::move(cells));
    }
    m_doc.ExportCsv(table, std::string());
}
