#include "database/OutboxStore.h"

#include <algorithm>
#include <cstdio>

namespace {

// The server stores so many waiting changes per transaction.
constexpr size_t kFlushBatch = 200;

}  // namespace

COutboxStore::COutboxStore(std::unique_ptr<IRecordStore> server) : m_server(std::move(server)) {}

COutboxStore::~COutboxStore() { Rollback(); }

std::string COutboxStore::OutboxFileName(const std::string& databaseName) {
    std::string readable;
    for (const char c : databaseName) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '@' || c == '-';
        readable += plain ? c : '_';
    }
    if (readable.size() > 80) readable.resize(80);
    uint32_t hash = 2166136261u;  // FNV-1a: names that read the same stay apart
    for (const char c : databaseName) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619u;
    }
    char tail[16];
    std::snprintf(tail, sizeof tail, "-%08x", hash);
    return "Outbox " + readable + tail + ".kqd";
}

std::string COutboxStore::Encode(const Change& change) {
    return std::string(1, change.kind) + " " + std::to_string(change.expected) + " " +
           std::to_string(change.seq) + "\n" + change.bytes;
}

bool COutboxStore::Decode(const std::string& data, Change& change) {
    const size_t end = data.find('\n');
    if (end == std::string::npos || end < 5) return false;
    long long expected = 0, seq = 0;
    char kind = 0;
    if (std::sscanf(data.substr(0, end).c_str(), "%c %lld %lld", &kind, &expected, &seq) != 3)
        return false;
    if (kind != kInsert && kind != kReplace && kind != kDelete) return false;
    change.kind = kind;
    change.expected = expected;
    change.seq = seq;
    change.bytes = data.substr(end + 1);
    change.sent = false;
    return true;
}

bool COutboxStore::OpenOutbox(const std::string& path) {
    m_waiting.clear();
    m_nextSeq = 1;
    if (m_box.OpenOrCreate(path) != CStreamStorage::OpenResult::Ok) {
        m_detail = m_box.LastError();
        return false;
    }
    for (const std::string& name : m_box.StreamNames()) {
        std::string data;
        Change change;
        if (!m_box.ReadStream(name, data) || !Decode(data, change)) continue;
        m_waiting[name] = change.seq;
        m_nextSeq = std::max(m_nextSeq, change.seq + 1);
    }
    return true;
}

std::vector<RecordBytes> COutboxStore::WaitingRecords() {
    std::vector<std::pair<int64_t, RecordBytes>> records;
    for (const auto& [sysid, seq] : m_waiting) {
        std::string data;
        Change change;
        if (m_box.ReadStream(sysid, data) && Decode(data, change) && change.kind != kDelete)
            records.push_back({seq, RecordBytes{sysid, std::move(change.bytes), 0}});
    }
    std::sort(records.begin(), records.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<RecordBytes> out;
    for (auto& r : records) out.push_back(std::move(r.second));
    return out;
}

void COutboxStore::Reconnect(std::unique_ptr<IRecordStore> server) {
    m_batch.clear();
    m_server = std::move(server);
    m_offline = !m_server;
}

StoreError COutboxStore::Lost(StoreError error) {
    if (error == StoreError::Disconnected) {
        m_offline = true;
        if (m_server) m_server->Rollback();
    }
    return error;
}

bool COutboxStore::Owed(const std::string& sysid, Change& change) {
    if (auto it = m_batch.find(sysid); it != m_batch.end()) {
        change = it->second;
        return true;
    }
    if (!m_waiting.count(sysid)) return false;
    std::string data;
    return m_box.ReadStream(sysid, data) && Decode(data, change);
}

bool COutboxStore::StoredAlready(const std::string& sysid, const std::string& bytes) {
    std::string stored;
    int64_t version = 0;
    return m_server->Read(sysid, stored, version) == StoreError::None && stored == bytes;
}

// ---- reading: the server, but what waits here reads as it will be stored ----

StoreError COutboxStore::List(std::vector<StoredRecord>& out) {
    out.clear();
    if (!Online()) return StoreError::Disconnected;
    return Lost(m_server->List(out));
}

StoreError COutboxStore::Read(const std::string& sysid, std::string& bytes, int64_t& version) {
    if (Change owed; Waits(sysid) && Owed(sysid, owed)) {
        if (owed.kind == kDelete || owed.kind == kGone) return StoreError::NotFound;
        bytes = std::move(owed.bytes);
        version = owed.expected;
        return StoreError::None;
    }
    if (!Online()) return StoreError::Disconnected;
    return Lost(m_server->Read(sysid, bytes, version));
}

StoreError COutboxStore::ReadSeveral(const std::vector<std::string>& sysids,
                                     std::vector<RecordBytes>& out) {
    out.clear();
    if (!Online()) return StoreError::Disconnected;
    return Lost(m_server->ReadSeveral(sysids, out));
}

StoreError COutboxStore::ReadPrefix(const std::string& prefix, std::vector<RecordBytes>& out) {
    out.clear();
    if (!Online()) return StoreError::Disconnected;
    return Lost(m_server->ReadPrefix(prefix, out));
}

// ---- changing: to the server when it is there, and always to the outbox at Commit ----

StoreError COutboxStore::Ask(StoreError answer, Change& next) {
    const StoreError e = Lost(answer);
    if (e != StoreError::None && e != StoreError::Disconnected) return e;
    next.sent = e == StoreError::None;
    return StoreError::None;
}

COutboxStore::Change& COutboxStore::Owe(const std::string& sysid, const Change* owed, char kind,
                                        int64_t expected, Change next) {
    // What waited keeps its place and the version the server was last read at.
    next.kind = kind;
    next.expected = owed ? owed->expected : expected;
    next.seq = owed ? owed->seq : m_nextSeq++;
    return m_batch[sysid] = std::move(next);
}

StoreError COutboxStore::Insert(const std::string& sysid, const std::string& bytes,
                                int64_t& version) {
    Change owed, next;
    const bool had = Waits(sysid) && Owed(sysid, owed);
    if (had && owed.kind != kDelete && owed.kind != kGone) return StoreError::Exists;
    // The server is asked while nothing of the record waits here unsent.
    if (Online() && (!had || owed.sent))
        if (const StoreError e = Ask(m_server->Insert(sysid, bytes, version), next);
            e != StoreError::None)
            return e;
    if (!next.sent) version = 0;
    // Deleted and stored again before the server heard of either: one replace.
    Owe(sysid, had ? &owed : nullptr, had && owed.kind == kDelete ? kReplace : kInsert, 0,
        std::move(next))
        .bytes = bytes;
    return StoreError::None;
}

StoreError COutboxStore::Replace(const std::string& sysid, int64_t expected,
                                 const std::string& bytes, int64_t& version) {
    Change owed, next;
    const bool had = Waits(sysid) && Owed(sysid, owed);
    if (had && (owed.kind == kGone || (owed.kind == kDelete && owed.sent)))
        return StoreError::NotFound;
    if (Online() && (!had || owed.sent))
        if (const StoreError e = Ask(m_server->Replace(sysid, expected, bytes, version), next);
            e != StoreError::None)
            return e;
    if (!next.sent) version = expected;
    const char kind = had && owed.kind == kInsert ? kInsert : kReplace;
    Owe(sysid, had ? &owed : nullptr, kind, expected, std::move(next)).bytes = bytes;
    return StoreError::None;
}

StoreError COutboxStore::Delete(const std::string& sysid, int64_t expected) {
    Change owed, next;
    const bool had = Waits(sysid) && Owed(sysid, owed);
    if (had && (owed.kind == kGone || owed.kind == kDelete)) return StoreError::NotFound;
    if (Online() && (!had || owed.sent))
        if (const StoreError e = Ask(m_server->Delete(sysid, expected), next);
            e != StoreError::None)
            return e;
    // A record the server never stored owes it nothing.
    Owe(sysid, had ? &owed : nullptr, had && owed.kind == kInsert ? kGone : kDelete, expected,
        std::move(next));
    return StoreError::None;
}

StoreError COutboxStore::Place(const std::string& sysid, int position) {
    // The order is this client's own: nothing of it waits for the server.
    if (!Online()) return StoreError::None;
    const StoreError e = Lost(m_server->Place(sysid, position));
    return e == StoreError::Disconnected ? StoreError::None : e;
}

bool COutboxStore::Remove(const std::vector<std::string>& sysids) {
    if (sysids.empty()) return true;
    if (!m_box.Begin()) return false;
    for (const std::string& sysid : sysids) m_box.DestroyStream(sysid);
    if (!m_box.Commit()) return false;
    for (const std::string& sysid : sysids) m_waiting.erase(sysid);
    return true;
}

StoreError COutboxStore::Commit() {
    if (m_batch.empty()) {
        if (!Online()) return StoreError::None;
        const StoreError e = Lost(m_server->Commit());
        return e == StoreError::Disconnected ? StoreError::None : e;
    }
    // On this computer first: from here on a kill or a lost server loses nothing.
    bool written = m_box.Begin();
    for (const auto& [sysid, change] : m_batch) {
        if (!written) break;
        if (change.kind == kGone)
            written = !m_waiting.count(sysid) || m_box.DestroyStream(sysid);
        else
            written = m_box.WriteStream(sysid, Encode(change));
    }
    if (!written || !m_box.Commit()) {
        if (m_box.InTransaction()) m_box.Rollback();
        m_detail = "the outbox " + m_box.Path() + ": " + m_box.LastError();
        Rollback();
        return StoreError::IO;
    }
    std::vector<std::string> sent;
    for (const auto& [sysid, change] : m_batch) {
        if (change.kind == kGone)
            m_waiting.erase(sysid);
        else
            m_waiting[sysid] = change.seq;
        if (change.sent) sent.push_back(sysid);
    }
    m_batch.clear();
    if (!Online()) return StoreError::None;  // safe here; stored after the reconnection
    const StoreError e = Lost(m_server->Commit());
    if (e == StoreError::None || e == StoreError::Disconnected) {
        // Stored: it leaves the outbox. (Should that fail, it is stored again, found there.)
        if (e == StoreError::None) Remove(sent);
        return StoreError::None;
    }
    // The server refused the batch: as with any store, none of it is kept.
    Remove(sent);
    return e;
}

void COutboxStore::Rollback() {
    m_batch.clear();
    if (m_server) m_server->Rollback();
}

std::string COutboxStore::Describe(StoreError error) const {
    if (error == StoreError::IO && !m_detail.empty()) return m_detail;
    if (m_server) return m_server->Describe(error);
    return StoreErrorText(error);
}

StoreError COutboxStore::Flush(std::vector<Refused>& refused, int& stored) {
    stored = 0;
    if (m_waiting.empty()) return StoreError::None;
    if (!Online()) return StoreError::Disconnected;
    std::vector<std::pair<std::string, Change>> owed;
    for (const auto& [sysid, seq] : m_waiting) {
        std::string data;
        Change change;
        if (m_box.ReadStream(sysid, data) && Decode(data, change))
            owed.emplace_back(sysid, std::move(change));
    }
    std::sort(owed.begin(), owed.end(),
              [](const auto& a, const auto& b) { return a.second.seq < b.second.seq; });
    for (size_t from = 0; from < owed.size(); from += kFlushBatch) {
        const size_t to = std::min(owed.size(), from + kFlushBatch);
        std::vector<std::string> done;
        std::vector<Refused> said;
        for (size_t i = from; i < to; ++i) {
            const std::string& sysid = owed[i].first;
            const Change& c = owed[i].second;
            int64_t version = 0;
            StoreError e = StoreError::None;
            if (c.kind == kInsert) {
                e = m_server->Insert(sysid, c.bytes, version);
                if (e == StoreError::Exists && StoredAlready(sysid, c.bytes)) e = StoreError::None;
            } else if (c.kind == kReplace) {
                e = m_server->Replace(sysid, c.expected, c.bytes, version);
                // Deleted on the server meanwhile: the results are not lost for that.
                if (e == StoreError::NotFound) e = m_server->Insert(sysid, c.bytes, version);
                if (e == StoreError::Conflict && StoredAlready(sysid, c.bytes))
                    e = StoreError::None;
            } else {
                e = m_server->Delete(sysid, c.expected);
                if (e == StoreError::NotFound) e = StoreError::None;
            }
            if (e == StoreError::Disconnected || e == StoreError::Busy || e == StoreError::IO) {
                Lost(e);
                if (e != StoreError::Disconnected) m_server->Rollback();
                return e;
            }
            if (e != StoreError::None) said.push_back({sysid, e});
            done.push_back(sysid);
        }
        if (const StoreError e = Lost(m_server->Commit()); e != StoreError::None) {
            if (e != StoreError::Disconnected) m_server->Rollback();
            return e;
        }
        Remove(done);
        stored += static_cast<int>(done.size() - said.size());
        refused.insert(refused.end(), said.begin(), said.end());
    }
    return m_waiting.empty() ? StoreError::None : StoreError::IO;
}
