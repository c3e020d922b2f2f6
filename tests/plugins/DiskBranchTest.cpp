// The Disk module's branch and tips, filled from fixture machines through QUILLON_SYSROOT.
#include <gtest/gtest.h>

#include "DiskBranch.h"
#include "DiskTexts.h"
#include "DiskVideoView.h"

namespace {

struct DiskFixture {
    explicit DiskFixture(const char* machine)
        : root(std::string(KQA_FIXTURES) + "/" + machine), env("QUILLON_SYSROOT", root) {
        branch = tree.Add("Disk");
        branch->m_kqaid = disk::kID;
        CDiskInventory inv;
        inv.Read();
        FillDiskBranch(branch, inv, "/work/some/program/dir");
    }
    std::string root;
    CScopedEnv env;
    CKQTree tree;
    CKQTreeEntry* branch = nullptr;
};

TEST(DiskParsing, SchedulerOptionsAndPlan) {
    std::string all;
    EXPECT_EQ(ActiveScheduler("none [mq-deadline] kyber bfq", &all), "mq-deadline");
    EXPECT_EQ(all, "none mq-deadline kyber bfq");
    EXPECT_EQ(ActiveScheduler("[none]"), "none");
    EXPECT_EQ(ActiveScheduler("none"), "none");  // only one offered, no brackets
    EXPECT_EQ(ActiveScheduler("none kyber"), "");
    EXPECT_TRUE(HasOption("rw,relatime,discard", "discard"));
    EXPECT_FALSE(HasOption("rw,nodiscard", "discard"));
    EXPECT_FALSE(HasOption("rw,discard=async", "discard"));

    const long long seg = 4 << 20;
    DiskBenchPlan p = PlanTestFile(1024LL << 20, 80LL << 30, seg);
    EXPECT_EQ(p.fileBytes, 1024LL << 20);
    EXPECT_FALSE(p.shrunk);
    p = PlanTestFile(1024LL << 20, 100LL << 20, seg);  // half of the free space, whole segments
    EXPECT_EQ(p.fileBytes, 48LL << 20);
    EXPECT_TRUE(p.shrunk);
    p = PlanTestFile(1024LL << 20, 6LL << 20, seg);  // not even one segment
    EXPECT_EQ(p.fileBytes, 0);
    p = PlanTestFile(1024LL << 20, -1, seg);  // free space unknown
    EXPECT_EQ(p.fileBytes, 1024LL << 20);
}

TEST(DiskBranch, DesktopContent) {
    DiskFixture f("disk-desktop");
    CKQTreeEntry* b = f.branch;
    // Loop devices and an empty optical drive are left out.
    EXPECT_EQ(Value(b, {"Disk Summary"}, "Block Device Count"), "3");
    EXPECT_EQ(FindPath(b, {"Block Devices", "loop0"}), nullptr);
    EXPECT_EQ(FindPath(b, {"Block Devices", "sr0"}), nullptr);
    EXPECT_EQ(Value(b, {"Block Devices", "sda"}, "Model"),
              "Samsung SSD 870 EVO 1TB");  // "ATA" dropped
    EXPECT_EQ(Value(b, {"Block Devices", "sda"}, "Transport"), "SATA/SCSI");
    EXPECT_EQ(Value(b, {"Block Devices", "sda"}, "Capacity"), "931.5 GiB");
    EXPECT_EQ(Value(b, {"Block Devices", "sda"}, "Media"), "solid state");
    EXPECT_EQ(Value(b, {"Block Devices", "sda"}, "Scheduler"), "mq-deadline");
    EXPECT_EQ(Value(b, {"Block Devices", "sda"}, "Queue Depth"), "64 requests");
    EXPECT_EQ(Value(b, {"Block Devices", "sda"}, "TRIM"), "none");
    EXPECT_EQ(Value(b, {"Block Devices", "sdb"}, "Media"), "rotational");
    EXPECT_EQ(Value(b, {"Block Devices", "sdb"}, "Read-Ahead"), "64 KiB");
    EXPECT_EQ(Value(b, {"Block Devices", "nvme0n1"}, "Transport"), "NVMe");
    EXPECT_EQ(Value(b, {"Block Devices", "nvme0n1"}, "Partitions"), "2");
    CKQTreeEntry* sda = FindPath(b, {"Block Devices", "sda"});
    ASSERT_NE(sda, nullptr);
    EXPECT_EQ(sda->GetAttr(sda->FindAttr("Capacity"))->m_data & 1u, 1u);
    EXPECT_EQ(sda->GetAttr(sda->FindAttr("Model"))->m_data & 1u, 0u);

    // File systems: pseudo, tmpfs and image mounts are left out; the NFS share stays.
    EXPECT_EQ(Value(b, {"Disk Summary"}, "File System Count"), "5");
    EXPECT_EQ(FindPath(b, {"File Systems", "/run"}), nullptr);
    EXPECT_EQ(FindPath(b, {"File Systems", "/snap/core/123"}), nullptr);
    EXPECT_EQ(Value(b, {"File Systems", "/"}, "Type"), "ext4");
    EXPECT_EQ(Value(b, {"File Systems", "/"}, "On Disk"), "nvme0n1");
    EXPECT_EQ(Value(b, {"File Systems", "/"}, "Size"), "457.8 GiB");
    EXPECT_EQ(Value(b, {"File Systems", "/"}, "Available"), "11.4 GiB");
    EXPECT_EQ(Value(b, {"File Systems", "/"}, "Used"),
              "98 %");  // as df: used / (used + available), up
    EXPECT_EQ(Value(b, {"File Systems", "/"}, "Mount Options"), "rw,relatime,errors=remount-ro");
    EXPECT_EQ(Value(b, {"File Systems", "/home"}, "On Disk"), "sda");
    EXPECT_EQ(Value(b, {"File Systems", "/mnt/nas"}, "Type"), "nfs4");
    // A mount under a home directory is shown from "~", and its key keeps "~" out of item paths.
    EXPECT_EQ(Value(b, {"File Systems", "home/Media Library"}, "Mount Point"), "~/Media Library");
    EXPECT_EQ(Value(b, {"File Systems", "home/Media Library"}, "On Disk"), "sdb");
    // The program's file system is the longest mount point above its directory.
    EXPECT_EQ(Value(b, {"Disk Summary"}, "Program File System"), "/");
    EXPECT_EQ(Value(b, {"Disk Summary"}, "Program File System Available"), "11.4 GiB");
    // Charts carry their units; reports exist.
    bool chart = false;
    for (int i = 0; i < b->GetRepDefCount(); ++i)
        if (b->GetRepDefPtr(i)->GetName() == "Disk Throughput") {
            chart = true;
            EXPECT_EQ(b->GetRepDefPtr(i)->GetType(), RDTYPE_CHART);
            EXPECT_EQ(b->GetRepDefPtr(i)->GetAttrValue("Units"), "MB/s");
            EXPECT_EQ(b->GetRepDefPtr(i)->m_items.at(0).m_text, "Disk Tests~Sequential Write");
            EXPECT_EQ(b->GetRepDefPtr(i)->m_items.at(0).m_kqaid, disk::kID);
        }
    EXPECT_TRUE(chart);
}

TEST(DiskBranch, ServerContent) {
    DiskFixture f("disk-server");
    CKQTreeEntry* b = f.branch;
    EXPECT_EQ(Value(b, {"Block Devices", "vda"}, "Model"), "Virtio block device");
    EXPECT_EQ(Value(b, {"Block Devices", "vda"}, "Transport"), "Virtio");
    EXPECT_EQ(Value(b, {"Block Devices", "vda"}, "Capacity"), "100.0 GiB");
    EXPECT_EQ(Value(b, {"Block Devices", "vda"}, "Partitions"), "3");
    EXPECT_EQ(Value(b, {"Block Devices", "sdc"}, "Model"), "SEAGATE ST2000NM0055");
    EXPECT_EQ(Value(b, {"Block Devices", "sdc"}, "Scheduler"), "bfq");
    EXPECT_EQ(Value(b, {"Block Devices", "sdc"}, "TRIM"), "not supported");
    EXPECT_EQ(Value(b, {"Block Devices", "nvme0n1"}, "TRIM"), "periodic (fstrim timer)");
    EXPECT_EQ(Value(b, {"Block Devices", "dm-0"}, "Model"), "Device-mapper volume vg0-data");
    EXPECT_EQ(Value(b, {"Block Devices", "dm-0"}, "TRIM"), "continuous (discard mount option)");
    EXPECT_EQ(Value(b, {"File Systems", "/data"}, "On Disk"), "dm-0");
    EXPECT_EQ(Value(b, {"File Systems", "/"}, "Type"), "btrfs");
    EXPECT_EQ(Value(b, {"File Systems", "/var"}, "Inodes Used"), "97 %");
    EXPECT_EQ(Value(b, {"File Systems", "/srv"}, "Mount Options"), "ro,relatime");
}

TEST(DiskBranch, MissingFilesLeaveAttributesOut) {
    DiskFixture f("disk-sparse");
    CKQTreeEntry* b = f.branch;
    CKQTreeEntry* sda = FindPath(b, {"Block Devices", "sda"});
    ASSERT_NE(sda, nullptr);
    EXPECT_EQ(sda->GetAttrValue("Capacity"), "0.0 GiB");
    EXPECT_LT(sda->FindAttr("Media"), 0);
    EXPECT_LT(sda->FindAttr("Scheduler"), 0);
    EXPECT_LT(sda->FindAttr("Model"), 0);
    EXPECT_EQ(FindPath(b, {"Block Devices", "sdb"}), nullptr);  // no size: no medium
    // No statvfs line: size, free and use are left out, the mount itself stays.
    CKQTreeEntry* root = FindPath(b, {"File Systems", "/"});
    ASSERT_NE(root, nullptr);
    EXPECT_LT(root->FindAttr("Used"), 0);
    EXPECT_LT(root->FindAttr("On Disk"), 0);  // sda lists no partition sda1
    EXPECT_EQ(GenerateDiskTips(b), 0);

    // A root with nothing in it at all.
    CScopedEnv empty("QUILLON_SYSROOT", std::string(KQA_FIXTURES) + "/no-such-machine");
    CKQTree tree;
    CKQTreeEntry* e = tree.Add("Disk");
    CDiskInventory inv;
    inv.Read();
    FillDiskBranch(e, inv, "/opt/quillon");
    EXPECT_EQ(Value(e, {"Disk Summary"}, "Block Device Count"), "0");
    EXPECT_EQ(Value(e, {"Disk Summary"}, "Program Directory"), "/opt/quillon");
    EXPECT_EQ(GenerateDiskTips(e), 0);
}

TEST(DiskBranch, NoSerialNumbersLeaveTheMachine) {
    for (const char* m : {"disk-desktop", "disk-server"}) {
        DiskFixture f(m);
        ForEachEntry(f.branch, [&](CKQTreeEntry* e) {
            for (const CAttr& a : e->m_attrs) {
                EXPECT_EQ(a.m_value.find("S6PNNX0R123456K"), std::string::npos) << a.m_id;
                EXPECT_EQ(a.m_value.find("WCC7K1234567"), std::string::npos) << a.m_id;
                EXPECT_EQ(a.m_value.find("alice"), std::string::npos) << a.m_id;
            }
        });
    }
}

// Each tip: where it is raised on one machine and not on the other.
TEST(DiskTips, RaisedAndNotRaised) {
    DiskFixture d("disk-desktop");
    GenerateDiskTips(d.branch);
    int32_t prio = 0, desc = 0;
    CKQTreeEntry* b = d.branch;
    ASSERT_TRUE(HasTip(FindPath(b, {"File Systems", "/"}), disk::TIP_FS_FULL, &prio, &desc));
    EXPECT_EQ(prio, 85);
    EXPECT_EQ(desc, kqa::TipDescID(disk::TIP_FS_FULL, 98));
    ASSERT_TRUE(HasTip(FindPath(b, {"File Systems", "/mnt/nas"}), disk::TIP_FS_FULL, &prio));
    EXPECT_EQ(prio, 70);
    EXPECT_FALSE(HasTip(FindPath(b, {"File Systems", "/boot/efi"}),
                        disk::TIP_FS_FULL));  // 0.5 GiB partition
    EXPECT_FALSE(HasTip(FindPath(b, {"File Systems", "/home"}), disk::TIP_FS_FULL));
    EXPECT_EQ(CountTip(b, disk::TIP_FS_FULL), 2);
    EXPECT_TRUE(HasTip(FindPath(b, {"Block Devices", "sdb"}), disk::TIP_ROTATIONAL_SCHEDULER));
    EXPECT_EQ(CountTip(b, disk::TIP_ROTATIONAL_SCHEDULER), 1);
    EXPECT_TRUE(HasTip(FindPath(b, {"Block Devices", "nvme0n1"}), disk::TIP_NO_TRIM));
    EXPECT_TRUE(HasTip(FindPath(b, {"Block Devices", "sda"}), disk::TIP_NO_TRIM));
    EXPECT_FALSE(HasTip(FindPath(b, {"Block Devices", "sdb"}), disk::TIP_NO_TRIM));  // rotational
    EXPECT_TRUE(HasTip(FindPath(b, {"Block Devices", "sda"}), disk::TIP_WRITE_CACHE_OFF));
    EXPECT_EQ(CountTip(b, disk::TIP_WRITE_CACHE_OFF), 1);
    ASSERT_TRUE(
        HasTip(FindPath(b, {"Block Devices", "sdb"}), disk::TIP_SMALL_READ_AHEAD, &prio, &desc));
    EXPECT_EQ(desc, kqa::TipDescID(disk::TIP_SMALL_READ_AHEAD, 64));
    EXPECT_TRUE(HasTip(FindPath(b, {"File Systems", "home/Media Library"}), disk::TIP_STRICTATIME));
    EXPECT_EQ(CountTip(b, disk::TIP_INODES_FULL), 0);
    EXPECT_EQ(CountTip(b, disk::TIP_READ_ONLY), 0);
    EXPECT_EQ(CountTip(b, disk::TIP_SLOW_SSD), 0);  // not measured yet

    DiskFixture s("disk-server");
    GenerateDiskTips(s.branch);
    b = s.branch;
    ASSERT_TRUE(HasTip(FindPath(b, {"File Systems", "/var"}), disk::TIP_INODES_FULL, &prio, &desc));
    EXPECT_EQ(prio, 80);
    EXPECT_EQ(desc, kqa::TipDescID(disk::TIP_INODES_FULL, 97));
    ASSERT_TRUE(HasTip(FindPath(b, {"File Systems", "/srv"}), disk::TIP_READ_ONLY, &prio));
    EXPECT_EQ(prio, 60);
    EXPECT_EQ(CountTip(b, disk::TIP_FS_FULL), 0);               // /srv is full but read-only
    EXPECT_EQ(CountTip(b, disk::TIP_ROTATIONAL_SCHEDULER), 0);  // the virtual disk's host schedules
    EXPECT_EQ(CountTip(b, disk::TIP_NO_TRIM), 0);               // fstrim.timer, discard
    EXPECT_EQ(CountTip(b, disk::TIP_WRITE_CACHE_OFF), 0);
    EXPECT_EQ(CountTip(b, disk::TIP_SMALL_READ_AHEAD), 0);
    EXPECT_EQ(CountTip(b, disk::TIP_STRICTATIME), 0);
}

TEST(DiskTips, SlowSolidStateReadsFromTheMeasurement) {
    DiskFixture d("disk-desktop");
    DiskBenchResult r;
    r.directIO = true;
    r.fileBytes = 200 << 20;
    r.writeMBs = 140;
    r.readMBs = 150;
    r.randomIOPS = 9000;
    StoreDiskResult(d.branch, r, "/work/some/program/dir", false);
    GenerateDiskTips(d.branch);
    int32_t desc = 0;
    ASSERT_TRUE(HasTip(FindPath(d.branch, {"Block Devices", "nvme0n1"}), disk::TIP_SLOW_SSD,
                       nullptr, &desc));
    EXPECT_EQ(desc, kqa::TipDescID(disk::TIP_SLOW_SSD, 150));

    r.readMBs = 2400;  // a healthy disk: the tip from the earlier run goes away
    StoreDiskResult(d.branch, r, "/work/some/program/dir", false);
    GenerateDiskTips(d.branch);
    EXPECT_EQ(CountTip(d.branch, disk::TIP_SLOW_SSD), 0);

    r.readMBs = 150;  // through the page cache the figure means nothing
    r.directIO = false;
    StoreDiskResult(d.branch, r, "/work/some/program/dir", false);
    GenerateDiskTips(d.branch);
    EXPECT_EQ(CountTip(d.branch, disk::TIP_SLOW_SSD), 0);
    // Tips of other makers on the same entries are left alone.
    CKQTreeEntry* root = FindPath(d.branch, {"File Systems", "/"});
    root->AddTip(-1, 1101, 1201);
    GenerateDiskTips(d.branch);
    EXPECT_TRUE(HasTip(root, 1101));
}

TEST(DiskBranch, StoredResultSaysHowItWasMeasured) {
    CKQTree tree;
    CKQTreeEntry* b = tree.Add("Disk");
    DiskBenchResult r;
    r.fileBytes = 48 << 20;
    r.shrunk = true;
    r.availBytes = 100LL << 20;
    r.directIO = false;
    r.directNote = "the file system refuses direct I/O";
    r.writeMBs = 812.4;
    r.writeSpread = 0.1234;
    r.seconds = 1.25;
    StoreDiskResult(b, r, "/root/q", true);
    EXPECT_EQ(Value(b, {"Disk Tests"}, "Sequential Write"), "812 MB/s");
    CKQTreeEntry* t = FindPath(b, {"Disk Tests"});
    // Numeric and highlighted, with its spread beside it, but not compared by history.
    EXPECT_EQ(t->GetAttr(t->FindAttr("Sequential Write"))->m_data, 5u);
    EXPECT_EQ(Value(b, {"Disk Tests"}, "Sequential Write Spread"), "12.3 %");
    EXPECT_LT(t->FindAttr("Sequential Read"), 0);  // not reached before the cancel
    EXPECT_EQ(Value(b, {"Disk Tests"}, "Test File Shrunk"), "yes: only 100 MiB were free");
    EXPECT_EQ(Value(b, {"Disk Tests"}, "Direct I/O"), "no: the file system refuses direct I/O");
    EXPECT_EQ(Value(b, {"Disk Tests"}, "Test Result"), "cancelled");
    EXPECT_EQ(Value(b, {"Disk Tests"}, "Test Directory"), "~/q");
}

}  // namespace
