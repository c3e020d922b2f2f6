// The team database's schema: packaging/server/schema.sql, built into the program. It is
// checked on every connection and created or upgraded only when asked (--init-server).
#pragma once

#include <string>

#include "server/PgConnection.h"
#include "storage/RecordStore.h"

const std::string& ServerSchemaText();
int ServerSchemaVersion();  // the version ServerSchemaText() makes

enum class SchemaState {
    Current,  // the version this program knows
    Missing,  // no tables of ours: --init-server makes them
    Older,    // ours, of an older version: --init-server upgrades it
    Newer,    // made by a newer program: left alone
    Foreign,  // a records table that is not ours: left alone
    Unknown,  // the question failed (error says why)
};

struct SchemaCheck {
    SchemaState state = SchemaState::Unknown;
    int version = 0;                      // the database's, when it has one
    StoreError error = StoreError::None;  // when Unknown
    std::string detail;                   // the server's words, when Unknown
};

SchemaCheck CheckServerSchema(const CPgConnection& conn);
// Creates the schema, or upgrades an older one, in one transaction. Refuses a newer or a
// foreign one. Answers the state found before; error set (and nothing changed) on failure.
SchemaState CreateOrUpgradeServerSchema(const CPgConnection& conn, std::string& error);
// The user's message for a schema that is not Current (string table), for the database named.
std::string SchemaMessage(const SchemaCheck& check, const std::string& database);

// The --init-server action: connects to conninfo, creates or upgrades the schema. Answers
// whether it did, with what to tell the user either way.
bool InitServer(const std::string& conninfo, std::string& message);
