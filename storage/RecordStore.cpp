#include "storage/RecordStore.h"

#include <algorithm>

namespace {

// ASCII case folding only: identifiers compare byte-wise apart from A-Z.
struct FoldTable {
    unsigned char t[256];
    FoldTable() {
        for (int i = 0; i < 256; ++i)
            t[i] = static_cast<unsigned char>(i >= 'A' && i <= 'Z' ? i - 'A' + 'a' : i);
    }
};
const FoldTable kFold;

inline unsigned char Fold(char c) { return kFold.t[static_cast<unsigned char>(c)]; }

}  // namespace

bool CaseLess::operator()(const std::string& a, const std::string& b) const {
    const size_t n = std::min(a.size(), b.size());
    const char* pa = a.data();
    const char* pb = b.data();
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = Fold(pa[i]), y = Fold(pb[i]);
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && StartsWithNoCase(a, b);
}

bool StartsWithNoCase(const std::string& s, const std::string& prefix) {
    if (prefix.size() > s.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (Fold(s[i]) != Fold(prefix[i])) return false;
    return true;
}

const char* StoreErrorText(StoreError error) {
    switch (error) {
        case StoreError::None:
            return "no error";
        case StoreError::NotFound:
            return "no such record";
        case StoreError::Exists:
            return "a record of that name exists already";
        case StoreError::Conflict:
            return "the record was changed by someone else";
        case StoreError::Busy:
            return "the database is in use by another program";
        case StoreError::IO:
            return "the database could not be read or written";
        case StoreError::Denied:
            return "no permission to use the database";
        case StoreError::NotOurs:
            return "not a Quillon database";
        case StoreError::Disconnected:
            return "the database is not open";
    }
    return "unknown error";
}
