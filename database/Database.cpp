#include "database/Database.h"

#include <sys/stat.h>

#include <algorithm>
#include <cassert>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "resources/Strings.h"

namespace {

CRecordEntry* Rec(CKQTreeEntry* e) { return dynamic_cast<CRecordEntry*>(e); }

}  // namespace

CResultsDatabase::CResultsDatabase(IDatabaseHost& host) : m_host(host) {}

CResultsDatabase::~CResultsDatabase() { Close(); }

std::string CResultsDatabase::DirectoryName() { return CFileRecordStore::DirectoryName(); }

void CResultsDatabase::Close() {
    m_readAhead.clear();
    m_inMemory.clear();
    m_store->Rollback();
    m_file.Close();
    m_attached.reset();  // a store handed in is let go as well
    m_store = &m_file;
    m_loaded.clear();
    m_cache.RemoveAll();
    m_queue.clear();
}

// ---- open and save ----

StoreError CResultsDatabase::Failed(StoreError error) {
    m_lastError = m_store->Describe(error);
    return error;
}

bool CResultsDatabase::OpenFile(const std::string& path, bool create) {
    const StoreError e = m_file.Open(path, create);
    if (e != StoreError::None) {
        m_lastError = m_file.Describe(e);
        return false;
    }
    return true;
}

bool CResultsDatabase::TakeVersions() {
    std::vector<StoredRecord> rows;
    m_store->List(rows);
    m_versions.clear();
    for (const StoredRecord& r : rows) m_versions.emplace(r.sysid, r.version);
    return true;
}

// The database stands on directory, read from the store just now: nothing of the records
// before stays cached, and nothing is pending.
void CResultsDatabase::StandOn(std::vector<std::string> directory) {
    m_loaded.clear();
    m_readAhead.clear();
    m_cache.RemoveAll();
    m_queue.clear();
    m_placesOwed.clear();
    m_inMemory.clear();
    m_keepAll = false;
    m_directory = std::move(directory);
    m_opened = true;
    RebuildIndex();
    m_saveFailed = m_openPending = false;
    m_pendingPath.clear();
    m_openResult = CStreamStorage::OpenResult::Ok;
    CheckInvariants();
}

// The store's listing as the directory; a remade one (the file's directory stream was
// missing or damaged) is said so, and written again with the next commit.
bool CResultsDatabase::ListInto(std::vector<std::string>& directory) {
    std::vector<StoredRecord> rows;
    directory.clear();
    if (const StoreError e = m_store->List(rows); e != StoreError::None) {
        Failed(e);
        return false;
    }
    m_versions.clear();
    const bool file = m_store == &m_file;
    if (file) {
        // The file's directory as it stands: a deleted record's position stays, empty.
        directory.resize(m_file.OrderLength());
        for (StoredRecord& r : rows) {
            m_versions.emplace(r.sysid, r.version);
            directory[static_cast<size_t>(r.order)] = std::move(r.sysid);
        }
    } else {
        directory.reserve(rows.size());
        for (StoredRecord& r : rows) {
            m_versions.emplace(r.sysid, r.version);
            directory.push_back(std::move(r.sysid));
        }
    }
    if (file && m_file.OrderRemade() && (m_file.OrderWasDamaged() || !directory.empty()))
        m_host.LogLine(FormatKQString(IDS_WARN_DIRECTORY_REMADE, m_file.Path(),
                                      std::to_string(directory.size())));
    return true;
}

bool CResultsDatabase::Open(const std::string& path) {
    const std::string previous = m_file.Path();
    std::vector<std::string> directory;
    if (!m_attached && OpenFile(path, false) && ListInto(directory)) {
        StandOn(std::move(directory));
        m_path = path;
        m_dirChanged = m_file.OrderRemade();
        m_ownFile.Remember(path);
        return true;
    }
    if (m_attached) {
        m_lastError = "a store other than a file is open";
        m_openResult = CStreamStorage::OpenResult::Error;
        return false;
    }
    const CStreamStorage::OpenResult r = m_file.LastOpenResult();
    // A file that opened but whose directory could not be read (busy, I/O) may be perfectly
    // good; it is read again before anything is written there. Any other failure goes back
    // to the file this run stood on.
    if (!m_file.LastOpenReachedFile() && !previous.empty()) {
        const std::string why = m_lastError;
        if (OpenFile(previous, false)) TakeVersions();
        m_lastError = why;
    }
    if (r == CStreamStorage::OpenResult::NotADatabase) {
        m_keepAsideBeforeSave = true;
        m_unreadablePath = path;
    }
    if (r == CStreamStorage::OpenResult::Error && !m_file.IsOpen()) {
        // Read it before anything is written there; until then this run's records wait.
        m_openPending = true;
        m_pendingPath = path;
        m_opened = false;
    }
    m_openResult = r;
    return false;
}

bool CResultsDatabase::UseStore(std::unique_ptr<IRecordStore> store) {
    if (!store) return false;
    IRecordStore* before = m_store;
    m_store = store.get();
    std::vector<std::string> directory;
    if (!ListInto(directory)) {
        m_store = before;
        return false;
    }
    // What a store that took no writes left in memory comes along, to be stored in this one
    // (this machine's record is placed again by its owner).
    const std::vector<std::string> carried = KeptOnly();
    before->Rollback();
    m_file.Close();
    m_attached = std::move(store);
    StandOn(std::move(directory));
    TakeIn(carried);
    m_path.clear();
    m_dirChanged = m_keepAsideBeforeSave = false;
    m_ownFile.Forget();
    return true;
}

std::vector<std::string> CResultsDatabase::KeptOnly() const {
    std::vector<std::string> kept;
    if (!m_keepAll) return kept;
    for (const std::string& sysid : m_inMemory)
        if (const CRecordEntry* rec = LoadedRecord(sysid);
            rec && !rec->IsCurrent() && !rec->IsDeleted())
            SerializeRecord(*rec, kept.emplace_back());
    return kept;
}

int CResultsDatabase::TakeIn(const std::vector<std::string>& kept) {
    m_carried = 0;
    for (const std::string& bytes : kept) {
        CRecordEntry* rec = NewRecord(std::string());
        if (!rec) break;
        const std::string sysid = DeserializeRecord(bytes, *rec) ? GetRecordSysid(*rec) : "";
        if (IsKnownSysid(sysid)) m_host.LogLine(FormatKQString(IDS_WARN_DUPLICATE_RECORD, sysid));
        if (AddImportedRecord(rec, sysid) < 0) {
            DiscardRecord(rec);
            continue;
        }
        rec->SetChanged();
        ++m_carried;
    }
    return m_carried;
}

bool CResultsDatabase::ListAgain() {
    std::vector<std::string> directory;
    if (!m_attached || !ListInto(directory)) return false;
    StandOn(std::move(directory));
    return true;
}

CResultsDatabase::RetryResult CResultsDatabase::RetryOpen(int busyMs, std::string& storedMirror) {
    storedMirror.clear();
    if (!m_openPending) return RetryResult::NotPending;
    m_file.SetBusyTimeout(busyMs);
    const bool opened = OpenFile(m_pendingPath, false);
    m_file.SetBusyTimeout(2000);
    const CStreamStorage::OpenResult r = m_file.LastOpenResult();
    std::vector<std::string> file;
    if (!opened || !ListInto(file)) {
        if (r == CStreamStorage::OpenResult::Error) return RetryResult::StillUnread;
        // Gone, or found to be something else: the save decides as for any file.
        m_openPending = false;
        if (r == CStreamStorage::OpenResult::NotADatabase) {
            m_keepAsideBeforeSave = true;
            m_unreadablePath = m_pendingPath;
        }
        m_openResult = r;
        return RetryResult::NotRead;
    }
    JoinRecordsToFile(std::move(file), storedMirror);
    CheckInvariants();
    return RetryResult::Read;
}

// This run's records, made while the file was unread, join the file's records as an import
// joins them. Each keeps the key it had, so the views' rows and selections still name it.
void CResultsDatabase::JoinRecordsToFile(std::vector<std::string> file, std::string& storedMirror) {
    struct Mine {
        std::string sysid;
        CRecordEntry* rec;
        int key;
        bool saved;
    };
    CRecordEntry* mirror = nullptr;
    int mirrorKey = 0;
    std::vector<Mine> mine;
    for (size_t i = 0; i < m_directory.size(); ++i) {
        const std::string& s = m_directory[i];
        auto loaded = m_loaded.find(s);
        if (s.empty() || loaded == m_loaded.end() || !m_keyMap.count(s)) continue;
        if (i == 0 && loaded->second->IsCurrent()) {
            mirror = loaded->second;
            mirrorKey = m_keyMap[s];
        } else {
            mine.push_back({s, loaded->second, m_keyMap[s], m_savedWhileUnread.count(s) != 0});
        }
    }
    // Deleted since: nothing of the file's may go with them.
    for (int i = 0; i < m_cache.GetCount();) {
        CRecordEntry* rec = Rec(m_cache.GetAt(i));
        if (rec && rec->IsDeleted()) {
            m_cache.Remove(rec);
            continue;
        }
        ++i;
    }
    m_path = m_pendingPath;
    m_openPending = false;
    m_pendingPath.clear();
    m_savedWhileUnread.clear();
    m_directory = std::move(file);
    m_loaded.clear();
    m_readAhead.clear();
    m_placesOwed.clear();
    m_opened = true;
    m_saveFailed = false;
    m_openResult = CStreamStorage::OpenResult::Ok;
    RebuildIndex();
    m_dirChanged = m_file.OrderRemade();
    m_ownFile.Remember(m_path);

    auto rekey = [this](const std::string& sysid, int key) {
        auto it = m_keyMap.find(sysid);
        if (it == m_keyMap.end() || key <= 0) return;
        const int pos = KeyPosition(it->second);
        m_keyTable.erase(it->second);
        m_keyTable[key] = pos;
        it->second = key;
    };
    auto drop = [this](CRecordEntry* rec) { m_cache.Remove(rec); };

    if (mirror) {
        const std::string sysid = GetRecordSysid(*mirror);
        switch (StateForImport(sysid)) {
            case ImportState::Absent:
                // A machine the file does not know: its record goes first, as at start-up.
                PlaceInDirectory(0, sysid, mirror, mirrorKey);
                break;
            case ImportState::Dangling:
                AdoptDanglingRecord(mirror, sysid);
                rekey(sysid, mirrorKey);
                break;
            case ImportState::Present:
            case ImportState::Error:
                // The stored record stays, description included; the owner decides what of
                // this run it takes.
                drop(mirror);
                rekey(sysid, mirrorKey);
                storedMirror = sysid;
                break;
        }
    }
    // Snapshots go in oldest first, so the newest ends at position 1 as when it was saved.
    for (auto it = mine.rbegin(); it != mine.rend(); ++it) {
        if (!it->saved) continue;
        if (IsKnownSysid(it->sysid)) {
            const std::string fresh = MakeNewSysid();
            if (fresh.empty()) {
                drop(it->rec);
                continue;
            }
            SetRecordSysid(*it->rec, fresh);
            it->sysid = fresh;
        }
        PlaceInDirectory(std::min<int>(1, static_cast<int>(m_directory.size())), it->sysid, it->rec,
                         it->key);
    }
    for (Mine& m : mine) {
        if (m.saved) continue;
        switch (StateForImport(m.sysid)) {
            case ImportState::Absent:
                PlaceInDirectory(static_cast<int>(m_directory.size()), m.sysid, m.rec, m.key);
                break;
            case ImportState::Dangling:
                AdoptDanglingRecord(m.rec, m.sysid);
                rekey(m.sysid, m.key);
                break;
            case ImportState::Present:
            case ImportState::Error:
                m_host.LogLine(FormatKQString(IDS_WARN_DUPLICATE_RECORD, m.sysid));
                drop(m.rec);
                break;
        }
    }
    m_host.SetModifiedFlag();
}

// Makes the file store stand on path. A file there that this run neither read nor created
// is kept first: moved aside when nothing else holds it, else copied aside; a file that can
// be neither, or that we may not read, makes the save fail.
bool CResultsDatabase::EnsureStorage(const std::string& path) {
    const bool ours = m_ownFile.Matches(path);
    if (ours && m_file.IsOpen() && SameFile(m_file.Path(), path)) return true;
    if (ours && !m_file.IsOpen()) return OpenFile(path, false) && TakeVersions();
    bool replace = false;  // the foreign file stays where it is and is written over
    if (!ours && PathExists(path)) {
        const AsideWay way = HowToSetAside(path, m_lastError);
        if (way == AsideWay::Refuse) return false;
        const bool mayMove = way == AsideWay::Move;
        if (!(mayMove && SetAside(path, true))) {
            if (!SetAside(path, false)) return false;
            replace = true;
        }
    }
    if (m_file.IsOpen()) {
        // The copy holds what the store held: the versions stay.
        const StoreError e = m_file.SaveAs(path);
        if (e == StoreError::None) {
            m_ownFile.Remember(path);
            return true;
        }
        m_lastError = m_file.Describe(e);
        return false;
    }
    if (replace) {
        // An empty database of ours goes over the copied file.
        const std::string fresh = AsideName(path + ".new", static_cast<std::time_t>(m_host.Now()));
        bool ok = false;
        {
            CFileRecordStore made;
            ok = made.Open(fresh, true) == StoreError::None;
        }
        ok = ok && OpenFile(fresh, false) && TakeVersions();
        if (ok) {
            const StoreError e = m_file.SaveAs(path);
            ok = e == StoreError::None;
            if (!ok) {
                m_lastError = m_file.Describe(e);
                m_file.Close();
            }
        }
        std::remove(fresh.c_str());
        if (ok) m_ownFile.Remember(path);
        return ok;
    }
    if (!OpenFile(path, true) || !TakeVersions()) return false;
    m_ownFile.Remember(path);
    return true;
}

void CResultsDatabase::ReportSaveFailure(const std::string& path) {
    m_saveFailed = true;
    m_host.LogLine(FormatKQString(IDS_ERR_CANT_SAVE_DATABASE, path));
}

// Keeps the file at path under a free name beside it, moved or (move false) copied.
bool CResultsDatabase::SetAside(const std::string& path, bool move) {
    const std::string aside = AsideName(path, static_cast<std::time_t>(m_host.Now()));
    if (!(move ? MoveAside(path, aside, m_lastError) : CopyAside(path, aside, m_lastError)))
        return false;
    m_host.LogLine(FormatKQString(IDS_WARN_DATABASE_KEPT_AS, path, aside));
    if (move && m_unreadablePath == path) m_keepAsideBeforeSave = false;
    return true;
}

bool CResultsDatabase::Save(const std::string& path) {
    const std::string shown = m_attached ? m_path : path;
    m_host.SetStatusText(LoadKQString(IDS_SAVING_DATA));
    m_host.LogLine(LoadKQString(IDS_SAVING_DATABASE_TO) + shown);
    m_storedMeanwhile.clear();
    // A file not read yet is never written over: its records would be lost to this run.
    bool result = !m_openPending && (m_attached || EnsureStorage(path));
    if (m_openPending) m_lastError = "not read yet";
    if (result) {
        if (!m_attached) m_path = path;
        m_opened = true;
        // Every changed record in one batch with the order, committed together.
        std::vector<std::pair<CRecordEntry*, int64_t>> done;
        for (CKQTreeEntry* e : m_cache) {
            CRecordEntry* rec = Rec(e);
            if (!rec || !rec->IsChanged()) continue;
            if (rec->IsDeleted()) {
                done.emplace_back(rec, 0);  // goes with the order
                continue;
            }
            int64_t version = 0;
            // A record that fails changes nothing; the others are still written.
            if (StoreRecord(*rec, version) == StoreError::None)
                done.emplace_back(rec, version);
            else
                result = false;
        }
        if (!CommitOrder()) {
            result = false;
            m_dirChanged = true;
        } else {
            // Only a committed batch has written anything. (A record that failed is named
            // after the others once it is written: a store puts a new record at the end.)
            for (auto& [rec, version] : done) {
                rec->SetChanged(false);
                const std::string sysid = GetRecordSysid(*rec);
                m_readAhead.erase(sysid);
                if (rec->IsDeleted())
                    m_pendingDeletes.erase(sysid);
                else if (version != kNotStored)
                    m_versions[sysid] = version;
            }
        }
    }
    if (result)
        m_saveFailed = false;
    else
        ReportSaveFailure(shown);
    m_host.SetModifiedFlag(!result);
    CheckInvariants();
    return result;
}

// ---- the store ----

StoreError CResultsDatabase::StoreRecord(CRecordEntry& record, int64_t& version) {
    const std::string sysid = GetRecordSysid(record);
    version = kNotStored;
    if (m_keepAll) KeepInMemory(sysid);
    if (KeptInMemory(sysid)) return StoreError::None;
    std::string data;
    SerializeRecord(record, data);
    auto held = m_versions.find(sysid);
    const StoreError e = held == m_versions.end()
                             ? m_store->Insert(sysid, data, version)
                             : m_store->Replace(sysid, held->second, data, version);
    if (e == StoreError::None) return e;
    Failed(e);
    // A new record whose identifier another writer stored meanwhile: theirs stays and this
    // one is skipped as an import skips a duplicate (the mirror is not: its rules are its own).
    const bool lost = e == StoreError::Exists && held == m_versions.end() && !record.IsCurrent();
    if (lost) {
        m_host.LogLine(FormatKQString(IDS_WARN_DUPLICATE_RECORD, sysid));
        m_storedMeanwhile.push_back(sysid);
        held = m_versions.emplace(sysid, 0).first;
    }
    const bool stored = held != m_versions.end();
    // This machine's record refused to a reader, or another writer's row: what is stored
    // stays, the user hears of it once, and no save tries it again.
    if (e == StoreError::Denied && (stored || record.IsCurrent())) {
        version = kNotStored;
        KeepInMemory(sysid);
        m_host.ShowMessage(
            FormatKQString(stored ? IDS_ERR_TEAM_ROW_NOT_OURS : IDS_WARN_TEAM_READ_ONLY, sysid));
        return StoreError::None;
    }
    if (!stored || (e != StoreError::Conflict && !lost)) return e;
    // Changed meanwhile (said), or taken meanwhile: read again as stored.
    if (!lost) m_host.ShowMessage(FormatKQString(IDS_ERR_TEAM_ROW_CHANGED, sysid));
    version = held->second;
    const bool current = record.IsCurrent();
    ClearEntry(record);
    if (ReadRecord(sysid, record)) version = m_versions[sysid];
    if (current) record.SetCurrent();
    return StoreError::None;
}

bool CResultsDatabase::Relist(Relisted& out) {
    out = Relisted();
    std::vector<StoredRecord> rows;
    if (const StoreError e = m_store->List(rows); e != StoreError::None) {
        Failed(e);
        return false;
    }
    std::set<std::string, CaseLess> listed;
    for (const StoredRecord& row : rows) {
        listed.insert(row.sysid);
        auto held = m_versions.find(row.sysid);
        if (held == m_versions.end()) {
            // A record of this program's own under that name waits for its save.
            if (IsKnownSysid(row.sysid)) continue;
            m_versions.emplace(row.sysid, row.version);
            out.added.push_back(
                PlaceInDirectory(static_cast<int>(m_directory.size()), row.sysid, nullptr));
            continue;
        }
        if (held->second == row.version) continue;
        CRecordEntry* rec = LoadedRecord(row.sysid);
        if (rec && rec->IsChanged()) continue;
        held->second = row.version;
        m_readAhead.erase(row.sysid);
        if (rec && !rec->IsCurrent()) {
            ClearEntry(*rec);
            ReadRecord(row.sysid, *rec);
        }
        if (const int key = KeyForSysid(row.sysid); key >= 0) out.changed.push_back(key);
    }
    std::vector<std::string> gone;
    for (const auto& held : m_versions)
        if (!listed.count(held.first)) gone.push_back(held.first);
    for (const std::string& sysid : gone) {
        m_versions.erase(sysid);
        const CRecordEntry* rec = LoadedRecord(sysid);
        // Changed here, it is stored again with the next save; this machine's stays.
        if (rec && (rec->IsChanged() || rec->IsCurrent())) continue;
        const int key = KeyForSysid(sysid);
        const int pos = KeyPosition(key);
        if (key < 0 || pos < 0) continue;
        DropRemovedElsewhere(sysid, key);
        out.removed.push_back(key);
    }
    CheckInvariants();
    return true;
}

void CResultsDatabase::DropRemovedElsewhere(const std::string& sysid, int key) {
    m_directory[static_cast<size_t>(KeyPosition(key))].clear();
    m_keyMap.erase(sysid);
    m_readAhead.erase(sysid);
    MarkDeleted(sysid, false);
}

bool CResultsDatabase::CommitOrder() {
    std::vector<std::string> deleted;
    for (CKQTreeEntry* e : m_cache) {
        CRecordEntry* rec = Rec(e);
        if (!rec || !rec->IsChanged() || !rec->IsDeleted()) continue;
        // Named again by a new record by now: that record replaces what is stored.
        const std::string gone = GetRecordSysid(*rec);
        auto held = m_versions.find(gone);
        if (IsKnownSysid(gone) || held == m_versions.end()) continue;
        const StoreError r = m_store->Delete(gone, held->second);
        if (r != StoreError::None && r != StoreError::NotFound) {
            Failed(r);
            m_store->Rollback();
            return false;
        }
        deleted.push_back(gone);
    }
    std::vector<std::pair<std::string, int>> stillOwed;
    for (const auto& [sysid, pos] : m_placesOwed) {
        if (KeptInMemory(sysid)) continue;  // never stored: no place to take
        const StoreError r = m_store->Place(sysid, pos);
        // A record still to be written (its write failed) is placed once it is; one that
        // will not be written has no place in the store to take.
        if (r == StoreError::NotFound) {
            const CRecordEntry* rec = LoadedRecord(sysid);
            if (rec && rec->IsChanged()) stillOwed.emplace_back(sysid, pos);
            continue;
        }
        if (r != StoreError::None) {
            Failed(r);
            m_store->Rollback();
            return false;
        }
    }
    if (const StoreError r = m_store->Commit(); r != StoreError::None) {
        Failed(r);
        return false;
    }
    for (const std::string& gone : deleted) m_versions.erase(gone);
    m_placesOwed = std::move(stillOwed);
    m_dirChanged = !m_placesOwed.empty();
    return true;
}

bool CResultsDatabase::ReadRecord(const std::string& sysid, CKQTreeEntry& entry) {
    std::string data;
    int64_t version = 0;
    m_readFailed = false;
    if (!IsStorableSysid(sysid)) return false;
    const StoreError e = m_store->Read(sysid, data, version);
    if (e != StoreError::None) {
        // Busy or an I/O error says nothing about the record: it may be whole.
        m_readFailed = e != StoreError::NotFound;
        Failed(e);
        return false;
    }
    if (DeserializeRecord(data, entry)) {
        if (auto held = m_versions.find(sysid); held != m_versions.end()) held->second = version;
        return true;
    }
    // A damaged stream: nothing half-read stays behind.
    ClearEntry(entry);
    m_lastError = "damaged record " + sysid;
    return false;
}

int CResultsDatabase::UnstoredCount() const {
    int n = 0;
    for (const std::string& s : m_directory)
        if (!s.empty() && !m_versions.count(s)) ++n;
    return n;
}

// ---- records ----

void CResultsDatabase::ClearEntry(CKQTreeEntry& entry) {
    entry.m_key.clear();
    entry.RemoveAllAttrs();
    entry.RemoveAllTips();
    entry.RemoveAllRepDefs();
    entry.DeleteSubtree();
    entry.m_uniqueID.clear();
}

void CResultsDatabase::CopyEntry(CKQTreeEntry& dest, const CKQTreeEntry& source) {
    ClearEntry(dest);
    dest.m_key = source.m_key;
    dest.m_attrs = source.m_attrs;
    dest.m_tips = source.m_tips;
    dest.m_uniqueID = source.m_uniqueID;
    auto* d = dynamic_cast<CRecordEntry*>(&dest);
    auto* s = dynamic_cast<const CRecordEntry*>(&source);
    if (d && s) {
        d->SetCurrent(s->IsCurrent());
        d->SetDeleted(s->IsDeleted());
    }
    if (const CKQTree* sub = source.GetSubtree()) {
        CKQTree* dsub = dest.AddSubtree();
        if (!dsub) return;
        for (const CKQTreeEntry* child : *sub)
            if (CKQTreeEntry* c = dsub->Add(child->m_key)) CopyEntry(*c, *child);
    }
}

bool CResultsDatabase::LoadRecord(CKQTreeEntry& entry, const std::string& sysid) {
    auto it = m_loaded.find(sysid);
    if (it != m_loaded.end()) {
        CopyEntry(entry, *it->second);
        return true;
    }
    ClearEntry(entry);
    if (auto ahead = m_readAhead.find(sysid); ahead != m_readAhead.end()) {
        const std::string bytes = std::move(ahead->second);
        m_readAhead.erase(ahead);
        m_readFailed = false;
        if (DeserializeRecord(bytes, entry)) return true;
        ClearEntry(entry);
        m_lastError = "damaged record " + sysid;
        return false;
    }
    return ReadRecord(sysid, entry);
}

bool CResultsDatabase::ForEachWithPrefix(
    const std::string& prefix,
    const std::function<void(const std::string&, const CKQTreeEntry&)>& fn) {
    std::vector<RecordBytes> stored;
    const StoreError e = StoreOpen() ? m_store->ReadPrefix(prefix, stored) : StoreError::None;
    if (e != StoreError::None) Failed(e);
    for (const RecordBytes& r : stored) {
        if (!m_keyMap.count(r.sysid) || m_loaded.count(r.sysid)) continue;
        CKQTreeEntry entry;
        if (DeserializeRecord(r.bytes, entry)) fn(r.sysid, entry);
    }
    for (const auto& [sysid, record] : m_loaded)
        if (record && !record->IsDeleted() && m_keyMap.count(sysid) &&
            StartsWithNoCase(sysid, prefix))
            fn(sysid, *record);
    return e == StoreError::None;
}

// The listing reads the records it will list next in one request: a server answers many
// rows in about the time it answers one.
void CResultsDatabase::ReadAhead(const std::string& sysid) {
    if (m_readAhead.count(sysid) || !StoreOpen()) return;
    m_readAhead.clear();
    std::vector<std::string> next;
    for (const DbRequest& r : m_queue) {
        if (next.size() + 1 >= kReadAhead) break;
        if (r.kind() == DbRequest::kListRecord && !m_loaded.count(r.sysid()))
            next.push_back(r.sysid());
    }
    if (next.empty()) return;  // the one record is read on its own
    next.insert(next.begin(), sysid);
    std::vector<RecordBytes> rows;
    if (m_store->ReadSeveral(next, rows) != StoreError::None) return;  // read one by one
    for (RecordBytes& row : rows) m_readAhead.emplace(row.sysid, std::move(row.bytes));
}

CRecordEntry* CResultsDatabase::GetRecord(const std::string& sysid) {
    auto it = m_loaded.find(sysid);
    if (it != m_loaded.end()) return it->second;
    m_readFailed = !StoreOpen();  // no store to read it from now
    if (!IsStorableSysid(sysid) || !StoreOpen()) return nullptr;
    CKQTreeEntry* e = m_cache.Add(std::string());
    CRecordEntry* rec = Rec(e);
    if (!rec || !ReadRecord(sysid, *rec)) {
        if (e) m_cache.Remove(e);
        return nullptr;
    }
    m_loaded[sysid] = rec;
    return rec;
}

CRecordEntry* CResultsDatabase::LoadedRecord(const std::string& sysid) const {
    auto it = m_loaded.find(sysid);
    return it == m_loaded.end() ? nullptr : it->second;
}

CRecordEntry* CResultsDatabase::NewRecord(const std::string& key) {
    CKQTreeEntry* e = m_cache.Add(key);
    CRecordEntry* rec = Rec(e);
    if (!rec && e) m_cache.Remove(e);
    return rec;
}

void CResultsDatabase::DiscardRecord(CRecordEntry* record) {
    if (!record) return;
    // A record the directory names is deleted, never discarded.
    assert(LoadedRecord(GetRecordSysid(*record)) != record);
    assert(record->InUse() == 0 && "a held record stays");
    m_cache.Remove(record);
}

std::string CResultsDatabase::IdentifierAttributeID() const {
    const CKQTreeEntry* head = m_cache.GetHead();
    return head && head->GetAttrCount() > 0 ? head->GetAttrID(0) : std::string();
}

void CResultsDatabase::ReindexDirectory(std::vector<std::string> directory) {
    assert(m_loaded.empty());
    m_directory = std::move(directory);
    RebuildIndex();
}

void CResultsDatabase::SetStepBudget(int microseconds, int maxRecords) {
    m_stepBudgetUs = microseconds;
    m_stepMaxRecords = maxRecords;
}

void CResultsDatabase::SetBusyTimeout(int ms) { m_file.SetBusyTimeout(ms); }

void CResultsDatabase::CheckInvariants() const {
#ifndef NDEBUG
    const std::set<const CKQTreeEntry*> cached(m_cache.begin(), m_cache.end());
    for (const auto& [sysid, rec] : m_loaded) {
        assert(rec && "a loaded record is a record");
        assert(cached.count(rec) && "every loaded record is in the cache");
        assert(!rec->IsDeleted() && "a deleted record is no longer loaded");
    }
    for (const auto& [sysid, key] : m_keyMap) {
        const int pos = KeyPosition(key);
        assert(pos >= 0 && pos < static_cast<int>(m_directory.size()) &&
               EqualsNoCase(m_directory[static_cast<size_t>(pos)], sysid) &&
               "the key table and the directory agree");
    }
#endif
}

void CResultsDatabase::DropFromLoaded(CRecordEntry* record) {
    auto it = m_loaded.find(GetRecordSysid(*record));
    if (it != m_loaded.end() && it->second == record) {
        m_loaded.erase(it);
        return;
    }
    for (it = m_loaded.begin(); it != m_loaded.end(); ++it)
        if (it->second == record) {
            m_loaded.erase(it);
            return;
        }
}

bool CResultsDatabase::IsKnownSysid(const std::string& sysid) const {
    return m_keyMap.count(sysid) != 0;
}

bool CResultsDatabase::IsStorableSysid(const std::string& sysid) {
    return CFileRecordStore::IsStorableName(sysid);
}

std::string CResultsDatabase::RecordSysid(int key) const {
    int pos = KeyPosition(key);
    if (pos < 0 || pos >= static_cast<int>(m_directory.size())) return std::string();
    return m_directory[static_cast<size_t>(pos)];
}

std::string CResultsDatabase::GetRecordSysid(const CKQTreeEntry& entry) {
    return entry.GetAttrCount() > 0 ? entry.GetAttrValue(0) : std::string();
}

void CResultsDatabase::SetRecordSysid(CKQTreeEntry& entry, const std::string& sysid) const {
    // Attribute 0 is the identifier whatever its ID: replace it where it stands, so that a
    // cache headed by a record with another ID cannot leave the old identifier in place.
    if (CAttr* a = entry.GetAttr(0)) {
        a->m_value = sysid;
        a->m_type = 0;
        a->m_data = 0;
        return;
    }
    entry.SetAttr(IdentifierAttributeID(), sysid, 0, 0);
}

int CResultsDatabase::MakeKey(int position) {
    // Keys only grow, so each goes in at the end of the table.
    int key = m_nextKey++;
    m_keyTable.emplace_hint(m_keyTable.end(), key, position);
    return key;
}

int CResultsDatabase::PlaceInDirectory(int pos, const std::string& sysid, CRecordEntry* rec,
                                       int key) {
    // At the end nothing moves on, and the store puts a new record there itself.
    if (pos < static_cast<int>(m_directory.size())) {
        for (auto& kp : m_keyTable)
            if (kp.second >= pos) ++kp.second;
        m_placesOwed.emplace_back(sysid, pos);
        m_dirChanged = true;
    }
    m_directory.insert(m_directory.begin() + pos, sysid);
    if (key > 0)
        m_keyTable[key] = pos;
    else
        key = MakeKey(pos);
    m_keyMap[sysid] = key;
    if (rec) m_loaded[sysid] = rec;
    CheckInvariants();
    return key;
}

bool CResultsDatabase::RefuseSysid(const std::string& sysid) {
    if (IsStorableSysid(sysid) && !IsKnownSysid(sysid)) return false;
    // No identifier at all (a tree without attributes) is simply no record.
    if (!IsStorableSysid(sysid) && !sysid.empty())
        m_host.LogLine(FormatKQString(IDS_ERR_CANT_NAME_RECORD, sysid));
    return true;
}

int CResultsDatabase::AddImportedRecord(CRecordEntry* entry, const std::string& sysid) {
    if (RefuseSysid(sysid)) return -1;
    CancelPendingDelete(sysid);
    return PlaceInDirectory(static_cast<int>(m_directory.size()), sysid, entry);
}

int CResultsDatabase::AddSavedRecord(CRecordEntry* entry, const std::string& sysid) {
    if (RefuseSysid(sysid)) return -1;
    CancelPendingDelete(sysid);
    if (m_openPending) m_savedWhileUnread.insert(sysid);
    return PlaceInDirectory(std::min<int>(1, static_cast<int>(m_directory.size())), sysid, entry);
}

CRecordEntry* CResultsDatabase::AddCurrentSystemRecord(const std::string& key,
                                                       const std::string& sysid) {
    if (RefuseSysid(sysid)) return nullptr;
    CancelPendingDelete(sysid);
    CKQTreeEntry* e = m_cache.InsertHead(key);
    CRecordEntry* rec = Rec(e);
    if (!rec) {
        if (e) m_cache.Remove(e);
        return nullptr;
    }
    PlaceInDirectory(0, sysid, rec);
    return rec;
}

CResultsDatabase::ImportState CResultsDatabase::StateForImport(const std::string& sysid) {
    auto known = m_keyMap.find(sysid);
    if (known == m_keyMap.end()) return ImportState::Absent;
    if (m_loaded.count(sysid)) return ImportState::Present;  // written or not, it is here
    if (!StoreOpen()) return ImportState::Present;
    std::string data;
    int64_t version = 0;
    const StoreError e = m_store->Read(known->first, data, version);
    if (e == StoreError::NotFound) return ImportState::Dangling;
    if (e != StoreError::None) {
        Failed(e);
        return ImportState::Error;
    }
    CKQTreeEntry probe;
    return DeserializeRecord(data, probe) ? ImportState::Present : ImportState::Dangling;
}

int CResultsDatabase::AdoptDanglingRecord(CRecordEntry* entry, const std::string& sysid) {
    auto known = m_keyMap.find(sysid);
    if (known == m_keyMap.end() || !entry) return -1;
    const std::string named = known->first;
    CancelPendingDelete(named);
    m_loaded[named] = entry;
    return known->second;
}

CRecordEntry* CResultsDatabase::CurrentSystemRecord() {
    if (m_directory.empty() || m_directory[0].empty()) return nullptr;
    auto it = m_loaded.find(m_directory[0]);
    if (it == m_loaded.end() || !it->second || !it->second->IsCurrent()) return nullptr;
    return it->second;
}

CRecordEntry* CResultsDatabase::RebuildRecord(const std::string& key, const std::string& sysid) {
    if (!IsKnownSysid(sysid) || m_loaded.count(sysid)) return nullptr;
    CKQTreeEntry* e =
        KeyPosition(KeyForSysid(sysid)) == 0 ? m_cache.InsertHead(key) : m_cache.Add(key);
    CRecordEntry* rec = Rec(e);
    if (!rec) {
        if (e) m_cache.Remove(e);
        return nullptr;
    }
    m_loaded[sysid] = rec;
    return rec;
}

bool CResultsDatabase::DeleteRecord(int key, bool* undone) {
    if (undone) *undone = false;
    const int pos = KeyPosition(key);
    if (pos < 0 || pos >= static_cast<int>(m_directory.size())) return false;
    const std::string sysid = m_directory[static_cast<size_t>(pos)];
    const int namedKey = KeyForSysid(sysid);
    if (sysid.empty() || namedKey < 0) return false;
    m_directory[static_cast<size_t>(pos)].clear();  // the directory keeps its length
    m_keyMap.erase(sysid);
    m_readAhead.erase(sysid);
    if (!StoreOpen() || !m_opened || m_saveFailed) {
        // No store to write now: a later save deletes it from the store.
        MarkDeleted(sysid, true);
        m_dirChanged = true;
        m_host.SetModifiedFlag();
        return false;
    }
    // A record the store does not hold yet only leaves the directory.
    auto held = m_versions.find(sysid);
    StoreError e = StoreError::None;
    if (held != m_versions.end()) {
        e = m_store->Delete(sysid, held->second);
        if (e == StoreError::None)
            e = m_store->Commit();
        else
            m_store->Rollback();
    }
    if (e != StoreError::None) {
        // Nothing was written: the record is back where it was, and nothing waits to be done.
        Failed(e);
        m_directory[static_cast<size_t>(pos)] = sysid;
        m_keyMap[sysid] = namedKey;
        m_host.LogLine(FormatKQString(IDS_ERR_DELETE_UNDONE, sysid, m_lastError));
        if (undone) *undone = true;
        return false;
    }
    const bool destroyed = held != m_versions.end();
    if (destroyed) m_versions.erase(held);
    MarkDeleted(sysid, false);
    m_host.SetModifiedFlag();
    CheckInvariants();
    return destroyed;
}

// The cached record of a deleted identifier leaves the cache at the next save step; with
// pending set, that step also destroys its stream (when the directory no longer names it).
void CResultsDatabase::MarkDeleted(const std::string& sysid, bool pending) {
    auto it = m_loaded.find(sysid);
    CRecordEntry* rec = it != m_loaded.end() ? it->second : nullptr;
    if (rec) m_loaded.erase(it);
    if (!rec && pending) {
        // A marker that names the stream, nothing read for it.
        rec = Rec(m_cache.Add(std::string()));
        if (!rec) return;
        SetRecordSysid(*rec, sysid);
    }
    if (!rec) return;
    rec->SetDeleted();
    rec->SetChanged(pending);
    rec->ReleaseAll();
    rec->DeleteSubtree();
    if (pending) m_pendingDeletes.insert(sysid);
}

// A record of that identifier arrives: a delete still waiting for a save must not take it.
void CResultsDatabase::CancelPendingDelete(const std::string& sysid) {
    if (!m_pendingDeletes.erase(sysid)) return;
    for (CKQTreeEntry* e : m_cache) {
        CRecordEntry* rec = Rec(e);
        if (rec && rec->IsDeleted() && rec->IsChanged() &&
            EqualsNoCase(GetRecordSysid(*rec), sysid))
            rec->SetChanged(false);
    }
}

void CResultsDatabase::RebuildIndex() {
    m_keyMap.clear();
    m_keyTable.clear();  // the counter goes on: old keys never name another record
    // Sorted first, then filled from the end: a large directory opens in a fraction of the
    // time that one insertion after another takes.
    std::vector<std::pair<const std::string*, int>> order;
    order.reserve(m_directory.size());
    for (size_t i = 0; i < m_directory.size(); ++i) {
        const std::string& s = m_directory[i];
        if (s.empty() || !IsStorableSysid(s)) continue;
        order.emplace_back(&s, MakeKey(static_cast<int>(i)));
    }
    const CaseLess less;
    std::stable_sort(order.begin(), order.end(),
                     [&less](const auto& a, const auto& b) { return less(*a.first, *b.first); });
    for (const auto& entry : order) {
        // A name twice (only a damaged file has that) keeps its first position.
        if (!m_keyMap.empty() && EqualsNoCase(std::prev(m_keyMap.end())->first, *entry.first))
            continue;
        m_keyMap.emplace_hint(m_keyMap.end(), *entry.first, entry.second);
    }
}

int CResultsDatabase::KeyPosition(int key) const {
    if (key == 0) return 0;
    auto it = m_keyTable.find(key);
    return it == m_keyTable.end() ? -1 : it->second;
}

int CResultsDatabase::KeyForSysid(const std::string& sysid) const {
    auto it = m_keyMap.find(sysid);
    return it == m_keyMap.end() ? -1 : it->second;
}

int CResultsDatabase::CurrentSystemKey() const {
    if (m_directory.empty() || m_directory[0].empty()) return 0;
    int key = KeyForSysid(m_directory[0]);
    return key < 0 ? 0 : key;
}

int CResultsDatabase::QueryRecord(int key) const {
    // Key 0 is no row of the list (filler rows carry it).
    if (key == 0 || RecordSysid(key).empty()) return 0;
    return KeyPosition(key) == 0 ? 2 : 1;
}

bool CResultsDatabase::EditRecordProperties(int key) {
    if (key == 0 || KeyPosition(key) == 0) return m_host.PropertiesStep();
    const std::string sysid = RecordSysid(key);
    CRecordEntry* rec = GetRecord(sysid);
    if (!rec) return false;
    rec->Hold();
    bool ok = m_host.RecordPropertiesUI(rec);
    // A stored record is named by its stream: an identifier changed in the dialog would send
    // the edits to a stream the directory does not know.
    if (GetRecordSysid(*rec) != sysid) SetRecordSysid(*rec, sysid);
    if (ok) {
        rec->SetChanged();
        m_host.SetModifiedFlag();
    }
    rec->Release();
    return ok;
}

// ---- idle work ----

void CResultsDatabase::QueueListing() {
    for (size_t i = 0; i < m_directory.size(); ++i) {
        const std::string& s = m_directory[i];
        if (s.empty()) continue;
        int key = KeyForSysid(s);
        if (key < 0) continue;
        m_queue.emplace_back(DbRequest::kListRecord, s, key, static_cast<int>(i));
    }
    m_queue.emplace_back(DbRequest::kEndOfListing, std::string(), 0, 0);
}

bool CResultsDatabase::IdleStep() {
    if (!m_queue.empty()) {
        DbRequest r = std::move(m_queue.front());
        m_queue.pop_front();
        if (r.kind() == DbRequest::kListRecord) {
            CRecordEntry temp;
            if (!m_loaded.count(r.sysid())) ReadAhead(r.sysid());
            // A record that cannot be loaded is skipped.
            if (LoadRecord(temp, r.sysid())) m_host.ListRecord(&temp, r.value1());
        } else {
            m_host.ListingRequest(r.value1());
        }
        return true;
    }
    const bool more = SaveStep();
    CheckInvariants();
    return more;
}

bool CResultsDatabase::SaveStep() {
    if (m_openPending) return false;  // the owner reads the file again first
    if (!m_opened) {
        if (!m_saveFailed) m_host.SaveModified();
        return false;
    }
    if (m_saveFailed) return false;  // the next full save tries again and reports
    // Records first, as many as fit in the step's time, in one batch; the order of a batch
    // names only records the same batch or an earlier one stored.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    std::vector<std::pair<CRecordEntry*, int64_t>> batch;
    bool pendingDeletes = false;
    for (int i = 0; i < m_cache.GetCount();) {
        CKQTreeEntry* e = m_cache.GetAt(i);
        CRecordEntry* rec = Rec(e);
        if (rec && rec->IsChanged()) {
            if (rec->IsDeleted()) {
                pendingDeletes = true;  // goes with the order
            } else {
                int64_t version = 0;
                if (StoreRecord(*rec, version) != StoreError::None) {
                    // Left changed, so the full save on closing writes it or reports.
                    m_store->Rollback();
                    ReportSaveFailure(m_path);
                    return false;
                }
                batch.emplace_back(rec, version);
                if (static_cast<int>(batch.size()) >= m_stepMaxRecords ||
                    std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start)
                            .count() >= m_stepBudgetUs)
                    break;
            }
            ++i;
            continue;
        }
        if (!rec || rec->InUse() == 0) {
            if (rec) DropFromLoaded(rec);
            m_cache.Remove(e);
            continue;
        }
        ++i;
    }
    if (!batch.empty()) {
        // The file's directory waits for the last step: a long one is not rewritten on
        // every batch of an import.
        m_file.SetOrderDeferred(true);
        const StoreError r = m_store->Commit();
        m_file.SetOrderDeferred(false);
        if (r != StoreError::None) {
            Failed(r);
            ReportSaveFailure(m_path);
            return false;
        }
        for (auto& [rec, version] : batch) {
            rec->SetChanged(false);
            const std::string sysid = GetRecordSysid(*rec);
            if (version != kNotStored) m_versions[sysid] = version;
            m_readAhead.erase(sysid);  // what was read ahead is older
        }
        return true;
    }
    if (DirectoryChanged() || pendingDeletes) {
        // A deleted record goes with the order that stops naming it.
        if (!CommitOrder()) {
            m_dirChanged = true;
            ReportSaveFailure(m_path);
            return false;
        }
        for (CKQTreeEntry* e : m_cache) {
            CRecordEntry* rec = Rec(e);
            if (rec && rec->IsChanged() && rec->IsDeleted()) {
                rec->SetChanged(false);
                m_pendingDeletes.erase(GetRecordSysid(*rec));
            }
        }
        return true;
    }
    m_host.SetModifiedFlag(false);
    return false;
}

void CResultsDatabase::IdleStepsToEnd() {
    for (int i = 0; i < 100000 && IdleStep(); ++i) {}
}
