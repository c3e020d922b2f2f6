// What the Disk module reads about block devices and mounted file systems. Everything comes
// through kqa::ReadFile and friends, so QUILLON_SYSROOT can point it at a fixture tree.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct BlockDevice {
    std::string name;       // sda, nvme0n1, vda
    std::string model;      // vendor and model as the kernel reports them
    std::string transport;  // NVMe, SATA/SCSI, USB, Virtio, ...
    long long sizeBytes = 0;
    int rotational = -1;     // 1 rotational, 0 solid state, -1 unknown
    std::string scheduler;   // the active one ("none" included)
    std::string schedulers;  // all offered, space separated
    long long queueDepth = -1;
    long long readAheadKB = -1;
    std::string writeCache;  // "write back", "write through" or ""
    long long discardMaxBytes = -1;
    bool removable = false;
    bool readOnly = false;
    std::vector<std::string> partitions;  // names
    std::vector<std::string> devNumbers;  // "maj:min" of the disk and its partitions
    std::vector<std::string> slaves;      // device-mapper / md members
};

struct FileSystem {
    std::string device;      // as in the mount table
    std::string mountPoint;  // real path
    std::string fsType;
    std::string options;
    std::string disk;  // block device holding it, "" when unknown
    bool haveSpace = false;
    long long sizeBytes = 0, freeBytes = 0, availBytes = 0;
    long long inodes = 0, inodesFree = 0;
};

struct SpaceInfo {
    long long sizeBytes = 0, freeBytes = 0, availBytes = 0, inodes = 0, inodesFree = 0;
};

// statvfs of a mount point; with a sysroot set, the line for it in <root>/statvfs.txt
// ("<mount point> <fragment size> <blocks> <free> <available> <inodes> <free inodes>").
std::optional<SpaceInfo> QuerySpace(const std::string& mountPoint);

// Parses "none [mq-deadline] kyber": the bracketed name, and all names.
std::string ActiveScheduler(const std::string& line, std::string* all = nullptr);
// True when the option list holds that exact option ("discard" but not "nodiscard").
bool HasOption(const std::string& options, const std::string& option);

class CDiskInventory {
public:
    void Read();  // block devices, mounts, TRIM scheduling
    const std::vector<BlockDevice>& Devices() const { return m_devices; }
    const std::vector<FileSystem>& FileSystems() const { return m_fileSystems; }
    const BlockDevice* FindDevice(const std::string& name) const;
    // Periodic TRIM by a systemd timer or cron job.
    bool TrimTimer() const { return m_trimTimer; }
    std::string TrimState(const BlockDevice& d) const;  // how this disk is trimmed

    // The mount that holds path: the longest mount point that prefixes it (all mounts, also
    // the ones not listed as file systems).
    std::optional<FileSystem> FileSystemOf(const std::string& path) const;

    // Maps a mount table device ("/dev/sda2", "/dev/mapper/vg-root") to its disk.
    std::string DiskOfDevice(const std::string& device) const;

private:
    void ReadDevices();
    void ReadMounts();
    std::vector<BlockDevice> m_devices;
    std::vector<FileSystem> m_fileSystems;
    std::vector<FileSystem> m_allMounts;
    bool m_trimTimer = false;
};
