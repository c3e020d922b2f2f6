// Text forms of report items: attribute paths, tip references and headings.
#pragma once

#include <cstdint>
#include <string>

// The separator of item paths.
constexpr char kPathSeparator = '~';

// The part alone when the prefix is empty, else prefix, "~", part.
std::string JoinItemPath(const std::string& prefix, const std::string& part);
// "^%u %d %d": analyzer, tip text resource ID, description resource ID.
std::string MakeTipReference(uint16_t kqaid, int32_t textID, int32_t descID);
// "~", one space, the caption.
std::string MakeHeading(const std::string& caption);
// A "^" anywhere makes a tip reference; a leading "~" a heading.
bool IsTipReference(const std::string& text);
bool IsHeading(const std::string& text);
