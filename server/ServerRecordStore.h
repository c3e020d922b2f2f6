// The record store of a PostgreSQL team database: one row per record, shared by many
// writers. The server gives each record its order number, version and who stored it; row-
// level security keeps a writer from changing another writer's rows. This client's own
// order (the mirror and the newest snapshot in front) is kept here, never on the server.
#pragma once

#include <string>
#include <vector>

#include "server/PgConnection.h"
#include "server/ServerSchema.h"
#include "storage/RecordStore.h"

class CServerRecordStore : public IRecordStore {
public:
    // What a statement may take before the server cancels it (Busy).
    static constexpr int kStatementTimeoutMs = 30000;
    static constexpr int kConnectTimeoutMs = 15000;

    CServerRecordStore() = default;
    ~CServerRecordStore() override { Close(); }
    CServerRecordStore(const CServerRecordStore&) = delete;
    CServerRecordStore& operator=(const CServerRecordStore&) = delete;

    // 1..31 bytes of valid UTF-8 without NUL.
    static bool IsStorableName(const std::string& sysid);

    // Connects (waiting on poll) and takes the connection as Attach does.
    StoreError Open(const std::string& conninfo);
    // Takes what a connection attempt made elsewhere gave: the connection as Attach does, or
    // none and libpq's reason (the kind of failure from it).
    StoreError Open(CPgConnection connection, const std::string& connectError,
                    const std::string& displayName);
    // Takes a connection made elsewhere (without blocking), sets its statement timeout and
    // checks the schema: NotFound when it has none, NotOurs when it is newer, older or not
    // ours (Schema() says which).
    StoreError Attach(CPgConnection connection, const std::string& displayName);
    void Close();  // an open batch is dropped
    // How long one statement may take before the server cancels it (Busy).
    StoreError SetStatementTimeout(int ms);
    bool IsOpen() const { return m_conn.IsOpen(); }
    // Whether the server it reached takes no writes (a standby): nothing may be stored.
    bool ReadOnly() const { return m_conn.IsReadOnly(); }
    const SchemaCheck& Schema() const { return m_schema; }

    StoreError List(std::vector<StoredRecord>& out) override;
    StoreError Read(const std::string& sysid, std::string& bytes, int64_t& version) override;
    StoreError ReadSeveral(const std::vector<std::string>& sysids,
                           std::vector<RecordBytes>& out) override;
    StoreError ReadPrefix(const std::string& prefix, std::vector<RecordBytes>& out) override;
    StoreError Insert(const std::string& sysid, const std::string& bytes,
                      int64_t& version) override;
    StoreError Replace(const std::string& sysid, int64_t expected, const std::string& bytes,
                       int64_t& version) override;
    StoreError Delete(const std::string& sysid, int64_t expected) override;
    StoreError Place(const std::string& sysid, int position) override;
    StoreError Commit() override;
    void Rollback() override;
    std::string Describe(StoreError error) const override;
    // The identifiers of the records another database user stored: this connection may not
    // change or delete them.
    StoreError StoredByOthers(std::vector<std::string>& out);
    // The same among the named records only.
    StoreError StoredByOthers(const std::vector<std::string>& among, std::vector<std::string>& out);
    // Whether this database user may store records at all (a reader may not).
    StoreError MayStore(bool& may);

    // Live changes: the server tells every listening connection of each row stored,
    // changed or deleted, by any client, when its transaction commits.
    struct Change {
        std::string sysid;
        int64_t version = 0;  // the row's version; a deleted row's last one
        bool removed = false;
    };
    static constexpr const char* kChangeChannel = "quillon_records";
    StoreError Listen();
    // The connection's socket, to watch for reading while it listens; -1 when closed.
    int Socket() const;
    // The changes told since the last call, oldest first, without this connection's own.
    // Never waits. fromSocket: what the socket holds is read first; without it, only what
    // libpq already read (a statement's answer may bring notifications along, and then the
    // socket has nothing more to say). Disconnected when the connection went away.
    StoreError TakeChanges(std::vector<Change>& out, bool fromSocket = true);
    // Rows the reads of this store brought back so far (listings, reads, read-aheads).
    int64_t RowsRead() const { return m_rowsRead; }

private:
    struct Row {
        std::string sysid;
        std::string bytes;
        int64_t version = 0;
    };
    // One statement; inside a batch under a savepoint, so that its failure loses nothing
    // of the batch and changes nothing itself. ok false: the kind is in Fail's detail.
    CPgResult Run(const char* sql, const std::vector<PgParam>& params, StoreError& error);
    StoreError Fail(StoreError error, std::string detail);
    StoreError BeginBatch();
    // Rows of a query answering sysid, bytes, version in the server's order, put into this
    // client's order.
    StoreError Rows(const char* sql, const std::vector<PgParam>& params, std::vector<Row>& out);
    void ClientOrder(std::vector<Row>& rows) const;
    // The same for a query whose $1 is the array of the named identifiers that can be stored.
    StoreError RowsNamed(const char* sql, const std::vector<std::string>& sysids,
                         std::vector<Row>& out);
    // After a change that matched no row: NotFound, Conflict or Denied.
    StoreError WhyNoRow(const std::string& sysid, int64_t expected);

    CPgConnection m_conn;
    std::string m_name;  // the database as the user may see it
    SchemaCheck m_schema;
    std::string m_detail;
    bool m_inBatch = false;
    int64_t m_rowsRead = 0;
    // Identifiers placed in front of the server's order, first first.
    std::vector<std::string> m_front, m_frontBefore;
};
