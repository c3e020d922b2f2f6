// The string table: every user-visible text, loaded by its number.
#pragma once

#include <string>

#include "resources/StringIds.h"

// The text of string id; empty when the table has no such string.
std::string LoadKQString(KQStringId id);
bool HasKQString(KQStringId id);
// String id with "%1" and "%2" replaced by the arguments.
std::string FormatKQString(KQStringId id, const std::string& arg1 = std::string(),
                           const std::string& arg2 = std::string());
// Replaces every "%1" / "%2" in text.
std::string SubstituteArgs(const std::string& text, const std::string& arg1,
                           const std::string& arg2 = std::string());
// printf-style formatting into a std::string.
std::string KQFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
