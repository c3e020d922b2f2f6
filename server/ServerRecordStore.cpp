#include "server/ServerRecordStore.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <memory>
#include <string_view>

#include "database/RecordStream.h"
#include "resources/Strings.h"

// ASCII case folding on the server, as the folded column is made: never lower(), which
// follows the server's locale.
#define FOLDED(param) \
    "translate(" param ", 'ABCDEFGHIJKLMNOPQRSTUVWXYZ', 'abcdefghijklmnopqrstuvwxyz')"

namespace {

bool IsValidUtf8(const std::string& s) {
    size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        size_t n = 0;
        unsigned min = 0, cp = 0;
        if (c == 0) return false;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if ((c & 0xE0) == 0xC0)
            n = 1, min = 0x80, cp = c & 0x1F;
        else if ((c & 0xF0) == 0xE0)
            n = 2, min = 0x800, cp = c & 0x0F;
        else if ((c & 0xF8) == 0xF0)
            n = 3, min = 0x10000, cp = c & 0x07;
        else
            return false;
        if (i + n >= s.size()) return false;
        for (size_t k = 1; k <= n; ++k) {
            const unsigned char d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        // Overlong forms, surrogates and code points past Unicode's end.
        if (cp < min || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return false;
        i += n + 1;
    }
    return true;
}

// A text[] parameter: each element quoted.
std::string ArrayLiteral(const std::vector<std::string>& items) {
    std::string out = "{";
    for (const std::string& item : items) {
        if (out.size() > 1) out += ',';
        out += '"';
        for (const char c : item) {
            if (c == '"' || c == '\\') out += '\\';
            out += c;
        }
        out += '"';
    }
    return out + "}";
}

const char kSavepoint[] = "SAVEPOINT quillon_change";
const char kRollbackSavepoint[] = "ROLLBACK TO SAVEPOINT quillon_change";
const char kReleaseSavepoint[] = "RELEASE SAVEPOINT quillon_change";

}  // namespace

bool CServerRecordStore::IsStorableName(const std::string& sysid) {
    return !sysid.empty() && sysid.size() <= static_cast<size_t>(kMaxRecordNameLength) &&
           IsValidUtf8(sysid);
}

StoreError CServerRecordStore::Fail(StoreError error, std::string detail) {
    m_detail = std::move(detail);
    return error;
}

StoreError CServerRecordStore::Open(const std::string& conninfo) {
    Close();
    CPgConnection conn;
    std::string error;
    ConnectWaiting(conninfo, kConnectTimeoutMs, conn, error);
    return Open(std::move(conn), error, ConnectionDisplayName(conninfo));
}

StoreError CServerRecordStore::Open(CPgConnection connection, const std::string& connectError,
                                    const std::string& displayName) {
    if (!connection.IsOpen()) {
        Close();
        return Fail(ConnectErrorOf(connectError), connectError);
    }
    return Attach(std::move(connection), displayName);
}

StoreError CServerRecordStore::Attach(CPgConnection connection, const std::string& displayName) {
    Close();
    m_conn = std::move(connection);
    m_name = displayName;
    if (const StoreError e = SetStatementTimeout(kStatementTimeoutMs); e != StoreError::None) {
        Close();
        return e;
    }
    m_schema = CheckServerSchema(m_conn);
    StoreError e = StoreError::None;
    switch (m_schema.state) {
        case SchemaState::Current:
            return StoreError::None;
        case SchemaState::Missing:
            e = StoreError::NotFound;
            break;
        case SchemaState::Unknown:
            e = m_schema.error;
            break;
        default:
            e = StoreError::NotOurs;
            break;
    }
    m_detail =
        m_schema.state == SchemaState::Unknown ? m_schema.detail : SchemaMessage(m_schema, m_name);
    const SchemaCheck kept = m_schema;
    Close();
    m_schema = kept;
    return e;
}

StoreError CServerRecordStore::SetStatementTimeout(int ms) {
    // For the rest of the session (a batch rolled back takes it back with it).
    StoreError e;
    Run("SELECT set_config('statement_timeout', $1, false)", {PgParam::Int(ms)}, e);
    return e;
}

void CServerRecordStore::Close() {
    m_conn = CPgConnection();  // an open transaction ends with the connection
    m_inBatch = false;
    m_front.clear();
    m_frontBefore.clear();
    m_schema = SchemaCheck();
}

CPgResult CServerRecordStore::Run(const char* sql, const std::vector<PgParam>& params,
                                  StoreError& error) {
    error = StoreError::None;
    if (!m_conn.IsOpen()) {
        error = Fail(StoreError::Disconnected, "no team database is open");
        return CPgResult();
    }
    if (m_inBatch) {
        CPgResult sp = m_conn.Exec(kSavepoint);
        if (!sp.Ok()) {
            error = Fail(StoreErrorOf(sp, m_conn), sp.Message());
            return sp;
        }
    }
    CPgResult r = m_conn.Exec(sql, params);
    if (r.Ok()) {
        if (m_inBatch) {
            CPgResult rel = m_conn.Exec(kReleaseSavepoint);
            if (!rel.Ok()) error = Fail(StoreErrorOf(rel, m_conn), rel.Message());
        }
        return r;
    }
    error = Fail(StoreErrorOf(r, m_conn), r.Message());
    // The batch's earlier changes stay; this one leaves nothing behind.
    if (m_inBatch && m_conn.IsUp()) {
        m_conn.Exec(kRollbackSavepoint);
        m_conn.Exec(kReleaseSavepoint);
    }
    return r;
}

StoreError CServerRecordStore::BeginBatch() {
    if (!m_conn.IsOpen()) return Fail(StoreError::Disconnected, "no team database is open");
    if (m_inBatch) return StoreError::None;
    CPgResult r = m_conn.Exec("BEGIN");
    if (!r.Ok()) return Fail(StoreErrorOf(r, m_conn), r.Message());
    m_inBatch = true;
    m_frontBefore = m_front;
    return StoreError::None;
}

void CServerRecordStore::ClientOrder(std::vector<Row>& rows) const {
    if (m_front.empty()) return;
    std::vector<Row> ordered;
    ordered.reserve(rows.size());
    std::vector<bool> taken(rows.size(), false);
    for (const std::string& name : m_front)
        for (size_t i = 0; i < rows.size(); ++i)
            if (!taken[i] && EqualsNoCase(rows[i].sysid, name)) {
                taken[i] = true;
                ordered.push_back(std::move(rows[i]));
                break;
            }
    for (size_t i = 0; i < rows.size(); ++i)
        if (!taken[i]) ordered.push_back(std::move(rows[i]));
    rows = std::move(ordered);
}

StoreError CServerRecordStore::Rows(const char* sql, const std::vector<PgParam>& params,
                                    std::vector<Row>& out) {
    out.clear();
    StoreError e;
    CPgResult r = Run(sql, params, e);
    if (e != StoreError::None) return e;
    m_rowsRead += r.Rows();
    const bool withBytes = r.Columns() > 2;
    out.resize(static_cast<size_t>(r.Rows()));
    for (int i = 0; i < r.Rows(); ++i) {
        Row& row = out[static_cast<size_t>(i)];
        row.sysid = r.Bytes(i, 0);
        row.version = r.Int(i, 1);
        if (withBytes) row.bytes = r.Bytes(i, 2);
    }
    ClientOrder(out);
    return StoreError::None;
}

StoreError CServerRecordStore::List(std::vector<StoredRecord>& out) {
    out.clear();
    std::vector<Row> rows;
    if (const StoreError e = Rows("SELECT sysid, version FROM records ORDER BY ord", {}, rows);
        e != StoreError::None)
        return e;
    out.reserve(rows.size());
    for (size_t i = 0; i < rows.size(); ++i)
        out.push_back({std::move(rows[i].sysid), static_cast<int64_t>(i), rows[i].version});
    return StoreError::None;
}

StoreError CServerRecordStore::StoredByOthers(std::vector<std::string>& out) {
    out.clear();
    std::vector<Row> rows;
    if (const StoreError e =
            Rows("SELECT sysid, version FROM records WHERE stored_by <> current_user ORDER BY ord",
                 {}, rows);
        e != StoreError::None)
        return e;
    for (Row& r : rows) out.push_back(std::move(r.sysid));
    return StoreError::None;
}

StoreError CServerRecordStore::StoredByOthers(const std::vector<std::string>& among,
                                              std::vector<std::string>& out) {
    out.clear();
    std::vector<Row> rows;
    if (const StoreError e = RowsNamed("SELECT sysid, version FROM records WHERE stored_by <> "
                                       "current_user AND folded = ANY (" FOLDED("$1") "::text[])",
                                       among, rows);
        e != StoreError::None)
        return e;
    for (Row& r : rows) out.push_back(std::move(r.sysid));
    return StoreError::None;
}

StoreError CServerRecordStore::RowsNamed(const char* sql, const std::vector<std::string>& sysids,
                                         std::vector<Row>& out) {
    out.clear();
    std::vector<std::string> asked;
    for (const std::string& s : sysids)
        if (IsStorableName(s)) asked.push_back(s);  // no other can be stored
    if (asked.empty()) return StoreError::None;
    return Rows(sql, {PgParam::Text(ArrayLiteral(asked))}, out);
}

StoreError CServerRecordStore::MayStore(bool& may) {
    may = false;
    StoreError e = StoreError::None;
    // Writers are granted INSERT on the columns they fill, not on the table.
    const CPgResult r = Run("SELECT has_column_privilege('records', 'bytes', 'INSERT')", {}, e);
    if (e == StoreError::None && r.Rows() == 1) may = r.Bool(0, 0);
    return e;
}

StoreError CServerRecordStore::Read(const std::string& sysid, std::string& bytes,
                                    int64_t& version) {
    bytes.clear();
    if (!IsStorableName(sysid)) return Fail(StoreError::NotFound, sysid);
    std::vector<Row> rows;
    if (const StoreError e =
            Rows("SELECT sysid, version, bytes FROM records WHERE folded = " FOLDED("$1"),
                 {PgParam::Text(sysid)}, rows);
        e != StoreError::None)
        return e;
    if (rows.empty()) return Fail(StoreError::NotFound, sysid);
    bytes = std::move(rows[0].bytes);
    version = rows[0].version;
    return StoreError::None;
}

StoreError CServerRecordStore::ReadSeveral(const std::vector<std::string>& sysids,
                                           std::vector<RecordBytes>& out) {
    out.clear();
    std::vector<Row> rows;
    if (const StoreError e = RowsNamed("SELECT sysid, version, bytes FROM records"
                                       " WHERE folded = ANY (" FOLDED("$1") "::text[])",
                                       sysids, rows);
        e != StoreError::None)
        return e;
    std::map<std::string, const Row*, CaseLess> found;
    for (const Row& row : rows) found[row.sysid] = &row;
    for (const std::string& s : sysids)
        if (auto it = found.find(s); it != found.end())
            out.push_back({it->second->sysid, it->second->bytes, it->second->version});
    return StoreError::None;
}

StoreError CServerRecordStore::ReadPrefix(const std::string& prefix,
                                          std::vector<RecordBytes>& out) {
    out.clear();
    std::vector<Row> rows;
    if (const StoreError e = Rows("SELECT sysid, version, bytes FROM records"
                                  " WHERE folded LIKE " FOLDED("$1") " || '%' ORDER BY ord",
                                  {PgParam::Text(CPgConnection::EscapeLike(prefix))}, rows);
        e != StoreError::None)
        return e;
    for (Row& row : rows) out.push_back({std::move(row.sysid), std::move(row.bytes), row.version});
    return StoreError::None;
}

StoreError CServerRecordStore::Insert(const std::string& sysid, const std::string& bytes,
                                      int64_t& version) {
    if (!IsStorableName(sysid))
        return Fail(StoreError::IO, FormatKQString(IDS_SERVER_BAD_IDENTIFIER, sysid));
    if (const StoreError e = BeginBatch(); e != StoreError::None) return e;
    StoreError e;
    CPgResult r = Run("INSERT INTO records (sysid, bytes) VALUES ($1, $2) RETURNING version",
                      {PgParam::Text(sysid), PgParam::Bytes(bytes)}, e);
    // Also when another writer stored the identifier first: the unique folded column says so.
    if (e == StoreError::Exists) return Fail(e, sysid);
    if (e != StoreError::None) return e;
    version = r.Int(0, 0);
    return StoreError::None;
}

StoreError CServerRecordStore::WhyNoRow(const std::string& sysid, int64_t expected) {
    StoreError e;
    CPgResult r = Run("SELECT version, stored_by::text FROM records WHERE folded = " FOLDED("$1"),
                      {PgParam::Text(sysid)}, e);
    if (e != StoreError::None) return e;
    if (r.Rows() == 0) return Fail(StoreError::NotFound, sysid);
    if (r.Int(0, 0) != expected) return Fail(StoreError::Conflict, sysid);
    // The row is there as read, yet row-level security hid it from the change.
    return Fail(StoreError::Denied, sysid + " was stored by " + r.Bytes(0, 1));
}

StoreError CServerRecordStore::Replace(const std::string& sysid, int64_t expected,
                                       const std::string& bytes, int64_t& version) {
    if (!IsStorableName(sysid)) return Fail(StoreError::NotFound, sysid);
    if (const StoreError e = BeginBatch(); e != StoreError::None) return e;
    StoreError e;
    CPgResult r = Run("UPDATE records SET bytes = $2 WHERE folded = " FOLDED(
                          "$1") " AND version = $3 RETURNING version",
                      {PgParam::Text(sysid), PgParam::Bytes(bytes), PgParam::Int(expected)}, e);
    if (e != StoreError::None) return e;
    if (r.Rows() == 0) return WhyNoRow(sysid, expected);
    version = r.Int(0, 0);
    return StoreError::None;
}

StoreError CServerRecordStore::Delete(const std::string& sysid, int64_t expected) {
    if (!IsStorableName(sysid)) return Fail(StoreError::NotFound, sysid);
    if (const StoreError e = BeginBatch(); e != StoreError::None) return e;
    StoreError e;
    CPgResult r = Run(
        "DELETE FROM records WHERE folded = " FOLDED("$1") " AND version = $2 RETURNING version",
        {PgParam::Text(sysid), PgParam::Int(expected)}, e);
    if (e != StoreError::None) return e;
    if (r.Rows() == 0) return WhyNoRow(sysid, expected);
    std::erase_if(m_front, [&](const std::string& s) { return EqualsNoCase(s, sysid); });
    return StoreError::None;
}

StoreError CServerRecordStore::Place(const std::string& sysid, int position) {
    std::vector<StoredRecord> rows;
    if (const StoreError e = List(rows); e != StoreError::None) return e;
    std::vector<std::string> order;
    order.reserve(rows.size());
    for (StoredRecord& r : rows) order.push_back(std::move(r.sysid));
    auto it = std::find_if(order.begin(), order.end(),
                           [&](const std::string& s) { return EqualsNoCase(s, sysid); });
    if (it == order.end()) return Fail(StoreError::NotFound, sysid);
    if (const StoreError e = BeginBatch(); e != StoreError::None) return e;
    const bool wasInFront = std::any_of(m_front.begin(), m_front.end(), [&](const std::string& s) {
        return EqualsNoCase(s, sysid);
    });
    std::string name = std::move(*it);
    order.erase(it);
    const size_t to = std::min(static_cast<size_t>(std::clamp(position, 0, 1)), order.size());
    order.insert(order.begin() + static_cast<std::ptrdiff_t>(to), std::move(name));
    // The front stays a prefix of the listing, one longer when a record joins it.
    const size_t keep =
        std::min(std::max(m_front.size() + (wasInFront ? 0 : 1), to + 1), order.size());
    m_front.assign(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(keep));
    return StoreError::None;
}

StoreError CServerRecordStore::Commit() {
    if (!m_inBatch) return StoreError::None;
    m_inBatch = false;
    CPgResult r = m_conn.Exec("COMMIT");
    if (r.Ok() && r.Command() == "COMMIT") return StoreError::None;
    m_front = std::move(m_frontBefore);
    if (!r.Ok()) return Fail(StoreErrorOf(r, m_conn), r.Message());
    // The server ended the transaction itself: nothing of the batch was kept.
    return Fail(StoreError::IO, "the server rolled the batch back");
}

void CServerRecordStore::Rollback() {
    if (!m_inBatch) return;
    m_inBatch = false;
    m_conn.Exec("ROLLBACK");
    m_front = std::move(m_frontBefore);
}

std::string CServerRecordStore::Describe(StoreError error) const {
    std::string text = StoreErrorText(error);
    if (error != StoreError::None && !m_detail.empty()) text += ": " + m_detail;
    return text;
}

StoreError CServerRecordStore::Listen() {
    StoreError e;
    // The channel is a constant name: LISTEN takes no parameters.
    Run((std::string("LISTEN ") + kChangeChannel).c_str(), {}, e);
    return e;
}

int CServerRecordStore::Socket() const { return m_conn.IsOpen() ? PQsocket(m_conn.Handle()) : -1; }

StoreError CServerRecordStore::TakeChanges(std::vector<Change>& out, bool fromSocket) {
    out.clear();
    PGconn* conn = m_conn.Handle();
    if (!conn) return Fail(StoreError::Disconnected, "no team database is open");
    if ((fromSocket && !PQconsumeInput(conn)) || !m_conn.IsUp())
        return Fail(StoreError::Disconnected, m_conn.ErrorMessage());
    const int self = PQbackendPID(conn);
    while (PGnotify* n = PQnotifies(conn)) {
        std::unique_ptr<PGnotify, decltype(&PQfreemem)> held(n, &PQfreemem);
        if (n->be_pid == self || std::string_view(n->relname) != kChangeChannel) continue;
        // "<I|U|D> <version> <identifier>"; anything else is not ours to read.
        const std::string_view text(n->extra);
        if (text.size() < 5 || text[1] != ' ' ||
            std::string_view("IUD").find(text[0]) == std::string_view::npos)
            continue;
        const size_t space = text.find(' ', 2);
        if (space == std::string_view::npos) continue;
        Change c;
        const auto [end, ec] = std::from_chars(text.data() + 2, text.data() + space, c.version);
        if (ec != std::errc() || end != text.data() + space) continue;
        c.sysid = std::string(text.substr(space + 1));
        c.removed = text[0] == 'D';
        if (IsStorableName(c.sysid)) out.push_back(std::move(c));
    }
    return StoreError::None;
}
