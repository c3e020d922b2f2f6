// A thin owner of libpq's connections and results. Every value goes to the server as a
// statement parameter, never written into the SQL text; results come back in binary.
#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "server/SocketWatch.h"
#include "storage/RecordStore.h"

// One statement parameter: text (the server infers its type) or raw bytes (bytea).
struct PgParam {
    std::string value;
    bool binary = false;
    static PgParam Text(std::string v) { return {std::move(v), false}; }
    static PgParam Int(int64_t v) { return {std::to_string(v), false}; }
    static PgParam Bytes(std::string v) { return {std::move(v), true}; }
};

class CPgResult {
public:
    CPgResult() = default;
    explicit CPgResult(PGresult* result) : m_result(result) {}
    ~CPgResult() { PQclear(m_result); }
    CPgResult(CPgResult&& other) noexcept : m_result(std::exchange(other.m_result, nullptr)) {}
    CPgResult& operator=(CPgResult&& other) noexcept;
    CPgResult(const CPgResult&) = delete;
    CPgResult& operator=(const CPgResult&) = delete;

    bool Ok() const;
    // The five-character SQLSTATE; empty when the server sent none (the connection failed).
    std::string SqlState() const;
    // What the server said, in one line.
    std::string Message() const;
    int Rows() const { return m_result ? PQntuples(m_result) : 0; }
    int Columns() const { return m_result ? PQnfields(m_result) : 0; }
    // The command's tag ("COMMIT", "ROLLBACK", "INSERT 0 1", ...).
    std::string Command() const { return m_result ? PQcmdStatus(m_result) : ""; }
    // Columns of binary results: text and bytea as their bytes, int8 and int4 as numbers.
    std::string Bytes(int row, int column) const;
    int64_t Int(int row, int column) const;
    bool Bool(int row, int column) const { return Bytes(row, column) == std::string(1, '\1'); }
    bool IsNull(int row, int column) const { return PQgetisnull(m_result, row, column) != 0; }

private:
    PGresult* m_result = nullptr;
};

class CPgConnection {
public:
    CPgConnection() = default;
    explicit CPgConnection(PGconn* conn) : m_conn(conn) {}
    ~CPgConnection() { PQfinish(m_conn); }
    CPgConnection(CPgConnection&& other) noexcept : m_conn(std::exchange(other.m_conn, nullptr)) {}
    CPgConnection& operator=(CPgConnection&& other) noexcept;
    CPgConnection(const CPgConnection&) = delete;
    CPgConnection& operator=(const CPgConnection&) = delete;

    bool IsOpen() const { return m_conn != nullptr; }
    PGconn* Handle() const { return m_conn; }
    // Whether the connection still stands (false once the server went away).
    bool IsUp() const { return m_conn && PQstatus(m_conn) == CONNECTION_OK; }
    // Whether the server takes no writes: a standby, or a server read-only by default (the
    // server reports both when the session starts).
    bool IsReadOnly() const;
    // One statement, its values as parameters $1, $2, ...
    CPgResult Exec(const char* sql, const std::vector<PgParam>& params = {}) const;
    // A script of several statements that carries no values (the schema).
    CPgResult RunScript(const std::string& sql) const;
    std::string ErrorMessage() const;
    // Escapes for a LIKE pattern taken literally (backslash is the escape).
    static std::string EscapeLike(const std::string& text);

private:
    PGconn* m_conn = nullptr;
};

// The kind of a failed statement: by its SQLSTATE, or Disconnected when the connection is gone.
StoreError StoreErrorOf(const CPgResult& result, const CPgConnection& conn);
// The kind of a failed connection attempt, from libpq's reason.
StoreError ConnectErrorOf(const std::string& error);

// Connection strings as the user gives them: a libpq keyword string or URI; empty means
// libpq's environment variables and service file alone.
// Whether it names a password (which other users see in the process list).
bool ConnectionHasPassword(const std::string& conninfo);
// user@host:port/dbname as the user may see it ("local" for libpq's default socket), never
// the password. Empty when it cannot be read.
std::string ConnectionDisplayName(const std::string& conninfo);
// The same connection as a keyword string without its password, for keeping in the settings;
// empty when it cannot be read.
std::string ConnectionWithoutPassword(const std::string& conninfo);

// Where a connection may land among the servers a connection string names (libpq's
// target_session_attrs). Writing needs the primary, whatever the string says; a viewer
// takes the primary when one answers, else what the string allows ("any" when it asks for
// a writable server or names none), which is a standby when the primary is gone.
enum class SessionTarget { ReadWrite, ReadWriteElseStandby };

// Connects without blocking: the watch says when the socket is ready, and done is called
// once, with a working connection or with an empty one and the reason (never the password).
// The connector must live until done is called: the watch calls back into it.
class CPgConnector {
public:
    using Done = std::function<void(CPgConnection connection, std::string error)>;
    void Start(const std::string& conninfo, ISocketWatch& watch, Done done,
               SessionTarget target = SessionTarget::ReadWrite);

private:
    void Begin(const char* sessionAttrs);
    void Step(PostgresPollingStatusType status);
    void Finish(std::string error);

    CPgConnection m_conn;
    ISocketWatch* m_watch = nullptr;
    Done m_done;
    std::string m_conninfo;
    std::string m_password;
    // The second try's target_session_attrs when the first finds no writable server.
    std::string m_elseAttrs;
};

// Connects, waiting at most timeoutMs (poll, for runs without an event loop).
bool ConnectWaiting(const std::string& conninfo, int timeoutMs, CPgConnection& out,
                    std::string& error, SessionTarget target = SessionTarget::ReadWrite);
