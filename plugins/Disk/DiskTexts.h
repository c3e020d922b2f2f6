// Numbers of the Disk module's attributes (type words, help contexts) and tips.
#pragma once

#include "KQAModule.h"

enum : uint16_t { DISK_KQAID = 40, DISK_VERSION = 100, DISK_BITMAP = 4000 };

enum DiskAttrType : int32_t {
    DA_PROGRAM_DIR = 4001,
    DA_PROGRAM_FS,
    DA_PROGRAM_FS_TYPE,
    DA_PROGRAM_FS_AVAIL,
    DA_DEVICE_COUNT,
    DA_FS_COUNT,
    DA_MODEL = 4010,
    DA_TRANSPORT,
    DA_CAPACITY,
    DA_MEDIA,
    DA_SCHEDULER,
    DA_SCHEDULERS,
    DA_QUEUE_DEPTH,
    DA_READ_AHEAD,
    DA_WRITE_CACHE,
    DA_TRIM,
    DA_REMOVABLE,
    DA_READ_ONLY,
    DA_PARTITIONS,
    DA_MOUNT_POINT = 4030,
    DA_DEVICE,
    DA_FS_TYPE,
    DA_FS_SIZE,
    DA_FS_AVAIL,
    DA_FS_USED,
    DA_FS_INODES_USED,
    DA_MOUNT_OPTIONS,
    DA_ON_DISK,
    DA_SEQ_WRITE = 4050,
    DA_SEQ_READ,
    DA_RANDOM_READ,
    DA_TEST_FILE_SIZE,
    DA_TEST_FILE_SHRUNK,
    DA_DIRECT_IO,
    DA_TEST_DIR,
    DA_TEST_TIME,
    DA_TEST_RESULT,
};

enum DiskTip : int32_t {
    DT_FS_FULL = 4101,
    DT_INODES_FULL,
    DT_ROTATIONAL_SCHEDULER,
    DT_NO_TRIM,
    DT_READ_ONLY,
    DT_WRITE_CACHE_OFF,
    DT_SMALL_READ_AHEAD,
    DT_STRICTATIME,
    DT_SLOW_SSD,
};

// Entry names, unique across the modules (the value lookup takes the first match).
inline constexpr const char* kDiskSummary = "Disk Summary";
inline constexpr const char* kBlockDevices = "Block Devices";
inline constexpr const char* kFileSystems = "File Systems";
inline constexpr const char* kDiskTests = "Disk Tests";
inline constexpr const char* kDiskConditions = "Disk Test Conditions";

const kqa::CTextRegistry& DiskTexts();
