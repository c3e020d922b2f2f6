// The record store: what the results database needs of the place its records are kept. A
// server with many writers can stand behind it as well as the one-user file: every change
// names the version it replaces, so no writer overwrites a record another one changed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Identifiers are unique without regard to ASCII case, in every store.
struct CaseLess {
    bool operator()(const std::string& a, const std::string& b) const;
};
bool EqualsNoCase(const std::string& a, const std::string& b);
bool StartsWithNoCase(const std::string& s, const std::string& prefix);

enum class StoreError {
    None,
    NotFound,      // no record of that identifier
    Exists,        // an insert for an identifier the store knows
    Conflict,      // the record changed since the version the caller read
    Busy,          // another program holds the store; trying again later may work
    IO,            // reading or writing failed; what the store holds may be whole
    Denied,        // no right to read or write it
    NotOurs,       // positively not a store of ours: nothing is read from it or written to it
    Disconnected,  // no store is open (closed, or the connection was lost)
};

// One row of the listing.
struct StoredRecord {
    std::string sysid;  // 1..31 bytes, unique ignoring ASCII case
    int64_t order = 0;  // position in this client's order
    int64_t version = 0;
};

// One record read, with the version a later Replace or Delete names.
struct RecordBytes {
    std::string sysid;
    std::string bytes;
    int64_t version = 0;
};

// Error contract: every operation answers StoreError::None or the kind of its failure and
// changes nothing when it fails. Changes form a batch from the first change after a Commit
// or Rollback; Commit makes the whole batch durable or none of it, Rollback drops it. Reads
// see the batch's own changes. The caller owns everything returned.
class IRecordStore {
public:
    virtual ~IRecordStore() = default;

    // The records in order (order ascending).
    virtual StoreError List(std::vector<StoredRecord>& out) = 0;
    virtual StoreError Read(const std::string& sysid, std::string& bytes, int64_t& version) = 0;
    // Those of sysids that exist, in the order asked; unknown ones are left out.
    virtual StoreError ReadSeveral(const std::vector<std::string>& sysids,
                                   std::vector<RecordBytes>& out) = 0;
    // Those whose identifier starts with prefix (ASCII case ignored, no wildcard), in order.
    virtual StoreError ReadPrefix(const std::string& prefix, std::vector<RecordBytes>& out) = 0;
    // A new record at the end of the order; Exists when the identifier is known.
    virtual StoreError Insert(const std::string& sysid, const std::string& bytes,
                              int64_t& version) = 0;
    // Conflict when the stored version is no longer expected.
    virtual StoreError Replace(const std::string& sysid, int64_t expected, const std::string& bytes,
                               int64_t& version) = 0;
    virtual StoreError Delete(const std::string& sysid, int64_t expected) = 0;
    // Moves a record to position 0 (the running system's mirror) or 1 (the newest snapshot)
    // of this client's order.
    virtual StoreError Place(const std::string& sysid, int position) = 0;
    virtual StoreError Commit() = 0;
    virtual void Rollback() = 0;
    // What went wrong, for the user's message: the kind, with what the store knows of it.
    virtual std::string Describe(StoreError error) const = 0;
};

// The kind alone, in words.
const char* StoreErrorText(StoreError error);
