// The record store of one SQLite file of named streams, the format this program has always
// written: one stream per record, named by its identifier, and the directory stream that
// holds their order (a deleted record leaves an empty name in its position). The file's
// identity (device and inode) is remembered, so that nothing is written into a file put in
// its place; a file that is positively not ours is set aside, never one that was busy.
#pragma once

#include <ctime>
#include <map>
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
    void Close();  // an open batch is dropped
    bool IsOpen() const { return m_storage.IsOpen(); }
    const std::string& Path() const { return m_path; }
    bool OrderRemade() const { return m_orderRemade; }
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
    StoreError Fail(StoreError error, const std::string& detail);
    StoreError StorageFailure();  // the kind of the storage's last failure
    StoreError BeginBatch();
    int Position(const std::string& sysid) const;
    int64_t VersionOf(const std::string& sysid) const;

    CStreamStorage m_storage;
    CFileIdentity m_identity;
    std::string m_path;
    std::string m_detail;
    std::vector<std::string> m_order;  // the directory, empty names included
    // Versions are this run's: a record not changed in it is version 1.
    std::map<std::string, int64_t, CaseLess> m_versions;
    int64_t m_nextVersion = 2;
    bool m_orderChanged = false;
    bool m_orderRemade = false;
    // What a Rollback restores.
    bool m_inBatch = false;
    std::vector<std::string> m_orderBefore;
    std::map<std::string, int64_t, CaseLess> m_versionsBefore;
    bool m_orderChangedBefore = false;
};
