// The record store of one SQLite file of named streams, the format this program has always
// written: one stream per record, named by its identifier, and the directory stream that
// holds their order (a deleted record leaves an empty name in its position). The file's
// identity (device and inode) is remembered, so that nothing is written into a file put in
// its place; a file that is positively not ours is set aside, never one that was busy.
#pragma once

#include <ctime>
#include <map>
#include <cstdint>
#include <string>
#include <vector>

#include "storage/RecordStore.h"
#include "storage/StreamStorage.h"

// Which file a store stands on, by device and inode.
class CFileIdentity {
public:
    void Remember(const std::string& path);  // forgets when path cannot be looked at
    void Forget() { m_known = false; }
    bool Matches(const std::string& path) const;

private:
    bool m_known = false;
    unsigned long long m_dev = 0, m_ino = 0;
};

// Whether two paths name the same file (the same path, or the same device and inode).
bool SameFile(const std::string& a, const std::string& b);
// Whether anything (a dangling link too) is at path.
bool PathExists(const std::string& path);

// Setting aside a database file: a free name beside it, "<path>.unreadable.<UTC stamp>".
std::string AsideName(const std::string& path, std::time_t now);
// How a file that this run did not read or create may be kept before a save goes to path:
// Move it (nothing else holds it: no journal, a write transaction can be had), Copy it
// (something holds it), or Refuse (it may hold records we could not read: error says why).
enum class AsideWay { Move, Copy, Refuse };
AsideWay HowToSetAside(const std::string& path, std::string& error);
// Both answer false with error set, leaving the file where it was.
bool MoveAside(const std::string& path, const std::string& aside, std::string& error);
bool CopyAside(const std::string& path, const std::string& aside, std::string& error);

class CFileRecordStore : public IRecordStore {
public:
    CFileRecordStore() = default;
    ~CFileRecordStore() override { Close(); }
    CFileRecordStore(const CFileRecordStore&) = delete;
    CFileRecordStore& operator=(const CFileRecordStore&) = delete;

    // The directory stream's name (string 132); no record may take it.
    static const std::string& DirectoryName();
    // 1..31 bytes and not the directory's name: a stream can be named by it.
    static bool IsStorableName(const std::string& sysid);

    // Opens the file at path (create: makes it when missing). NotFound: no file; NotOurs:
    // positively not a database of ours; Denied; Busy or IO: the file may be perfectly good.
    // A directory stream that is missing or damaged is made again from the record streams
    // (OrderRemade) and written with the next commit.
    StoreError Open(const std::string& path, bool create);
    // The same for reading only: nothing is ever written into the file (a change fails).
    StoreError OpenToRead(const std::string& path);
    void Close();  // an open batch is dropped
    bool IsOpen() const { return m_storage.IsOpen(); }
    const std::string& Path() const { return m_path; }
    bool OrderRemade() const { return m_orderRemade; }
    // The directory's length: a listed record's order is its position in it, and the
    // positions deleted records left empty count.
    size_t OrderLength() const { return m_order.size(); }
    // The directory stream was there but did not decode (not merely missing).
    bool OrderWasDamaged() const { return m_orderDamaged; }
    // How the last Open went, in the file's own terms: Error also when the file opened but
    // its directory could not be read (busy, I/O); FileOpened tells that case apart.
    CStreamStorage::OpenResult LastOpenResult() const { return m_openResult; }
    bool LastOpenReachedFile() const { return m_openReachedFile; }
    // Deferred, a batch that only inserts or replaces records leaves the directory stream
    // as it was (OrderOwed); a later commit writes it. A kill in between loses nothing:
    // Open adds the record streams the directory does not name at its end. Saves the
    // rewriting of a long directory on every batch of an import.
    void SetOrderDeferred(bool deferred) { m_orderDeferred = deferred; }
    bool OrderOwed() const { return m_orderChanged && !m_inBatch; }
    // Copies the open store's file to path and goes on there (no batch may be open); on
    // failure the store stays on its file.
    StoreError SaveAs(const std::string& path);
    // Whether path names the file this store opened (same device and inode).
    bool IsOwnFile(const std::string& path) const { return m_identity.Matches(path); }
    void SetBusyTimeout(int ms) { m_storage.SetBusyTimeout(ms); }

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
    enum class Access { Create, Existing, ReadOnly };
    StoreError OpenAs(const std::string& path, Access access);
    StoreError Fail(StoreError error, const std::string& detail);
    StoreError StorageFailure();  // the kind of the storage's last failure
    StoreError BeginBatch();
    int Position(const std::string& sysid) const;  // index in m_order, -1 when unknown
    // The stored spelling of a known identifier; null when unknown.
    const std::string* Named(const std::string& sysid) const;
    void IndexOrder();
    int64_t VersionOf(const std::string& sysid) const;

    CStreamStorage m_storage;
    CFileIdentity m_identity;
    std::string m_path;
    std::string m_detail;
    std::vector<std::string> m_order;  // the directory, empty names included
    // Every name of m_order once, mapped to its stored spelling: lookups without a scan.
    std::map<std::string, std::string, CaseLess> m_names;
    bool m_namesRepeat = false;  // the order names a record twice
    // Versions are this run's: a record not changed in it is version 1.
    std::map<std::string, int64_t, CaseLess> m_versions;
    int64_t m_nextVersion = 2;
    bool m_orderChanged = false;
    bool m_orderRemade = false;
    bool m_orderDeferred = false;
    bool m_batchMovesOrder = false;  // the batch deletes or places: its directory goes with it
    bool m_orderDamaged = false;
    CStreamStorage::OpenResult m_openResult = CStreamStorage::OpenResult::Ok;
    bool m_openReachedFile = false;
    // What a Rollback undoes, newest last: each change's way back, so that a batch costs
    // what it changes, not the size of the directory.
    struct Undo {
        enum Kind { Inserted, Replaced, Deleted, Placed } kind;
        std::string name;
        int64_t version;  // the version before
        size_t from, to;  // Deleted: the slot; Placed: where it came from, where it went
    };
    bool m_inBatch = false;
    std::vector<Undo> m_undo;
    bool m_orderChangedBefore = false;
};
