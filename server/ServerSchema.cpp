#include "server/ServerSchema.h"

#include "resources/Strings.h"

SchemaCheck CheckServerSchema(const CPgConnection& conn) {
    SchemaCheck check;
    CPgResult r = conn.Exec(
        "SELECT to_regclass('quillon_schema') IS NOT NULL, to_regclass('records') IS NOT NULL");
    if (r.Ok() && r.Rows() == 1) {
        if (!r.Bool(0, 0)) {
            check.state = r.Bool(0, 1) ? SchemaState::Foreign : SchemaState::Missing;
            return check;
        }
        r = conn.Exec("SELECT version FROM quillon_schema");
    }
    if (!r.Ok()) {
        check.error = StoreErrorOf(r, conn);
        check.detail = r.Message();
        return check;
    }
    if (r.Rows() != 1) {
        check.state = SchemaState::Foreign;
        return check;
    }
    check.version = static_cast<int>(r.Int(0, 0));
    check.state = check.version == ServerSchemaVersion()  ? SchemaState::Current
                  : check.version < ServerSchemaVersion() ? SchemaState::Older
                                                          : SchemaState::Newer;
    return check;
}

SchemaState CreateOrUpgradeServerSchema(const CPgConnection& conn, std::string& error) {
    error.clear();
    CPgResult r = conn.Exec("BEGIN");
    // Two programs initialising one database at once take turns.
    if (r.Ok()) r = conn.Exec("SELECT pg_advisory_xact_lock(hashtext('quillon schema'))");
    if (!r.Ok()) {
        error = r.Message();
        conn.Exec("ROLLBACK");
        return SchemaState::Unknown;
    }
    const SchemaCheck check = CheckServerSchema(conn);
    if (check.state == SchemaState::Unknown || check.state == SchemaState::Newer ||
        check.state == SchemaState::Foreign) {
        error = check.state == SchemaState::Unknown ? check.detail : SchemaMessage(check, "");
        conn.Exec("ROLLBACK");
        return check.state;
    }
    r = conn.RunScript(ServerSchemaText());
    if (r.Ok()) r = conn.Exec("COMMIT");
    if (!r.Ok() || r.Command() != "COMMIT") {
        error = r.Ok() ? "the server rolled the schema back" : r.Message();
        conn.Exec("ROLLBACK");
    }
    return check.state;
}

std::string SchemaMessage(const SchemaCheck& check, const std::string& database) {
    const std::string version = std::to_string(check.version);
    switch (check.state) {
        case SchemaState::Missing:
            return FormatKQString(IDS_ERR_SERVER_NO_SCHEMA, database);
        case SchemaState::Older:
            return FormatKQString(IDS_ERR_SERVER_SCHEMA_OLDER, database, version);
        case SchemaState::Newer:
            return FormatKQString(IDS_ERR_SERVER_SCHEMA_NEWER, database, version);
        case SchemaState::Foreign:
            return FormatKQString(IDS_ERR_SERVER_NOT_OURS, database);
        default:
            return std::string();
    }
}

bool InitServer(const std::string& conninfo, std::string& message) {
    const std::string name = ConnectionDisplayName(conninfo);
    CPgConnection conn;
    std::string error;
    if (!ConnectWaiting(conninfo, 15000, conn, error)) {
        message = FormatKQString(IDS_ERR_SERVER_CONNECT, name, error);
        return false;
    }
    const SchemaState before = CreateOrUpgradeServerSchema(conn, error);
    if (!error.empty()) {
        SchemaCheck found;
        found.state = before;
        found.version = CheckServerSchema(conn).version;
        message = before == SchemaState::Newer || before == SchemaState::Foreign
                      ? SchemaMessage(found, name)
                      : FormatKQString(IDS_ERR_SERVER_INIT, name, error);
        return false;
    }
    message = FormatKQString(IDS_SERVER_INITIALISED, name, std::to_string(ServerSchemaVersion()));
    return true;
}
