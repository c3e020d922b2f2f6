// Numbers of the System module's attributes (type words, help contexts) and tips, its entry
// names, and its texts.
#pragma once

#include "KQAModule.h"

namespace sys {

inline constexpr kqa::ModuleIdentity kModule{10, 101, 1000, "System", "System"};
constexpr KQAID kID = kModule.id;

// Attribute type words (help context numbers).
enum : int32_t {
    T_SYSID = 1001,
    T_DESCRIPTION = 1002,
    T_DISTRIBUTION = 1003,
    T_DISTRO_ID = 1004,
    T_DISTRO_VERSION = 1005,
    T_KERNEL = 1006,
    T_KERNEL_BUILD = 1007,
    T_ARCH = 1008,
    T_INIT = 1009,
    T_HOST_RESOLVES = 1010,
    T_TIMEZONE = 1011,
    T_NEWEST_KERNEL = 1012,
    T_REBOOT_REQUIRED = 1013,
    T_VENDOR = 1020,
    T_MODEL = 1021,
    T_PRODUCT_VERSION = 1022,
    T_BOARD_VENDOR = 1023,
    T_BOARD_NAME = 1024,
    T_CHASSIS = 1025,
    T_VIRTUAL = 1026,
    T_FW_VENDOR = 1030,
    T_FW_VERSION = 1031,
    T_FW_DATE = 1032,
    T_BOOT_MODE = 1033,
    T_SECURE_BOOT = 1034,
    T_UPTIME = 1040,
    T_DESKTOP = 1041,
    T_SESSION_TYPE = 1042,
    T_LANGUAGE = 1043,
    T_MEASURED = 1050,
};

// Tip text IDs; 1101/1102 are the host's status notes (descriptions 1201/1202).
enum : int32_t {
    TIP_NOT_ANALYSED = 1101,
    TIP_ANALYSED = 1102,
    TIP_HOST_UNRESOLVED = 1103,
    TIP_REBOOT_PENDING = 1104,
};

// Attribute identifiers and sub-entry keys.
inline constexpr const char* kSysidAttr = "System ID";
inline constexpr const char* kDescriptionAttr = "Description";
// When the record's figures were taken, "YYYY-MM-DD HH:MM" in local time (attribute 2).
inline constexpr const char* kMeasuredAttr = "Measured";
inline constexpr const char* kOSEntry = "Operating System";
inline constexpr const char* kMachineEntry = "Machine";
inline constexpr const char* kFirmwareEntry = "Firmware";
inline constexpr const char* kSessionEntry = "Session";

// The item path of the description, the attribute that names a system (on the branch itself).
inline constexpr const char* kDescriptionPath = "Description";
// The item path of the measuring time (on the branch itself too).
inline constexpr const char* kMeasuredPath = "Measured";

const kqa::ModuleHelp& Help();
inline const kqa::CTextRegistry& Texts() { return Help().texts; }

}  // namespace sys
