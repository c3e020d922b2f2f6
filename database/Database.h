// The results database: a directory of record identifiers and one stream per record,
// read on demand into a cache tree and written back step by step.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "database/DatabaseHost.h"
#include "database/RecordEntry.h"
#include "database/RecordImport.h"
#include "storage/StreamStorage.h"

struct CExchangeRecord;

// Stream names are case-insensitive (ASCII), so every map leading to a stream is too.
struct CaseLess {
    bool operator()(const std::string& a, const std::string& b) const;
};
bool EqualsNoCase(const std::string& a, const std::string& b);

struct DbRequest {
    enum { kListRecord = 0, kEndOfListing = 1 };
    int kind = 0;  // 0: list the record with that Sysid; other kinds hand value1 to the pane
    std::string sysid;
    int value1 = 0;
    int value2 = 0;
};

class CResultsDatabase {
public:
    static constexpr int kMaxSysidLength = 31;

    explicit CResultsDatabase(IDatabaseHost& host);
    ~CResultsDatabase();

    // Opens the file (no import here; the document tests the extension first).
    bool Open(const std::string& path);
    // Full save: the directory and every changed record in one transaction.
    bool Save(const std::string& path);
    void Close();
    // Whether path names the file this run read or created (same device and inode).
    bool IsOwnFile(const std::string& path) const { return OwnsFileAt(path); }

    bool ReadDirectory();

    // A file that was busy or failed to read at start-up is read again before anything is
    // written there. Read: the file is the database now and this run's records joined it;
    // storedMirror names this machine's stored record when the file had it (it stays as
    // stored). StillUnread: busy again, nothing changed. NotRead: no longer a file to read
    // (gone or not ours); saving decides as for any file.
    enum class RetryResult { NotPending, StillUnread, Read, NotRead };
    RetryResult RetryOpen(int busyMs, std::string& storedMirror);
    bool OpenPending() const { return m_openPending; }
    // Writes the directory as the file may hold it: without the records whose stream was
    // never committed (storedNow: written in the open transaction, so named all the same).
    bool WriteDirectory(const std::set<std::string, CaseLess>* storedNow = nullptr);
    bool ReadRecord(const std::string& sysid, CKQTreeEntry& entry);
    bool WriteRecord(CRecordEntry& record);
    bool DestroyRecordStream(CRecordEntry& record);

    // Fills entry with the record: from the cache when loaded, else from its stream.
    bool LoadRecord(CKQTreeEntry& entry, const std::string& sysid);
    // The cached record with that Sysid, loading it into the cache when needed; null if none.
    CRecordEntry* GetRecord(const std::string& sysid);
    // The last record read failed for busy or I/O, not for a missing or damaged stream.
    bool LastReadFailed() const { return m_readFailed; }

    bool IsKnownSysid(const std::string& sysid) const;
    // A new identifier: the mirror record's own, "+" and a hexadecimal time stamp, at most
    // 31 characters and unknown to the database; empty (with a log line) when none is found.
    std::string MakeNewSysid();
    // How an import sees a known identifier: a directory entry whose stream is missing or
    // does not read as a record is dangling (the record is absent); a record in the cache
    // counts as present; a busy or failing file is an error.
    enum class ImportState { Absent, Present, Dangling, Error };
    ImportState StateForImport(const std::string& sysid);
    // The incoming record takes the dangling entry's directory position and key.
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

    // The Add operations refuse an identifier no stream can be named by, or one already known
    // (without regard to case): -1 (null for the current-system record), and a log line.
    int AddImportedRecord(CRecordEntry* entry, const std::string& sysid);
    int AddSavedRecord(CRecordEntry* entry, const std::string& sysid);
    CRecordEntry* AddCurrentSystemRecord(const std::string& key, const std::string& sysid);
    // A delete whose transaction fails is undone (undone set, "Error 1022" logged); without
    // an open file it waits for the next save.
    bool DeleteRecord(int key, bool* undone = nullptr);
    void RebuildIndex();

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

    // Queues one listing request per record in directory order, then the end request.
    void QueueListing();

    // The file this database was opened from or saved to, and why the last open or write failed.
    const std::string& Path() const { return m_path; }
    const std::string& LastError() const { return m_lastError; }
    CStreamStorage::OpenResult LastOpenResult() const { return m_openResult; }
    // Members (the document's database state).
    IDatabaseHost& m_host;
    CStreamStorage m_storage;
    std::string m_path;
    std::vector<std::string> m_directory;
    std::map<std::string, int, CaseLess> m_keyMap;
    std::map<std::string, CRecordEntry*, CaseLess> m_loaded;
    CKQTree m_cache{CRecordEntry::Make};
    int m_opened = 0;
    int m_dirChanged = 0;
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
    // Identifiers the directory names whose stream this run has not committed yet: the
    // directory on disk leaves them out until it has.
    std::set<std::string, CaseLess> m_unstored;
    // One idle step writes records for about this long, and at most this many.
    int m_stepBudgetUs = 4000;
    int m_stepMaxRecords = 1000;
    // The file this run read or created (device, inode): a save writes into no other.
    bool m_ownFileKnown = false;
    unsigned long long m_ownDev = 0, m_ownIno = 0;
    // A save failed: idle saving waits for the next full save (at the latest on closing),
    // so a failing disk is not retried on every idle call and nothing is marked written.
    bool m_saveFailed = false;

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
    bool EnsureStorage(const std::string& path);
    bool KeepAside(const std::string& path);
    bool CopyAside(const std::string& path);
    std::string AsideName(const std::string& path) const;
    bool OwnsFileAt(const std::string& path) const;
    void RememberOwnFile(const std::string& path);
    void MarkStored(CRecordEntry& record, bool directoryWritten);
    bool m_dirReadFailed = false;  // the directory could not be read (busy, I/O)
    bool m_dirRemade = false;      // the directory was made again from the record streams
    bool m_readFailed = false;     // the last record read was busy or an I/O error
    bool ReadDirectoryInto(std::vector<std::string>& directory);
    void JoinRecordsToFile(std::vector<std::string> file, std::string& storedMirror);
    // The file at m_pendingPath could not be read yet (busy, I/O); nothing is written there
    // until it has been.
    bool m_openPending = false;
    std::string m_pendingPath;
    std::set<std::string, CaseLess> m_savedWhileUnread;  // snapshots go in at position 1
    void ReportSaveFailure(const std::string& path);
    bool RefuseSysid(const std::string& sysid);
    void DropFromLoaded(CRecordEntry* record);
    void MarkDeleted(const std::string& sysid, bool pending);
    void CancelPendingDelete(const std::string& sysid);
    std::set<std::string, CaseLess> m_pendingDeletes;  // deleted; the stream goes at a save
};

// Serialised entry format of record streams.
bool SerializeRecord(const CKQTreeEntry& entry, std::string& out);
bool DeserializeRecord(const std::string& data, CKQTreeEntry& entry);
// The directory stream.
bool SerializeDirectory(const std::vector<std::string>& directory, std::string& out);
bool DeserializeDirectory(const std::string& data, std::vector<std::string>& directory);
