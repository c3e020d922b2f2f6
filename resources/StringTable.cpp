#include "resources/Strings.h"

#include <cstdarg>
#include <cstdio>
#include <map>

namespace {

struct StringDef {
    unsigned id;
    const char* text;
};

// Each area keeps its strings in a file of its own; ids are unique across all of them.
constexpr StringDef kStrings[] = {
#include "resources/strings_core.inc"
#include "resources/strings_exchange.inc"
#include "resources/strings_shell.inc"
#include "resources/strings_panes.inc"
#include "resources/strings_install.inc"
#include "resources/strings_server.inc"
#include "resources/strings_data.inc"
#include "resources/strings_history.inc"
};

// An id given twice would show one text in the other's place, silently.
constexpr bool IdsAreUnique() {
    constexpr size_t n = sizeof(kStrings) / sizeof(kStrings[0]);
    for (size_t i = 0; i < n; ++i)
        for (size_t j = i + 1; j < n; ++j)
            if (kStrings[i].id == kStrings[j].id) return false;
    return true;
}
static_assert(IdsAreUnique(), "a string id is given to two texts");

const std::map<unsigned, const char*>& Table() {
    static const std::map<unsigned, const char*> table = [] {
        std::map<unsigned, const char*> t;
        for (const StringDef& s : kStrings) t.emplace(s.id, s.text);
        return t;
    }();
    return table;
}

}  // namespace

std::string LoadKQString(KQStringId id) {
    auto it = Table().find(id);
    return it == Table().end() ? std::string() : std::string(it->second);
}

bool HasKQString(KQStringId id) { return Table().count(id) != 0; }

std::string SubstituteArgs(const std::string& text, const std::string& arg1,
                           const std::string& arg2) {
    std::string out;
    out.reserve(text.size() + arg1.size() + arg2.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && (text[i + 1] == '1' || text[i + 1] == '2')) {
            out += text[i + 1] == '1' ? arg1 : arg2;
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string FormatKQString(KQStringId id, const std::string& arg1, const std::string& arg2) {
    return SubstituteArgs(LoadKQString(id), arg1, arg2);
}

std::string KQFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string out;
    if (n > 0) {
        out.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(out.data(), out.size(), format, args);
        out.resize(static_cast<size_t>(n));
    }
    va_end(args);
    return out;
}
