// A team database's changes wait on this computer until its server has committed them: every
// batch is written to a local outbox file (named streams, one per record) before the server's
// commit and leaves it after, so a kill or a lost connection loses nothing reported done.
// While the server is away, changes go to the outbox only; Flush stores them once it is back.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "storage/RecordStore.h"
#include "storage/StreamStorage.h"

class COutboxStore : public IRecordStore {
public:
    explicit COutboxStore(std::unique_ptr<IRecordStore> server);
    ~COutboxStore() override;
    COutboxStore(const COutboxStore&) = delete;
    COutboxStore& operator=(const COutboxStore&) = delete;

    // Opens the outbox file, making it when missing. False with LastError.
    bool OpenOutbox(const std::string& path);
    const std::string& OutboxPath() const { return m_box.Path(); }
    const std::string& LastError() const { return m_detail; }
    // The file name of the outbox of a team database, from how the user sees it (never with
    // a password): readable, and unique through a hash of the whole name.
    static std::string OutboxFileName(const std::string& databaseName);

    // Changes waiting for the server (records to store or delete).
    int Waiting() const { return static_cast<int>(m_waiting.size()); }
    // The records waiting to be stored, oldest first (deletes left out).
    std::vector<RecordBytes> WaitingRecords();
    // The connection was lost: changes go to the outbox only until Reconnect.
    bool Offline() const { return m_offline; }
    // Another watch found the connection gone before this store did: offline now.
    void ConnectionLost() { Lost(StoreError::Disconnected); }
    // Stands on a new connection's store; what waits is stored by Flush.
    void Reconnect(std::unique_ptr<IRecordStore> server);
    IRecordStore* Server() { return m_server.get(); }
    std::unique_ptr<IRecordStore> TakeServer() { return std::move(m_server); }

    // A waiting change the server refused when it was stored at last: it leaves the outbox.
    // Exists: a new record whose identifier another writer took meanwhile; Conflict: the
    // record changed meanwhile; Denied: another user's record.
    struct Refused {
        std::string sysid;
        StoreError error;
    };
    // Stores what waits, oldest first, in batches. A change the server already holds as it
    // is (a kill came between the server's commit and the outbox's) leaves quietly. None when
    // nothing waits any more; else why the rest still waits (Disconnected: offline again).
    StoreError Flush(std::vector<Refused>& refused, int& stored);

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

private:
    // Insert, Replace (naming expected), Delete (naming expected); Gone: an insert deleted
    // again before it was stored, so nothing is owed.
    enum Kind : char { kInsert = 'I', kReplace = 'R', kDelete = 'D', kGone = 'G' };
    struct Change {
        char kind = kInsert;
        int64_t expected = 0;
        int64_t seq = 0;
        std::string bytes;
        bool sent = false;  // also sent to the server in its open transaction
    };
    static std::string Encode(const Change& change);
    static bool Decode(const std::string& data, Change& change);
    // The change owed for sysid so far (this batch's, else the outbox's); false when none.
    bool Owed(const std::string& sysid, Change& change);
    bool Waits(const std::string& sysid) const {
        return m_waiting.count(sysid) != 0 || m_batch.count(sysid) != 0;
    }
    // Records next as the change owed for sysid, after what was owed (null: nothing).
    Change& Owe(const std::string& sysid, const Change* owed, char kind, int64_t expected,
                Change next);
    // The server's answer to a change: None (next marked sent), None when the connection
    // was lost (offline now: the change waits here), or the refusal.
    StoreError Ask(StoreError answer, Change& next);
    // Goes offline on a lost connection; the error answered.
    StoreError Lost(StoreError error);
    // Whether the server's row is exactly bytes (a change stored before a kill).
    bool StoredAlready(const std::string& sysid, const std::string& bytes);
    bool Online() const { return m_server && !m_offline; }
    bool Remove(const std::vector<std::string>& sysids);

    std::unique_ptr<IRecordStore> m_server;
    CStreamStorage m_box;
    std::map<std::string, Change, CaseLess> m_batch;
    std::map<std::string, int64_t, CaseLess> m_waiting;  // in the outbox: identifier, seq
    int64_t m_nextSeq = 1;
    bool m_offline = false;
    std::string m_detail;
};
