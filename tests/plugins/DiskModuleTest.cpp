// Disk.kqa loaded by the program's own host code (CAnalyzer), as the program loads it.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <cstdio>
#include <sstream>

#include "DiskTexts.h"
#include "DiskVideoView.h"
#include "MeasuredFigures.h"

namespace {

class DiskModule : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/kqa-disk-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        ASSERT_TRUE(module.Load(std::string(KQA_MODULE_DIR) + "/Disk.kqa", &view));
        branch = tree.Add(module.GetName());
        branch->m_kqaid = module.GetID();
    }
    void TearDown() override { rmdir(dir.c_str()); }

    // Names left in the test directory.
    std::vector<std::string> Leftovers() const {
        std::vector<std::string> names;
        if (DIR* d = opendir(dir.c_str())) {
            while (dirent* e = readdir(d))
                if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                    names.push_back(e->d_name);
            closedir(d);
        }
        return names;
    }

    std::string dir;
    FakeView view{ViewWithoutDocument()};
    CAnalyzer module;
    CKQTree tree;
    CKQTreeEntry* branch = nullptr;
};

TEST_F(DiskModule, LoadsWithItsEntryPointsAndIdentity) {
    EXPECT_EQ(module.m_info.m_id, 40);
    EXPECT_EQ(module.m_info.m_name, "Disk");
    EXPECT_EQ(module.m_info.m_version, 103);
    EXPECT_EQ(module.m_info.m_bitmap, 4000);
    EXPECT_EQ(module.m_info.m_flags[0] & KQA_FLAG_PROPERTIES, 0);
    for (KQAEntry e : {KQA_GETSYSTEMINFO, KQA_RUNTESTS, KQA_RUNATEST, KQA_GENTIPS, KQA_GETTIPTEXT,
                       KQA_GETTIPDESC, KQA_GETATTRDESC})
        EXPECT_TRUE(module.HasEntryPoint(e)) << e;
    EXPECT_FALSE(module.HasEntryPoint(KQA_DOPROPERTIESUI));
}

TEST_F(DiskModule, FillsTheBranchOfTwoFixtureMachines) {
    {
        CScopedEnv root("QUILLON_SYSROOT", std::string(KQA_FIXTURES) + "/disk-desktop");
        EXPECT_TRUE(module.GetSystemInfo(branch));
        EXPECT_EQ(Value(branch, {"Block Devices", "nvme0n1"}, "Model"),
                  "Samsung SSD 980 PRO 500GB");
        EXPECT_EQ(Value(branch, {"File Systems", "/"}, "Used"), "98 %");
    }
    {
        CScopedEnv root("QUILLON_SYSROOT", std::string(KQA_FIXTURES) + "/disk-server");
        EXPECT_TRUE(module.GetSystemInfo(branch));  // filled again: nothing of the desktop stays
        EXPECT_EQ(FindPath(branch, {"Block Devices", "sda"}), nullptr);
        EXPECT_EQ(Value(branch, {"Block Devices", "vda"}, "Transport"), "Virtio");
        EXPECT_EQ(Value(branch, {"File Systems", "/"}, "Type"), "btrfs");
    }
    EXPECT_FALSE(view.logs.empty());
}

TEST_F(DiskModule, RunsTestsGivesTipsAndTextsForEverything) {
    CScopedEnv root("QUILLON_SYSROOT", std::string(KQA_FIXTURES) + "/disk-desktop");
    CScopedEnv scale("QUILLON_BENCH_SCALE", "0.02");
    CScopedEnv testDir("QUILLON_DISK_TESTDIR", dir);
    module.GetSystemInfo(branch);
    int cancel = 0;
    EXPECT_TRUE(module.RunTests(cancel));
    EXPECT_EQ(cancel, 0);
    CKQTreeEntry* t = FindPath(branch, {"Disk Tests"});
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->GetAttrValue("Test Result"), "complete");
    for (const char* id : {"Sequential Write", "Sequential Read", "Random 4 KiB Read"}) {
        int i = t->FindAttr(id);
        ASSERT_GE(i, 0) << id;
        EXPECT_EQ(t->GetAttr(i)->m_data & 5u, 5u) << id;  // numeric and a highlight
        EXPECT_GT(std::atof(t->GetAttr(i)->m_value.c_str()), 0) << id;
    }
    // Disk figures repeat too poorly for history: their spreads are kept, their bits not set.
    EXPECT_TRUE(MeasuredFigures(t).empty());
    EXPECT_GE(t->FindAttr("Sequential Read Spread"), 0);
    EXPECT_GE(t->FindAttr("Random 4 KiB Read Spread"), 0);
    EXPECT_NE(t->GetAttrValue("Sequential Write").find(" MB/s"), std::string::npos);
    EXPECT_NE(t->GetAttrValue("Random 4 KiB Read").find(" IOPS"), std::string::npos);
    EXPECT_EQ(t->GetAttrValue("Test Directory"), dir);
    EXPECT_NE(FindPath(branch, {"Disk Test Conditions"}), nullptr);
    EXPECT_EQ(Value(branch, {"Disk Test Conditions"}, "Module Version"), "1.3");
    EXPECT_TRUE(Leftovers().empty());

    // Cancel granularity: a progress message per unit of work, that is per 4 MiB segment
    // written or read and per batch of 32 random reads, as the module's log counts them.
    const double fileMiB = std::atof(t->GetAttrValue("Test File Size").c_str());
    ASSERT_GT(fileMiB, 0);
    bool found = false;
    for (const auto& line : view.logs) {
        const size_t at = line.find(" segments written, ");
        if (at == std::string::npos) continue;
        const size_t start = line.rfind("; ", at);
        int written = 0, read = 0, batches = 0;
        ASSERT_NE(start, std::string::npos);
        ASSERT_EQ(
            std::sscanf(line.c_str() + start + 2, "%d segments written, %d read, %d random batches",
                        &written, &read, &batches),
            3)
            << line;
        found = true;
        EXPECT_GE(written, static_cast<int>(fileMiB / 4));
        EXPECT_GE(read, static_cast<int>(fileMiB / 4));
        EXPECT_GT(batches, 0);
        EXPECT_GE(view.progressCount, written + read + batches);
    }
    EXPECT_TRUE(found);
    for (int p : view.positions) {
        EXPECT_GE(p, 0);
        EXPECT_LE(p, 100);
    }

    EXPECT_TRUE(module.GenTips());
    EXPECT_GT(CountTip(branch, disk::TIP_FS_FULL), 0);
    // Every attribute and tip the module made has its text, through the host's copies.
    ForEachEntry(branch, [&](CKQTreeEntry* e) {
        for (const CAttr& a : e->m_attrs) {
            CAttr copy = a;
            CString text;
            module.GetAttrDesc(&copy, text);
            EXPECT_FALSE(text.empty()) << a.m_id;
            copy.m_type = 0;  // records keep no type word
            text.clear();
            module.GetAttrDesc(&copy, text);
            EXPECT_FALSE(text.empty()) << a.m_id;
        }
        for (const CTip& tip : e->m_tips) {
            CTip fromIDs(0, tip.m_textID, tip.m_descID);  // as a report item rebuilds it
            CString text, desc;
            module.GetTipText(&fromIDs, text);
            module.GetTipDesc(&fromIDs, desc);
            EXPECT_FALSE(text.empty()) << tip.m_textID;
            EXPECT_GT(desc.size(), text.size()) << tip.m_textID;
            EXPECT_EQ(desc.find("%1"), std::string::npos) << tip.m_textID;
            EXPECT_GE(tip.m_priority, 1);
            EXPECT_LE(tip.m_priority, 100);
        }
    });
    CTip full(0, disk::TIP_FS_FULL, kqa::TipDescID(disk::TIP_FS_FULL, 98));
    CString desc;
    module.GetTipDesc(&full, desc);
    EXPECT_NE(desc.find("98 % full"), std::string::npos) << desc;
    CTip unknown(0, 4199, 419900000);
    CString none;
    module.GetTipText(&unknown, none);
    EXPECT_TRUE(none.empty());
}

TEST_F(DiskModule, CancelInTheMiddleStopsAtOnceAndCleansUp) {
    CScopedEnv scale("QUILLON_BENCH_SCALE", "0.02");
    CScopedEnv testDir("QUILLON_DISK_TESTDIR", dir);
    module.GetSystemInfo(branch);
    int cancel = 0;
    view.cancel = &cancel;
    view.cancelAt = 4;  // during the write pass
    module.RunTests(cancel);
    EXPECT_EQ(cancel, 1);
    EXPECT_EQ(view.progressCount, 4);
    EXPECT_EQ(view.afterCancel, 0);
    CKQTreeEntry* t = FindPath(branch, {"Disk Tests"});
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->GetAttrValue("Test Result"), "cancelled");
    EXPECT_LT(t->FindAttr("Sequential Read"), 0);
    EXPECT_LT(t->FindAttr("Random 4 KiB Read"), 0);
    EXPECT_TRUE(Leftovers().empty());

    // The next run, not cancelled, starts from scratch.
    view.cancel = nullptr;
    cancel = 0;
    CKQTreeEntry* testsEntry = FindPath(branch, {"Disk Tests"});
    EXPECT_TRUE(module.RunATest(testsEntry, cancel));
    EXPECT_EQ(t->GetAttrValue("Test Result"), "complete");
    EXPECT_GE(t->FindAttr("Random 4 KiB Read"), 0);
    // Run This Test on an entry that is no test does nothing.
    const int before = view.progressCount;
    EXPECT_FALSE(module.RunATest(FindPath(branch, {"Block Devices"}), cancel));
    EXPECT_EQ(view.progressCount, before);
}

TEST_F(DiskModule, CancelDuringRandomReads) {
    CScopedEnv scale("QUILLON_BENCH_SCALE", "0.02");
    CScopedEnv testDir("QUILLON_DISK_TESTDIR", dir);
    module.GetSystemInfo(branch);
    int cancel = 0;
    view.cancel = &cancel;
    view.cancelAtPosition = 91;  // random reads take the positions from 91
    module.RunTests(cancel);
    EXPECT_EQ(cancel, 1);
    EXPECT_EQ(view.afterCancel, 0);
    EXPECT_EQ(Value(branch, {"Disk Tests"}, "Test Result"), "cancelled");
    EXPECT_GE(FindPath(branch, {"Disk Tests"})->FindAttr("Sequential Read"), 0);
    EXPECT_LT(FindPath(branch, {"Disk Tests"})->FindAttr("Random 4 KiB Read"), 0);
    EXPECT_TRUE(Leftovers().empty());
}

TEST_F(DiskModule, ALinkPlantedUnderTheTestFilesNameIsNeverFollowed) {
    CScopedEnv scale("QUILLON_BENCH_SCALE", "0.02");
    CScopedEnv testDir("QUILLON_DISK_TESTDIR", dir);
    const std::string victim = dir + ".victim";
    const std::string name = dir + "/.Quillon-disktest." + std::to_string(getpid()) + ".tmp";
    std::ofstream(victim) << "precious\n";
    ASSERT_EQ(symlink(victim.c_str(), name.c_str()), 0);
    module.GetSystemInfo(branch);
    int cancel = 0;
    EXPECT_FALSE(module.RunTests(cancel));
    EXPECT_NE(Value(branch, {"Disk Tests"}, "Test Result").find("not run: "), std::string::npos);
    std::ifstream in(victim);
    std::stringstream kept;
    kept << in.rdbuf();
    EXPECT_EQ(kept.str(), "precious\n");
    // A dangling link does not create its target either.
    unlink(victim.c_str());
    EXPECT_FALSE(module.RunTests(cancel));
    EXPECT_NE(access(victim.c_str(), F_OK), 0);
    struct stat st {};
    EXPECT_EQ(lstat(name.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    unlink(name.c_str());
}

TEST_F(DiskModule, UnwritableDirectoryIsReported) {
    CScopedEnv testDir("QUILLON_DISK_TESTDIR", dir + "/missing/dir");
    module.GetSystemInfo(branch);
    int cancel = 0;
    EXPECT_FALSE(module.RunTests(cancel));
    EXPECT_NE(Value(branch, {"Disk Tests"}, "Test Result").find("not run: "), std::string::npos);
    EXPECT_EQ(view.progressCount, 0);
}

}  // namespace
