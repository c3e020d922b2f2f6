// The entry class of database records, at every depth of a record's tree.
#pragma once

#include "tree/KQTree.h"

class CRecordEntry : public CKQTreeEntry {
public:
    // A record entry outside any tree (a temporary copy) makes record entries below it too.
    explicit CRecordEntry(const std::string& key = std::string()) : CKQTreeEntry(key) {
        SetSubtreeFactory(Make);
    }

    // Factory for trees whose entries are record entries.
    static CKQTreeEntry* Make(const std::string& key) { return new CRecordEntry(key); }

    int m_inUse = 0;
    int m_current = 0;  // mirrors the current system
    int m_changed = 0;  // the stream must be written (or destroyed) at the next save step
    int m_deleted = 0;
};
