#include "reports/ReportCompiler.h"

#include <algorithm>
#include <memory>

#include "analyzers/Analyzer.h"
#include "reports/ReportSource.h"

void CReportCompiler::SetMeasure(TextMeasure measure, int widthCap) {
    m_measure = std::move(measure);
    m_widthCap = widthCap;
}

int CReportCompiler::Measure(const std::string& text) const {
    return m_measure ? m_measure(text) : static_cast<int>(text.size());
}

std::string CReportCompiler::Caption(const std::string& text) {
    std::string caption = text;
    const size_t tip = caption.find('^');
    if (tip != std::string::npos) {
        caption.erase(tip);
        while (!caption.empty() &&
               (caption.back() == ' ' || (caption.back() >= '\t' && caption.back() <= '\r')))
            caption.pop_back();
    }
    return ReplaceSepIDs(caption, ' ');
}

std::string CReportCompiler::SearchText(const std::string& line) {
    if (line.empty() || line[0] != '~') return line;
    size_t i = 1;
    while (i < line.size() && (line[i] == ' ' || (line[i] >= '\t' && line[i] <= '\r'))) ++i;
    return line.substr(i);
}

bool CReportCompiler::Compile(const std::vector<std::string>& lines,
                              const std::vector<int32_t>& selection, CReportTable& table) {
    if (lines.empty()) return false;
    const size_t columns = selection.size() + 1;
    table = CReportTable();
    table.m_widths.assign(columns, 0);
    auto put = [&](size_t column, const std::string& text) {
        table.m_widths[column] = std::max(table.m_widths[column], Measure(text));
    };

    table.m_headers.push_back(Caption(lines[0]));
    put(0, table.m_headers[0]);

    // Each system is opened once: a cell lookup on a stored record would otherwise load
    // the whole record again for every row.
    std::vector<std::unique_ptr<IReportSystem>> systems;
    systems.reserve(selection.size());
    const std::string fallback = m_source.FallbackAttributeID();
    for (size_t k = 0; k < selection.size(); ++k) {
        systems.push_back(m_source.OpenSystem(selection[k]));
        std::string header;
        if (IReportSystem* system = systems.back().get()) {
            if (!system->Lookup(lines[0], header) && !system->Lookup(fallback, header))
                header.clear();
        }
        table.m_headers.push_back(header);
        put(k + 1, header);
    }

    const size_t rows = lines.size() - 1;
    table.m_cells.assign(rows, std::vector<std::string>(columns));
    table.m_itemData.reserve(rows);
    table.m_records.reserve(rows);
    for (size_t r = 0; r < rows; ++r) {
        const std::string& line = lines[r + 1];
        CDetailItem record;
        m_source.SearchItem(SearchText(line), record);
        table.m_itemData.push_back(static_cast<int32_t>(table.m_records.size()));
        table.m_records.push_back(record);
        table.m_cells[r][0] = Caption(line);
        put(0, table.m_cells[r][0]);
    }
    for (size_t k = 0; k < systems.size(); ++k) {
        IReportSystem* system = systems[k].get();
        if (!system) continue;
        for (size_t r = 0; r < rows; ++r) {
            std::string value;
            if (!system->Lookup(lines[r + 1], value)) value.clear();
            put(k + 1, value);
            table.m_cells[r][k + 1] = std::move(value);
        }
    }
    for (int& width : table.m_widths) width = std::min(width, m_widthCap);
    return true;
}

void CReportCompiler::AppendFillerRows(CReportTable& table, int visibleRows) {
    if (table.RowCount() < visibleRows - 1) return;
    for (int i = 0; i < 2; ++i) {
        table.m_cells.emplace_back(table.m_headers.size());
        table.m_itemData.push_back(kFillerRow);
    }
}

std::vector<CRepDef*> ReportDefsOfType(const CAnalyzerList& analyzers, RDTYPE type) {
    std::vector<CRepDef*> defs;
    for (const CAnalyzer* a : analyzers.Ordered()) {
        if (a == nullptr || a->m_branch == nullptr) continue;
        for (CRepDef& def : a->m_branch->m_repDefs)
            if (def.m_type == type) defs.push_back(&def);
    }
    return defs;
}
