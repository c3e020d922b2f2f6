#include "database/FileRecordStore.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>

#include "database/RecordStream.h"
#include "resources/Strings.h"

// ---- the file's identity and setting it aside ----

void CFileIdentity::Remember(const std::string& path) {
    struct stat st;
    m_known = ::stat(path.c_str(), &st) == 0;
    m_dev = m_known ? static_cast<unsigned long long>(st.st_dev) : 0;
    m_ino = m_known ? static_cast<unsigned long long>(st.st_ino) : 0;
}

bool CFileIdentity::Matches(const std::string& path) const {
    struct stat st;
    return m_known && ::stat(path.c_str(), &st) == 0 &&
           static_cast<unsigned long long>(st.st_dev) == m_dev &&
           static_cast<unsigned long long>(st.st_ino) == m_ino;
}

bool SameFile(const std::string& a, const std::string& b) {
    if (a == b) return true;
    struct stat sa, sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool PathExists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

std::string AsideName(const std::string& path, std::time_t now) {
    std::tm tm{};
    gmtime_r(&now, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
    std::string aside = path + ".unreadable." + stamp;
    for (int n = 1; (PathExists(aside) || PathExists(aside + "-journal")) && n < 1000; ++n)
        aside = path + ".unreadable." + stamp + "-" + std::to_string(n);
    return aside;
}

AsideWay HowToSetAside(const std::string& path, std::string& error) {
    // A journal beside it belongs to a writer that may come back for it.
    if (PathExists(path + "-journal")) return AsideWay::Copy;
    CStreamStorage probe;
    switch (probe.OpenExisting(path)) {
        case CStreamStorage::OpenResult::Ok: {
            // A write transaction proves that no other connection holds the file.
            const bool free = probe.Begin();
            probe.Rollback();
            return free ? AsideWay::Move : AsideWay::Copy;
        }
        case CStreamStorage::OpenResult::NotADatabase:
        case CStreamStorage::OpenResult::Missing:
            return AsideWay::Move;
        case CStreamStorage::OpenResult::NoPermission:
        case CStreamStorage::OpenResult::Damaged:
            // May hold records: neither moved nor written over.
            error = probe.LastError();
            return AsideWay::Refuse;
        default:
            return AsideWay::Copy;
    }
}

bool MoveAside(const std::string& path, const std::string& aside, std::string& error) {
    if (std::rename(path.c_str(), aside.c_str()) == 0) return true;
    error = std::string("cannot keep the file aside: ") + std::strerror(errno);
    return false;
}

// A database that may not be moved (another connection holds it, or a journal lies beside
// it) is copied through SQLite's backup.
bool CopyAside(const std::string& path, const std::string& aside, std::string& error) {
    sqlite3* src = nullptr;
    sqlite3* dest = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &src, SQLITE_OPEN_READONLY, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(src, 2000);
        rc = sqlite3_open_v2(aside.c_str(), &dest, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             nullptr);
    }
    if (rc == SQLITE_OK) {
        sqlite3_backup* b = sqlite3_backup_init(dest, "main", src, "main");
        if (!b) {
            rc = sqlite3_errcode(dest);
        } else {
            rc = sqlite3_backup_step(b, -1);
            if (rc == SQLITE_DONE) rc = SQLITE_OK;
            const int finished = sqlite3_backup_finish(b);
            if (rc == SQLITE_OK) rc = finished;
        }
    }
    if (rc != SQLITE_OK) error = std::string("cannot copy the file aside: ") + sqlite3_errstr(rc);
    sqlite3_close(dest);
    sqlite3_close(src);
    if (rc == SQLITE_OK) return true;
    std::remove(aside.c_str());
    return false;
}

// ---- the store ----

const std::string& CFileRecordStore::DirectoryName() {
    static const std::string name = LoadKQString(IDS_DATA_DIRECTORY_KEY);
    return name;
}

bool CFileRecordStore::IsStorableName(const std::string& sysid) {
    return !sysid.empty() && sysid.size() <= static_cast<size_t>(kMaxRecordNameLength) &&
           !EqualsNoCase(sysid, DirectoryName());
}

StoreError CFileRecordStore::Fail(StoreError error, const std::string& detail) {
    m_detail = detail;
    return error;
}

StoreError CFileRecordStore::StorageFailure() {
    return Fail(m_storage.LastBusy() ? StoreError::Busy : StoreError::IO, m_storage.LastError());
}

StoreError CFileRecordStore::Open(const std::string& path, bool create) {
    return OpenAs(path, create ? Access::Create : Access::Existing);
}

StoreError CFileRecordStore::OpenToRead(const std::string& path) {
    return OpenAs(path, Access::ReadOnly);
}

StoreError CFileRecordStore::OpenAs(const std::string& path, Access access) {
    Close();
    const CStreamStorage::OpenResult r =
        access == Access::Create ? m_storage.OpenOrCreate(path)
                                 : m_storage.OpenExisting(path, access == Access::ReadOnly);
    m_openResult = r;
    switch (r) {
        case CStreamStorage::OpenResult::Ok:
            break;
        case CStreamStorage::OpenResult::Missing:
            return Fail(StoreError::NotFound, m_storage.LastError());
        case CStreamStorage::OpenResult::NotADatabase:
            return Fail(StoreError::NotOurs, m_storage.LastError());
        case CStreamStorage::OpenResult::NoPermission:
            return Fail(StoreError::Denied, m_storage.LastError());
        case CStreamStorage::OpenResult::Damaged:
            return Fail(StoreError::IO, m_storage.LastError());
        case CStreamStorage::OpenResult::Error:
            return StorageFailure();
    }
    m_openReachedFile = true;
    auto unread = [this]() {
        const StoreError e = StorageFailure();
        m_storage.Close();
        m_order.clear();
        m_openResult = CStreamStorage::OpenResult::Error;
        return e;
    };
    std::string data;
    const CStreamStorage::ReadResult read = m_storage.Read(DirectoryName(), data);
    if (read == CStreamStorage::ReadResult::Error) return unread();
    if (read != CStreamStorage::ReadResult::Ok || !DeserializeDirectory(data, m_order)) {
        // The records are all there: their streams in the order they were first written.
        m_order.clear();
        for (std::string& name : m_storage.StreamNames())
            if (IsStorableName(name)) m_order.push_back(std::move(name));
        // The names were read from the file: a failure here is another failed read.
        std::string probe;
        if (m_storage.Read(DirectoryName(), probe) == CStreamStorage::ReadResult::Error)
            return unread();
        m_orderRemade = m_orderChanged = true;
        m_orderDamaged = read == CStreamStorage::ReadResult::Ok;
        IndexOrder();
    } else {
        IndexOrder();
        // Records committed while their directory was deferred, then killed: at the end.
        for (std::string& name : m_storage.StreamNames())
            if (IsStorableName(name) && m_names.emplace(name, name).second) {
                m_order.push_back(std::move(name));
                m_orderChanged = true;
            }
    }
    m_path = path;
    m_identity.Remember(path);
    return StoreError::None;
}

void CFileRecordStore::IndexOrder() {
    m_names.clear();
    m_namesRepeat = false;
    // A name twice (only a damaged file has that) is found at its first position.
    for (const std::string& s : m_order)
        if (!s.empty() && !m_names.emplace(s, s).second) m_namesRepeat = true;
}

StoreError CFileRecordStore::SaveAs(const std::string& path) {
    if (!IsOpen()) return Fail(StoreError::Disconnected, std::string());
    if (m_inBatch) return Fail(StoreError::IO, "a batch is open");
    if (!m_storage.SaveAs(path)) return StorageFailure();
    m_path = path;
    m_identity.Remember(path);
    return StoreError::None;
}

void CFileRecordStore::Close() {
    m_storage.Close();
    m_identity.Forget();
    m_path.clear();
    m_order.clear();
    m_names.clear();
    m_versions.clear();
    m_undo.clear();
    m_inBatch = m_orderChanged = m_orderRemade = m_orderDamaged = m_openReachedFile = false;
}

const std::string* CFileRecordStore::Named(const std::string& sysid) const {
    auto it = m_names.find(sysid);
    return it == m_names.end() ? nullptr : &it->second;
}

int CFileRecordStore::Position(const std::string& sysid) const {
    const std::string* named = Named(sysid);
    if (!named) return -1;
    for (size_t i = 0; i < m_order.size(); ++i)
        if (m_order[i] == *named) return static_cast<int>(i);
    return -1;
}

int64_t CFileRecordStore::VersionOf(const std::string& sysid) const {
    auto it = m_versions.find(sysid);
    return it == m_versions.end() ? 1 : it->second;
}

StoreError CFileRecordStore::List(std::vector<StoredRecord>& out) {
    out.clear();
    if (!IsOpen()) return Fail(StoreError::Disconnected, std::string());
    out.reserve(m_names.size());
    // A name twice (only a damaged file has that) is listed at its first position only.
    std::set<std::string, CaseLess> seen;
    for (size_t i = 0; i < m_order.size(); ++i) {
        const std::string& s = m_order[i];
        if (s.empty() || !Named(s)) continue;
        if (m_namesRepeat && !seen.insert(s).second) continue;
        out.push_back({s, static_cast<int64_t>(i), VersionOf(s)});
    }
    return StoreError::None;
}

StoreError CFileRecordStore::Read(const std::string& sysid, std::string& bytes, int64_t& version) {
    bytes.clear();
    if (!IsOpen()) return Fail(StoreError::Disconnected, std::string());
    const std::string* named = Named(sysid);
    if (!named) return Fail(StoreError::NotFound, sysid);
    switch (m_storage.Read(*named, bytes)) {
        case CStreamStorage::ReadResult::Ok:
            version = VersionOf(sysid);
            return StoreError::None;
        case CStreamStorage::ReadResult::Missing:
            return Fail(StoreError::NotFound, sysid);
        case CStreamStorage::ReadResult::Error:
            break;
    }
    return StorageFailure();
}

StoreError CFileRecordStore::ReadSeveral(const std::vector<std::string>& sysids,
                                         std::vector<RecordBytes>& out) {
    out.clear();
    for (const std::string& sysid : sysids) {
        RecordBytes r;
        const StoreError e = Read(sysid, r.bytes, r.version);
        if (e == StoreError::NotFound) continue;
        if (e != StoreError::None) {
            out.clear();
            return e;
        }
        r.sysid = *Named(sysid);
        out.push_back(std::move(r));
    }
    return StoreError::None;
}

StoreError CFileRecordStore::ReadPrefix(const std::string& prefix, std::vector<RecordBytes>& out) {
    std::vector<std::string> named;
    for (const std::string& s : m_order)
        if (!s.empty() && StartsWithNoCase(s, prefix)) named.push_back(s);
    return ReadSeveral(named, out);
}

StoreError CFileRecordStore::BeginBatch() {
    if (!IsOpen()) return Fail(StoreError::Disconnected, std::string());
    if (m_inBatch) return StoreError::None;
    // Another file in its place is not ours to write.
    if (!m_identity.Matches(m_path)) return Fail(StoreError::Disconnected, "the file was replaced");
    if (!m_storage.Begin()) return StorageFailure();
    m_inBatch = true;
    m_undo.clear();
    m_orderChangedBefore = m_orderChanged;
    return StoreError::None;
}

StoreError CFileRecordStore::Insert(const std::string& sysid, const std::string& bytes,
                                    int64_t& version) {
    if (!IsStorableName(sysid)) return Fail(StoreError::IO, "no stream can be named " + sysid);
    if (!IsOpen()) return Fail(StoreError::Disconnected, std::string());
    if (Named(sysid)) return Fail(StoreError::Exists, sysid);
    if (const StoreError e = BeginBatch(); e != StoreError::None) return e;
    if (!m_storage.WriteStream(sysid, bytes)) return StorageFailure();
    m_undo.push_back({Undo::Inserted, sysid, 0, 0, 0});
    m_order.push_back(sysid);
    m_names.emplace(sysid, sysid);
    version = m_nextVersion++;
    m_versions[sysid] = version;
    m_orderChanged = true;
    return StoreError::None;
}

StoreError CFileRecordStore::Replace(const std::string& sysid, int64_t expected,
                                     const std::string& bytes, int64_t& version) {
    if (!IsOpen()) return Fail(StoreError::Disconnected, std::string());
    const std::string* named = Named(sysid);
    if (!named) return Fail(StoreError::NotFound, sysid);
    const int64_t before = VersionOf(sysid);
    if (before != expected) return Fail(StoreError::Conflict, sysid);
    if (const StoreError e = BeginBatch(); e != StoreError::None) return e;
    if (!m_storage.WriteStream(*named, bytes)) return StorageFailure();
    m_undo.push_back({Undo::Replaced, *named, before, 0, 0});
    version = m_nextVersion++;
    m_versions[sysid] = version;
    return StoreError::None;
}

StoreError CFileRecordStore::Delete(const std::string& sysid, int64_t expected) {
    if (!IsOpen()) return Fail(StoreError::Disconnected, std::string());
    const int pos = Position(sysid);
    if (pos < 0) return Fail(StoreError::NotFound, sysid);
    const int64_t before = VersionOf(sysid);
    if (before != expected) return Fail(StoreError::Conflict, sysid);
    if (const StoreError e = BeginBatch(); e != StoreError::None) return e;
    std::string& named = m_order[static_cast<size_t>(pos)];
    // A stream already gone (a directory entry left dangling) is deleted all the same.
    if (m_storage.StreamExists(named) && !m_storage.DestroyStream(named)) return StorageFailure();
    m_undo.push_back({Undo::Deleted, named, before, static_cast<size_t>(pos), 0});
    m_batchMovesOrder = true;
    m_versions.erase(named);
    m_names.erase(named);
    named.clear();  // the directory keeps its length
    m_orderChanged = true;
    return StoreError::None;
}

StoreError CFileRecordStore::Place(const std::string& sysid, int position) {
    if (!IsOpen()) return Fail(StoreError::Disconnected, std::string());
    const int pos = Position(sysid);
    if (pos < 0) return Fail(StoreError::NotFound, sysid);
    if (const StoreError e = BeginBatch(); e != StoreError::None) return e;
    std::string name = std::move(m_order[static_cast<size_t>(pos)]);
    m_order.erase(m_order.begin() + pos);
    // Positions are the directory's, an empty slot a deleted record left included.
    const size_t to = std::min(static_cast<size_t>(std::clamp(position, 0, 1)), m_order.size());
    m_order.insert(m_order.begin() + static_cast<std::ptrdiff_t>(to), std::move(name));
    m_undo.push_back({Undo::Placed, std::string(), 0, static_cast<size_t>(pos), to});
    m_batchMovesOrder = true;
    m_orderChanged = true;
    return StoreError::None;
}

StoreError CFileRecordStore::Commit() {
    bool writeOrder = m_orderChanged && (!m_orderDeferred || m_batchMovesOrder);
    if (!m_inBatch) {
        if (!m_orderChanged || !IsOpen()) return StoreError::None;
        // A remade or owed directory is written even when nothing else changed.
        if (const StoreError e = BeginBatch(); e != StoreError::None) return e;
        writeOrder = true;
    }
    bool ok = true;
    if (writeOrder) {
        // In the same transaction as the streams it names.
        std::string data;
        SerializeDirectory(m_order, data);
        ok = m_storage.WriteStream(DirectoryName(), data);
    }
    if (ok && m_storage.Commit()) {
        m_inBatch = m_batchMovesOrder = false;
        if (writeOrder) m_orderChanged = false;
        m_undo.clear();
        return StoreError::None;
    }
    const StoreError e = StorageFailure();
    Rollback();
    return e;
}

void CFileRecordStore::Rollback() {
    if (!m_inBatch) return;
    m_storage.Rollback();
    for (auto u = m_undo.rbegin(); u != m_undo.rend(); ++u) {
        switch (u->kind) {
            case Undo::Inserted:
                m_order.pop_back();
                m_names.erase(u->name);
                m_versions.erase(u->name);
                break;
            case Undo::Replaced:
                m_versions[u->name] = u->version;
                break;
            case Undo::Deleted:
                m_order[u->from] = u->name;
                m_names.emplace(u->name, u->name);
                m_versions[u->name] = u->version;
                break;
            case Undo::Placed: {
                std::string name = std::move(m_order[u->to]);
                m_order.erase(m_order.begin() + static_cast<std::ptrdiff_t>(u->to));
                m_order.insert(m_order.begin() + static_cast<std::ptrdiff_t>(u->from),
                               std::move(name));
                break;
            }
        }
    }
    m_undo.clear();
    m_orderChanged = m_orderChangedBefore;
    m_inBatch = m_batchMovesOrder = false;
}

std::string CFileRecordStore::Describe(StoreError error) const {
    std::string text = StoreErrorText(error);
    if (error != StoreError::None && !m_detail.empty()) text += ": " + m_detail;
    return text;
}
