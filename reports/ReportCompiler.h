// Compiling a report definition into a table: a caption column and one column per selected
// system, one row per item after the first.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "reports/DetailItem.h"
#include "tree/KQTree.h"

class CAnalyzerList;
class IReportSource;

// The attribute that holds when a system was measured ("YYYY-MM-DD HH:MM"), found as a report
// item path; it tells apart columns whose headers would be equal.
inline constexpr const char* kMeasuredAttribute = "Measured";

// Row item data of a filler row.
constexpr int32_t kFillerRow = -1;

struct CReportTable {
    std::vector<std::string> m_headers;             // one per column
    std::vector<std::vector<std::string>> m_cells;  // [row][column]
    std::vector<int32_t> m_itemData;                // per row: index in m_records, or kFillerRow
    std::vector<CDetailItem> m_records;             // row records (none for filler rows)
    std::vector<int> m_widths;                      // per column, in measuring units, capped

    int RowCount() const { return static_cast<int>(m_cells.size()); }
    int ColumnCount() const { return static_cast<int>(m_headers.size()); }
};

// Width of a text in the units of the list that shows it.
using TextMeasure = std::function<int(const std::string&)>;

class CReportCompiler {
public:
    explicit CReportCompiler(IReportSource& source) : m_source(source) {}

    // Without a measure, widths count characters and the cap is 30 of them.
    void SetMeasure(TextMeasure measure, int widthCap);

    // Compiles the lines (item texts in item order) for the selection of record keys.
    // Column headers are the systems' values of the first line; equal ones get the time
    // measured, then the identifier. A tip reference's row shows the tip's text, and each
    // system that holds the tip its priority. No lines: false, and the table is left as it was.
    // headers, when given, head the system columns instead of the first line's values.
    bool Compile(const std::vector<std::string>& lines, const std::vector<int32_t>& selection,
                 CReportTable& table, const std::vector<std::string>* headers = nullptr);

    // Two empty rows at the end when the table holds at least visibleRows - 1 rows.
    static void AppendFillerRows(CReportTable& table, int visibleRows);

    // A row's caption: cut at the first "^" (trailing white space removed), separators
    // turned into spaces, leading words a part repeats from the part before it dropped.
    static std::string Caption(const std::string& text);
    // The text a row's record is searched by: a heading without its "~" and leading blanks.
    static std::string SearchText(const std::string& line);

private:
    int Measure(const std::string& text) const;

    IReportSource& m_source;
    TextMeasure m_measure;
    int m_widthCap = 30;
};

// The report definitions of one type, analyzers in list order, each branch's by index.
std::vector<CRepDef*> ReportDefsOfType(const CAnalyzerList& analyzers, RDTYPE type);
