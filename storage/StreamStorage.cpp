#include "storage/StreamStorage.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

std::function<bool(const std::string& op, const std::string& name)> CStreamStorage::s_faultHook;
std::function<void()> CStreamStorage::s_afterCommit;

namespace {

enum Stmt { kRead, kExists, kWrite, kDestroy, kNames, kStmtCount };

const char* const kStmtSql[kStmtCount] = {
    "SELECT data FROM streams WHERE name = ?1",
    "SELECT 1 FROM streams WHERE name = ?1",
    "INSERT INTO streams(name, data) VALUES(?1, ?2) "
    "ON CONFLICT(name) DO UPDATE SET data = excluded.data",
    "DELETE FROM streams WHERE name = ?1",
    "SELECT name FROM streams ORDER BY rowid",
};

const char* const kSchema =
    "CREATE TABLE streams("
    "name TEXT NOT NULL PRIMARY KEY COLLATE NOCASE "
    "CHECK(length(CAST(name AS BLOB)) BETWEEN 1 AND 31), "
    "data BLOB NOT NULL)";

// Resets a cached statement when the scope ends, whatever the path out.
struct StmtScope {
    sqlite3_stmt* s;
    ~StmtScope() {
        if (s) {
            sqlite3_reset(s);
            sqlite3_clear_bindings(s);
        }
    }
};

bool FileExists(const std::string& path, struct stat& st, int& err) {
    if (::stat(path.c_str(), &st) == 0) return true;
    err = errno;
    return false;
}

}  // namespace

CStreamStorage::CStreamStorage() = default;

CStreamStorage::~CStreamStorage() { Close(); }

void CStreamStorage::SetBusyTimeout(int ms) {
    m_busyMs = ms;
    if (m_db) sqlite3_busy_timeout(m_db, ms);
}

void CStreamStorage::Note(int rc) {
    rc &= 0xFF;
    m_busy = rc == SQLITE_BUSY || rc == SQLITE_LOCKED;
}

bool CStreamStorage::Fault(const char* op, const std::string& name) {
    if (s_faultHook && s_faultHook(op, name)) {
        m_busy = false;
        m_error = std::string("injected fault: ") + op + " " + name;
        return true;
    }
    return false;
}

bool CStreamStorage::Exec(const char* sql) {
    char* msg = nullptr;
    int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, &msg);
    if (rc != SQLITE_OK) {
        Note(rc);
        m_error = msg ? msg : sqlite3_errstr(rc);
        sqlite3_free(msg);
        return false;
    }
    return true;
}

bool CStreamStorage::HasSqliteHeader(const std::string& path, bool& readable) {
    static const char kHeader[16] = "SQLite format 3";  // with its terminating NUL
    char head[sizeof kHeader] = {};
    std::FILE* f = std::fopen(path.c_str(), "rb");
    readable = f != nullptr;
    if (!f) return false;
    const size_t n = std::fread(head, 1, sizeof head, f);
    readable = !std::ferror(f);
    std::fclose(f);
    return n == sizeof head && std::memcmp(head, kHeader, sizeof head) == 0;
}

// Only a file that is positively no database of ours counts as one: busy, locked, I/O and
// permission errors say nothing about what the file holds.
CStreamStorage::OpenResult CStreamStorage::Classify(int rc, const std::string& path) {
    Note(rc);
    switch (rc & 0xFF) {
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT: {
            bool readable = false;
            const bool header = HasSqliteHeader(path, readable);
            if (!readable) return OpenResult::Error;
            return header ? OpenResult::Damaged : OpenResult::NotADatabase;
        }
        case SQLITE_PERM:
        case SQLITE_AUTH:
        case SQLITE_READONLY:
        case SQLITE_CANTOPEN:
        case SQLITE_IOERR: {
            struct stat st;
            int err = 0;
            if (!FileExists(path, st, err))
                return err == EACCES ? OpenResult::NoPermission : OpenResult::Missing;
            if (::access(path.c_str(), R_OK) != 0 && errno == EACCES)
                return OpenResult::NoPermission;
            return OpenResult::Error;
        }
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
        case SQLITE_NOMEM:
        case SQLITE_FULL:
        case SQLITE_PROTOCOL:
        case SQLITE_INTERRUPT:
            return OpenResult::Error;
        default:
            // A schema that is not ours after all (a streams table of another shape).
            return OpenResult::Damaged;
    }
}

CStreamStorage::OpenResult CStreamStorage::OpenExisting(const std::string& path, bool readOnly) {
    Close();
    m_readOnly = readOnly;
    m_error.clear();
    if (Fault("permission", path)) return OpenResult::NoPermission;
    if (Fault("open", path)) return OpenResult::Error;

    struct stat st;
    int err = 0;
    if (!FileExists(path, st, err)) {
        m_error = std::string("cannot stat: ") + std::strerror(err);
        return err == ENOENT || err == ENOTDIR ? OpenResult::Missing
               : err == EACCES                 ? OpenResult::NoPermission
                                               : OpenResult::Error;
    }
    if (!S_ISREG(st.st_mode)) {
        m_error = "not a regular file";
        return OpenResult::Error;
    }
    if (::access(path.c_str(), R_OK) != 0) {
        m_error = std::strerror(errno);
        return errno == EACCES ? OpenResult::NoPermission : OpenResult::Error;
    }

    // Never create: a file that is not a database fails here.
    int rc = sqlite3_open_v2(path.c_str(), &m_db,
                             readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        m_error = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
        sqlite3_close(m_db);
        m_db = nullptr;
        return Classify(rc, path);
    }
    sqlite3_extended_result_codes(m_db, 1);
    m_path = path;
    OpenResult r = Prepare();
    if (r != OpenResult::Ok) {
        std::string e = m_error;
        Close();
        m_error = e;
    }
    return r;
}

// Reads the schema at once and checks it is ours, then prepares the statements.
CStreamStorage::OpenResult CStreamStorage::Prepare() {
    sqlite3_busy_timeout(m_db, m_busyMs);
    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v2(m_db, "PRAGMA application_id", -1, &s, nullptr);
    int appId = 0;
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(s);
        if (rc == SQLITE_ROW) {
            appId = sqlite3_column_int(s, 0);
            rc = SQLITE_OK;
        }
    }
    sqlite3_finalize(s);
    if (rc != SQLITE_OK) {
        m_error = sqlite3_errmsg(m_db);
        return Classify(rc, m_path);
    }
    s = nullptr;
    bool haveTable = false;
    rc = sqlite3_prepare_v2(m_db,
                            "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'streams'",
                            -1, &s, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(s);
        haveTable = rc == SQLITE_ROW;
        if (rc == SQLITE_ROW || rc == SQLITE_DONE) rc = SQLITE_OK;
    }
    sqlite3_finalize(s);
    if (rc != SQLITE_OK) {
        m_error = sqlite3_errmsg(m_db);
        return Classify(rc, m_path);
    }
    if (appId != kApplicationId && !haveTable) {
        m_error = "not a Quillon database";
        return OpenResult::NotADatabase;
    }
    if (!haveTable) {
        m_error = "no streams table";
        return OpenResult::Damaged;
    }
    if (!m_readOnly &&
        (!Exec("PRAGMA journal_mode = DELETE") || !Exec("PRAGMA synchronous = FULL"))) {
        return OpenResult::Error;
    }
    for (int i = 0; i < kStmtCount; ++i) {
        rc = sqlite3_prepare_v3(m_db, kStmtSql[i], -1, SQLITE_PREPARE_PERSISTENT, &m_stmts[i],
                                nullptr);
        if (rc != SQLITE_OK) {
            m_error = sqlite3_errmsg(m_db);
            return Classify(rc, m_path);
        }
    }
    return OpenResult::Ok;
}

CStreamStorage::OpenResult CStreamStorage::OpenOrCreate(const std::string& path) {
    struct stat st;
    int err = 0;
    if (FileExists(path, st, err) || err != ENOENT) return OpenExisting(path);
    Close();
    m_readOnly = false;
    m_error.clear();
    if (Fault("create", path)) return OpenResult::Error;
    int rc =
        sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        m_error = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
        sqlite3_close(m_db);
        m_db = nullptr;
        return Classify(rc, path);
    }
    sqlite3_extended_result_codes(m_db, 1);
    m_path = path;
    std::string setId = "PRAGMA application_id = " + std::to_string(kApplicationId);
    bool ok = Exec("PRAGMA journal_mode = DELETE") && Exec("PRAGMA synchronous = FULL") &&
              Exec("BEGIN IMMEDIATE") && Exec(setId.c_str()) && Exec(kSchema) && Exec("COMMIT");
    OpenResult r = ok ? Prepare() : OpenResult::Error;
    if (r != OpenResult::Ok) {
        // Nothing of ours is in the file we just made: take it away again.
        std::string e = m_error;
        Close();
        ::unlink(path.c_str());
        m_error = e;
    }
    return r;
}

void CStreamStorage::Close() {
    for (sqlite3_stmt*& s : m_stmts) {
        sqlite3_finalize(s);
        s = nullptr;
    }
    if (m_db) {
        if (!sqlite3_get_autocommit(m_db)) Exec("ROLLBACK");
        sqlite3_close(m_db);
    }
    m_db = nullptr;
    m_path.clear();
    m_depth = 0;
    m_aborted = false;
}

sqlite3_stmt* CStreamStorage::Statement(int which) {
    if (!m_db) {
        m_error = "storage not open";
        return nullptr;
    }
    return m_stmts[which];
}

// An error inside a transaction may have rolled it back: later writes must not
// commit one by one as if it were still open.
bool CStreamStorage::Broken() {
    if (m_depth > 0 && sqlite3_get_autocommit(m_db)) m_aborted = true;
    return m_aborted;
}

bool CStreamStorage::ReadStream(const std::string& name, std::string& data) {
    return Read(name, data) == ReadResult::Ok;
}

CStreamStorage::ReadResult CStreamStorage::Read(const std::string& name, std::string& data) {
    data.clear();
    if (Fault("read", name)) return ReadResult::Error;
    sqlite3_stmt* s = Statement(kRead);
    if (!s) return ReadResult::Error;
    StmtScope scope{s};
    sqlite3_bind_text(s, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    int rc = sqlite3_step(s);
    if (rc == SQLITE_DONE) {
        m_error = "no stream " + name;
        return ReadResult::Missing;
    }
    if (rc != SQLITE_ROW) {
        Note(rc);
        m_error = sqlite3_errmsg(m_db);
        return ReadResult::Error;
    }
    const void* blob = sqlite3_column_blob(s, 0);
    int n = sqlite3_column_bytes(s, 0);
    if (blob && n > 0) data.assign(static_cast<const char*>(blob), static_cast<size_t>(n));
    return ReadResult::Ok;
}

bool CStreamStorage::StreamExists(const std::string& name) {
    sqlite3_stmt* s = Statement(kExists);
    if (!s) return false;
    StmtScope scope{s};
    sqlite3_bind_text(s, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    return sqlite3_step(s) == SQLITE_ROW;
}

// A statement that changes the file: none once the transaction around it was aborted.
sqlite3_stmt* CStreamStorage::WritableStatement(int which) {
    sqlite3_stmt* s = Statement(which);
    if (s && m_aborted) {
        m_error = "transaction aborted";
        return nullptr;
    }
    return s;
}

bool CStreamStorage::StepDone(sqlite3_stmt* s) {
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_DONE) return true;
    Note(rc);
    m_error = sqlite3_errmsg(m_db);
    Broken();
    return false;
}

bool CStreamStorage::WriteStream(const std::string& name, const std::string& data) {
    if (Fault("write", name)) return false;
    sqlite3_stmt* s = WritableStatement(kWrite);
    if (!s) return false;
    StmtScope scope{s};
    sqlite3_bind_text(s, 1, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
    sqlite3_bind_blob(s, 2, data.data(), static_cast<int>(data.size()), SQLITE_STATIC);
    return StepDone(s);
}

bool CStreamStorage::DestroyStream(const std::string& name) {
    if (Fault("destroy", name)) return false;
    sqlite3_stmt* s = WritableStatement(kDestroy);
    if (!s) return false;
    StmtScope scope{s};
    sqlite3_bind_text(s, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    if (!StepDone(s)) return false;
    if (sqlite3_changes(m_db) == 0) {
        m_error = "no stream " + name;
        return false;
    }
    return true;
}

std::vector<std::string> CStreamStorage::StreamNames() {
    std::vector<std::string> names;
    sqlite3_stmt* s = Statement(kNames);
    if (!s) return names;
    StmtScope scope{s};
    while (sqlite3_step(s) == SQLITE_ROW) {
        const unsigned char* t = sqlite3_column_text(s, 0);
        names.emplace_back(t ? reinterpret_cast<const char*>(t) : "",
                           static_cast<size_t>(sqlite3_column_bytes(s, 0)));
    }
    return names;
}

bool CStreamStorage::Begin() {
    if (!m_db) {
        m_error = "storage not open";
        return false;
    }
    if (m_depth == 0) {
        m_aborted = false;
        if (!Exec("BEGIN IMMEDIATE")) return false;
    }
    ++m_depth;
    return true;
}

bool CStreamStorage::Commit() {
    if (!m_db || m_depth == 0) {
        m_error = "no transaction";
        return false;
    }
    if (Fault("commit", m_path)) {
        Rollback();
        return false;
    }
    if (--m_depth > 0) return !m_aborted;
    if (Broken() || !Exec("COMMIT")) {
        std::string e = m_error;
        if (!sqlite3_get_autocommit(m_db)) Exec("ROLLBACK");
        m_error = e.empty() ? "transaction aborted" : e;
        m_aborted = false;
        return false;
    }
    if (s_afterCommit) s_afterCommit();
    return true;
}

void CStreamStorage::Rollback() {
    if (m_db && !sqlite3_get_autocommit(m_db)) Exec("ROLLBACK");
    m_depth = 0;
    m_aborted = false;
}

bool CStreamStorage::SaveAs(const std::string& path) {
    if (!m_db || m_depth > 0) {
        m_error = m_db ? "transaction open" : "storage not open";
        return false;
    }
    if (Fault("create", path)) return false;
    sqlite3* dest = nullptr;
    int rc =
        sqlite3_open_v2(path.c_str(), &dest, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_backup* b = sqlite3_backup_init(dest, "main", m_db, "main");
        if (b) {
            rc = sqlite3_backup_step(b, -1);
            if (rc == SQLITE_DONE) rc = SQLITE_OK;
            // The copy is only whole when finishing it reports no error either.
            const int finished = sqlite3_backup_finish(b);
            if (rc == SQLITE_OK) rc = finished;
        } else {
            rc = sqlite3_errcode(dest);
        }
    }
    if (rc != SQLITE_OK) m_error = dest ? sqlite3_errmsg(dest) : sqlite3_errstr(rc);
    sqlite3_close(dest);
    if (rc != SQLITE_OK) return false;
    std::string old = m_path;
    if (OpenExisting(path) == OpenResult::Ok) return true;
    std::string e = m_error;
    OpenExisting(old);
    m_error = e;
    return false;
}
