// Helpers of the Disk and Video module tests; the window they hand to kqaInitialize is the
// shared fake view, with no document behind it (every message answers 1).
#pragma once

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "analyzers/Analyzer.h"
#include "tests/support/FakeView.h"

// The modules run here without a document: every message they send is answered 1.
inline FakeView ViewWithoutDocument() {
    FakeView view;
    view.answerWithoutDoc = 1;
    return view;
}

// Sets an environment variable for the life of the object.
class CScopedEnv {
public:
    CScopedEnv(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old, m_had = true;
        setenv(name, value.c_str(), 1);
    }
    ~CScopedEnv() {
        if (m_had)
            setenv(m_name, m_old.c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    std::string m_old;
    bool m_had = false;
};

inline void ForEachEntry(CKQTreeEntry* e, const std::function<void(CKQTreeEntry*)>& fn) {
    if (!e) return;
    fn(e);
    if (e->GetSubtree())
        for (CKQTreeEntry* c : *e->GetSubtree()) ForEachEntry(c, fn);
}

inline CKQTreeEntry* FindPath(CKQTreeEntry* e, const std::vector<std::string>& keys) {
    for (const auto& k : keys) {
        if (!e || !e->GetSubtree()) return nullptr;
        e = e->GetSubtree()->Find(k);
    }
    return e;
}

inline std::string Value(CKQTreeEntry* branch, const std::vector<std::string>& keys,
                         const std::string& id) {
    CKQTreeEntry* e = FindPath(branch, keys);
    return e ? e->GetAttrValue(id) : std::string("<no entry>");
}

inline bool HasTip(CKQTreeEntry* e, int32_t textID, int32_t* priority = nullptr,
                   int32_t* desc = nullptr) {
    if (!e) return false;
    for (const CTip& t : e->m_tips)
        if (t.m_textID == textID) {
            if (priority) *priority = t.m_priority;
            if (desc) *desc = t.m_descID;
            return true;
        }
    return false;
}

inline int CountTip(CKQTreeEntry* branch, int32_t textID) {
    int n = 0;
    ForEachEntry(branch, [&](CKQTreeEntry* e) { n += HasTip(e, textID) ? 1 : 0; });
    return n;
}
