// The database file: directory, record streams, keys, saving in full and in idle steps.
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <thread>

#include "database/RecordStream.h"
#include "server/ServerRecordStore.h"
#include "server/ServerSchema.h"
#include "tests/database/DbFixture.h"
#include "tests/support/PrivateCluster.h"
#include "tests/support/TestServerDatabase.h"

namespace {
const char kDir[] = "Quillon Data Directory";

// A throwaway primary with a streaming standby (scripts/team-server.sh), in a folder of its
// own because the test stops its servers; both are stopped at the end whatever happens.
class CStandbyPair {
public:
    CStandbyPair() : m_dir("kqpgsb") {
        ::chmod(m_dir.Path().c_str(), 0755);  // the server's user goes through it
        m_folder = m_dir / "cluster";
        m_ok = Script("start") && Script("standby");
    }
    ~CStandbyPair() { Script("stop"); }
    bool Ok() const { return m_ok; }
    const std::string& PrimarySocket() const { return m_folder; }
    std::string StandbySocket() const { return m_folder + "/standby"; }
    // The primary starts again as it was (start finds the stopped cluster in the folder).
    bool StartPrimary() { return Script("start"); }
    // Fast shutdown of one server: sessions end, nothing committed is lost.
    static bool Stop(const std::string& dataFolder, int signal) {
        std::ifstream pidFile(dataFolder + "/postmaster.pid");
        pid_t pid = 0;
        if (!(pidFile >> pid) || ::kill(pid, signal) != 0) return false;
        for (int i = 0; i < 200 && ::kill(pid, 0) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return ::kill(pid, 0) != 0;
    }
    bool StopPrimary() { return Stop(m_folder + "/data", SIGINT); }
    bool StopStandby() { return Stop(StandbySocket() + "/data", SIGQUIT); }

private:
    bool Script(const std::string& what) const {
        const std::string command = "QUILLON_PG_DIR='" + m_folder +
                                    "' " QUILLON_SOURCE_DIR "/scripts/team-server.sh " + what +
                                    " >/dev/null";
        return std::system(command.c_str()) == 0;
    }
    CScratchDir m_dir;
    std::string m_folder;
    bool m_ok = false;
};

// Waits until a record with those bytes reads from the store (a standby replays late).
bool ArrivesIn(CServerRecordStore& store, const std::string& sysid, const std::string& bytes) {
    for (int i = 0; i < 200; ++i) {
        std::string read;
        int64_t version = 0;
        if (store.Read(sysid, read, version) == StoreError::None && read == bytes) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

}  // namespace

using Database = DbTest;

TEST_F(Database, RoundTripThroughARealFile) {
    CRecordEntry* mirror = Db().AddCurrentSystemRecord("Top9", "BOX");
    ASSERT_NE(mirror, nullptr);
    FillSample(*mirror, "BOX", 9);
    mirror->SetChanged();
    Import("BOX+00000001", 1);
    Import("OTHER+00000002", 2);
    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    EXPECT_FALSE(doc->IsModified());
    const std::vector<std::string> directory = Db().Directory();

    auto again = Reopen(Path());
    EXPECT_EQ(again->Database().Directory(), directory);
    EXPECT_TRUE(again->Database().Cache().IsEmpty());  // records load on demand
    for (size_t i = 0; i < directory.size(); ++i) {
        CRecordEntry stored;
        ASSERT_TRUE(again->Database().LoadRecord(stored, directory[i])) << directory[i];
        CRecordEntry expected;
        FillSample(expected, directory[i], i == 0 ? 9 : static_cast<int>(i));
        ExpectSameRecord(expected, stored, directory[i]);
    }
    // Every stream is there, and nothing else.
    std::vector<std::string> streams = StreamsIn(Path());
    std::sort(streams.begin(), streams.end());
    EXPECT_EQ(streams, (std::vector<std::string>{"BOX", "BOX+00000001", "OTHER+00000002", kDir}));
}

TEST_F(Database, DirectoryPositionsAfterImportSaveAndDelete) {
    const int imported1 = Import("IMP-1");
    CRecordEntry* mirror = Db().AddCurrentSystemRecord("Top", "BOX");
    ASSERT_NE(mirror, nullptr);
    FillSample(*mirror, "BOX");
    mirror->SetChanged();
    const int imported2 = Import("IMP-2");
    auto* snap = dynamic_cast<CRecordEntry*>(Db().NewRecord("Top"));
    FillSample(*snap, "BOX+1");
    const int saved = Db().AddSavedRecord(snap, "BOX+1");
    snap->SetChanged();
    EXPECT_EQ(Db().Directory(), (std::vector<std::string>{"BOX", "BOX+1", "IMP-1", "IMP-2"}));
    // Keys follow their records through the shifts.
    EXPECT_EQ(Db().RecordSysid(imported1), "IMP-1");
    EXPECT_EQ(Db().RecordSysid(imported2), "IMP-2");
    EXPECT_EQ(Db().RecordSysid(saved), "BOX+1");
    EXPECT_EQ(Db().RecordSysid(0), "BOX");
    EXPECT_EQ(Db().KeyPosition(Db().CurrentSystemKey()), 0);
    EXPECT_EQ(doc->ResolveRecordKey(0), "");
    EXPECT_EQ(doc->ResolveRecordKey(saved), "BOX+1");
    EXPECT_EQ(Db().QueryRecord(Db().CurrentSystemKey()), 2);
    EXPECT_EQ(Db().QueryRecord(saved), 1);
    EXPECT_EQ(Db().QueryRecord(9999), 0);

    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    EXPECT_TRUE(Db().DeleteRecord(imported1));  // its stream was written, so it is destroyed
    EXPECT_EQ(Db().Directory(), (std::vector<std::string>{"BOX", "BOX+1", "", "IMP-2"}));
    EXPECT_FALSE(Db().IsKnownSysid("IMP-1"));
    EXPECT_EQ(Db().RecordSysid(imported1), "");
    EXPECT_EQ(Db().QueryRecord(imported1), 0);
    EXPECT_TRUE(doc->IsModified());
    ASSERT_TRUE(doc->OnSaveDocument(Path()));

    auto again = Reopen(Path());
    CResultsDatabase& db = again->Database();
    ASSERT_EQ(db.Directory().size(), 4u);  // the deleted position stays, empty
    EXPECT_EQ(db.Directory()[2], "");
    EXPECT_EQ(db.KeyCount(), 3u);
    for (int key = 1; key < 10; ++key) EXPECT_NE(db.KeyPosition(key), 2);
    CRecordEntry gone;
    EXPECT_FALSE(db.LoadRecord(gone, "IMP-1"));
}

TEST_F(Database, DeletingANeverWrittenRecordKeepsTheDirectoryLength) {
    const int a = Import("A");
    Import("B");
    EXPECT_FALSE(Db().DeleteRecord(a));  // no stream to destroy yet
    EXPECT_EQ(Db().Directory(), (std::vector<std::string>{"", "B"}));
    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    EXPECT_EQ(StreamsIn(Path()).size(), 2u);  // the directory and B
    EXPECT_FALSE(Db().DeleteRecord(a));       // twice: nothing left to delete
    EXPECT_FALSE(Db().DeleteRecord(12345));
}

TEST_F(Database, SaveWritesRecordsWithTheDirectoryAndNothingWhenThatFails) {
    Import("A");
    Import("B");
    std::vector<std::string> writes;
    CStreamStorage::s_faultHook = [&](const std::string& op, const std::string& name) {
        if (op == "write") writes.push_back(name);
        return false;
    };
    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    EXPECT_EQ(writes, (std::vector<std::string>{"A", "B", kDir}));

    Import("C");
    writes.clear();
    frame.log.clear();
    CStreamStorage::s_faultHook = [&](const std::string& op, const std::string& name) {
        if (op == "write") writes.push_back(name);
        return op == "write" && name == kDir;
    };
    EXPECT_FALSE(doc->OnSaveDocument(Path()));
    EXPECT_EQ(writes, (std::vector<std::string>{"C", kDir}));  // in one transaction
    EXPECT_TRUE(doc->IsModified());
    EXPECT_TRUE(frame.LogContains("Error 1014: Can't save the database to " + Path()));
    EXPECT_TRUE(Db().DirectoryChanged());
    std::vector<std::string> streams = StreamsIn(Path());
    EXPECT_EQ(std::count(streams.begin(), streams.end(), "C"), 0);

    // Once the fault is gone the same save goes through.
    CStreamStorage::s_faultHook = nullptr;
    EXPECT_TRUE(doc->OnSaveDocument(Path()));
    streams = StreamsIn(Path());
    EXPECT_EQ(std::count(streams.begin(), streams.end(), "C"), 1);
}

TEST_F(Database, AFailedRecordFailsTheSaveAndStaysChanged) {
    Import("A");
    Import("B");
    CStreamStorage::s_faultHook = [](const std::string& op, const std::string& name) {
        return op == "write" && name == "A";
    };
    EXPECT_FALSE(doc->OnSaveDocument(Path()));
    EXPECT_TRUE(doc->IsModified());
    auto* a = dynamic_cast<CRecordEntry*>(Db().Cache().GetAt(0));
    auto* b = dynamic_cast<CRecordEntry*>(Db().Cache().GetAt(1));
    EXPECT_TRUE(a->IsChanged());
    EXPECT_FALSE(b->IsChanged());  // the loop went on with the next record
    std::vector<std::string> streams = StreamsIn(Path());
    EXPECT_EQ(std::count(streams.begin(), streams.end(), "B"), 1);
}

TEST_F(Database, AFailedCommitWritesNothingAndKeepsEverythingOwed) {
    Import("A");
    CStreamStorage::s_faultHook = [](const std::string& op, const std::string&) {
        return op == "commit";
    };
    EXPECT_FALSE(doc->OnSaveDocument(Path()));
    EXPECT_TRUE(dynamic_cast<CRecordEntry*>(Db().Cache().GetAt(0))->IsChanged());
    EXPECT_TRUE(Db().DirectoryChanged());
    EXPECT_TRUE(StreamsIn(Path()).empty());
    CStreamStorage::s_faultHook = nullptr;
    EXPECT_TRUE(doc->OnSaveDocument(Path()));
    EXPECT_EQ(StreamsIn(Path()).size(), 2u);
}

TEST_F(Database, ADamagedOrTruncatedStreamIsSkipped) {
    Import("A");
    Import("B");
    Import("C");
    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    {
        CStreamStorage s;
        ASSERT_EQ(s.OpenExisting(Path()), CStreamStorage::OpenResult::Ok);
        std::string data;
        ASSERT_TRUE(s.ReadStream("B", data));
        ASSERT_TRUE(s.WriteStream("B", data.substr(0, data.size() / 2)));
        ASSERT_TRUE(s.WriteStream("C", std::string("\x01\x00\x05garbage\xff\xff\xff\x7f", 14)));
    }
    auto again = Reopen(Path());
    CRecordEntry entry;
    entry.SetAttr("Left", "over", 0, 0);
    EXPECT_FALSE(again->Database().LoadRecord(entry, "B"));
    EXPECT_EQ(entry.GetAttrCount(), 0);  // nothing half-read stays
    EXPECT_EQ(again->Database().GetRecord("C"), nullptr);
    EXPECT_TRUE(again->Database().Cache().IsEmpty());
    // The listing hands on the good record and the end of the listing.
    EventRecorder heard;
    again->Subscribe(&heard);
    again->Database().QueueListing();
    again->Database().IdleStepsToEnd();
    EXPECT_EQ(heard.listed, (std::vector<int>{again->Database().KeyForSysid("A")}));
    EXPECT_EQ(heard.listingsDone, 1);
}

TEST_F(Database, ADamagedDirectoryIsMadeAgainFromTheRecordStreams) {
    Import("A");
    Import("B");
    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    {
        CStreamStorage s;
        ASSERT_EQ(s.OpenExisting(Path()), CStreamStorage::OpenResult::Ok);
        ASSERT_TRUE(s.WriteStream(kDir, std::string("\0\0\x09\0\x01", 5)));
    }
    auto d = std::make_unique<CQuillo95Doc>(app, frame);
    ASSERT_TRUE(d->OnOpenDocument(Path()));
    EXPECT_EQ(d->Database().Directory(), (std::vector<std::string>{"A", "B"}));
    EXPECT_TRUE(frame.LogContains("The directory of the database " + Path()));
    CRecordEntry r;
    EXPECT_TRUE(d->Database().LoadRecord(r, "B"));
    // The remade directory is written back; the file is ours and stays where it is.
    d->Database().IdleStepsToEnd();
    d.reset();
    EXPECT_TRUE(KeptAside().empty());
    auto again = Reopen(Path());
    EXPECT_EQ(again->Database().Directory(), (std::vector<std::string>{"A", "B"}));
}

TEST_F(Database, AFileThatIsNotADatabaseIsKeptAsideBeforeTheFirstSave) {
    const std::string letter = "Dear reader,\nthis is no database.\n";
    WriteFile(Path(), letter);
    EXPECT_FALSE(doc->OnOpenDocument(Path()));
    EXPECT_EQ(ReadFile(Path()), letter);  // opening touches nothing
    Import("A");
    frame.log.clear();
    ASSERT_TRUE(doc->SaveModified());
    std::vector<std::string> kept = KeptAside();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(ReadFile(dir + "/" + kept[0]), letter);
    EXPECT_EQ(kept[0].rfind("Quillo97.kqd.unreadable.", 0), 0u);
    EXPECT_TRUE(frame.LogContains("Warning 1015: " + Path() +
                                  " is not a readable database; it "
                                  "was kept as " +
                                  dir + "/" + kept[0]));
    EXPECT_EQ(StreamsIn(Path()).size(), 2u);
    // Later saves go to the new file without another rename.
    Import("B");
    ASSERT_TRUE(doc->SaveModified());
    EXPECT_EQ(KeptAside().size(), 1u);
}

TEST_F(Database, AFileWithoutPermissionIsNotRenamedAndTheSaveFails) {
    {
        CStreamStorage s;
        ASSERT_EQ(s.OpenOrCreate(Path()), CStreamStorage::OpenResult::Ok);
        ASSERT_TRUE(s.WriteStream("Theirs", "precious"));
    }
    CStreamStorage::s_faultHook = [this](const std::string& op, const std::string& name) {
        return op == "permission" && name == Path();
    };
    EXPECT_FALSE(doc->OnOpenDocument(Path()));
    Import("A");
    frame.log.clear();
    EXPECT_FALSE(doc->SaveModified());
    EXPECT_TRUE(frame.LogContains("Error 1014: Can't save the database to " + Path()));
    EXPECT_TRUE(doc->IsModified());
    EXPECT_TRUE(KeptAside().empty());
    CStreamStorage::s_faultHook = nullptr;
    EXPECT_EQ(StreamsIn(Path()), (std::vector<std::string>{"Theirs"}));
}

TEST_F(Database, ASaveIntoAMissingFolderIsLoggedAndReported) {
    Import("A");
    frame.log.clear();
    const std::string nowhere = dir + "/no/such/place.kqd";
    EXPECT_FALSE(Db().Save(nowhere));
    EXPECT_TRUE(frame.LogContains("Error 1014: Can't save the database to " + nowhere));
    EXPECT_TRUE(doc->IsModified());
}

TEST_F(Database, IdentifiersThatDifferOnlyInCaseAreOneRecord) {
    ASSERT_GT(Import("Box-One"), 0);
    EXPECT_TRUE(Db().IsKnownSysid("BOX-ONE"));
    EXPECT_TRUE(Db().IsKnownSysid("box-one"));
    EXPECT_LT(Import("BOX-ONE", 1), 0);
    EXPECT_EQ(Db().Directory().size(), 1u);
    EXPECT_EQ(Db().Cache().GetCount(), 1);
    EXPECT_EQ(Db().GetRecord("bOx-OnE"), Db().Cache().GetAt(0));
    auto* snap = dynamic_cast<CRecordEntry*>(Db().NewRecord(""));
    EXPECT_LT(Db().AddSavedRecord(snap, "box-ONE"), 0);
    EXPECT_EQ(Db().AddCurrentSystemRecord("Top", "BOX-one"), nullptr);
    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    auto again = Reopen(Path());
    CRecordEntry r;
    ASSERT_TRUE(again->Database().LoadRecord(r, "BOX-ONE"));
    EXPECT_EQ(r.GetAttrValue("Speed"), "100");  // the first record, not overwritten
}

TEST_F(Database, TheDirectorysOwnNameIsRefused) {
    Import("A");
    frame.log.clear();
    EXPECT_LT(Import("quillon data DIRECTORY"), 0);
    EXPECT_TRUE(frame.LogContains("Error 1016"));
    EXPECT_EQ(Db().AddCurrentSystemRecord("Top", kDir), nullptr);
    EXPECT_LT(Import(""), 0);
    EXPECT_LT(Import(std::string(32, 'L')), 0);
    EXPECT_GT(Import(std::string(31, 'L')), 0);
    EXPECT_FALSE(CResultsDatabase::IsStorableSysid("QUILLON DATA DIRECTORY"));
    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    auto again = Reopen(Path());
    EXPECT_EQ(again->Database().Directory(), (std::vector<std::string>{"A", std::string(31, 'L')}));
}

TEST_F(Database, RebuildingTheIndexNeverReusesKeys) {
    const int a = Import("A");
    const int b = Import("B");
    Db().RebuildIndex();
    const int a2 = Db().KeyForSysid("A");
    EXPECT_GT(a2, b);
    EXPECT_EQ(Db().KeyPosition(a), -1);
    EXPECT_EQ(Db().RecordSysid(a2), "A");
    EXPECT_EQ(Db().KeyPosition(0), 0);
}

TEST_F(Database, ANameTwiceInADamagedDirectoryKeepsItsFirstPosition) {
    Db().ReindexDirectory({"b", "A", "", "B", "quillon data directory", "C"});
    EXPECT_EQ(Db().KeyCount(), 3u);
    EXPECT_EQ(Db().KeyPosition(Db().KeyForSysid("B")), 0);
    EXPECT_EQ(Db().KeyPosition(Db().KeyForSysid("a")), 1);
    EXPECT_EQ(Db().KeyPosition(Db().KeyForSysid("c")), 5);
    EXPECT_EQ(Db().KeyForSysid("Quillon Data Directory"), -1);
}

TEST_F(Database, IdleStepWritesOneStreamPerStep) {
    Import("A");
    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    Import("B");
    Import("C");
    // Held by a view: written, but kept in the cache.
    Db().LoadedRecord("C")->Hold();
    auto count = [&] { return StreamsIn(Path()).size(); };
    EXPECT_EQ(count(), 2u);
    Db().SetStepBudget(CResultsDatabase::kStepBudgetUs, 1);
    EXPECT_TRUE(Db().IdleStep());  // B (A, written and unused, leaves the cache)
    EXPECT_EQ(count(), 3u);
    EXPECT_EQ(Db().LoadedRecord("A") != nullptr, 0u);
    EXPECT_TRUE(Db().IdleStep());  // C
    EXPECT_EQ(count(), 4u);
    EXPECT_TRUE(Db().DirectoryChanged());
    EXPECT_TRUE(Db().IdleStep());  // then the directory that names them
    EXPECT_FALSE(Db().DirectoryChanged());
    EXPECT_TRUE(doc->IsModified());
    EXPECT_FALSE(Db().IdleStep());  // nothing left
    EXPECT_FALSE(doc->IsModified());
    ASSERT_EQ(Db().Cache().GetCount(), 1);
    EXPECT_EQ(Db().GetRecordSysid(*Db().Cache().GetAt(0)), "C");
    // A deleted record's stream goes at once, with the directory that stops naming it.
    EXPECT_TRUE(Db().DeleteRecord(Db().KeyForSysid("B")));
    EXPECT_EQ(count(), 3u);
    Db().IdleStepsToEnd();
    EXPECT_EQ(count(), 3u);
    EXPECT_FALSE(doc->IsModified());
}

TEST_F(Database, IdleStepWithoutAnOpenFileSavesTheWholeDatabase) {
    Import("A");
    EXPECT_FALSE(Db().IdleStep());
    EXPECT_EQ(StreamsIn(app.DatabasePath()).size(), 2u);
    EXPECT_FALSE(doc->IsModified());
}

TEST_F(Database, AFailedIdleWriteIsLoggedAndLeftForTheFullSave) {
    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    Import("A");
    CStreamStorage::s_faultHook = [](const std::string& op, const std::string& name) {
        return op == "write" && name == "A";
    };
    frame.log.clear();
    EXPECT_FALSE(Db().IdleStep());
    EXPECT_TRUE(frame.LogContains("Error 1014: Can't save the database to " + Path()));
    EXPECT_TRUE(dynamic_cast<CRecordEntry*>(Db().Cache().GetAt(0))->IsChanged());
    EXPECT_TRUE(doc->IsModified());
    // No retry on every idle call, and no second line.
    frame.log.clear();
    EXPECT_FALSE(Db().IdleStep());
    EXPECT_TRUE(frame.log.empty());
    CStreamStorage::s_faultHook = nullptr;
    EXPECT_TRUE(doc->SaveModified());
    EXPECT_EQ(StreamsIn(Path()).size(), 2u);
}

TEST_F(Database, ListingQueuesEveryRecordThenTheEnd) {
    Import("A");
    const int b = Import("B");
    Import("C");
    Db().DeleteRecord(b);
    Db().QueueListing();
    ASSERT_EQ(Db().Requests().size(), 3u);
    EXPECT_EQ(Db().Requests().back().kind(), DbRequest::kEndOfListing);
    EXPECT_TRUE(Db().IdleStep());
    EXPECT_TRUE(Db().IdleStep());
    EXPECT_EQ(events.listed, (std::vector<int>{Db().KeyForSysid("A"), Db().KeyForSysid("C")}));
    EXPECT_EQ(events.listingsDone, 0);
    EXPECT_TRUE(Db().IdleStep());
    EXPECT_EQ(events.listingsDone, 1);
    EXPECT_TRUE(Db().Requests().empty());

    // Records not loaded are read ahead with the first: one deleted meanwhile is not listed.
    Import("D");
    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    Db().IdleStepsToEnd();
    ASSERT_EQ(Db().LoadedRecord("C"), nullptr);
    events.listed.clear();
    Db().QueueListing();
    EXPECT_TRUE(Db().IdleStep());
    Db().DeleteRecord(Db().KeyForSysid("C"));
    while (!Db().Requests().empty()) Db().IdleStep();
    EXPECT_EQ(events.listed, (std::vector<int>{Db().KeyForSysid("A"), Db().KeyForSysid("D")}));
}

TEST_F(Database, LoadRecordCopiesTheCachedRecord) {
    Import("A", 4);
    CRecordEntry copy;
    ASSERT_TRUE(Db().LoadRecord(copy, "a"));
    CRecordEntry expected;
    FillSample(expected, "A", 4);
    ExpectSameRecord(expected, copy, "cached", false);
    copy.SetAttr("Speed", "changed", 0, 0);
    EXPECT_EQ(Db().GetRecord("A")->GetAttrValue("Speed"), "104");
    EXPECT_TRUE(doc->LoadSystemTree("A", copy));
    EXPECT_FALSE(doc->LoadSystemTree("", copy));
    EXPECT_FALSE(doc->LoadSystemTree("Nobody", copy));
}

TEST_F(Database, SavingToAnotherPathCopiesRecordsNotLoaded) {
    Import("A");
    Import("B");
    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    auto again = Reopen(Path());
    again->Database().MarkDirectoryChanged();
    const std::string other = dir + "/copy.kqd";
    ASSERT_TRUE(again->OnSaveDocument(other));
    auto copy = Reopen(other);
    CRecordEntry r;
    EXPECT_TRUE(copy->Database().LoadRecord(r, "A"));
    EXPECT_TRUE(copy->Database().LoadRecord(r, "B"));
}

TEST_F(Database, RecordPropertiesGoThroughAnalyzerTen) {
    Import("A");
    EXPECT_FALSE(Db().EditRecordProperties(Db().KeyForSysid("A")));  // no analyzer 10
    Load({"Ten"});
    const int key = Db().KeyForSysid("A");
    CRecordEntry* a = Db().GetRecord("A");
    a->SetChanged(false);
    EXPECT_TRUE(Db().EditRecordProperties(key));
    EXPECT_EQ(a->GetAttrValue("Properties"), "1");
    EXPECT_TRUE(a->IsChanged());
    EXPECT_EQ(a->InUse(), 0);
    EXPECT_FALSE(Db().EditRecordProperties(987654));
    // Key 0 and the mirror's own key edit the current system.
    CKQTreeEntry* branch = Branch(10);
    const int before = Count(branch, "Properties");
    EXPECT_TRUE(Db().EditRecordProperties(0));
    EXPECT_TRUE(Db().EditRecordProperties(Db().CurrentSystemKey()));
    EXPECT_EQ(Count(branch, "Properties"), before + 2);
}

// A primary and its streaming standby, named in one connection string (the standby first,
// and asked for): writing goes to the primary. A viewer on the primary that stops hears of
// it once and keeps its rows; opened again it reads the standby, read-only: what it saves
// stays in memory, nothing stored may be changed from it, and its list read again brings only
// what changed on the primary meanwhile. The standby gone too is said once.
TEST_F(Database, AViewerReadsTheStandbyWhenThePrimaryIsGoneAndStoresNothingThere) {
    CStandbyPair pair;
    ASSERT_TRUE(pair.Ok());
    const std::string who = ::getuid() == 0 ? " user=postgres" : "";
    const std::string both = "host=" + pair.StandbySocket() + "," + pair.PrimarySocket() +
                             " dbname=postgres target_session_attrs=prefer-standby" + who;
    std::string message;
    ASSERT_TRUE(InitServer(both, message)) << message;
    CServerRecordStore writer;
    ASSERT_EQ(writer.Open(both), StoreError::None) << writer.Describe(StoreError::None);
    EXPECT_FALSE(writer.ReadOnly());
    std::map<std::string, std::string> bytes;
    for (const char* name : {"ROW-A", "ROW-B", "ROW-C"}) {
        CRecordEntry rec;
        FillSample(rec, name, name[4]);
        SerializeRecord(rec, bytes[name]);
    }
    int64_t versionA = 0, v = 0;
    ASSERT_EQ(writer.Insert("ROW-A", bytes["ROW-A"], versionA), StoreError::None);
    ASSERT_EQ(writer.Insert("ROW-B", bytes["ROW-B"], v), StoreError::None);
    ASSERT_EQ(writer.Commit(), StoreError::None);
    // The standby alone: a writer is refused there, a reader is let in.
    const std::string standbyOnly = "host=" + pair.StandbySocket() + " dbname=postgres" + who;
    CServerRecordStore standby;
    EXPECT_EQ(standby.Open(standbyOnly), StoreError::Disconnected);
    CPgConnection toStandby;
    std::string error;
    ASSERT_TRUE(ConnectWaiting(standbyOnly, CServerRecordStore::kConnectTimeoutMs, toStandby, error,
                               SessionTarget::ReadWriteElseStandby))
        << error;
    ASSERT_EQ(standby.Attach(std::move(toStandby), "standby"), StoreError::None);
    EXPECT_TRUE(standby.ReadOnly());
    ASSERT_TRUE(ArrivesIn(standby, "ROW-B", bytes["ROW-B"]));

    // A viewer takes the primary while it answers.
    auto connectViewer = [&] {
        CPgConnection connection;
        std::string error;
        ConnectWaiting(both, CServerRecordStore::kConnectTimeoutMs, connection, error,
                       SessionTarget::ReadWriteElseStandby);
        EXPECT_TRUE(doc->SwitchToTeamDatabase(std::move(connection), error, "team", message))
            << message;
    };
    connectViewer();
    EXPECT_FALSE(doc->OnTeamStandby());
    EXPECT_EQ(doc->TeamDatabaseLabel(), "team");

    // The primary stops while the viewer reads: said once, and the rows stay listed.
    ASSERT_TRUE(pair.StopPrimary());
    frame.log.clear();
    frame.boxes.clear();
    EXPECT_FALSE(doc->RefreshTeamListing());
    EXPECT_FALSE(doc->RefreshTeamListing());
    ASSERT_EQ(frame.boxes.size(), 1u);
    EXPECT_EQ(frame.boxes[0].text.rfind("Error 1049: The team database team cannot be read", 0), 0u)
        << frame.boxes[0].text;
    EXPECT_TRUE(Db().IsKnownSysid("ROW-A") && Db().IsKnownSysid("ROW-B"));
    // A writer is never led to the standby.
    CServerRecordStore refused;
    const StoreError e = refused.Open(both);
    EXPECT_EQ(e, StoreError::Disconnected);
    EXPECT_NE(refused.Describe(e).find("read-only"), std::string::npos) << refused.Describe(e);

    // Opened again, the viewer stands on the standby, read-only.
    frame.boxes.clear();
    connectViewer();
    EXPECT_TRUE(doc->OnTeamStandby());
    EXPECT_EQ(doc->TeamDatabaseLabel(), "team, read-only");
    ASSERT_EQ(frame.boxes.size(), 1u);
    EXPECT_EQ(frame.boxes[0].text.rfind("Warning 1048: Only a standby server of the team "
                                        "database team answers, so it is open read-only.",
                                        0),
              0u)
        << frame.boxes[0].text;
    CRecordEntry read;
    ASSERT_TRUE(Db().LoadRecord(read, "ROW-B"));
    EXPECT_EQ(read.GetAttrValue(1), std::to_string(100 + 'B'));
    const int local = Import("LOCAL-1", 1);
    ASSERT_GE(local, 0);
    EXPECT_TRUE(doc->SaveModified());
    EXPECT_TRUE(Db().KeptInMemory("LOCAL-1"));
    EXPECT_TRUE(doc->RecordNotStored(local));
    EXPECT_EQ(doc->QueryRecord(local), 1);  // kept here: this program may delete it
    EXPECT_EQ(doc->QueryRecord(Db().KeyForSysid("ROW-B")), 3);
    EXPECT_EQ(frame.boxes.size(), 1u);
    // Ending the program now would end what only it holds: said, with an export offered.
    frame.boxAnswer = IDNO;
    doc->TellChangesWaitingAtExit();
    ASSERT_EQ(frame.boxes.size(), 2u);
    EXPECT_EQ(frame.boxes[1].text.rfind("The records this program kept while only a standby of "
                                        "the team database team answered (1) are stored nowhere",
                                        0),
              0u)
        << frame.boxes[1].text;
    frame.boxes.pop_back();
    frame.boxAnswer = IDOK;

    // The primary back: another program changes a row and stores one; the standby replays
    // them, and reading the list again announces those two and nothing else.
    ASSERT_TRUE(pair.StartPrimary());
    CServerRecordStore again;
    ASSERT_EQ(again.Open(both), StoreError::None) << again.Describe(StoreError::None);
    {
        CRecordEntry changed;
        FillSample(changed, "ROW-A", 9);
        SerializeRecord(changed, bytes["ROW-A"]);
    }
    ASSERT_EQ(again.Replace("ROW-A", versionA, bytes["ROW-A"], v), StoreError::None);
    ASSERT_EQ(again.Insert("ROW-C", bytes["ROW-C"], v), StoreError::None);
    ASSERT_EQ(again.Commit(), StoreError::None);
    ASSERT_TRUE(ArrivesIn(standby, "ROW-C", bytes["ROW-C"]));
    events.changes.clear();
    EXPECT_TRUE(doc->RefreshTeamListing());
    EXPECT_EQ(events.changes, (std::vector<EventRecorder::Change>{
                                  {DocEvent::RecordAdded, Db().KeyForSysid("ROW-C")},
                                  {DocEvent::RecordChanged, Db().KeyForSysid("ROW-A")}}));
    ASSERT_TRUE(Db().LoadRecord(read, "ROW-A"));
    EXPECT_EQ(read.GetAttrValue(1), "109");
    EXPECT_TRUE(Db().KeptInMemory("LOCAL-1"));

    // The standby gone as well: said once, nothing breaks, the rows stay.
    ASSERT_TRUE(pair.StopStandby());
    frame.boxes.clear();
    EXPECT_FALSE(doc->RefreshTeamListing());
    EXPECT_FALSE(doc->RefreshTeamListing());
    ASSERT_EQ(frame.boxes.size(), 1u);
    EXPECT_NE(frame.boxes[0].text.find("Error 1049"), std::string::npos);
    EXPECT_TRUE(Db().IsKnownSysid("ROW-C"));

    // Opened again on the primary, what was kept here comes along and is stored there.
    frame.boxes.clear();
    connectViewer();
    EXPECT_FALSE(doc->OnTeamStandby());
    ASSERT_EQ(frame.boxes.size(), 1u);
    EXPECT_EQ(frame.boxes[0].text,
              "The team database team is open on its primary server again, and nothing was "
              "lost: the records this program kept while only a standby answered (1) are "
              "stored with the next save.");
    EXPECT_TRUE(doc->IsModified());
    EXPECT_TRUE(doc->SaveModified());
    EXPECT_FALSE(Db().KeptInMemory("LOCAL-1"));
    std::string stored;
    ASSERT_EQ(again.Read("LOCAL-1", stored, v), StoreError::None);
    ASSERT_TRUE(DeserializeRecord(stored, read));
    EXPECT_EQ(read.GetAttrValue(1), "101");
}

// Copying local records into a team database (the throwaway cluster): as an import of them,
// a known identifier in any case is Warning 1008, one another writer stores between the
// copy and its save is one too, the copied records are stored with their local bytes, and
// the local file is not written at all.
TEST_F(Database, CopyToTheTeamDatabaseIsAnImportAndLeavesTheLocalFileAsItWas) {
    CTestServerDatabase server;
    ASSERT_TRUE(server.Made());
    app.SetDatabasePath(Path());
    for (const char* s : {"BOX-A", "BOX-B", "BOX-C", "BOX-D"}) Import(s, s[4]);
    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    auto fileBytes = [this] {
        std::ifstream in(Path(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string before = fileBytes();
    std::map<std::string, std::string> local;
    {
        CStreamStorage file;
        ASSERT_EQ(file.OpenExisting(Path()), CStreamStorage::OpenResult::Ok);
        for (const char* s : {"BOX-A", "BOX-B", "BOX-C", "BOX-D"})
            ASSERT_TRUE(file.ReadStream(s, local[s]));
    }
    CServerRecordStore other;
    ASSERT_EQ(other.Open(server.Conninfo()), StoreError::None);
    // The team's record is a whole one: one that does not read would be taken over.
    CRecordEntry teams;
    FillSample(teams, "box-b", 5);
    std::string teamsBytes;
    SerializeRecord(teams, teamsBytes);
    int64_t v = 0;
    ASSERT_EQ(other.Insert("box-b", teamsBytes, v), StoreError::None);
    ASSERT_EQ(other.Commit(), StoreError::None);

    std::string message;
    CPgConnection connection;
    std::string connectError;
    ConnectWaiting(server.Conninfo(), CServerRecordStore::kConnectTimeoutMs, connection,
                   connectError);
    ASSERT_TRUE(doc->SwitchToTeamDatabase(std::move(connection), connectError, "team", message))
        << message;
    std::vector<CQuillo95Doc::LocalRecord> listed;
    ASSERT_TRUE(doc->ListLocalRecords(listed, message)) << message;
    std::vector<std::string> names;
    for (const auto& r : listed) names.push_back(r.sysid);
    EXPECT_EQ(names, (std::vector<std::string>{"BOX-A", "BOX-B", "BOX-C", "BOX-D"}));

    frame.log.clear();
    frame.showLogCount = 0;
    events.changes.clear();
    CQuillo95Doc::TeamCopy copy = doc->CopyToTeamDatabase({"BOX-A", "BOX-B", "BOX-C"});
    EXPECT_EQ(copy.copied, 2);
    EXPECT_EQ(copy.skipped, 1);
    EXPECT_EQ(copy.failed, 0);
    auto logged = [this](const std::string& line) {
        return std::count(frame.log.begin(), frame.log.end(), line);
    };
    EXPECT_EQ(logged("Added BOX-A"), 1);
    EXPECT_EQ(logged("Added BOX-C"), 1);
    EXPECT_EQ(logged("Warning 1008: Duplicate record BOX-B skipped"), 1);
    EXPECT_EQ(logged("Copied to the team database: 2, skipped: 1."), 1);
    EXPECT_EQ(frame.showLogCount, 1);  // the warning shows the log, as on import
    const int keyA = Db().KeyForSysid("BOX-A"), keyC = Db().KeyForSysid("BOX-C");
    EXPECT_NE(std::find(events.changes.begin(), events.changes.end(),
                        EventRecorder::Change{DocEvent::RecordAdded, keyA}),
              events.changes.end());
    EXPECT_NE(std::find(events.changes.begin(), events.changes.end(),
                        EventRecorder::Change{DocEvent::RecordAdded, keyC}),
              events.changes.end());
    EXPECT_FALSE(doc->IsModified());

    // Another writer stores BOX-D's identifier while it is being copied: the save finds it
    // there, skips the copy as a duplicate and reads the record as that writer stored it.
    struct StoreMeanwhile : IDocumentObserver {
        CServerRecordStore* other;
        void OnDocumentEvent(const DocumentEvent& e) override {
            if (e.kind != DocEvent::RecordAdded || !other) return;
            int64_t version = 0;
            EXPECT_EQ(other->Insert("Box-D", local, version), StoreError::None);
            EXPECT_EQ(other->Commit(), StoreError::None);
            other = nullptr;
        }
        std::string local;
    } meanwhile;
    meanwhile.other = &other;
    CRecordEntry theirs;
    FillSample(theirs, "Box-D", 77);
    SerializeRecord(theirs, meanwhile.local);
    doc->Subscribe(&meanwhile);
    frame.log.clear();
    copy = doc->CopyToTeamDatabase({"BOX-D"});
    doc->Unsubscribe(&meanwhile);
    EXPECT_EQ(copy.copied, 0);
    EXPECT_EQ(copy.skipped, 1);
    EXPECT_EQ(logged("Warning 1008: Duplicate record BOX-D skipped"), 1);
    CRecordEntry read;
    ASSERT_TRUE(Db().LoadRecord(read, "BOX-D"));
    EXPECT_EQ(read.GetAttrValue("Speed"), "177");
    EXPECT_FALSE(doc->IsModified());

    // The team database: the two copied as the local file holds them, the others as stored.
    std::vector<RecordBytes> stored;
    ASSERT_EQ(other.ReadSeveral({"BOX-A", "BOX-B", "BOX-C", "BOX-D"}, stored), StoreError::None);
    ASSERT_EQ(stored.size(), 4u);
    EXPECT_TRUE(stored[0].bytes == local["BOX-A"]);
    EXPECT_TRUE(stored[1].bytes == teamsBytes);
    EXPECT_TRUE(stored[2].bytes == local["BOX-C"]);
    EXPECT_TRUE(stored[3].bytes == meanwhile.local);
    EXPECT_TRUE(fileBytes() == before);

    // No local file: a clear message, nothing copied.
    std::filesystem::rename(Path(), Path() + ".away");
    EXPECT_FALSE(doc->ListLocalRecords(listed, message));
    EXPECT_EQ(message, "There is no local database at " + Path() + ": no records to copy.");
}

// Records saved while only a standby answered are stored nowhere yet: going back to the local
// database takes them along (said once), and its next save stores them there.
TEST_F(Database, RecordsKeptWhileOnlyAStandbyAnsweredComeAlongToTheLocalDatabase) {
    CTestServerDatabase server;
    ASSERT_TRUE(server.Made());
    app.SetDatabasePath(Path());
    Import("LOCAL-0");
    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    std::string message, connectError;
    CPgConnection connection;
    ConnectWaiting(server.Conninfo(), CServerRecordStore::kConnectTimeoutMs, connection,
                   connectError);
    ASSERT_TRUE(doc->SwitchToTeamDatabase(std::move(connection), connectError, "team", message))
        << message;
    Db().KeepAllInMemory();  // as a standby leaves every save
    ASSERT_GE(Import("KEPT-1", 1), 0);
    EXPECT_TRUE(doc->SaveModified());
    ASSERT_TRUE(Db().KeptInMemory("KEPT-1"));

    frame.boxes.clear();
    doc->SwitchToLocalDatabase();
    ASSERT_EQ(frame.boxes.size(), 1u);
    EXPECT_EQ(frame.boxes[0].text.rfind("The records this program kept while only a standby of "
                                        "the team database team answered (1) join the local",
                                        0),
              0u)
        << frame.boxes[0].text;
    EXPECT_TRUE(Db().IsKnownSysid("LOCAL-0"));
    EXPECT_TRUE(Db().IsKnownSysid("KEPT-1"));
    EXPECT_TRUE(doc->SaveModified());
    auto again = Reopen(Path());
    CRecordEntry kept;
    ASSERT_TRUE(again->Database().LoadRecord(kept, "KEPT-1"));
    EXPECT_EQ(kept.GetAttrValue(1), "101");
}

// The team database's server goes away in the middle of a session: the import goes on into
// the outbox on this computer and says its records were added only once they are there, the
// loss is told once, and the reconnection stores them, once. What still waits at exit is
// kept and counted, and stored by the next opening.
TEST_F(Database, TeamChangesWaitInTheOutboxWhileTheServerIsGoneAndAreStoredOnceWhenItIsBack) {
    PrivateCluster cluster;
    ASSERT_TRUE(cluster.Started());
    std::string message;
    ASSERT_TRUE(InitServer(cluster.Conninfo(), message)) << message;
    ASSERT_TRUE(doc->OpenTeamDatabase(cluster.Conninfo(), message)) << message;
    // Exchange files of machines: one fixture's record under other identifiers.
    std::ifstream in(
        std::string(QUILLON_SOURCE_DIR) + "/tests/fixtures/compare/m1-office-desktop.kqx",
        std::ios::binary);
    const std::string fixture(std::istreambuf_iterator<char>(in), {});
    const size_t body = fixture.find("[System]");
    const std::string id = "L1a2b3c4d5e6f70819aa01+0c1d2e3f";
    ASSERT_NE(fixture.find(id), std::string::npos);
    auto machines = [&](const std::string& file, const std::vector<std::string>& names) {
        std::string text = fixture.substr(0, body);
        for (const std::string& name : names) {
            std::string record = fixture.substr(body);
            record.replace(record.find(id), id.size(), name);
            text += record;
        }
        WriteFile(dir + "/" + file, text);
        return dir + "/" + file;
    };
    auto onServer = [&](const std::string& sysid) {
        CServerRecordStore check;
        std::string bytes;
        int64_t v = 0;
        EXPECT_EQ(check.Open(cluster.Conninfo()), StoreError::None);
        return check.Read(sysid, bytes, v) == StoreError::None;
    };
    auto count = [&](const std::string& text) {
        return std::count_if(frame.log.begin(), frame.log.end(), [&](const std::string& l) {
            return l.find(text) != std::string::npos;
        });
    };
    doc->ImportFile(machines("first.kqx", {"FIRST"}));
    EXPECT_TRUE(onServer("FIRST"));
    EXPECT_EQ(doc->TeamChangesWaiting(), 0);

    cluster.Crash();
    const std::string second = machines("second.kqx", {"SECOND-1", "SECOND-2"});
    frame.log.clear();
    doc->ImportFile(second);
    EXPECT_EQ(doc->TeamChangesWaiting(), 2);
    EXPECT_NE(doc->TeamDatabaseLostAt(), 0);
    EXPECT_EQ(count("Error 1045"), 1);
    // Said added only once they were in the outbox: the loss is told first.
    const auto at = [&](const std::string& text) {
        return std::find_if(
                   frame.log.begin(), frame.log.end(),
                   [&](const std::string& l) { return l.find(text) != std::string::npos; }) -
               frame.log.begin();
    };
    EXPECT_LT(at("Error 1045"), at("SECOND-2"));
    EXPECT_TRUE(doc->SaveModified());  // safe on disk: nothing failed
    EXPECT_FALSE(frame.LogContains("Error 1014"));
    EXPECT_FALSE(doc->CheckTeamConnection());  // told once
    EXPECT_EQ(count("Error 1045"), 1);

    ASSERT_TRUE(cluster.Restart());
    CPgConnection connection;
    std::string error;
    ConnectWaiting(cluster.Conninfo(), CServerRecordStore::kConnectTimeoutMs, connection, error);
    ASSERT_TRUE(doc->ReconnectTeamDatabase(std::move(connection), error, message)) << message;
    EXPECT_EQ(doc->TeamChangesWaiting(), 0);
    EXPECT_EQ(doc->TeamDatabaseLostAt(), 0);
    EXPECT_TRUE(onServer("SECOND-1"));
    EXPECT_TRUE(onServer("SECOND-2"));
    EXPECT_NE(Db().KeyForSysid("SECOND-2"), -1);  // the list was read again

    // Gone again at exit: kept, counted, offered for export, stored by the next opening.
    cluster.Crash();
    doc->ImportFile(machines("third.kqx", {"THIRD"}));
    frame.boxAnswer = IDNO;
    doc->TellChangesWaitingAtExit();
    ASSERT_FALSE(frame.boxes.empty());
    EXPECT_NE(frame.boxes.back().text.find("Warning 1046: 1 "), std::string::npos)
        << frame.boxes.back().text;
    doc.reset();
    ASSERT_TRUE(cluster.Restart());
    doc = std::make_unique<CQuillo95Doc>(app, frame);
    ASSERT_TRUE(doc->OpenTeamDatabase(cluster.Conninfo(), message)) << message;
    EXPECT_EQ(doc->TeamChangesWaiting(), 0);
    EXPECT_TRUE(onServer("THIRD"));
    EXPECT_NE(Db().KeyForSysid("THIRD"), -1);
    // Once each.
    CServerRecordStore check;
    ASSERT_EQ(check.Open(cluster.Conninfo()), StoreError::None);
    std::vector<StoredRecord> rows;
    ASSERT_EQ(check.List(rows), StoreError::None);
    EXPECT_EQ(rows.size(), 4u);
}

// Another client's changes to the team database the document stands on (the throwaway
// cluster), told by the server and heard through the socket watch: within a second of idle
// steps the directory and the channel follow, reading only the rows named (a row replaced
// twice is read once), and this connection's own changes are not heard back. A record
// changed here and not saved is not overwritten unsaid: its save meets Error 1042; one
// deleted elsewhere while changed here is kept, said once, and stored again. A large change
// is followed whole; a lost connection is said once and its socket no longer watched.
TEST_F(Database, AnotherClientsTeamDatabaseChangesFollowWithinASecondReadingOnlyThoseRows) {
    CTestServerDatabase server;
    ASSERT_TRUE(server.Made());
    app.SetDatabasePath(Path());
    auto bytesOf = [](const std::string& sysid, int salt) {
        CRecordEntry r;
        FillSample(r, sysid, salt);
        std::string b;
        SerializeRecord(r, b);
        return b;
    };
    CServerRecordStore other;
    ASSERT_EQ(other.Open(server.Conninfo()), StoreError::None);
    std::map<std::string, int64_t> versions;
    for (int i = 0; i < 30; ++i) {
        const std::string name = "OLD-" + std::to_string(i);
        ASSERT_EQ(other.Insert(name, bytesOf(name, i), versions[name]), StoreError::None);
    }
    ASSERT_EQ(other.Commit(), StoreError::None);

    // The windows' watch, played by poll(): the test's event loop.
    struct PollWatch : IReadableWatch {
        int fd = -1;
        std::function<void()> readable;
        void Start(int f, std::function<void()> r) override { fd = f, readable = std::move(r); }
        void Stop() override { fd = -1, readable = nullptr; }
    } watch;
    doc->SetChangeWatch(&watch);
    // The watch is this test's: the document lets go of it before it goes, whatever fails.
    const std::unique_ptr<CQuillo95Doc, void (*)(CQuillo95Doc*)> detach(
        doc.get(), [](CQuillo95Doc* d) { d->SetChangeWatch(nullptr); });
    std::string message;
    ASSERT_TRUE(doc->OpenTeamDatabase(server.Conninfo(), message)) << message;
    ASSERT_TRUE(doc->ListeningToTeamDatabase());
    ASSERT_GE(watch.fd, 0);
    // Event-loop time: the socket's readiness and idle steps, for at most ms or until done.
    auto runFor = [&](int ms, const std::function<bool()>& done) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!done() && std::chrono::steady_clock::now() < until) {
            pollfd p{watch.fd, POLLIN, 0};
            if (watch.readable && ::poll(&p, 1, 10) > 0) watch.readable();
            doc->IdleStep();
        }
        return done();
    };
    const int key3 = Db().KeyForSysid("OLD-3"), key5 = Db().KeyForSysid("OLD-5");
    const int64_t readBefore = doc->TeamStore()->RowsRead();
    events.changes.clear();

    // One transaction of the other party: an insert, a row replaced twice, a delete.
    int64_t v = 0;
    ASSERT_EQ(other.Insert("NEW-1", bytesOf("NEW-1", 1), v), StoreError::None);
    ASSERT_EQ(other.Replace("OLD-3", versions["OLD-3"], bytesOf("OLD-3", 30), v), StoreError::None);
    ASSERT_EQ(other.Replace("OLD-3", v, bytesOf("OLD-3", 33), versions["OLD-3"]), StoreError::None);
    ASSERT_EQ(other.Delete("OLD-5", versions["OLD-5"]), StoreError::None);
    ASSERT_EQ(other.Commit(), StoreError::None);
    EXPECT_TRUE(runFor(1000, [&] { return Db().IsKnownSysid("NEW-1"); }))
        << "the new row within a second";
    const int keyNew = Db().KeyForSysid("NEW-1");
    EXPECT_EQ(events.changes, (std::vector<EventRecorder::Change>{{DocEvent::RecordRemoved, key5},
                                                                  {DocEvent::RecordChanged, key3},
                                                                  {DocEvent::RecordAdded, keyNew},
                                                                  {DocEvent::DatabaseChanged, 0}}));
    EXPECT_FALSE(Db().IsKnownSysid("OLD-5"));
    EXPECT_EQ(Db().RecordSysid(key5), "");
    CRecordEntry read;
    ASSERT_TRUE(Db().LoadRecord(read, "OLD-3"));
    EXPECT_EQ(read.GetAttrValue("Speed"), "133");
    ASSERT_TRUE(Db().LoadRecord(read, "NEW-1"));
    EXPECT_EQ(read.GetAttrValue("Speed"), "101");
    EXPECT_EQ(doc->TeamStore()->RowsRead() - readBefore, 2)
        << "the two rows named, once each: no listing of the table, no second read";

    // This connection's own store is not heard back as another's change.
    Import("MINE", 7);
    ASSERT_TRUE(doc->SaveModified());
    events.changes.clear();
    const int64_t readMine = doc->TeamStore()->RowsRead();
    runFor(300, [] { return false; });
    EXPECT_TRUE(events.changes.empty());
    EXPECT_EQ(doc->TeamStore()->RowsRead(), readMine);

    // Changed here, not saved yet, when another changes it: not followed; the save meets
    // the other's version, says Error 1042 and reads theirs. Deleted elsewhere while changed
    // here: kept, said, and stored again.
    for (const char* name : {"OLD-7", "OLD-9"}) {
        CRecordEntry* mine = Db().GetRecord(name);
        ASSERT_NE(mine, nullptr);
        mine->SetAttr("Speed", "999", 5, 1 | 4);
        mine->SetChanged();
    }
    doc->SetModifiedFlag();
    ASSERT_EQ(other.Replace("OLD-7", versions["OLD-7"], bytesOf("OLD-7", 70), v), StoreError::None);
    ASSERT_EQ(other.Delete("OLD-9", versions["OLD-9"]), StoreError::None);
    ASSERT_EQ(other.Commit(), StoreError::None);
    frame.boxes.clear();
    auto said = [this](const std::string& text) {
        return std::count_if(frame.boxes.begin(), frame.boxes.end(),
                             [&](const auto& b) { return b.text.find(text) != std::string::npos; });
    };
    EXPECT_TRUE(runFor(1000, [&] { return !doc->IsModified() && said("Error 1042") > 0; }));
    EXPECT_EQ(said("Error 1042: The record of OLD-7"), 1);
    EXPECT_EQ(said("Record OLD-9 was deleted from the team database by another user"), 1);
    std::string bytes;
    ASSERT_EQ(other.Read("OLD-7", bytes, v), StoreError::None);
    EXPECT_TRUE(bytes == bytesOf("OLD-7", 70)) << "the other's change stands";
    ASSERT_TRUE(Db().LoadRecord(read, "OLD-7"));
    EXPECT_EQ(read.GetAttrValue("Speed"), "170");
    ASSERT_EQ(other.Read("OLD-9", bytes, v), StoreError::None) << "stored again";
    CRecordEntry back;
    ASSERT_TRUE(DeserializeRecord(bytes, back));
    EXPECT_EQ(back.GetAttrValue("Speed"), "999");
    EXPECT_TRUE(Db().IsKnownSysid("OLD-9"));

    // Another's large import is followed a few hundred rows per idle step, none lost, each
    // read once.
    const int64_t readBig = doc->TeamStore()->RowsRead();
    for (int i = 0; i < 250; ++i) {
        const std::string name = "BIG-" + std::to_string(i);
        ASSERT_EQ(other.Insert(name, bytesOf(name, i), v), StoreError::None);
    }
    ASSERT_EQ(other.Commit(), StoreError::None);
    auto allBig = [&] {
        for (int i = 0; i < 250; ++i)
            if (!Db().IsKnownSysid("BIG-" + std::to_string(i))) return false;
        return true;
    };
    EXPECT_TRUE(runFor(2000, allBig));
    EXPECT_EQ(doc->TeamStore()->RowsRead() - readBig, 250);

    // The connection lost (the server ended it): heard first by the watch, told once as the
    // outbox tells a loss, so the reconnection begins; the watch is let go, so a dead socket
    // does not call back for ever.
    frame.log.clear();
    ASSERT_TRUE(server.Admin()
                    .Exec("SELECT pg_terminate_backend(pid) FROM pg_stat_activity"
                          " WHERE datname = current_database() AND pid <> pg_backend_pid()")
                    .Ok());
    EXPECT_TRUE(runFor(1000, [&] { return !doc->ListeningToTeamDatabase(); }));
    EXPECT_EQ(watch.fd, -1);
    EXPECT_EQ(std::count_if(
                  frame.log.begin(), frame.log.end(),
                  [](const std::string& l) { return l.find("Error 1045") != std::string::npos; }),
              1);
    EXPECT_NE(doc->TeamDatabaseLostAt(), 0);
    EXPECT_FALSE(frame.LogContains("are no longer shown as they happen"));

    doc->SwitchToLocalDatabase();
    EXPECT_FALSE(doc->ListeningToTeamDatabase());
}
