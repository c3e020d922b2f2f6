// The exchange file parser on arbitrary bytes, fed straight in. Whatever it reads must be
// what the reading rules allow: records in line order, each identity read after its header,
// no line end or NUL inside a key, identifier or value, nesting bounded, messages in order.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "database/ExchangeParser.h"

namespace {

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

bool Clean(const std::string& s) { return s.find_first_of(std::string("\n\0", 2)) == s.npos; }

// Walks an entry's tree without recursion; answers the deepest level below it.
int CheckTree(const CKQTreeEntry& top) {
    int deepest = 0;
    std::vector<std::pair<const CKQTreeEntry*, int>> stack{{&top, 0}};
    while (!stack.empty()) {
        auto [e, depth] = stack.back();
        stack.pop_back();
        deepest = std::max(deepest, depth);
        Check(Clean(e->m_key), "line end in a key");
        for (const CAttr& a : e->m_attrs) {
            Check(!a.m_id.empty() && Clean(a.m_id) && Clean(a.m_value), "line end in a line");
            Check(a.m_id.find('=') == std::string::npos, "identifier holds its equals sign");
            Check(a.m_type == 0, "type word read");
        }
        if (e->GetSubtree())
            for (const CKQTreeEntry* c : *e->GetSubtree()) stack.push_back({c, depth + 1});
    }
    return deepest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const CParsedExchange parsed =
        ParseExchange(std::string_view(reinterpret_cast<const char*>(data), size));
    Check(parsed.headerRead || parsed.records.empty(), "records without a header");
    uint32_t last = 0;
    for (const CExchangeRecord& r : parsed.records) {
        Check(r.line > last && r.sysidLine > r.line, "records out of line order");
        Check(r.sysidLine <= parsed.lines, "a line past the end");
        last = r.sysidLine;
        Check(Clean(r.sysid), "line end in an identity");
        Check(CheckTree(r.entry) <= 201, "nesting unbounded");
        // The identity is the first attribute, unless the first line was a tip.
        if (!r.sysidIsTip) Check(r.entry.GetAttrValue(0) == r.sysid, "identity not attribute 0");
    }
    uint32_t previous = 0;
    for (const CExchangeMessage& m : parsed.messages) {
        Check(m.line >= previous && m.line <= parsed.lines, "messages out of line order");
        previous = m.line;
    }
    Check(parsed.skipped >= 0, "negative skip count");
    return 0;
}
