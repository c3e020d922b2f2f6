// A child process killed (SIGKILL) right after the k-th commit of idle saving, a delete or
// a snapshot: the file it leaves must load every record its directory names, and a second
// import of the same exchange file must leave every record stored.
#include <signal.h>
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
        for (const std::string& s : Db().m_directory) {
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

void ImportAndDrain(CQuillo95Doc& d, const std::string& file) {
    d.m_db.m_stepMaxRecords = kPerStep;
    d.m_db.m_stepBudgetUs = 1000 * 1000 * 1000;
    d.ImportFile(file);
    d.FinishIdleWork();
}

TEST_F(KillSafety, AKillDuringIdleSavingOfAnImportLosesNoRecord) {
    for (int k : {1, 2, 11, 21}) {
        SCOPED_TRACE("killed after commit " + std::to_string(k));
        const int status =
            KilledAfterCommit(k, [this](CQuillo95Doc& d) { ImportAndDrain(d, Exchange()); });
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        const int named = ExpectEveryEntryLoads();
        // The last commit is the directory naming everything; before it, nothing new.
        EXPECT_EQ(named, k == 21 ? kRecords : 0);
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
            for (int i = 0; i < 5; ++i) d.m_db.DeleteRecord(d.m_db.KeyForSysid(Sysid(i * 7)));
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
    // In the child: commit 1 the refreshed mirror, 2 the mirror and the snapshot's stream,
    // 3 the directory that names the snapshot.
    for (int k : {2, 3}) {
        SCOPED_TRACE("killed after commit " + std::to_string(k));
        const int status = KilledAfterCommit(k, [](CQuillo95Doc& d) {
            FakeLister lister({"Ten.kqa"});
            d.LoadAnalyzers(lister);
            d.FinishIdleWork();
            d.SaveCurrentResults();
            d.FinishIdleWork();
        });
        ASSERT_TRUE(WIFSIGNALED(status)) << status;
        EXPECT_EQ(ExpectEveryEntryLoads(), k == 2 ? 1 : 2);
        std::vector<std::string> streams = StreamsIn(Path());
        EXPECT_EQ(streams.size(), 3u);  // directory, mirror, the snapshot's stream
    }
}

}  // namespace
