// Tables as CSV for spreadsheets: UTF-8 with a byte-order mark, CR LF line ends, RFC 4180
// quoting. A text cell that a spreadsheet would take for a formula (it begins with "=", "+",
// "-", "@", a tab or a carriage return) gets a single quote in front; a cell that is a plain
// number ("-12.5", "3e5") is a number and stays as it is, sign included: it cannot run.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace CsvWriter {

inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Whether the whole text is one decimal number, with an optional sign and exponent.
bool IsPlainNumber(std::string_view text);
// One cell as it is written: neutralised, then quoted when it holds a quote, comma, CR or LF.
std::string Cell(std::string_view text);
// One line: the cells separated by commas, ended by CR LF.
std::string Row(const std::vector<std::string>& cells);

}  // namespace CsvWriter
