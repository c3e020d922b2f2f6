// Named-stream storage on an SQLite file: one table "streams" (name, data).
// Error contract: no operation throws; each answers false, an error result or an empty list
// and leaves why in LastError(). Data read is copied into the caller's strings.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

class CStreamStorage {
public:
    // NotADatabase: positively not ours (no SQLite header, or SQLite with neither our
    // application id nor a streams table). Damaged: an SQLite file that cannot be read as
    // one. Error: busy, locked or an I/O error; the file may be perfectly good.
    enum class OpenResult { Ok, Missing, NotADatabase, NoPermission, Damaged, Error };

    CStreamStorage();
    ~CStreamStorage();
    CStreamStorage(const CStreamStorage&) = delete;
    CStreamStorage& operator=(const CStreamStorage&) = delete;

    // Opens an existing database file (never creates it); readOnly: nothing can be written
    // through this connection, not even a journal's rollback.
    OpenResult OpenExisting(const std::string& path, bool readOnly = false);
    // Opens the file, creating it with the schema when missing.
    OpenResult OpenOrCreate(const std::string& path);
    void Close();
    bool IsOpen() const { return m_db != nullptr; }
    const std::string& Path() const { return m_path; }

    // Stream names compare without regard to ASCII case.
    bool ReadStream(const std::string& name, std::string& data);
    // Tells a stream that is not there apart from one that could not be read (busy, I/O).
    enum class ReadResult { Ok, Missing, Error };
    ReadResult Read(const std::string& name, std::string& data);
    bool StreamExists(const std::string& name);  // false also when it could not be asked
    bool WriteStream(const std::string& name, const std::string& data);
    bool DestroyStream(const std::string& name);  // false when there was no such stream
    std::vector<std::string> StreamNames();

    // Transactions: Begin nests by count; the outermost Commit commits. A failure inside a
    // transaction breaks it: the outermost Commit then rolls back and answers false.
    bool Begin();
    bool Commit();
    void Rollback();
    bool InTransaction() const { return m_depth > 0; }

    std::string LastError() const { return m_error; }
    // Whether the last failure was another connection's lock (busy, locked), not I/O.
    bool LastBusy() const { return m_busy; }
    // How long a statement waits for another connection's lock, from now on.
    void SetBusyTimeout(int ms);
    // Copies the whole open database to path (replacing what is there); on success the storage
    // continues on the copy.
    bool SaveAs(const std::string& path);

    // The application_id stamped on every database file this program makes.
    static constexpr int kApplicationId = 0x4B514437;  // "KQD7"

    // Fault injection for tests: called before each operation ("write", "destroy", "commit",
    // "read", "open") with the stream name; returning true makes that operation fail.
    // "open" and "permission" are asked with the file's path when an existing file is opened:
    // "permission" makes the open fail as if the file could not be read for want of rights.
    static std::function<bool(const std::string& op, const std::string& name)> s_faultHook;
    // Called after every outermost commit that succeeded; kill tests stop the process here.
    static std::function<void()> s_afterCommit;

private:
    bool Fault(const char* op, const std::string& name);
    bool Exec(const char* sql);
    OpenResult Classify(int rc, const std::string& path);
    // Whether the file starts with the SQLite header; false also when it cannot be read.
    static bool HasSqliteHeader(const std::string& path, bool& readable);
    OpenResult Prepare();
    sqlite3_stmt* Statement(int which);
    sqlite3_stmt* WritableStatement(int which);
    // Runs a statement that answers no rows; a failure is recorded and breaks the transaction.
    bool StepDone(sqlite3_stmt* s);
    bool Broken();
    void Note(int rc);  // remembers whether a failure was a lock
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_stmts[5] = {};
    bool m_aborted = false;  // an error ended the open transaction
    std::string m_path;
    std::string m_error;
    bool m_busy = false;
    bool m_readOnly = false;
    int m_depth = 0;
    int m_busyMs = 2000;
};
