#include "database/CsvWriter.h"

namespace CsvWriter {

bool IsPlainNumber(std::string_view t) {
    size_t i = 0;
    auto digits = [&t, &i] {
        const size_t start = i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i;
        return i - start;
    };
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) ++i;
    size_t mantissa = digits();
    if (i < t.size() && t[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '-' || t[i] == '+')) ++i;
        if (digits() == 0) return false;
    }
    return i == t.size();
}

std::string Cell(std::string_view text) {
    std::string cell;
    cell.reserve(text.size() + 3);
    const bool formula = !text.empty() &&
                         (text[0] == '=' || text[0] == '+' || text[0] == '-' || text[0] == '@' ||
                          text[0] == '\t' || text[0] == '\r') &&
                         !IsPlainNumber(text);
    if (formula) cell.push_back('\'');
    cell.append(text);
    if (cell.find_first_of("\",\r\n") == std::string::npos) return cell;
    std::string quoted = "\"";
    for (const char c : cell) {
        if (c == '"') quoted.push_back('"');
        quoted.push_back(c);
    }
    quoted.push_back('"');
    return quoted;
}

std::string Row(const std::vector<std::string>& cells) {
    std::string line;
    for (size_t i = 0; i < cells.size(); ++i) {
        if (i > 0) line.push_back(',');
        line += Cell(cells[i]);
    }
    line += "\r\n";
    return line;
}

}  // namespace CsvWriter
