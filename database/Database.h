// The results database: a directory of record identifiers and one stream per record,
// read on demand into a cache tree and written back step by step.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "database/DatabaseHost.h"
#include "database/RecordEntry.h"
#include "database/FileRecordStore.h"
#include "database/RecordStream.h"
#include "storage/RecordStore.h"

struct CExchangeRecord;
struct CRecordImport;

// Identifiers are case-insensitive (ASCII), so every map leading to a record is too
// (CaseLess, from the record store).

// One piece of idle work the Database pane asked for.
class DbRequest {
public:
    enum Kind { kListRecord = 0, kEndOfListing = 1 };
    DbRequest(Kind kind, std::string sysid, int value1, int value2)
        : m_kind(kind), m_sysid(std::move(sysid)), m_value1(value1), m_value2(value2) {}
    Kind kind() const { return m_kind; }
    // kListRecord: the record to list; value1 its key, value2 its directory position.
    // Other kinds hand value1 to the pane.
    const std::string& sysid() const { return m_sysid; }
    int value1() const { return m_value1; }
    int value2() const { return m_value2; }

private:
    Kind m_kind;
    std::string m_sysid;
    int m_value1;
    int m_value2;
};

// Error contract: operations answer bool, a key (-1 for none) or a pointer (null for none)
// and never throw for what a file holds; why the last open or write failed is LastError().
// Records returned as pointers stay owned by the database's cache: they are valid until the
// next idle step, Close or Open, or longer while held (CRecordEntry::Hold).
class CResultsDatabase {
public:
    static constexpr int kMaxSysidLength = kMaxRecordNameLength;
    // One idle step writes records for about this long, and at most this many.
    static constexpr int kStepBudgetUs = 4000;
    static constexpr int kStepMaxRecords = 1000;

    explicit CResultsDatabase(IDatabaseHost& host);
    ~CResultsDatabase();
    CResultsDatabase(const CResultsDatabase&) = delete;
    CResultsDatabase& operator=(const CResultsDatabase&) = delete;

    // Opens the file (no import here; the document tests the extension first). False leaves
    // the records of this run as they were; LastOpenResult says why.
    bool Open(const std::string& path);
    // Full save: the directory and every changed record in one transaction. False (logged,
    // "Error" line) leaves the records marked changed for the next try.
    bool Save(const std::string& path);
    // The new records the last Save found stored meanwhile by another writer (a server): each
    // was skipped as a duplicate ("Warning 1008") and now reads as that writer stored it.
    const std::vector<std::string>& StoredMeanwhile() const { return m_storedMeanwhile; }
    // Drops every cached record and closes the file; nothing is written.
    void Close();
    // Whether path names the file this run read or created (same device and inode).
    bool IsOwnFile(const std::string& path) const { return m_ownFile.Matches(path); }

    // Stands on a store made elsewhere (a server's), already open, instead of a file: its
    // listing becomes the directory. False (LastError says why) leaves the records of this
    // run as they were. Open and Save with a path are the file's and are not used then.
    bool UseStore(std::unique_ptr<IRecordStore> store);
    // How many records the last UseStore brought along from a store that took no writes
    // (KeepAllInMemory): they are new there, stored with the next save; a name the new
    // store knows already is skipped as a duplicate ("Warning 1008").
    int CarriedOver() const { return m_carried; }
    // The records only this run holds, kept while its store took no writes (as bytes, to
    // outlive Close), and those records taken into the database now standing: new here,
    // stored with the next save. TakeIn counts them as CarriedOver.
    std::vector<std::string> KeptOnly() const;
    int TakeIn(const std::vector<std::string>& kept);
    bool UsesFile() const { return !m_attached; }
    // Reads the store's listing again (after a reconnection), as UseStore does: nothing
    // cached stays, so what this run changed must have been saved first.
    bool ListAgain();
    // A record this database user may not store (a reader's mirror, or a row another user
    // stored) stays in memory: saves pass it by, and nothing retries it until the database
    // is opened again.
    void KeepInMemory(const std::string& sysid) { m_inMemory.insert(sysid); }
    bool KeptInMemory(const std::string& sysid) const { return m_inMemory.count(sysid) != 0; }
    // A store that takes no writes (a server's standby): every record a save would write
    // stays in memory as above, until the database is opened again.
    void KeepAllInMemory() { m_keepAll = true; }

    // The store's listing read again, for a store that tells no changes itself: records
    // stored meanwhile elsewhere join the directory's end, records changed there are read
    // again, records deleted there leave. A record this program changed and has not
    // stored stays as it is. Keys of what it did, for announcing; false (LastError) when the
    // store cannot be read, and nothing changed.
    struct Relisted {
        std::vector<int> added, changed, removed;
        bool Empty() const { return added.empty() && changed.empty() && removed.empty(); }
    };
    bool Relist(Relisted& out);

    // Another client of the store stored or changed the records of stored, or removed those
    // of removed (each with the version the store told). The rows not read yet are read in one
    // request; the directory, versions and cache follow, new records at the end. A record
    // changed here and not saved yet (or this machine's, or held) is left alone: its save
    // meets the other's version (Error 1042). One removed meanwhile that was changed here is
    // kept and stored again (in keptHere, for the caller to say so). False (LastError): the
    // store could not be read, nothing changed. The keys are the caller's to announce.
    struct FollowedChanges {
        std::vector<int> added, changed, removed;
        std::vector<std::string> keptHere;
    };
    bool FollowStore(const std::vector<StoredRecord>& stored,
                     const std::vector<StoredRecord>& removed, FollowedChanges& out);

    // A file that was busy or failed to read at start-up is read again before anything is
    // written there. Read: the file is the database now and this run's records joined it;
    // storedMirror names this machine's stored record when the file had it (it stays as
    // stored). StillUnread: busy again, nothing changed. NotRead: no longer a file to read
    // (gone or not ours); saving decides as for any file.
    enum class RetryResult { NotPending, StillUnread, Read, NotRead };
    RetryResult RetryOpen(int busyMs, std::string& storedMirror);
    bool OpenPending() const { return m_openPending; }
    // Fills entry (the caller's) with the record: from the cache when loaded, else from its
    // stream. False when neither has it.
    bool LoadRecord(CKQTreeEntry& entry, const std::string& sysid);
    // The records whose identifiers start with prefix (ASCII case ignored, no wildcards),
    // read in one request to the store, each handed to fn with its identifier: a cached record
    // as this run has it (not stored yet, or changed), a deleted or unknown identifier never.
    // False when the store could not be read (LastError says why); the cached ones are
    // handed over all the same.
    bool ForEachWithPrefix(const std::string& prefix,
                           const std::function<void(const std::string&, const CKQTreeEntry&)>& fn);
    // The cached record with that Sysid, loading it into the cache when needed; null if none.
    CRecordEntry* GetRecord(const std::string& sysid);
    // The cached record with that Sysid, or null when it is not loaded (nothing is read).
    CRecordEntry* LoadedRecord(const std::string& sysid) const;
    // The last record read failed for busy or I/O, not for a missing or damaged stream.
    bool LastReadFailed() const { return m_readFailed; }

    // A new record entry at the end of the cache, in no directory position yet: Add it, or
    // DiscardRecord it. Null when none could be made.
    CRecordEntry* NewRecord(const std::string& key);
    // Takes a record the directory does not name (NewRecord's) out of the cache and frees it.
    void DiscardRecord(CRecordEntry* record);
    // The loaded records, the mirror first: a view for readers. Entries belong to the database.
    const CKQTree& Cache() const { return m_cache; }
    // The ID of the identifier attribute: attribute 0 of the first cached record; empty when
    // the cache is empty or that record has no attribute.
    std::string IdentifierAttributeID() const;

    bool IsKnownSysid(const std::string& sysid) const;
    // A new identifier: the mirror record's own, "+" and a hexadecimal time stamp, at most
    // 31 characters and unknown to the database; empty (with a log line) when none is found.
    std::string MakeNewSysid();
    // How an import sees a known identifier: a directory entry whose stream is missing or
    // does not read as a record is dangling (the record is absent); a record in the cache
    // counts as present; a busy or failing file is an error.
    enum class ImportState { Absent, Present, Dangling, Error };
    ImportState StateForImport(const std::string& sysid);
    // The incoming record takes the dangling entry's directory position and key; -1 when
    // the identifier is not known.
    int AdoptDanglingRecord(CRecordEntry* entry, const std::string& sysid);
    // Adds a record read from an exchange file at the end of the cache and the directory,
    // moving its tree out of record, every entry marked changed (RecordImport.cpp). A known
    // identity, one no stream can be named by, or a file that cannot be read leaves the
    // database as it was; the outcome says which. Messages are the caller's to show.
    CRecordImport ImportRecord(CExchangeRecord& record);
    // The cached record that mirrors the current system (directory position 0, marked); null
    // when there is none.
    CRecordEntry* CurrentSystemRecord();
    // A mirror whose stream cannot be read starts again empty, in the same position.
    CRecordEntry* RebuildRecord(const std::string& key, const std::string& sysid);
    // True for an identifier a stream can be named by (1..31 bytes, not the directory's name).
    static bool IsStorableSysid(const std::string& sysid);
    std::string RecordSysid(int key) const;  // empty when the key maps to no position
    static std::string GetRecordSysid(const CKQTreeEntry& entry);
    // Sets attribute 0 (the identifier) in place; an entry without attributes gets one with the
    // identifier ID of the first cached record.
    void SetRecordSysid(CKQTreeEntry& entry, const std::string& sysid) const;

    // The Add operations take a record of the cache (NewRecord's or the import tree's) and
    // refuse an identifier no stream can be named by, or one already known (without regard
    // to case): -1 (null for the current-system record), and a log line.
    int AddImportedRecord(CRecordEntry* entry, const std::string& sysid);
    int AddSavedRecord(CRecordEntry* entry, const std::string& sysid);
    CRecordEntry* AddCurrentSystemRecord(const std::string& key, const std::string& sysid);
    // A delete whose transaction fails is undone (undone set, "Error 1022" logged); without
    // an open file it waits for the next save.
    bool DeleteRecord(int key, bool* undone = nullptr);
    void RebuildIndex();
    // Takes directory as the record order and indexes it again (keys go on growing). Only
    // while no record is loaded: the cache would name records the directory does not.
    void ReindexDirectory(std::vector<std::string> directory);

    // The record identifiers in directory order; a deleted record leaves an empty one.
    const std::vector<std::string>& Directory() const { return m_directory; }
    int KeyCount() const { return static_cast<int>(m_keyMap.size()); }
    int KeyPosition(int key) const;                   // directory position, -1 when unknown
    int KeyForSysid(const std::string& sysid) const;  // -1 when unknown
    int CurrentSystemKey() const;                     // key of directory position 0, or 0

    // Classification for UM_QUERYRECORD: 0 no record (key 0 included), 1 stored record,
    // 2 the running system's (directory position 0).
    int QueryRecord(int key) const;

    bool EditRecordProperties(int key);

    // One step of idle work; true when more may follow. The blocking variant runs it out.
    bool IdleStep();
    void IdleStepsToEnd();
    // How long and how many records one idle step may write (tests and benchmarks).
    void SetStepBudget(int microseconds, int maxRecords);
    // The store's order owes a commit (records placed first or second, a remade directory)
    // before the idle work is done.
    bool DirectoryChanged() const {
        return m_dirChanged || (m_store == &m_file && m_file.OrderOwed());
    }
    void MarkDirectoryChanged() { m_dirChanged = true; }
    // Records of the directory the store does not hold yet.
    int UnstoredCount() const;

    // Queues one listing request per record in directory order, then the end request.
    void QueueListing();
    const std::deque<DbRequest>& Requests() const { return m_queue; }

    // How long a statement waits for another program's lock, from now on.
    void SetBusyTimeout(int ms);
    // The file at the path was positively not ours: it is set aside before a save goes there.
    bool SetsAsideBeforeSave() const { return m_keepAsideBeforeSave; }

    // The file this database was opened from or saved to, and why the last open or write failed.
    const std::string& Path() const { return m_path; }
    const std::string& LastError() const { return m_lastError; }
    // The file's terms: a file is what Open reads.
    CStreamStorage::OpenResult LastOpenResult() const { return m_openResult; }

    // The directory stream's name (string 132).
    static std::string DirectoryName();
    // An exact copy of a record tree: key, attributes, tips, subtree (record markers too
    // when both are record entries).
    static void CopyEntry(CKQTreeEntry& dest, const CKQTreeEntry& source);
    static void ClearEntry(CKQTreeEntry& entry);

private:
    int MakeKey(int position);
    // Puts a record into the directory at pos, moving later positions on; key 0 hands out a
    // new key. The record's stream is owed until a save writes it.
    int PlaceInDirectory(int pos, const std::string& sysid, CRecordEntry* rec, int key = 0);
    bool SaveStep();
    // Reads sysid and the next records the listing queue names in one request.
    void ReadAhead(const std::string& sysid);
    static constexpr size_t kReadAhead = 200;
    // The directory's open batch: pending deletes, then records placed first or second,
    // then the store's commit. False (logged by the caller) leaves them owed.
    bool CommitOrder();
    // Writes one record into the store's open batch: an insert when the store does not hold
    // its identifier, else a replace of the version read. The new version is the caller's
    // to keep once the batch is committed.
    StoreError StoreRecord(CRecordEntry& record, int64_t& version);
    // Reads a record from the store into entry; false for a missing, damaged or unreadable
    // one (m_readFailed tells the unreadable one apart).
    bool ReadRecord(const std::string& sysid, CKQTreeEntry& entry);
    bool EnsureStorage(const std::string& path);
    // Opens the file store at path. False with m_lastError set.
    bool OpenFile(const std::string& path, bool create);
    // The versions of what the store holds, when the directory is not read with them (the
    // store a save goes to); true.
    bool TakeVersions();
    void StandOn(std::vector<std::string> directory);
    bool StoreOpen() const { return m_attached ? true : m_file.IsOpen(); }
    StoreError Failed(StoreError error);  // m_lastError from the store, error answered
    bool SetAside(const std::string& path, bool move);
    bool ListInto(std::vector<std::string>& directory);
    void JoinRecordsToFile(std::vector<std::string> file, std::string& storedMirror);
    void ReportSaveFailure(const std::string& path);
    bool RefuseSysid(const std::string& sysid);
    void DropFromLoaded(CRecordEntry* record);
    void MarkDeleted(const std::string& sysid, bool pending);
    // A record another client deleted (key known, in the directory) leaves the directory,
    // the index and what was read ahead of it.
    void DropRemovedElsewhere(const std::string& sysid, int key);
    void CancelPendingDelete(const std::string& sysid);
    // The memory-state invariants: every loaded record is in the cache, every identifier of
    // the key map is in the directory at its key's position.
    void CheckInvariants() const;

    IDatabaseHost& m_host;
    // The store the records are kept in: the file's, or one handed in (UseStore).
    CFileRecordStore m_file;
    std::unique_ptr<IRecordStore> m_attached;
    IRecordStore* m_store = &m_file;
    // Identifiers the store holds, with the version this run last read or wrote: a record
    // it does not hold is inserted, one it holds is replaced naming that version.
    std::map<std::string, int64_t, CaseLess> m_versions;
    static constexpr int64_t kNotStored = -1;  // StoreRecord's version for a record kept here
    std::set<std::string, CaseLess> m_inMemory;
    bool m_keepAll = false;
    int m_carried = 0;
    // Records placed first (0) or second (1) since the store's order was last committed,
    // in the order they were placed.
    std::vector<std::pair<std::string, int>> m_placesOwed;
    // Records read ahead for the listing, not yet listed: bytes as stored. Only records not
    // loaded are read ahead; a loaded record is listed from the cache.
    std::map<std::string, std::string, CaseLess> m_readAhead;
    std::string m_path;
    std::vector<std::string> m_directory;
    std::map<std::string, int, CaseLess> m_keyMap;
    std::map<std::string, CRecordEntry*, CaseLess> m_loaded;
    CKQTree m_cache{CRecordEntry::Make};
    bool m_opened = false;      // the directory was read or written
    bool m_dirChanged = false;  // the store's order owes a commit
    std::deque<DbRequest> m_queue;
    std::map<int, int> m_keyTable;  // record key -> directory position
    int m_nextKey = 1;
    // Set when the file at m_path existed but was not a readable database: it is moved
    // aside before the first save over it.
    bool m_keepAsideBeforeSave = false;
    std::string m_unreadablePath;
    std::string m_lastError;
    // Why the last Open failed.
    CStreamStorage::OpenResult m_openResult = CStreamStorage::OpenResult::Ok;
    // Every identifier MakeNewSysid handed out in this run: none is handed out twice.
    std::set<std::string, CaseLess> m_handedOut;
    int m_stepBudgetUs = kStepBudgetUs;
    int m_stepMaxRecords = kStepMaxRecords;
    // The file this run read or created (device, inode): a save writes into no other.
    CFileIdentity m_ownFile;
    // A save failed: idle saving waits for the next full save (at the latest on closing),
    // so a failing disk is not retried on every idle call and nothing is marked written.
    bool m_saveFailed = false;
    bool m_readFailed = false;  // the last record read was busy or an I/O error
    // The file at m_pendingPath could not be read yet (busy, I/O); nothing is written there
    // until it has been.
    bool m_openPending = false;
    std::string m_pendingPath;
    std::set<std::string, CaseLess> m_savedWhileUnread;  // snapshots go in at position 1
    std::set<std::string, CaseLess> m_pendingDeletes;    // deleted; the stream goes at a save
    std::vector<std::string> m_storedMeanwhile;
};
