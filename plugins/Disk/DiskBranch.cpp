#include "DiskBranch.h"

#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <set>

#include "DiskTexts.h"
#include "ScratchDirectory.h"

using namespace kqa;

namespace {

constexpr double kGiB = 1024.0 * 1024.0 * 1024.0;

std::string YesNo(bool b) { return b ? "yes" : "no"; }

double UsedPercent(const FileSystem& fs) {
    const long long used = fs.sizeBytes - fs.freeBytes;
    const long long base = used + fs.availBytes;
    return base > 0 ? 100.0 * static_cast<double>(used) / static_cast<double>(base) : 0;
}

}  // namespace

std::string DiskTestDirectory() {
    if (const char* env = std::getenv("QUILLON_DISK_TESTDIR"); env && *env) return env;
    return ScratchDirectory();
}

std::string FileSystemKey(const std::string& mountPoint) {
    std::string shown = HomeTilde(mountPoint);
    if (!shown.empty() && shown[0] == '~') shown = "home" + shown.substr(1);
    return shown;
}

void FillDiskBranch(CKQTreeEntry* branch, const CDiskInventory& inv, const std::string& testDir) {
    if (!branch) return;
    ClearChild(branch, disk::kSummary);
    ClearChild(branch, disk::kBlockDevices);
    ClearChild(branch, disk::kFileSystems);

    CKQTreeEntry* sum = Child(branch, disk::kSummary);
    SetText(sum, "Program Directory", HomeTilde(testDir), disk::T_PROGRAM_DIR);
    if (auto fs = inv.FileSystemOf(testDir)) {
        SetText(sum, "Program File System", HomeTilde(fs->mountPoint), disk::T_PROGRAM_FS);
        SetText(sum, "Program File System Type", fs->fsType, disk::T_PROGRAM_FS_TYPE);
        if (fs->haveSpace)
            SetNumber(sum, "Program File System Available", fs->availBytes / kGiB, 1, "GiB",
                      disk::T_PROGRAM_FS_AVAIL);
    }
    SetNumber(sum, "Block Device Count", static_cast<double>(inv.Devices().size()), 0, "",
              disk::T_DEVICE_COUNT);
    SetNumber(sum, "File System Count", static_cast<double>(inv.FileSystems().size()), 0, "",
              disk::T_FS_COUNT);

    CKQTreeEntry* devs = Child(branch, disk::kBlockDevices);
    for (const auto& d : inv.Devices()) {
        CKQTreeEntry* e = Child(devs, d.name);
        if (!d.model.empty()) SetText(e, "Model", d.model, disk::T_MODEL);
        if (!d.transport.empty()) SetText(e, "Transport", d.transport, disk::T_TRANSPORT);
        SetNumber(e, "Capacity", d.sizeBytes / kGiB, 1, "GiB", disk::T_CAPACITY);
        if (d.rotational >= 0)
            SetText(e, "Media", d.rotational ? "rotational" : "solid state", disk::T_MEDIA);
        if (!d.scheduler.empty()) SetText(e, "Scheduler", d.scheduler, disk::T_SCHEDULER);
        if (!d.schedulers.empty())
            SetText(e, "Schedulers Offered", d.schedulers, disk::T_SCHEDULERS);
        if (d.queueDepth >= 0)
            SetNumber(e, "Queue Depth", static_cast<double>(d.queueDepth), 0, "requests",
                      disk::T_QUEUE_DEPTH);
        if (d.readAheadKB >= 0)
            SetNumber(e, "Read-Ahead", static_cast<double>(d.readAheadKB), 0, "KiB",
                      disk::T_READ_AHEAD);
        if (!d.writeCache.empty()) SetText(e, "Write Cache", d.writeCache, disk::T_WRITE_CACHE);
        if (d.discardMaxBytes >= 0) SetText(e, "TRIM", inv.TrimState(d), disk::T_TRIM);
        SetText(e, "Removable", YesNo(d.removable), disk::T_REMOVABLE);
        SetText(e, "Read-Only", YesNo(d.readOnly), disk::T_READ_ONLY);
        SetNumber(e, "Partitions", static_cast<double>(d.partitions.size()), 0, "",
                  disk::T_PARTITIONS);
    }

    CKQTreeEntry* fss = Child(branch, disk::kFileSystems);
    for (const auto& fs : inv.FileSystems()) {
        CKQTreeEntry* e = Child(fss, FileSystemKey(fs.mountPoint));
        SetText(e, "Mount Point", HomeTilde(fs.mountPoint), disk::T_MOUNT_POINT);
        SetText(e, "Device", HomeTilde(fs.device), disk::T_DEVICE);
        SetText(e, "Type", fs.fsType, disk::T_FS_TYPE);
        if (fs.haveSpace && fs.sizeBytes > 0) {
            SetNumber(e, "Size", fs.sizeBytes / kGiB, 1, "GiB", disk::T_FS_SIZE);
            SetNumber(e, "Available", fs.availBytes / kGiB, 1, "GiB", disk::T_FS_AVAIL);
            SetNumber(e, "Used", std::ceil(UsedPercent(fs)), 0, "%", disk::T_FS_USED);
            if (fs.inodes > 0)
                SetNumber(e, "Inodes Used",
                          std::ceil(100.0 * (fs.inodes - fs.inodesFree) / fs.inodes), 0, "%",
                          disk::T_FS_INODES_USED);
        }
        SetText(e, "Mount Options", fs.options, disk::T_MOUNT_OPTIONS);
        if (!fs.disk.empty()) SetText(e, "On Disk", fs.disk, disk::T_ON_DISK);
    }

    // Make sure "Run This Test" has an entry to point at before the first run.
    CKQTreeEntry* tests = Child(branch, disk::kTests);
    if (tests->FindAttr("Test Result") < 0)
        SetText(tests, "Test Result", "not run yet", disk::T_TEST_RESULT);

    AddReport(branch, "Disk Details", disk::kID,
              {"Disk Summary~Program File System", "Disk Summary~Program File System Type",
               "Disk Summary~Program File System Available", "Disk Summary~Block Device Count",
               "Disk Summary~File System Count"});
    AddReport(branch, "Disk Tests", disk::kID,
              {"Disk Tests~Sequential Write", "Disk Tests~Sequential Read",
               "Disk Tests~Random 4 KiB Read", "Disk Tests~Test File Size", "Disk Tests~Direct I/O",
               "Disk Tests~Test File Shrunk", "Disk Test Conditions~Load Before",
               "Disk Test Conditions~Module Version"});
    AddChart(branch, "Disk Throughput", "MB/s", disk::kID,
             {"Disk Tests~Sequential Write", "Disk Tests~Sequential Read"});
    AddChart(branch, "Disk Random Reads", "IOPS", disk::kID, {"Disk Tests~Random 4 KiB Read"});
    AddChart(branch, "Program Disk Space", "GiB", disk::kID,
             {"Disk Summary~Program File System Available"});
}

void StoreDiskResult(CKQTreeEntry* branch, const DiskBenchResult& r, const std::string& testDir,
                     bool cancelled) {
    CKQTreeEntry* t = Child(branch, disk::kTests);
    t->RemoveAllAttrs();  // figures of an earlier run must not pass for this one's
    // Disk figures vary by a quarter or more from run to run (what the device, and in a virtual
    // machine the host, caches and does besides): each keeps its spread, but history does not
    // compare them.
    auto figure = [&](const std::optional<double>& v, double spread, const char* id,
                      const char* unit, int32_t type) {
        if (!v) return;
        SetNumber(t, id, *v, 0, unit, type, true);
        SetSpread(t, id, spread);
    };
    figure(r.writeMBs, r.writeSpread, "Sequential Write", "MB/s", disk::T_SEQ_WRITE);
    figure(r.readMBs, r.readSpread, "Sequential Read", "MB/s", disk::T_SEQ_READ);
    figure(r.randomIOPS, r.randomSpread, "Random 4 KiB Read", "IOPS", disk::T_RANDOM_READ);
    if (r.fileBytes > 0) {
        SetNumber(t, "Test File Size", r.fileBytes / 1048576.0, 0, "MiB", disk::T_TEST_FILE_SIZE);
        std::string shrunk = "no";
        if (r.shrunk)
            shrunk = Format("yes: only %.0f MiB were free",
                            static_cast<double>(r.availBytes) / 1048576.0);
        SetText(t, "Test File Shrunk", shrunk, disk::T_TEST_FILE_SHRUNK);
        SetText(t, "Direct I/O", r.directIO ? "yes" : "no: " + r.directNote, disk::T_DIRECT_IO);
    }
    SetText(t, "Test Directory", HomeTilde(testDir), disk::T_TEST_DIR);
    if (r.seconds > 0) SetNumber(t, "Test Time", r.seconds, 1, "s", disk::T_TEST_TIME);
    std::string result = cancelled         ? "cancelled"
                         : r.error.empty() ? "complete"
                                           : "not run: " + r.error;
    SetText(t, "Test Result", result, disk::T_TEST_RESULT);
}

int GenerateDiskTips(CKQTreeEntry* branch) {
    if (!branch) return 0;
    int added = 0;
    // Only this module's tips are removed; an entry may carry others (status notes).
    std::function<void(CKQTreeEntry*)> clear = [&](CKQTreeEntry* e) {
        for (int id = disk::TIP_FS_FULL; id <= disk::TIP_SLOW_SSD; ++id) e->RemoveTip(id);
        if (e->GetSubtree())
            for (CKQTreeEntry* c : *e->GetSubtree()) clear(c);
    };
    clear(branch);
    auto tip = [&](CKQTreeEntry* e, int prio, int32_t text, long long figure) {
        if (e->AddTip(prio, text, TipDescID(text, figure)) > 0) ++added;
    };

    static const std::set<std::string> kWritable = {"ext2",  "ext3",  "ext4", "xfs",
                                                    "btrfs", "f2fs",  "jfs",  "reiserfs",
                                                    "vfat",  "exfat", "ntfs", "ntfs3"};
    if (CKQTreeEntry* fss = FindChild(branch, disk::kFileSystems); fss && fss->GetSubtree()) {
        for (CKQTreeEntry* e : *fss->GetSubtree()) {
            const double used = Number(e, "Used"), inodes = Number(e, "Inodes Used");
            const double size = Number(e, "Size", 0);
            const std::string opts = Text(e, "Mount Options");
            const bool ro = HasOption(opts, "ro");
            // Small boot and EFI partitions are full by design; read-only ones cannot be freed.
            if (!ro && size >= 1.0 && used >= 90)
                tip(e, used >= 97 ? 85 : 70, disk::TIP_FS_FULL, std::lround(used));
            if (!ro && inodes >= 90)
                tip(e, inodes >= 97 ? 80 : 65, disk::TIP_INODES_FULL, std::lround(inodes));
            if (ro && kWritable.count(Text(e, "Type")))
                tip(e, Text(e, "Mount Point") == "/" ? 90 : 60, disk::TIP_READ_ONLY, 0);
            if (HasOption(opts, "strictatime")) tip(e, 20, disk::TIP_STRICTATIME, 0);
        }
    }

    CKQTreeEntry* devs = FindChild(branch, disk::kBlockDevices);
    if (devs && devs->GetSubtree()) {
        for (CKQTreeEntry* e : *devs->GetSubtree()) {
            const std::string media = Text(e, "Media"), transport = Text(e, "Transport");
            const bool physical = transport == "NVMe" || transport == "SATA/SCSI" ||
                                  transport == "USB" || transport == "IDE" || transport == "MMC/SD";
            const std::string sched = Text(e, "Scheduler");
            // A virtual disk's host does the scheduling; "none" is right there.
            if (media == "rotational" && physical && (sched == "none" || sched == "kyber"))
                tip(e, 55, disk::TIP_ROTATIONAL_SCHEDULER, 0);
            if (media == "solid state" && physical && Text(e, "TRIM") == "none")
                tip(e, 50, disk::TIP_NO_TRIM, 0);
            if (Text(e, "Write Cache") == "write through" && transport == "SATA/SCSI" &&
                Text(e, "Removable") == "no")
                tip(e, 40, disk::TIP_WRITE_CACHE_OFF, 0);
            const double ra = Number(e, "Read-Ahead");
            if (media == "rotational" && physical && ra >= 0 && ra < 128)
                tip(e, 30, disk::TIP_SMALL_READ_AHEAD, std::lround(ra));
        }
    }

    // Measured: a solid-state disk under the program that reads slowly with the cache bypassed.
    CKQTreeEntry* tests = FindChild(branch, disk::kTests);
    CKQTreeEntry* sum = FindChild(branch, disk::kSummary);
    CKQTreeEntry* fss = FindChild(branch, disk::kFileSystems);
    if (tests && sum && fss && devs) {
        const double read = Number(tests, "Sequential Read");
        const bool direct = StartsWith(Text(tests, "Direct I/O"), "yes");
        std::string mp = Text(sum, "Program File System");
        CKQTreeEntry* fs = nullptr;
        if (fss->GetSubtree())
            for (CKQTreeEntry* e : *fss->GetSubtree())
                if (Text(e, "Mount Point") == mp) fs = e;
        CKQTreeEntry* disk = fs ? FindChild(devs, Text(fs, "On Disk")) : nullptr;
        if (disk && direct && read >= 0 && read < 200 && Text(disk, "Media") == "solid state" &&
            Text(disk, "Transport") != "Virtio")
            tip(disk, 45, disk::TIP_SLOW_SSD, std::lround(read));
    }
    return added;
}
