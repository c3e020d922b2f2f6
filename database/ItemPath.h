// Item paths of report items: entry names joined with "~", ending in an attribute
// identifier, an entry name or a tip reference ("^kqaid textID descID").
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "analyzers/KQAnalyzer.h"

// Takes the leading node off an item path; the path keeps the rest. A path without "~" has
// no node: it is the attribute identifier, tip reference or entry name itself. (GetNodeID
// would take such a path whole as a node, so that the bare identifiers report definitions
// make for an analyzer's own attributes and tips would never resolve.)
std::string SplitItemNode(std::string& path);  // empty when the path has no node

// Whether a rest names a tip (at least two characters, the first "^"); when it does, the
// three integers after the "^" as the exchange file's tip parser reads them.
bool ReadItemTip(const std::string& rest, int32_t& kqaid, int32_t& textID, int32_t& descID);

// Whether an integer read from a tip reference is a KQAID at all (a larger one must not
// wrap round to some other analyzer's identifier).
inline bool IsKqaidValue(int32_t id) { return id >= 0 && id <= 0xFFFF; }

// A tip's text, answered by the analyzer that made it (copies go to the module).
using TipTextFn = std::function<void(KQAID id, CTip* tip, CString& text)>;

// The first non-empty value the path names, depth first through tree; a tip reference is
// answered by tipText. False, with text empty, when nothing is found; the tree is only read
// (non-const for the tree's own interface).
bool ValueAtItemPath(CKQTree& tree, const std::string& path, std::string& text,
                     const TipTextFn& tipText);
