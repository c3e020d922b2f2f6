// Following what other clients of a shared store changed: the rows named are read in one
// request, and the directory, versions and cache take them in.
#include "database/Database.h"

bool CResultsDatabase::FollowStore(const std::vector<StoredRecord>& stored,
                                   const std::vector<StoredRecord>& removed, FollowedChanges& out) {
    out = FollowedChanges();
    // A record this run has not saved, or holds, is this run's: the next save decides.
    auto ours = [this](const std::string& sysid) {
        const CRecordEntry* rec = LoadedRecord(sysid);
        return KeptInMemory(sysid) || m_pendingDeletes.count(sysid) != 0 ||
               (rec && (rec->IsChanged() || rec->IsCurrent() || rec->InUse() > 0));
    };
    std::vector<std::string> toRead;
    for (const StoredRecord& r : stored) {
        const auto held = m_versions.find(r.sysid);
        if (held != m_versions.end() && held->second >= r.version) continue;  // read already
        // Known but never stored: a new record of this run, which meets theirs at its save.
        if (ours(r.sysid) || (held == m_versions.end() && IsKnownSysid(r.sysid))) continue;
        toRead.push_back(r.sysid);
    }
    std::vector<RecordBytes> rows;
    if (!toRead.empty()) {
        if (const StoreError e = m_store->ReadSeveral(toRead, rows); e != StoreError::None) {
            Failed(e);
            return false;
        }
    }
    for (RecordBytes& row : rows) {
        const auto held = m_versions.find(row.sysid);
        if (held != m_versions.end() && held->second >= row.version) continue;
        if (IsKnownSysid(row.sysid)) {
            // Not changed here: what was read of it before is older.
            if (CRecordEntry* rec = LoadedRecord(row.sysid)) {
                DropFromLoaded(rec);
                m_cache.Remove(rec);
            }
            out.changed.push_back(KeyForSysid(row.sysid));
        } else {
            out.added.push_back(
                PlaceInDirectory(static_cast<int>(m_directory.size()), row.sysid, nullptr));
        }
        m_versions[row.sysid] = row.version;
        // The pane that shows the row reads it from here, not from the store again.
        m_readAhead[row.sysid] = std::move(row.bytes);
    }
    for (const StoredRecord& r : removed) {
        const std::string& sysid = r.sysid;
        const auto held = m_versions.find(sysid);
        const int key = KeyForSysid(sysid);
        // Not stored as this run knows it, or stored again since (a newer version is read).
        if (held == m_versions.end() || key < 0 || held->second > r.version) continue;
        if (ours(sysid)) {
            m_versions.erase(held);
            if (CRecordEntry* rec = LoadedRecord(sysid); rec && !KeptInMemory(sysid)) {
                // Inserted again by the next save.
                rec->SetChanged();
                m_host.SetModifiedFlag();
                out.keptHere.push_back(sysid);
            }
            continue;
        }
        m_versions.erase(held);
        DropRemovedElsewhere(sysid, key);
        out.removed.push_back(key);
    }
    CheckInvariants();
    return true;
}
