// Named-stream storage on an SQLite file: one table "streams" (name, data).
#pragma once

#include <functional>
#include <string>
#include <vector>

struct sqlite3;

class CStreamStorage {
public:
    enum class OpenResult { Ok, Missing, NotADatabase, NoPermission, Error };

    CStreamStorage();
    ~CStreamStorage();
    CStreamStorage(const CStreamStorage&) = delete;
    CStreamStorage& operator=(const CStreamStorage&) = delete;

    // Opens an existing database file (never creates it).
    OpenResult OpenExisting(const std::string& path);
    // Opens the file, creating it with the schema when missing.
    OpenResult OpenOrCreate(const std::string& path);
    void Close();
    bool IsOpen() const { return m_db != nullptr; }
    const std::string& Path() const { return m_path; }

    bool ReadStream(const std::string& name, std::string& data);
    bool StreamExists(const std::string& name);
    bool WriteStream(const std::string& name, const std::string& data);
    bool DestroyStream(const std::string& name);
    std::vector<std::string> StreamNames();

    // Transactions: Begin nests by count; the outermost Commit commits.
    bool Begin();
    bool Commit();
    void Rollback();
    bool InTransaction() const { return m_depth > 0; }

    std::string LastError() const { return m_error; }

    // Fault injection for tests: called before each operation ("write", "destroy", "commit",
    // "read", "open") with the stream name; returning true makes that operation fail.
    static std::function<bool(const std::string& op, const std::string& name)> s_faultHook;

private:
    bool Fault(const char* op, const std::string& name);
    bool Exec(const char* sql);
    OpenResult Classify(int rc, const std::string& path);
    sqlite3* m_db = nullptr;
    std::string m_path;
    std::string m_error;
    int m_depth = 0;
};
