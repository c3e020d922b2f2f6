// What every record store promises the results database, run over each store there is.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "database/Database.h"
#include "database/FileRecordStore.h"
#include "database/OutboxStore.h"
#include "database/RecordStream.h"
#include "server/ServerRecordStore.h"
#include "storage/RecordStore.h"
#include "tests/database/RecordSample.h"
#include "tests/support/ScratchDir.h"
#include "tests/support/TestServerDatabase.h"

namespace {

// How a contract test reaches one kind of store. place names where a store keeps its
// records (a file path, a database); each test gets fresh ones.
struct StoreKind {
    std::string name;
    // A fresh place named name in the test's scratch folder; keep holds what must live as
    // long as the test does.
    std::function<std::string(const CScratchDir& dir, const std::string& name,
                              std::shared_ptr<void>& keep)>
        newPlace;
    // The store at place, empty when it is new.
    std::function<std::unique_ptr<IRecordStore>(const std::string& place)> open;
    // Puts something positively not ours at place and answers what opening it says.
    std::function<StoreError(const std::string& place)> openForeign;
    // Whether this client's order (Place) outlives the store object: a file keeps it, a
    // server's order belongs to each client and is never stored.
    bool orderIsStored = true;
};

StoreKind FileStore() {
    return {"File",
            [](const CScratchDir& dir, const std::string& name, std::shared_ptr<void>&) {
                return dir / (name + ".kqd");
            },
            [](const std::string& place) -> std::unique_ptr<IRecordStore> {
                auto s = std::make_unique<CFileRecordStore>();
                if (s->Open(place, true) != StoreError::None) return nullptr;
                return s;
            },
            [](const std::string& place) {
                WriteFile(place, "Name,Speed\nBOX,7\n");
                CFileRecordStore s;
                return s.Open(place, false);
            }};
}

StoreKind ServerStore() {
    return {"Server",
            [](const CScratchDir&, const std::string&, std::shared_ptr<void>& keep) {
                auto db = std::make_shared<CTestServerDatabase>();
                keep = db;
                return db->Conninfo();
            },
            [](const std::string& place) -> std::unique_ptr<IRecordStore> {
                auto s = std::make_unique<CServerRecordStore>();
                const StoreError e = s->Open(place);
                if (e != StoreError::None) {
                    ADD_FAILURE() << s->Describe(e);
                    return nullptr;
                }
                return s;
            },
            [](const std::string& place) {
                // Somebody else's records table where ours would be.
                CPgConnection conn;
                std::string error;
                EXPECT_TRUE(ConnectWaiting(place, 15000, conn, error)) << error;
                EXPECT_TRUE(conn.RunScript("DROP TABLE records CASCADE; DROP TABLE "
                                           "quillon_schema; CREATE TABLE records (name text)")
                                .Ok());
                CServerRecordStore s;
                return s.Open(place);
            },
            false};
}

// The team database behind its outbox, connected: it keeps every promise the server keeps.
StoreKind OutboxStore() {
    StoreKind kind = ServerStore();
    kind.name = "Outbox";
    const auto newServer = kind.newPlace;
    // The place: the server's, then the outbox file's path on a line of its own.
    kind.newPlace = [newServer](const CScratchDir& dir, const std::string& name,
                                std::shared_ptr<void>& keep) {
        return newServer(dir, name, keep) + "\n" + (dir / (name + ".outbox"));
    };
    const auto openServer = kind.open;
    kind.open = [openServer](const std::string& place) -> std::unique_ptr<IRecordStore> {
        const size_t cut = place.find('\n');
        auto server = openServer(place.substr(0, cut));
        if (!server) return nullptr;
        auto s = std::make_unique<COutboxStore>(std::move(server));
        if (!s->OpenOutbox(place.substr(cut + 1))) {
            ADD_FAILURE() << s->LastError();
            return nullptr;
        }
        return s;
    };
    const auto foreign = kind.openForeign;
    kind.openForeign = [foreign](const std::string& place) {
        return foreign(place.substr(0, place.find('\n')));
    };
    return kind;
}

void PrintTo(const StoreKind& kind, std::ostream* os) { *os << kind.name; }

class RecordStoreContract : public ::testing::TestWithParam<StoreKind> {
protected:
    void SetUp() override {
        place = GetParam().newPlace(dir, "records", keep);
        store = GetParam().open(place);
        ASSERT_TRUE(store);
    }
    void Reopen() {
        store.reset();
        store = GetParam().open(place);
        ASSERT_TRUE(store);
    }
    int64_t Insert(const std::string& sysid, const std::string& bytes = "x") {
        int64_t v = 0;
        EXPECT_EQ(store->Insert(sysid, bytes, v), StoreError::None) << sysid;
        return v;
    }
    std::vector<std::string> Order() {
        std::vector<StoredRecord> rows;
        EXPECT_EQ(store->List(rows), StoreError::None);
        std::vector<std::string> names;
        int64_t last = -1;
        for (const StoredRecord& r : rows) {
            EXPECT_GT(r.order, last) << "listed in order";
            last = r.order;
            names.push_back(r.sysid);
        }
        return names;
    }
    std::vector<std::string> Names(const std::vector<RecordBytes>& records) {
        std::vector<std::string> names;
        for (const RecordBytes& r : records) names.push_back(r.sysid);
        return names;
    }

    CScratchDir dir;
    std::shared_ptr<void> keep;
    std::string place;
    std::unique_ptr<IRecordStore> store;
};

using V = std::vector<std::string>;

}  // namespace

TEST_P(RecordStoreContract, OrderIsInsertionOrderWithTheMirrorFirstAndTheSnapshotSecond) {
    Insert("A");
    Insert("B");
    Insert("MIRROR");
    Insert("SNAP");
    EXPECT_EQ(store->Place("MIRROR", 0), StoreError::None);
    EXPECT_EQ(store->Place("SNAP", 1), StoreError::None);
    EXPECT_EQ(store->Place("NOBODY", 0), StoreError::NotFound);
    ASSERT_EQ(store->Commit(), StoreError::None);
    EXPECT_EQ(Order(), (V{"MIRROR", "SNAP", "A", "B"}));
    Insert("LATER");  // a new record goes to the end, behind the placed ones too
    EXPECT_EQ(Order(), (V{"MIRROR", "SNAP", "A", "B", "LATER"}));
    ASSERT_EQ(store->Commit(), StoreError::None);
    Reopen();
    if (GetParam().orderIsStored)
        EXPECT_EQ(Order(), (V{"MIRROR", "SNAP", "A", "B", "LATER"}));
    else
        EXPECT_EQ(Order(), (V{"A", "B", "MIRROR", "SNAP", "LATER"}));
}

TEST_P(RecordStoreContract, InsertOfAKnownIdentifierIsExistsWithoutRegardToCase) {
    Insert("Box-One", "first");
    int64_t v = 0;
    EXPECT_EQ(store->Insert("bOX-oNE", "second", v), StoreError::Exists);
    ASSERT_EQ(store->Commit(), StoreError::None);
    Reopen();
    EXPECT_EQ(store->Insert("BOX-ONE", "third", v), StoreError::Exists);
    std::string bytes;
    ASSERT_EQ(store->Read("box-one", bytes, v), StoreError::None);
    EXPECT_EQ(bytes, "first");
    EXPECT_EQ(Order(), V{"Box-One"});  // the first spelling stays
    // Only ASCII letters fold: these are two identifiers, whatever a locale says.
    Insert("\xc3\x89mile");  // É
    Insert("\xc3\xa9mile");  // é
    ASSERT_EQ(store->Commit(), StoreError::None);
    EXPECT_EQ(Order(), (V{"Box-One", "\xc3\x89mile", "\xc3\xa9mile"}));
}

TEST_P(RecordStoreContract, ReplaceAndDeleteWithAStaleVersionAreConflicts) {
    const int64_t v1 = Insert("A", "one");
    ASSERT_EQ(store->Commit(), StoreError::None);
    int64_t v2 = 0;
    ASSERT_EQ(store->Replace("A", v1, "two", v2), StoreError::None);
    EXPECT_NE(v2, v1);
    int64_t v3 = 0;
    EXPECT_EQ(store->Replace("A", v1, "stale", v3), StoreError::Conflict);
    EXPECT_EQ(store->Delete("A", v1), StoreError::Conflict);
    EXPECT_EQ(store->Replace("NOBODY", v1, "x", v3), StoreError::NotFound);
    ASSERT_EQ(store->Commit(), StoreError::None);
    std::string bytes;
    int64_t read = 0;
    ASSERT_EQ(store->Read("A", bytes, read), StoreError::None);
    EXPECT_EQ(bytes, "two");
    EXPECT_EQ(read, v2);
    EXPECT_EQ(store->Delete("A", read), StoreError::None);
    ASSERT_EQ(store->Commit(), StoreError::None);
    EXPECT_EQ(store->Read("A", bytes, read), StoreError::NotFound);
    EXPECT_EQ(store->Delete("A", read), StoreError::NotFound);
    // A new record of the name is a new record, whatever version the old one had.
    const int64_t again = Insert("a", "three");
    EXPECT_NE(again, v2);
    EXPECT_EQ(store->Replace("A", v2, "four", read), StoreError::Conflict);
}

TEST_P(RecordStoreContract, PrefixReadTakesWildcardCharactersLiterally) {
    for (const char* s : {"BOX%1", "BOX_2", "BOXA3", "box%4", "OTHER%", "BO"}) Insert(s, s);
    ASSERT_EQ(store->Commit(), StoreError::None);
    std::vector<RecordBytes> found;
    ASSERT_EQ(store->ReadPrefix("BOX%", found), StoreError::None);
    EXPECT_EQ(Names(found), (V{"BOX%1", "box%4"}));
    ASSERT_EQ(store->ReadPrefix("BOX_", found), StoreError::None);
    EXPECT_EQ(Names(found), V{"BOX_2"});
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].bytes, "BOX_2");
    ASSERT_EQ(store->ReadPrefix("%", found), StoreError::None);
    EXPECT_TRUE(found.empty());
    ASSERT_EQ(store->ReadSeveral({"BO", "NOBODY", "boxa3"}, found), StoreError::None);
    EXPECT_EQ(Names(found), (V{"BO", "BOXA3"}));
}

TEST_P(RecordStoreContract, ABatchIsCommittedWholeOrRolledBackWhole) {
    Insert("KEEP", "kept");
    ASSERT_EQ(store->Commit(), StoreError::None);
    int64_t v = 0, keep = 0;
    std::string bytes;
    ASSERT_EQ(store->Read("KEEP", bytes, keep), StoreError::None);
    Insert("GONE");
    ASSERT_EQ(store->Replace("KEEP", keep, "changed", v), StoreError::None);
    ASSERT_EQ(store->Place("GONE", 0), StoreError::None);
    EXPECT_EQ(Order(), (V{"GONE", "KEEP"}));  // the batch reads its own changes
    ASSERT_EQ(store->Delete("KEEP", v), StoreError::None);
    EXPECT_EQ(Order(), V{"GONE"});
    store->Rollback();
    EXPECT_EQ(Order(), V{"KEEP"});
    ASSERT_EQ(store->Read("KEEP", bytes, v), StoreError::None);
    EXPECT_EQ(bytes, "kept");
    EXPECT_EQ(v, keep);
    EXPECT_EQ(store->Read("GONE", bytes, v), StoreError::NotFound);
    // Nothing of a rolled-back batch comes back with the next commit either.
    Insert("NEXT");
    ASSERT_EQ(store->Commit(), StoreError::None);
    Reopen();
    EXPECT_EQ(Order(), (V{"KEEP", "NEXT"}));
}

TEST_P(RecordStoreContract, ReopeningSeesWhatWasCommittedAndNothingElse) {
    Insert("A", "a");
    Insert("B", "b");
    ASSERT_EQ(store->Commit(), StoreError::None);
    int64_t v = 0;
    std::string bytes;
    ASSERT_EQ(store->Read("A", bytes, v), StoreError::None);
    ASSERT_EQ(store->Delete("A", v), StoreError::None);
    Insert("C", "c");
    Reopen();  // the batch was never committed
    EXPECT_EQ(Order(), (V{"A", "B"}));
    ASSERT_EQ(store->Read("A", bytes, v), StoreError::None);
    EXPECT_EQ(bytes, "a");
    EXPECT_EQ(store->Read("C", bytes, v), StoreError::NotFound);
}

TEST_P(RecordStoreContract, APlaceThatIsNotOursIsNotOurs) {
    store.reset();
    std::shared_ptr<void> keepOther;
    const std::string other = GetParam().newPlace(dir, "other", keepOther);
    EXPECT_EQ(GetParam().openForeign(other), StoreError::NotOurs);
}

namespace {

struct QuietHost : IDatabaseHost {
    void SetModifiedFlag(bool) override {}
    bool SaveModified() override { return false; }
    bool PropertiesStep() override { return false; }
    bool RecordPropertiesUI(CRecordEntry*) override { return false; }
    void LogLine(const std::string& text) override { log.push_back(text); }
    void SetStatusText(const std::string&) override {}
    void ListRecord(CRecordEntry*, int) override {}
    void ListingRequest(int) override {}
    uint32_t Now() override { return 1700000000u; }
    std::vector<std::string> log;
};

CRecordEntry* Sample(CResultsDatabase& db, const std::string& sysid, int salt) {
    CRecordEntry* rec = db.NewRecord("");
    FillSample(*rec, sysid, salt);
    rec->SetChanged();
    return rec;
}

}  // namespace

// The database on a store handed to it: what it stores, replaces and deletes is what the
// store lists and reads afterwards, in the database's order.
TEST_P(RecordStoreContract, TheDatabaseKeepsItsRecordsInTheStoreItStandsOn) {
    QuietHost host;
    {
        CResultsDatabase db(host);
        ASSERT_TRUE(db.UseStore(std::move(store)));
        ASSERT_NE(db.AddImportedRecord(Sample(db, "A", 1), "A"), -1);
        const int b = db.AddImportedRecord(Sample(db, "B", 2), "B");
        ASSERT_NE(db.AddCurrentSystemRecord("", "MIRROR"), nullptr);
        FillSample(*db.LoadedRecord("MIRROR"), "MIRROR", 3);
        db.LoadedRecord("MIRROR")->SetChanged();
        ASSERT_NE(db.AddSavedRecord(Sample(db, "SNAP", 4), "SNAP"), -1);
        db.IdleStepsToEnd();
        EXPECT_EQ(db.UnstoredCount(), 0);
        EXPECT_TRUE(db.DeleteRecord(b));
        CRecordEntry* a = db.GetRecord("a");
        ASSERT_NE(a, nullptr);
        a->SetAttr("Speed", "999", 5, 1 | 4);
        a->SetChanged();
        db.IdleStepsToEnd();
        EXPECT_TRUE(host.log.empty()) << host.log.front();
    }
    Reopen();
    CResultsDatabase again(host);
    ASSERT_TRUE(again.UseStore(std::move(store)));
    if (GetParam().orderIsStored) {
        EXPECT_EQ(again.Directory(), (V{"MIRROR", "SNAP", "A"}));
    } else {
        V listed = again.Directory();
        std::sort(listed.begin(), listed.end());
        EXPECT_EQ(listed, (V{"A", "MIRROR", "SNAP"}));
    }
    CRecordEntry expected, read;
    FillSample(expected, "SNAP", 4);
    ASSERT_TRUE(again.LoadRecord(read, "snap"));
    ExpectSameRecord(expected, read);
    ASSERT_TRUE(again.LoadRecord(read, "A"));
    EXPECT_EQ(read.GetAttrValue(1), "999");
    EXPECT_FALSE(again.LoadRecord(read, "B"));
}

// Two programs on one team database: a change to a row another program changed meanwhile, or
// to a row another database user stored, overwrites nothing; the user hears of it once, the
// changed row is read again as stored, and no later save tries the refused change again.
TEST(TeamDatabase, ARowChangedMeanwhileOrStoredByAnotherUserIsSaidOnceAndNotOverwritten) {
    CTestServerDatabase server;
    ASSERT_TRUE(server.Made());
    server.Role("quillon_test_writer1", "quillon_writer");
    server.Role("quillon_test_writer2", "quillon_writer");
    auto open = [&](const std::string& user) {
        auto s = std::make_unique<CServerRecordStore>();
        EXPECT_EQ(s->Open(server.Conninfo(user)), StoreError::None)
            << s->Describe(StoreError::None);
        return s;
    };
    struct TellingHost : QuietHost {
        void ShowMessage(const std::string& text) override { told.push_back(text); }
        std::vector<std::string> told;
    } hostA, hostB;
    CResultsDatabase a(hostA), b(hostB);
    ASSERT_TRUE(a.UseStore(open("quillon_test_writer1")));
    ASSERT_NE(a.AddImportedRecord(Sample(a, "BOX", 1), "BOX"), -1);
    ASSERT_TRUE(a.Save(std::string()));
    ASSERT_TRUE(b.UseStore(open("quillon_test_writer1")));
    CRecordEntry* inB = b.GetRecord("BOX");
    ASSERT_NE(inB, nullptr);

    // A changes it first; B's change, made on the version B read, is refused and B reads
    // A's record again.
    CRecordEntry* inA = a.GetRecord("BOX");
    inA->SetAttr("Speed", "111", 5, 1 | 4);
    inA->SetChanged();
    ASSERT_TRUE(a.Save(std::string()));
    inB->SetAttr("Speed", "222", 5, 1 | 4);
    inB->SetChanged();
    EXPECT_TRUE(b.Save(std::string()));
    ASSERT_EQ(hostB.told.size(), 1u);
    EXPECT_NE(hostB.told[0].find("Error 1042"), std::string::npos) << hostB.told[0];
    EXPECT_NE(hostB.told[0].find("BOX"), std::string::npos) << hostB.told[0];
    CRecordEntry read;
    ASSERT_TRUE(b.LoadRecord(read, "BOX"));
    EXPECT_EQ(read.GetAttrValue(1), "111");
    // Read again, B's next change goes through.
    inB = b.GetRecord("BOX");
    inB->SetAttr("Speed", "333", 5, 1 | 4);
    inB->SetChanged();
    EXPECT_TRUE(b.Save(std::string()));
    EXPECT_EQ(hostB.told.size(), 1u);

    // Another user's row: said once, left as it is, and not tried again.
    CResultsDatabase c(hostA);
    ASSERT_TRUE(c.UseStore(open("quillon_test_writer2")));
    CRecordEntry* inC = c.GetRecord("BOX");
    ASSERT_NE(inC, nullptr);
    inC->SetAttr("Speed", "444", 5, 1 | 4);
    inC->SetChanged();
    EXPECT_TRUE(c.Save(std::string()));
    c.IdleStepsToEnd();
    // Changed again (the next analysis of a mirror): kept here, not said again.
    inC = c.GetRecord("BOX");
    ASSERT_NE(inC, nullptr);
    inC->SetAttr("Speed", "555", 5, 1 | 4);
    inC->SetChanged();
    EXPECT_TRUE(c.Save(std::string()));
    EXPECT_TRUE(c.KeptInMemory("box"));
    ASSERT_EQ(hostA.told.size(), 1u);
    EXPECT_NE(hostA.told[0].find("Error 1043"), std::string::npos) << hostA.told[0];
    std::string bytes;
    int64_t version = 0;
    auto reader = open(std::string());
    ASSERT_EQ(reader->Read("BOX", bytes, version), StoreError::None);
    ASSERT_TRUE(DeserializeRecord(bytes, read));
    EXPECT_EQ(read.GetAttrValue(1), "333");

    // A reader's own machine stays in memory: the save succeeds, says so once, stores nothing.
    server.Role("quillon_test_reader", "quillon_reader");
    TellingHost hostR;
    CResultsDatabase r(hostR);
    ASSERT_TRUE(r.UseStore(open("quillon_test_reader")));
    for (int salt : {1, 2}) {
        if (salt == 1) {
            ASSERT_NE(r.AddCurrentSystemRecord("", "MINE"), nullptr);
        }
        CRecordEntry* mine = r.LoadedRecord("MINE");
        ASSERT_NE(mine, nullptr);
        FillSample(*mine, "MINE", salt);
        mine->SetCurrent();  // as the document marks this machine's record
        mine->SetChanged();
        EXPECT_TRUE(r.Save(std::string())) << r.LastError();
    }
    ASSERT_EQ(hostR.told.size(), 1u) << hostR.told.back();
    EXPECT_NE(hostR.told[0].find("Warning 1044"), std::string::npos) << hostR.told[0];
    EXPECT_TRUE(r.KeptInMemory("MINE"));
    EXPECT_EQ(reader->Read("MINE", bytes, version), StoreError::NotFound);
}

// A program that hears of no changes (one on a standby) reads the list again: what another
// program stored, changed or deleted meanwhile comes in, and nothing else does; a change made
// here and not stored yet stays as it is.
TEST(TeamDatabase, AListReadAgainTakesInOnlyWhatChangedElsewhere) {
    CTestServerDatabase server;
    ASSERT_TRUE(server.Made());
    auto open = [&] {
        auto s = std::make_unique<CServerRecordStore>();
        EXPECT_EQ(s->Open(server.Conninfo()), StoreError::None) << s->Describe(StoreError::None);
        return s;
    };
    QuietHost hostA, hostB;
    CResultsDatabase a(hostA), b(hostB);
    ASSERT_TRUE(a.UseStore(open()));
    for (int i = 1; i <= 3; ++i) {
        const std::string name = "R" + std::to_string(i);
        ASSERT_NE(a.AddImportedRecord(Sample(a, name, i), name), -1);
    }
    ASSERT_TRUE(a.Save(std::string()));
    ASSERT_TRUE(b.UseStore(open()));
    CResultsDatabase::Relisted r;
    ASSERT_TRUE(b.Relist(r));
    EXPECT_TRUE(r.Empty());
    const int key1 = b.KeyForSysid("R1"), key2 = b.KeyForSysid("R2");
    ASSERT_NE(b.GetRecord("R2"), nullptr);  // loaded: read again in place
    CRecordEntry* mine = b.GetRecord("R3");
    ASSERT_NE(mine, nullptr);
    mine->SetAttr("Speed", "333", 5, 1 | 4);
    mine->SetChanged();

    for (const char* name : {"R2", "R3"}) {
        CRecordEntry* rec = a.GetRecord(name);
        ASSERT_NE(rec, nullptr);
        rec->SetAttr("Speed", "222", 5, 1 | 4);
        rec->SetChanged();
    }
    a.DeleteRecord(a.KeyForSysid("R1"));
    ASSERT_NE(a.AddImportedRecord(Sample(a, "R4", 4), "R4"), -1);
    ASSERT_TRUE(a.Save(std::string()));

    ASSERT_TRUE(b.Relist(r));
    EXPECT_EQ(r.added, std::vector<int>{b.KeyForSysid("R4")});
    EXPECT_EQ(r.changed, std::vector<int>{key2});
    EXPECT_EQ(r.removed, std::vector<int>{key1});
    EXPECT_FALSE(b.IsKnownSysid("R1"));
    CRecordEntry read;
    ASSERT_TRUE(b.LoadRecord(read, "R2"));
    EXPECT_EQ(read.GetAttrValue(1), "222");
    EXPECT_EQ(b.GetRecord("R3")->GetAttrValue(1), "333");
    ASSERT_TRUE(b.LoadRecord(read, "R4"));
    EXPECT_EQ(b.KeyPosition(b.KeyForSysid("R4")), 3);
    ASSERT_TRUE(b.Relist(r));
    EXPECT_TRUE(r.Empty());
    EXPECT_TRUE(hostB.log.empty()) << hostB.log.front();
}

INSTANTIATE_TEST_SUITE_P(Stores, RecordStoreContract,
                         ::testing::Values(FileStore(), ServerStore(), OutboxStore()),
                         [](const auto& info) { return info.param.name; });

// ---- the file store's own promises ----

TEST(FileRecordStore, WritesTheDirectoryStreamTheDatabaseReads) {
    CScratchDir dir;
    const std::string path = dir / "Quillo97.kqd";
    CFileRecordStore store;
    ASSERT_EQ(store.Open(path, true), StoreError::None);
    int64_t v = 0;
    for (const char* s : {"A", "B", "C"}) ASSERT_EQ(store.Insert(s, s, v), StoreError::None);
    ASSERT_EQ(store.Commit(), StoreError::None);
    std::string bytes;
    ASSERT_EQ(store.Read("B", bytes, v), StoreError::None);
    ASSERT_EQ(store.Delete("B", v), StoreError::None);
    ASSERT_EQ(store.Commit(), StoreError::None);
    store.Close();
    CStreamStorage file;
    ASSERT_EQ(file.OpenExisting(path), CStreamStorage::OpenResult::Ok);
    std::string data;
    std::vector<std::string> directory;
    ASSERT_TRUE(file.ReadStream(CResultsDatabase::DirectoryName(), data));
    ASSERT_TRUE(DeserializeDirectory(data, directory));
    EXPECT_EQ(directory, (std::vector<std::string>{"A", "", "C"}));  // the length stays
    EXPECT_EQ(file.StreamNames(),
              (std::vector<std::string>{"A", "C", CResultsDatabase::DirectoryName()}));
}

TEST(FileRecordStore, WritesNothingIntoAFilePutInItsPlace) {
    CScratchDir dir;
    const std::string path = dir / "Quillo97.kqd";
    CFileRecordStore store;
    ASSERT_EQ(store.Open(path, true), StoreError::None);
    {
        CFileRecordStore other;
        ASSERT_EQ(other.Open(dir / "other.kqd", true), StoreError::None);
    }
    ASSERT_EQ(std::rename((dir / "other.kqd").c_str(), path.c_str()), 0);
    EXPECT_FALSE(store.IsOwnFile(path));
    int64_t v = 0;
    EXPECT_EQ(store.Insert("A", "a", v), StoreError::Disconnected);
    EXPECT_NE(store.Describe(StoreError::Disconnected).find("replaced"), std::string::npos);
}

TEST(FileRecordStore, AMissingDirectoryIsMadeAgainFromTheRecordStreams) {
    CScratchDir dir;
    const std::string path = dir / "Quillo97.kqd";
    {
        CStreamStorage file;
        ASSERT_EQ(file.OpenOrCreate(path), CStreamStorage::OpenResult::Ok);
        ASSERT_TRUE(file.WriteStream("B", "b"));
        ASSERT_TRUE(file.WriteStream("A", "a"));
    }
    CFileRecordStore store;
    ASSERT_EQ(store.Open(path, false), StoreError::None);
    EXPECT_TRUE(store.OrderRemade());
    std::vector<StoredRecord> rows;
    ASSERT_EQ(store.List(rows), StoreError::None);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].sysid, "B");
    ASSERT_EQ(store.Commit(), StoreError::None);  // written although nothing else changed
    store.Close();
    ASSERT_EQ(store.Open(path, false), StoreError::None);
    EXPECT_FALSE(store.OrderRemade());
}
