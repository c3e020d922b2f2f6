// The entry class of database records, at every depth of a record's tree.
#pragma once

#include "tree/KQTree.h"

class CRecordEntry : public CKQTreeEntry {
public:
    // A record entry outside any tree (a temporary copy) makes record entries below it too.
    explicit CRecordEntry(const std::string& key = std::string()) : CKQTreeEntry(key) {
        SetSubtreeFactory(Make);
    }

    // Factory for trees whose entries are record entries. The caller (the tree) owns the result.
    static CKQTreeEntry* Make(const std::string& key) { return new CRecordEntry(key); }

    // Held by a view or an operation: a held record is never dropped from the cache. Holds
    // nest; Release never goes below none.
    int InUse() const { return m_inUse; }
    void Hold() { ++m_inUse; }
    void Release() {
        if (m_inUse > 0) --m_inUse;
    }
    void ReleaseAll() { m_inUse = 0; }
    // Mirrors the current system.
    bool IsCurrent() const { return m_current; }
    void SetCurrent(bool current = true) { m_current = current; }
    // The stream must be written (or destroyed) at the next save step.
    bool IsChanged() const { return m_changed; }
    void SetChanged(bool changed = true) { m_changed = changed; }
    bool IsDeleted() const { return m_deleted; }
    void SetDeleted(bool deleted = true) { m_deleted = deleted; }

private:
    int m_inUse = 0;
    bool m_current = false;
    bool m_changed = false;
    bool m_deleted = false;
};
