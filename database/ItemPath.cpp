// The value a report item path names in a record tree.
#include <cstdlib>

#include "app/Document.h"

namespace {

// One integer of a tip reference, consumed from the front of text as the exchange file's
// tip parser does: skip what is not a sign or digit, take the run that is.
int TakeInt(std::string& text) {
    static const char kSet[] = "+-0123456789";
    size_t start = text.find_first_of(kSet);
    if (start == std::string::npos) {
        text.clear();
        return 0;
    }
    size_t end = text.find_first_not_of(kSet, start);
    std::string run = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    text.erase(0, end == std::string::npos ? text.size() : end);
    return static_cast<int>(std::strtol(run.c_str(), nullptr, 10));
}

}  // namespace

static bool EntryStep(CQuillo95Doc& doc, CKQTreeEntry& entry, std::string path, std::string& text);

static bool SearchTree(CQuillo95Doc& doc, CKQTree* tree, const std::string& path,
                       std::string& text) {
    if (!tree) return false;
    for (CKQTreeEntry* e : *tree)
        if (e && EntryStep(doc, *e, path, text)) return true;
    return false;
}

static bool EntryStep(CQuillo95Doc& doc, CKQTreeEntry& entry, std::string path, std::string& text) {
    const std::string whole = path;
    const std::string node = GetNodeID(path);
    if (!node.empty() && node != entry.m_key) return SearchTree(doc, entry.GetSubtree(), whole, text);
    text.clear();
    if (path.size() >= 2 && path[0] == '^') {
        std::string ids = path.substr(1);
        int kqaid = TakeInt(ids);
        int textID = TakeInt(ids);
        int descID = TakeInt(ids);
        CTip tip(0, textID, descID);
        doc.TipText(static_cast<KQAID>(kqaid), &tip, text);
    } else {
        text = entry.GetAttrValue(path);
    }
    if (!text.empty()) return true;
    return SearchTree(doc, entry.GetSubtree(), path, text);
}

bool CQuillo95Doc::ValueAtItemPath(CKQTree& tree, const std::string& path, std::string& text) {
    text.clear();
    if (SearchTree(*this, &tree, path, text)) return true;
    text.clear();
    return false;
}
