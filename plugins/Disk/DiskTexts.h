// Numbers of the Disk module's attributes (type words, help contexts) and tips.
#pragma once

#include "KQAModule.h"

namespace disk {

// Version 1.1: figures timed as described now, not comparable with 1.0 ones.
inline constexpr kqa::ModuleIdentity kModule{40, 103, 4000, "Disk", "Disk"};
constexpr KQAID kID = kModule.id;

enum : int32_t {
    T_PROGRAM_DIR = 4001,
    T_PROGRAM_FS,
    T_PROGRAM_FS_TYPE,
    T_PROGRAM_FS_AVAIL,
    T_DEVICE_COUNT,
    T_FS_COUNT,
    T_MODEL = 4010,
    T_TRANSPORT,
    T_CAPACITY,
    T_MEDIA,
    T_SCHEDULER,
    T_SCHEDULERS,
    T_QUEUE_DEPTH,
    T_READ_AHEAD,
    T_WRITE_CACHE,
    T_TRIM,
    T_REMOVABLE,
    T_READ_ONLY,
    T_PARTITIONS,
    T_MOUNT_POINT = 4030,
    T_DEVICE,
    T_FS_TYPE,
    T_FS_SIZE,
    T_FS_AVAIL,
    T_FS_USED,
    T_FS_INODES_USED,
    T_MOUNT_OPTIONS,
    T_ON_DISK,
    T_SEQ_WRITE = 4050,
    T_SEQ_READ,
    T_RANDOM_READ,
    T_TEST_FILE_SIZE,
    T_TEST_FILE_SHRUNK,
    T_DIRECT_IO,
    T_TEST_DIR,
    T_TEST_TIME,
    T_TEST_RESULT,
};

enum : int32_t {
    TIP_FS_FULL = 4101,
    TIP_INODES_FULL,
    TIP_ROTATIONAL_SCHEDULER,
    TIP_NO_TRIM,
    TIP_READ_ONLY,
    TIP_WRITE_CACHE_OFF,
    TIP_SMALL_READ_AHEAD,
    TIP_STRICTATIME,
    TIP_SLOW_SSD,
};

// Entry names, unique across the modules (the value lookup takes the first match).
inline constexpr const char* kSummary = "Disk Summary";
inline constexpr const char* kBlockDevices = "Block Devices";
inline constexpr const char* kFileSystems = "File Systems";
inline constexpr const char* kTests = "Disk Tests";
inline constexpr const char* kConditions = "Disk Test Conditions";

const kqa::ModuleHelp& Help();
inline const kqa::CTextRegistry& Texts() { return Help().texts; }

}  // namespace disk
