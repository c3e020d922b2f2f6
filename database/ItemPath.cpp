// The value a report item path names in a record tree.
#include "database/ItemPath.h"

#include "database/ExchangeParser.h"

std::string SplitItemNode(std::string& path) {
    if (path.find('~') == std::string::npos) return std::string();
    return GetNodeID(path);
}

bool ReadItemTip(const std::string& rest, int32_t& kqaid, int32_t& textID, int32_t& descID) {
    if (rest.size() < 2 || rest[0] != '^') return false;
    CExchangeParser::ParseTipInts(rest.substr(1), kqaid, textID, descID);
    return true;
}

static bool EntryStep(const TipTextFn& tipText, CKQTreeEntry& entry, std::string path,
                      std::string& text);

static bool SearchTree(const TipTextFn& tipText, CKQTree* tree, const std::string& path,
                       std::string& text) {
    if (!tree) return false;
    for (CKQTreeEntry* e : *tree)
        if (e && EntryStep(tipText, *e, path, text)) return true;
    return false;
}

static bool EntryStep(const TipTextFn& tipText, CKQTreeEntry& entry, std::string path,
                      std::string& text) {
    const std::string whole = path;
    const std::string node = SplitItemNode(path);
    if (!node.empty() && node != entry.m_key)
        return SearchTree(tipText, entry.GetSubtree(), whole, text);
    text.clear();
    int32_t kqaid = 0, textID = 0, descID = 0;
    if (ReadItemTip(path, kqaid, textID, descID)) {
        if (IsKqaidValue(kqaid)) {
            CTip tip(0, textID, descID);
            tipText(static_cast<KQAID>(kqaid), &tip, text);
        }
    } else {
        text = entry.GetAttrValue(path);
    }
    if (!text.empty()) return true;
    return SearchTree(tipText, entry.GetSubtree(), path, text);
}

bool ValueAtItemPath(CKQTree& tree, const std::string& path, std::string& text,
                     const TipTextFn& tipText) {
    text.clear();
    if (SearchTree(tipText, &tree, path, text)) return true;
    text.clear();
    return false;
}
