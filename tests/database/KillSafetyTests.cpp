// A child process killed (SIGKILL) right after the k-th commit of idle saving, a delete or
// a snapshot: the file it leaves must load every record its directory names, and a second
// import of the same exchange file must leave every record stored. Another process holding
// the file (a backup tool, the sqlite3 shell) at start-up or during a delete loses nothing.
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "tests/database/DbFixture.h"

namespace {

constexpr int kRecords = 2000;
constexpr int kPerStep = 100;  // records per idle transaction: 20 steps, then the directory

std::string Sysid(int i) {
    char b[16];
    std::snprintf(b, sizeof b, "IMP-%05d", i);
    return b;
}

class KillSafety : public DbTest {
protected:
    std::string Exchange() const { return dir + "/many.kqx"; }

    void SetUp() override {
        DbTest::SetUp();
        std::ofstream out(Exchange(), std::ios::binary);
        out << "{Quillon 95 Exchange File}\r\n";
        for (int i = 0; i < kRecords; ++i)
            out << "[Box]\r\nSysName=" << Sysid(i) << "\r\nSpeed=" << i << ";#0x5\r\n.[Disk]\r\n"
                << "Size=" << i * 3 << "\r\n";
        out.close();
        // A database that exists and opens.
        ASSERT_TRUE(doc->OnSaveDocument(Path()));
        doc.reset();
        Use(Reopen(Path()));
    }

    void Use(std::unique_ptr<CQuillo95Doc> d) {
        doc = std::move(d);
        view.doc = doc.get();
        doc->SetView(&view);
        doc->Subscribe(&events);
    }

    // Runs body in a child that is killed right after commit number k; returns how it ended.
    int KilledAfterCommit(int k, const std::function<void(CQuillo95Doc&)>& body) {
        doc.reset();  // the child opens the file for itself
        view.doc = nullptr;
        const pid_t pid = fork();
        if (pid == 0) {
            int commits = 0;
            CStreamStorage::s_afterCommit = [&commits, k] {
                if (++commits == k) raise(SIGKILL);
            };
            CAppState childApp = app;
            FakeFrame childFrame;
            CQuillo95Doc child(childApp, childFrame);
            FakeView childView;
            childView.doc = &child;
            child.SetView(&childView);
            if (!child.OnOpenDocument(Path())) _exit(3);
            body(child);
            _exit(0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        Use(Reopen(Path()));
        return status;
    }

    // Every name in the directory loads as a record; returns how many there are.
    int ExpectEveryEntryLoads() {
        int named = 0;
        for (const std::string& s : Db().Directory()) {
            if (s.empty()) continue;
            ++named;
            CRecordEntry r;
            EXPECT_TRUE(Db().LoadRecord(r, s)) << s << " is named but does not load";
        }
        return named;
    }

    void ExpectAllImportedAfterASecondImport() {
        doc->ImportFile(Exchange());
        ASSERT_TRUE(doc->SaveModified());
        Use(Reopen(Path()));
        for (int i = 0; i < kRecords; ++i) {
            CRecordEntry r;
            ASSERT_TRUE(Db().LoadRecord(r, Sysid(i))) << Sysid(i);
            ASSERT_EQ(r.GetAttrValue("Speed"), std::to_string(i));
        }
    }
};

// Another process with its own connection that runs sql on the file and holds it until
// Release; the transaction it began stays open all that time.
class LockHolder {
public:
    LockHolder(const std::string& path, const char* sql) {
        int ready[2], go[2];
        if (pipe(ready) != 0 || pipe(go) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            close(ready[0]);
            close(go[1]);
            sqlite3* db = nullptr;
            char ok = sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
                              sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK
                          ? 'y'
                          : 'n';
            if (write(ready[1], &ok, 1) != 1) _exit(2);
            char c;
            if (read(go[0], &c, 1) < 0) _exit(2);
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(db);
            _exit(0);
        }
        close(ready[1]);
        close(go[0]);
        m_go = go[1];
        char ok = 'n';
        m_holding = read(ready[0], &ok, 1) == 1 && ok == 'y';
        close(ready[0]);
    }
    ~LockHolder() { Release(); }
    bool Holding() const { return m_holding; }
    void Release() {
        if (m_pid <= 0) return;
        char c = 'x';
        if (write(m_go, &c, 1) != 1) kill(m_pid, SIGKILL);
        close(m_go);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    int m_go = -1;
    bool m_holding = false;
};

void ImportAndDrain(CQuillo95Doc& d, const std::string& file) {
    d.Database().SetStepBudget(1000 * 1000 * 1000, kPerStep);
    d.ImportFile(file);
    d.FinishIdleWork();
}

TEST_F(KillSafety, AKillDuringIdleSavingOfAnImportLosesNoRecord) {
    for (int k : {1, 2, 11, kRecords / kPerStep, kRecords / kPerStep + 1}) {
        SCOPED_TRACE("killed after commit " + std::to_string(k));
        const int status =
            KilledAfterCommit(k, [this](CQuillo95Doc& d) { ImportAndDrain(d, Exchange()); });
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        const int named = ExpectEveryEntryLoads();
        // Each commit is one step's records; the last one the directory naming them all.
        // A reopen finds what was committed before the directory named it.
        EXPECT_EQ(named, std::min(k * kPerStep, kRecords));
        ExpectAllImportedAfterASecondImport();
        // Start again from an empty database for the next point.
        doc.reset();
        std::filesystem::remove(Path());
        Use(std::make_unique<CQuillo95Doc>(app, frame));
        ASSERT_TRUE(doc->OnSaveDocument(Path()));
    }
}

TEST_F(KillSafety, AKillDuringDeletesLeavesEveryNamedRecordLoadable) {
    ImportAndDrain(*doc, Exchange());
    ASSERT_FALSE(doc->IsModified());
    for (int k : {1, 2, 5}) {
        SCOPED_TRACE("killed after commit " + std::to_string(k));
        const int status = KilledAfterCommit(k, [](CQuillo95Doc& d) {
            for (int i = 0; i < 5; ++i) d.Database().DeleteRecord(d.KeyForSysid(Sysid(i * 7)));
            d.FinishIdleWork();
        });
        ASSERT_TRUE(WIFSIGNALED(status)) << status;
        const int named = ExpectEveryEntryLoads();
        // Each delete is one commit: exactly k of them happened, wholly.
        EXPECT_EQ(named, kRecords - k);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(Db().IsKnownSysid(Sysid(i * 7)), i >= k) << i;
        std::vector<std::string> streams = StreamsIn(Path());
        EXPECT_EQ(static_cast<int>(streams.size()), named + 1);  // and the directory
        ExpectAllImportedAfterASecondImport();
    }
}

TEST_F(KillSafety, AKillWhileASnapshotIsSavedLeavesEveryNamedRecordLoadable) {
    Load({"Ten"});
    ASSERT_TRUE(doc->SaveModified());
    // In the child: commit 1 the refreshed mirror, 2 the mirror and the snapshot, named at
    // the end, 3 the directory with the snapshot second. Each child adds one snapshot.
    int snapshots = 0;
    for (int k : {2, 3}) {
        SCOPED_TRACE("killed after commit " + std::to_string(k));
        const int status = KilledAfterCommit(k, [](CQuillo95Doc& d) {
            // Batches as counted above, however slow the machine (a step's time would split them).
            d.Database().SetStepBudget(1000 * 1000 * 1000, 1000);
            FakeLister lister({"Ten.kqa"});
            d.LoadAnalyzers(lister);
            d.FinishIdleWork();
            d.SaveCurrentResults();
            d.FinishIdleWork();
        });
        ASSERT_TRUE(WIFSIGNALED(status)) << status;
        ++snapshots;
        EXPECT_EQ(ExpectEveryEntryLoads(), 1 + snapshots);
        std::vector<std::string> streams = StreamsIn(Path());
        EXPECT_EQ(static_cast<int>(streams.size()), 2 + snapshots);  // and directory, mirror
    }
}

TEST_F(KillSafety, AFileHeldByAnotherProgramAtStartUpKeepsEveryStoredSystem) {
    ImportAndDrain(*doc, Exchange());
    doc.reset();
    view.doc = nullptr;
    {
        LockHolder other(Path(), "BEGIN EXCLUSIVE");
        ASSERT_TRUE(other.Holding());
        Use(std::make_unique<CQuillo95Doc>(app, frame));
        Db().SetBusyTimeout(50);
        EXPECT_FALSE(doc->OnOpenDocument(Path()));
        EXPECT_TRUE(frame.LogContains("Warning 1021: The database " + Path()));
        doc->OnNewDocument();
        Load({"Ten"});
        std::ofstream(dir + "/new.kqx", std::ios::binary)
            << "{Quillon 95 Exchange File}\r\n[Box]\r\nSysName=NEW-ONE\r\n"
            << "[Box]\r\nSysName=" << Sysid(7) << "\r\nSpeed=bogus\r\n";
        doc->ImportFile(dir + "/new.kqx");
        doc->FinishIdleWork();  // tries the file, writes nothing
        EXPECT_TRUE(doc->DatabaseUnread());
    }
    // Released: the save reads the file first and this run's records join it.
    ASSERT_TRUE(doc->SaveModified());
    EXPECT_TRUE(KeptAside().empty());
    const std::string mine = doc->CurrentSysid();
    Use(Reopen(Path()));
    EXPECT_EQ(ExpectEveryEntryLoads(), kRecords + 2);
    for (const std::string& s : {mine, std::string("NEW-ONE")}) EXPECT_TRUE(Db().IsKnownSysid(s));
    CRecordEntry r;
    ASSERT_TRUE(Db().LoadRecord(r, Sysid(7)));
    EXPECT_EQ(r.GetAttrValue("Speed"), "7");  // the stored record, not the second one
}

TEST_F(KillSafety, ADeleteThatCannotCommitIsUndoneAndALaterImportKeepsTheRecord) {
    ImportAndDrain(*doc, Exchange());
    const std::string victim = Sysid(3);
    const int key = Db().KeyForSysid(victim);
    const size_t pos = static_cast<size_t>(Db().KeyPosition(key));
    Db().SetBusyTimeout(50);
    {
        // A reader in the middle of a read: the delete's commit finds the file busy.
        LockHolder reader(Path(), "BEGIN; SELECT count(*) FROM streams");
        ASSERT_TRUE(reader.Holding());
        events.changes.clear();
        EXPECT_FALSE(doc->DeleteRecord(key));
    }
    EXPECT_TRUE(frame.LogContains("Error 1022: Record " + victim));
    EXPECT_EQ(Db().Directory()[pos], victim);
    EXPECT_EQ(Db().KeyForSysid(victim), key);
    // Its row comes back.
    EXPECT_EQ(events.changes, (std::vector<EventRecorder::Change>{{DocEvent::RecordKept, key}}));
    CRecordEntry r;
    EXPECT_TRUE(Db().LoadRecord(r, victim));
    EXPECT_FALSE(doc->IsModified());  // nothing waits to be written
    // The same system imported again is a duplicate; no later step destroys it.
    doc->ImportFile(Exchange());
    doc->FinishIdleWork();
    Use(Reopen(Path()));
    EXPECT_EQ(ExpectEveryEntryLoads(), kRecords);
    ASSERT_TRUE(Db().LoadRecord(r, victim));

    // A delete that waits for a save (the save failed) and an import of the same identifier:
    // the new record is stored, its stream is not destroyed.
    CStreamStorage::s_faultHook = [](const std::string& op, const std::string&) {
        return op == "commit";
    };
    Import("FRESH");
    doc->FinishIdleWork();  // fails: idle saving waits for the next full save
    CStreamStorage::s_faultHook = nullptr;
    EXPECT_FALSE(doc->DeleteRecord(Db().KeyForSysid(victim)));  // pending
    std::ofstream(dir + "/again.kqx", std::ios::binary)
        << "{Quillon 95 Exchange File}\r\n[Box]\r\nSysName=" << victim << "\r\nSpeed=second\r\n";
    doc->ImportFile(dir + "/again.kqx");
    ASSERT_TRUE(doc->SaveModified());
    doc->FinishIdleWork();
    Use(Reopen(Path()));
    EXPECT_EQ(ExpectEveryEntryLoads(), kRecords + 1);
    ASSERT_TRUE(Db().LoadRecord(r, victim));
    EXPECT_EQ(r.GetAttrValue("Speed"), "second");
}

}  // namespace
