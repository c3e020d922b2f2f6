#include "DiskTexts.h"

using namespace kqa;

namespace {

std::string Percent(int32_t f) { return std::to_string(f) + " %"; }
std::string MBs(int32_t f) { return std::to_string(f) + " MB/s"; }
std::string KiB(int32_t f) { return std::to_string(f) + " KiB"; }

const TipTextDef kTips[] = {
    {disk::TIP_FS_FULL, "A file system is nearly full",
     "This file system is %1 full. Programs fail to save files when it fills up, ext4 and most "
     "other file systems fragment and slow down above about 90 %, and updates may no longer "
     "install. Find what takes the space with \"sudo du -xh --max-depth=2 <mount point> | sort "
     "-h | tail -20\", then empty the trash, run \"sudo apt-get clean\", shrink the journal with "
     "\"sudo journalctl --vacuum-size=200M\", or move large files to another disk.",
     &Percent},
    {disk::TIP_INODES_FULL, "A file system is running out of inodes",
     "%1 of the inodes (file slots) of this file system are in use. When none are left no new "
     "file can be made, even with free space. Find the directories with most files with \"sudo "
     "du -x --inodes --max-depth=2 <mount point> | sort -n | tail\" (often caches or mail "
     "queues) and remove what is not needed; ext4 gets more inodes only when made again with "
     "\"mkfs.ext4 -i\".",
     &Percent},
    {disk::TIP_ROTATIONAL_SCHEDULER,
     "A rotational disk uses a scheduler meant for solid-state disks",
     "This disk has spinning platters, but its I/O scheduler is \"none\" or \"kyber\", which "
     "leave requests in arrival order as suits solid-state disks. A rotational disk seeks less, "
     "and is faster under mixed load, with \"mq-deadline\" or \"bfq\". Change it now with \"echo "
     "mq-deadline | sudo tee /sys/block/<disk>/queue/scheduler\" and keep it with a udev rule in "
     "/etc/udev/rules.d/60-ioscheduler.rules: ACTION==\"add|change\", KERNEL==\"sd[a-z]\", "
     "ATTR{queue/rotational}==\"1\", ATTR{queue/scheduler}=\"mq-deadline\"."},
    {disk::TIP_NO_TRIM, "A solid-state disk gets no periodic TRIM",
     "This solid-state disk supports TRIM, but neither the fstrim timer nor the \"discard\" "
     "mount option tells it which blocks are free. Without TRIM its writes slow down as it "
     "fills and it wears faster. Turn on the weekly trim with \"sudo systemctl enable --now "
     "fstrim.timer\" (or run \"sudo fstrim -av\" by hand now and then)."},
    {disk::TIP_READ_ONLY, "A file system is mounted read-only",
     "This file system, normally writable, is mounted read-only. Usually the kernel did that "
     "after an I/O or file system error (\"errors=remount-ro\"), so nothing can be saved on it. "
     "Look for the cause with \"sudo dmesg | grep -i -e error -e ext4\", check the disk's health "
     "with \"sudo smartctl -a /dev/<disk>\" (package smartmontools), repair the file system "
     "from a rescue system with \"sudo fsck -f /dev/<partition>\", then reboot."},
    {disk::TIP_WRITE_CACHE_OFF, "A disk's write cache is off",
     "The kernel reports this disk's cache as \"write through\": every write waits for the "
     "platters or flash, which makes writing many small files several times slower. Unless "
     "the cache was turned off on purpose (a machine without protection against power loss), "
     "turn it on with \"sudo hdparm -W1 /dev/<disk>\" and keep it in /etc/hdparm.conf "
     "(write_cache = on)."},
    {disk::TIP_SMALL_READ_AHEAD, "A rotational disk reads ahead very little",
     "This rotational disk reads ahead only %1, so reading large files sequentially costs a "
     "seek every few blocks. 128 KiB or more suits spinning disks. Set it with \"echo 1024 | "
     "sudo tee /sys/block/<disk>/queue/read_ahead_kb\" and keep it with a udev rule "
     "(ATTR{queue/read_ahead_kb}=\"1024\").",
     &KiB},
    {disk::TIP_STRICTATIME, "A file system records every file access",
     "This file system is mounted with \"strictatime\", so every read of a file also writes "
     "its access time to the disk. \"relatime\" (the default) or \"noatime\" removes most of "
     "these writes. Remove strictatime from this file system's line in /etc/fstab, add "
     "\"noatime\" if nothing on it needs access times, then \"sudo mount -o remount <mount "
     "point>\"."},
    {disk::TIP_SLOW_SSD, "Sequential reads are slow for a solid-state disk",
     "The disk test read %1 from the solid-state disk that holds the program, with the page "
     "cache bypassed; a SATA solid-state disk reads 400 MB/s or more, an NVMe one much more. "
     "Common causes: the SATA link runs at 1.5 Gb/s (see \"cat "
     "/sys/class/ata_link/*/sata_spd\" and try another cable or port), a USB 2 port (use a "
     "blue USB 3 port), or link power management (set \"med_power_with_dipm\" or "
     "\"max_performance\" in /sys/class/scsi_host/host*/link_power_management_policy).",
     &MBs},
};

const AttrDescDef kAttrs[] = {
    {disk::T_PROGRAM_DIR, "Program Directory",
     "The directory the program runs from; the disk test writes its temporary file there."},
    {disk::T_PROGRAM_FS, "Program File System",
     "The mount point of the file system that holds the program."},
    {disk::T_PROGRAM_FS_TYPE, "Program File System Type",
     "The type of the file system that holds the program (ext4, btrfs, xfs...)."},
    {disk::T_PROGRAM_FS_AVAIL, "Program File System Available",
     "Space an ordinary user can still use on the program's file system, in GiB (statvfs "
     "f_bavail), the same as \"Avail\" in df."},
    {disk::T_DEVICE_COUNT, "Block Device Count",
     "Number of block devices with a medium (loop and RAM disks left out)."},
    {disk::T_FS_COUNT, "File System Count",
     "Number of mounted file systems on block devices or the network."},
    {disk::T_MODEL, "Model",
     "Vendor and model of the disk as the kernel reports them (/sys/block/<disk>/device)."},
    {disk::T_TRANSPORT, "Transport",
     "How the disk is attached: NVMe, SATA/SCSI, USB, Virtio (a virtual machine's disk), "
     "MMC/SD..."},
    {disk::T_CAPACITY, "Capacity",
     "Size of the whole disk in GiB (2^30 bytes), as lsblk shows it."},
    {disk::T_MEDIA, "Media",
     "\"rotational\" for spinning disks, \"solid state\" for flash (queue/rotational). Virtual "
     "disks often report rotational whatever lies below them."},
    {disk::T_SCHEDULER, "Scheduler",
     "The I/O scheduler in use (queue/scheduler): \"none\" and \"kyber\" suit fast solid-state "
     "disks, \"mq-deadline\" and \"bfq\" rotational ones."},
    {disk::T_SCHEDULERS, "Schedulers Offered",
     "The I/O schedulers the kernel offers for this disk."},
    {disk::T_QUEUE_DEPTH, "Queue Depth",
     "Number of requests the block layer queues for the disk (queue/nr_requests)."},
    {disk::T_READ_AHEAD, "Read-Ahead",
     "How much the kernel reads ahead of sequential reads, in KiB (queue/read_ahead_kb)."},
    {disk::T_WRITE_CACHE, "Write Cache",
     "\"write back\": the disk has a volatile write cache the kernel flushes when needed; "
     "\"write through\": writes go straight to the medium."},
    {disk::T_TRIM, "TRIM",
     "How the disk learns which blocks are free: periodically by the fstrim timer, "
     "continuously by the \"discard\" mount option, or not at all."},
    {disk::T_REMOVABLE, "Removable", "Whether the kernel marks the medium as removable."},
    {disk::T_READ_ONLY, "Read-Only", "Whether the whole device is read-only."},
    {disk::T_PARTITIONS, "Partitions", "Number of partitions on the disk."},
    {disk::T_MOUNT_POINT, "Mount Point",
     "Where the file system is mounted (paths under a home directory start with \"~\")."},
    {disk::T_DEVICE, "Device",
     "The device or network share the file system comes from, as in the mount table."},
    {disk::T_FS_TYPE, "Type", "The file system type (ext4, btrfs, xfs, vfat, nfs...)."},
    {disk::T_FS_SIZE, "Size", "Size of the file system in GiB (2^30 bytes), as df -h shows it."},
    {disk::T_FS_AVAIL, "Available",
     "Space an ordinary user can still use, in GiB (df's \"Avail\")."},
    {disk::T_FS_USED, "Used",
     "Share of the file system in use, in percent, computed as df does: used / (used + "
     "available)."},
    {disk::T_FS_INODES_USED, "Inodes Used",
     "Share of the file slots (inodes) in use, in percent (df -i)."},
    {disk::T_MOUNT_OPTIONS, "Mount Options",
     "The options the file system is mounted with, as in /proc/self/mounts."},
    {disk::T_ON_DISK, "On Disk",
     "The block device (disk) that holds this file system, when it is a local one."},
    {disk::T_SEQ_WRITE, "Sequential Write",
     "Sequential write speed in MB/s (10^6 bytes per second): a temporary file in the "
     "program's directory is written in 1 MiB blocks, one at a time, bypassing the page cache "
     "(O_DIRECT) where the file system allows. After a warm-up of about 0.15 s the file, sized "
     "to take under 2 s (at most 2 GiB, and never more than half the free space), is written in "
     "five equal parts, each timed until its data is on the device (fdatasync), as a program "
     "that saves a file waits for it; the figure is the median of the five parts' speeds (fewer "
     "parts when a slow disk makes them take longer than 2.3 s). Compare with \"fio --rw=write "
     "--bs=1M --direct=1 --fdatasync=<a fifth of the file in MiB>\". The disk figures vary by a "
     "quarter or more from run to run (what the device, and in a virtual machine the host, "
     "caches and does besides), so the history of this machine does not compare them; each "
     "keeps its spread beside it."},
    {disk::T_SEQ_READ, "Sequential Read",
     "Sequential read speed in MB/s: the test file is read back in 1 MiB blocks, one at a "
     "time, bypassing the page cache where the file system allows; median of five equal "
     "parts (fewer past 2.3 s). Compare with \"fio --rw=read --bs=1M --direct=1\"."},
    {disk::T_RANDOM_READ, "Random 4 KiB Read",
     "Random reads per second (IOPS): single 4 KiB reads at random places in the test file, "
     "one at a time (queue depth 1), bypassing the page cache where allowed; five runs of "
     "the same count of reads, calibrated to about 0.25 s, median. Like the other disk figures "
     "it is not compared by the history of this machine: it varies by about half from run to "
     "run."},
    {disk::T_TEST_FILE_SIZE, "Test File Size", "Size of the temporary test file in MiB."},
    {disk::T_TEST_FILE_SHRUNK, "Test File Shrunk",
     "\"yes\" when the test file had to be made smaller than the test wants because the file "
     "system had little free space (it never takes more than half of it); figures from a small "
     "file may be flattered by the disk's cache."},
    {disk::T_DIRECT_IO, "Direct I/O",
     "Whether the test bypassed the page cache (O_DIRECT). Some file systems (tmpfs, some "
     "network and FUSE file systems) refuse it; then the figures include the page cache and "
     "are not comparable with other machines'."},
    {disk::T_TEST_DIR, "Test Directory", "The directory where the test file was written."},
    {disk::T_TEST_TIME, "Test Time", "How long the whole disk test took, in seconds."},
    {disk::T_TEST_RESULT, "Test Result",
     "\"complete\", \"cancelled\", or why the test could not run."},
};

const char kIntro[] =
    "<p>The Disk analyzer lists the machine's block devices (model, capacity, rotational or solid "
    "state, I/O scheduler, queue depth) and its mounted file systems (size, free space, mount "
    "options), and names the file system the program lives on. Its test writes a temporary file "
    "in the program's directory and measures sequential writing and reading in 1 MiB blocks and "
    "random 4 KiB reads, bypassing the page cache (O_DIRECT) where the file system allows. The "
    "file is sized to take under two seconds to write and never more than half the free space; "
    "the whole test takes about six seconds. It then proposes tips: file systems nearly full, "
    "schedulers that do not suit the disk, solid-state disks without TRIM and more.</p>";

}  // namespace

namespace disk {

const ModuleHelp& Help() {
    static const CTextRegistry texts = MakeTextRegistry(kTips, kAttrs);
    static const ModuleHelp help{texts, kModule.title, kIntro};
    return help;
}

}  // namespace disk
