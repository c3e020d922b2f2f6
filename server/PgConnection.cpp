#include "server/PgConnection.h"

#include <arpa/inet.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "resources/Strings.h"

CPgResult& CPgResult::operator=(CPgResult&& other) noexcept {
    if (this != &other) {
        PQclear(m_result);
        m_result = std::exchange(other.m_result, nullptr);
    }
    return *this;
}

bool CPgResult::Ok() const {
    const ExecStatusType s = m_result ? PQresultStatus(m_result) : PGRES_FATAL_ERROR;
    return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK;
}

std::string CPgResult::SqlState() const {
    const char* s = m_result ? PQresultErrorField(m_result, PG_DIAG_SQLSTATE) : nullptr;
    return s ? s : "";
}

std::string CPgResult::Message() const {
    if (!m_result) return "no answer from the server";
    const char* primary = PQresultErrorField(m_result, PG_DIAG_MESSAGE_PRIMARY);
    std::string text = primary ? primary : PQresultErrorMessage(m_result);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

std::string CPgResult::Bytes(int row, int column) const {
    return std::string(PQgetvalue(m_result, row, column),
                       static_cast<size_t>(PQgetlength(m_result, row, column)));
}

int64_t CPgResult::Int(int row, int column) const {
    const char* p = PQgetvalue(m_result, row, column);
    const int n = PQgetlength(m_result, row, column);
    if (n == 4) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return static_cast<int32_t>(ntohl(v));
    }
    if (n != 8) return 0;
    uint32_t hi, lo;
    std::memcpy(&hi, p, 4);
    std::memcpy(&lo, p + 4, 4);
    return static_cast<int64_t>((static_cast<uint64_t>(ntohl(hi)) << 32) | ntohl(lo));
}

CPgConnection& CPgConnection::operator=(CPgConnection&& other) noexcept {
    if (this != &other) {
        PQfinish(m_conn);
        m_conn = std::exchange(other.m_conn, nullptr);
    }
    return *this;
}

CPgResult CPgConnection::Exec(const char* sql, const std::vector<PgParam>& params) const {
    if (!m_conn) return CPgResult();
    std::vector<const char*> values;
    std::vector<int> lengths, formats;
    for (const PgParam& p : params) {
        values.push_back(p.value.c_str());
        lengths.push_back(static_cast<int>(p.value.size()));
        formats.push_back(p.binary ? 1 : 0);
    }
    return CPgResult(PQexecParams(m_conn, sql, static_cast<int>(params.size()), nullptr,
                                  values.data(), lengths.data(), formats.data(), 1));
}

CPgResult CPgConnection::RunScript(const std::string& sql) const {
    return m_conn ? CPgResult(PQexec(m_conn, sql.c_str())) : CPgResult();
}

bool CPgConnection::IsReadOnly() const {
    if (!m_conn) return false;
    for (const char* setting : {"in_hot_standby", "default_transaction_read_only"}) {
        const char* value = PQparameterStatus(m_conn, setting);
        if (value && std::strcmp(value, "on") == 0) return true;
    }
    return false;
}

std::string CPgConnection::ErrorMessage() const {
    std::string text = m_conn ? PQerrorMessage(m_conn) : "not connected";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

std::string CPgConnection::EscapeLike(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\' || c == '%' || c == '_') out += '\\';
        out += c;
    }
    return out;
}

StoreError StoreErrorOf(const CPgResult& result, const CPgConnection& conn) {
    if (!conn.IsUp()) return StoreError::Disconnected;
    const std::string state = result.SqlState();
    if (state == "23505") return StoreError::Exists;
    // Lacking a privilege; a role that may not log in or is not known.
    if (state == "42501" || state.rfind("28", 0) == 0) return StoreError::Denied;
    // Cancelled by statement_timeout, a lock not had, a serialization failure, a deadlock,
    // too many connections: trying again later may work.
    if (state == "57014" || state == "55P03" || state == "40001" || state == "40P01" ||
        state == "53300")
        return StoreError::Busy;
    // The server shutting down or the connection failing.
    if (state.rfind("08", 0) == 0 || state.rfind("57P", 0) == 0 || state.empty())
        return StoreError::Disconnected;
    if (state == "3D000") return StoreError::NotFound;  // no such database
    return StoreError::IO;
}

StoreError ConnectErrorOf(const std::string& error) {
    if (error.find("password authentication failed") != std::string::npos ||
        error.find("no password supplied") != std::string::npos ||
        error.find("permission denied") != std::string::npos ||
        error.find("pg_hba.conf") != std::string::npos)
        return StoreError::Denied;
    if (error.find("does not exist") != std::string::npos)
        return error.find("database \"") != std::string::npos ? StoreError::NotFound
                                                              : StoreError::Denied;
    if (error.find("too many") != std::string::npos ||
        error.find("starting up") != std::string::npos)
        return StoreError::Busy;
    return StoreError::Disconnected;
}

namespace {

using Options = std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)>;

// The options a connection string names; null when libpq cannot read it.
Options Parse(const std::string& conninfo) {
    char* error = nullptr;
    Options options(PQconninfoParse(conninfo.c_str(), &error), &PQconninfoFree);
    // libpq's reason may quote the string, password and all: it is not passed on.
    PQfreemem(error);
    return options;
}

std::string Option(const Options& options, const char* keyword) {
    for (const PQconninfoOption* o = options.get(); o && o->keyword; ++o)
        if (std::strcmp(o->keyword, keyword) == 0 && o->val) return o->val;
    return std::string();
}

// The password never leaves in a message, whatever libpq put into it.
std::string WithoutPassword(std::string text, const std::string& password) {
    if (password.empty()) return text;
    for (size_t at = text.find(password); at != std::string::npos; at = text.find(password, at))
        text.replace(at, password.size(), "***");
    return text;
}

const char kUnreadable[] = "the connection string or URI cannot be read";

}  // namespace

std::string ConnectionWithoutPassword(const std::string& conninfo) {
    Options options = Parse(conninfo);
    if (!options) return std::string();
    std::string out;
    for (const PQconninfoOption* o = options.get(); o && o->keyword; ++o) {
        if (!o->val || std::strcmp(o->keyword, "password") == 0) continue;
        std::string value;
        for (const char c : std::string(o->val)) {
            if (c == '\\' || c == '\'') value += '\\';
            value += c;
        }
        if (!out.empty()) out += ' ';
        out += std::string(o->keyword) + "='" + value + "'";
    }
    return out;
}

bool ConnectionHasPassword(const std::string& conninfo) {
    Options options = Parse(conninfo);
    return options && !Option(options, "password").empty();
}

std::string ConnectionDisplayName(const std::string& conninfo) {
    Options options = Parse(conninfo);
    if (!options) return std::string();
    std::string user = Option(options, "user");
    std::string host = Option(options, "host");
    std::string db = Option(options, "dbname");
    // What libpq would take from its environment when the string leaves it out.
    if (user.empty() && std::getenv("PGUSER")) user = std::getenv("PGUSER");
    if (host.empty() && std::getenv("PGHOST")) host = std::getenv("PGHOST");
    if (db.empty() && std::getenv("PGDATABASE")) db = std::getenv("PGDATABASE");
    if (host.empty()) host = "local";
    std::string name = user.empty() ? host : user + "@" + host;
    if (const std::string port = Option(options, "port"); !port.empty()) name += ":" + port;
    return db.empty() ? name : name + "/" + db;
}

void CPgConnector::Start(const std::string& conninfo, ISocketWatch& watch, Done done,
                         SessionTarget target) {
    m_watch = &watch;
    m_done = std::move(done);
    m_conninfo = conninfo;
    m_elseAttrs.clear();
    Options options = Parse(conninfo);
    if (!options) return Finish(kUnreadable);
    m_password = Option(options, "password");
    if (target == SessionTarget::ReadWriteElseStandby) {
        const std::string asked = Option(options, "target_session_attrs");
        const bool reads = asked == "read-only" || asked == "standby" || asked == "prefer-standby";
        m_elseAttrs = reads ? asked : "any";
    }
    Begin("read-write");
}

void CPgConnector::Begin(const char* sessionAttrs) {
    // Later keywords win over what the string says: the records are UTF-8 on both sides,
    // and the session lands where this program needs it.
    const char* const keywords[] = {"dbname", "client_encoding", "fallback_application_name",
                                    "target_session_attrs", nullptr};
    const char* const values[] = {m_conninfo.c_str(), "UTF8", "quillon", sessionAttrs, nullptr};
    m_conn = CPgConnection(PQconnectStartParams(keywords, values, 1));
    if (!m_conn.IsOpen()) return Finish("out of memory");
    if (PQstatus(m_conn.Handle()) == CONNECTION_BAD) return Finish(m_conn.ErrorMessage());
    // As if the last poll had asked to write.
    Step(PGRES_POLLING_WRITING);
}

void CPgConnector::Step(PostgresPollingStatusType status) {
    switch (status) {
        case PGRES_POLLING_OK:
            return Finish(std::string());
        case PGRES_POLLING_FAILED:
            return Finish(m_conn.ErrorMessage());
        default:
            break;
    }
    const int fd = PQsocket(m_conn.Handle());
    if (fd < 0) return Finish(m_conn.ErrorMessage());
    m_watch->Watch(fd,
                   status == PGRES_POLLING_READING ? ISocketWatch::Wait::Readable
                                                   : ISocketWatch::Wait::Writable,
                   [this](ISocketWatch::Outcome outcome) {
                       switch (outcome) {
                           case ISocketWatch::Outcome::TimedOut:
                               m_elseAttrs.clear();  // the time given is up for both
                               return Finish("the server did not answer in time");
                           case ISocketWatch::Outcome::Cancelled:
                               m_elseAttrs.clear();
                               return Finish(LoadKQString(IDS_TEAM_CONNECT_CANCELLED));
                           case ISocketWatch::Outcome::Ready:
                               break;
                       }
                       Step(PQconnectPoll(m_conn.Handle()));
                   });
}

void CPgConnector::Finish(std::string error) {
    // No writable server answered (only a standby, or none): a viewer tries once more for
    // any server it may read from. A refused login, a cancel or the time up is final.
    if (!error.empty() && !m_elseAttrs.empty() && m_done &&
        ConnectErrorOf(error) == StoreError::Disconnected) {
        const std::string attrs = std::exchange(m_elseAttrs, std::string());
        return Begin(attrs.c_str());
    }
    Done done = std::exchange(m_done, nullptr);
    if (!done) return;
    if (!error.empty()) {
        m_conn = CPgConnection();
        error = WithoutPassword(std::move(error), m_password);
    }
    m_password.clear();
    m_conninfo.clear();
    // The server's notices (a schema run says "already exists, skipping") are no news to
    // the user; errors come with their statements.
    if (m_conn.IsOpen())
        PQsetNoticeProcessor(
            m_conn.Handle(), [](void*, const char*) {}, nullptr);
    done(std::move(m_conn), std::move(error));
}

bool ConnectWaiting(const std::string& conninfo, int timeoutMs, CPgConnection& out,
                    std::string& error, SessionTarget target) {
    CPollSocketWatch watch(timeoutMs);
    CPgConnector connector;
    bool ok = false;
    connector.Start(
        conninfo, watch,
        [&](CPgConnection conn, std::string why) {
            ok = why.empty();
            out = std::move(conn);
            error = std::move(why);
        },
        target);
    watch.Run();
    return ok;
}
