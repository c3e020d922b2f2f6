#include "reports/ReportCompiler.h"

#include <algorithm>
#include <memory>

#include "analyzers/Analyzer.h"
#include "reports/ReportDefs.h"
#include "reports/ReportSource.h"
#include "resources/Strings.h"

void CReportCompiler::SetMeasure(TextMeasure measure, int widthCap) {
    m_measure = std::move(measure);
    m_widthCap = widthCap;
}

int CReportCompiler::Measure(const std::string& text) const {
    return m_measure ? m_measure(text) : static_cast<int>(text.size());
}

namespace {

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsBlank(text[i])) ++i;
        const size_t start = i;
        while (i < text.size() && !IsBlank(text[i])) ++i;
        if (i > start) words.push_back(text.substr(start, i - start));
    }
    return words;
}

// A part loses its leading words that the part before it already says ("CPU" below "CPU",
// "Integer" below "CPU Integer Test"), but never all of them.
std::string WithoutRepeatedWords(const std::string& above, const std::string& part) {
    const std::vector<std::string> said = Words(above);
    size_t i = 0, keep = 0;
    while (true) {
        while (i < part.size() && IsBlank(part[i])) ++i;
        const size_t start = i;
        while (i < part.size() && !IsBlank(part[i])) ++i;
        if (i == start) break;
        const std::string word = part.substr(start, i - start);
        if (std::find(said.begin(), said.end(), word) == said.end()) break;
        keep = i;
    }
    if (keep == 0) return part;
    size_t rest = keep;
    while (rest < part.size() && IsBlank(part[rest])) ++rest;
    return rest < part.size() ? part.substr(rest) : part;
}

}  // namespace

std::string CReportCompiler::Caption(const std::string& text) {
    std::string caption = text;
    const size_t tip = caption.find('^');
    if (tip != std::string::npos) {
        caption.erase(tip);
        while (!caption.empty() && IsBlank(caption.back())) caption.pop_back();
    }
    // Entry names often repeat their parent's ("CPU~CPU Integer Test~Integer Single-Thread"):
    // the caption says each word once.
    std::string shown, above;
    size_t start = 0;
    for (bool first = true;; first = false) {
        const size_t sep = caption.find(kPathSeparator, start);
        const std::string part = caption.substr(start, sep - start);
        if (!first) shown += ' ';
        shown += first ? part : WithoutRepeatedWords(above, part);
        above = part;
        if (sep == std::string::npos) break;
        start = sep + 1;
    }
    return shown;
}

std::string CReportCompiler::SearchText(const std::string& line) {
    if (line.empty() || line[0] != '~') return line;
    size_t i = 1;
    while (i < line.size() && IsBlank(line[i])) ++i;
    return line.substr(i);
}

// Equal headers of system columns (the default description names vendor and model; a snapshot
// is a twin of its source) are told apart by the time measured, then by the identifier.
static void QualifyEqualHeaders(std::vector<std::string>& headers,
                                const std::vector<std::unique_ptr<IReportSystem>>& systems) {
    const size_t n = systems.size();
    auto equalOthers = [&](const std::vector<std::string>& shown) {
        std::vector<bool> equal(n, false);
        for (size_t i = 0; i < n; ++i)
            for (size_t j = 0; j < n && !equal[i]; ++j)
                equal[i] =
                    j != i && systems[i] && systems[j] && !shown[i].empty() && shown[i] == shown[j];
        return equal;
    };
    std::vector<std::string> base(headers.begin() + 1, headers.end());
    std::vector<std::string> details(n), shown = base;
    auto qualify = [&](size_t i) {
        shown[i] = details[i].empty() ? base[i]
                                      : FormatKQString(IDS_HEADER_QUALIFIED, base[i], details[i]);
    };
    std::vector<bool> equal = equalOthers(shown);
    for (size_t i = 0; i < n; ++i) {
        std::string measured;
        if (equal[i] && systems[i]->Lookup(kMeasuredAttribute, measured)) {
            details[i] = measured;
            qualify(i);
        }
    }
    equal = equalOthers(shown);
    for (size_t i = 0; i < n; ++i) {
        if (!equal[i]) continue;
        const std::string id = systems[i]->Identifier();
        details[i] = details[i].empty() ? id : FormatKQString(IDS_HEADER_DETAILS, details[i], id);
        qualify(i);
    }
    std::copy(shown.begin(), shown.end(), headers.begin() + 1);
}

bool CReportCompiler::Compile(const std::vector<std::string>& lines,
                              const std::vector<int32_t>& selection, CReportTable& table,
                              const std::vector<std::string>* headers) {
    if (lines.empty()) return false;
    const size_t columns = selection.size() + 1;
    table = CReportTable();
    table.m_widths.assign(columns, 0);
    auto put = [&](size_t column, const std::string& text) {
        table.m_widths[column] = std::max(table.m_widths[column], Measure(text));
    };

    table.m_headers.push_back(Caption(lines[0]));

    // Each system is opened once: a cell lookup on a stored record would otherwise load
    // the whole record again for every row.
    std::vector<std::unique_ptr<IReportSystem>> systems;
    systems.reserve(selection.size());
    const std::string fallback = m_source.FallbackAttributeID();
    for (size_t k = 0; k < selection.size(); ++k) {
        systems.push_back(m_source.OpenSystem(selection[k]));
        std::string header;
        if (headers && k < headers->size()) {
            header = (*headers)[k];
        } else if (IReportSystem* system = systems.back().get()) {
            if (!system->Lookup(lines[0], header) && !system->Lookup(fallback, header))
                header.clear();
        }
        table.m_headers.push_back(header);
    }
    QualifyEqualHeaders(table.m_headers, systems);
    for (size_t c = 0; c < columns; ++c) put(c, table.m_headers[c]);

    const size_t rows = lines.size() - 1;
    table.m_cells.assign(rows, std::vector<std::string>(columns));
    table.m_itemData.reserve(rows);
    table.m_records.reserve(rows);
    // A tip row is captioned with the tip's text; its cells say which systems hold it.
    std::vector<bool> tipRow(rows, false);
    for (size_t r = 0; r < rows; ++r) {
        const std::string& line = lines[r + 1];
        CDetailItem record;
        m_source.SearchItem(SearchText(line), record);
        table.m_itemData.push_back(static_cast<int32_t>(table.m_records.size()));
        table.m_records.push_back(record);
        tipRow[r] = IsTipReference(line);
        std::string caption;
        if (!tipRow[r] || !m_source.TipText(line, caption) || caption.empty())
            caption = Caption(line);
        put(0, caption);
        table.m_cells[r][0] = std::move(caption);
    }
    for (size_t k = 0; k < systems.size(); ++k) {
        IReportSystem* system = systems[k].get();
        if (!system) continue;
        for (size_t r = 0; r < rows; ++r) {
            std::string value;
            int32_t priority = 0;
            if (tipRow[r]) {
                if (system->TipPriority(lines[r + 1], priority)) value = PriorityLabel(priority);
            } else if (!system->Lookup(lines[r + 1], value)) {
                value.clear();
            }
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
