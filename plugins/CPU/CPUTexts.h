// Numbers of the CPU module's attributes (type words, help contexts) and tips, its entry names,
// and its texts.
#pragma once

#include "KQAModule.h"

namespace cpu {

// Version 1.1: figures timed as described now, not comparable with 1.0 ones.
inline constexpr kqa::ModuleIdentity kModule{20, 103, 2000, "CPU", "CPU"};
constexpr KQAID kID = kModule.id;

enum : int32_t {
    T_MODEL = 2001,
    T_VENDOR = 2002,
    T_SIGNATURE = 2003,
    T_MICROCODE = 2004,
    T_SOCKETS = 2005,
    T_CORES = 2006,
    T_THREADS = 2007,
    T_THREADS_PER_CORE = 2008,
    T_USABLE = 2009,
    T_BASE_CLOCK = 2010,
    T_MAX_CLOCK = 2011,
    T_MIN_CLOCK = 2012,
    T_CUR_CLOCK = 2013,
    T_L1D = 2020,
    T_L1I = 2021,
    T_L2 = 2022,
    T_L3 = 2023,
    T_ISA_LEVEL = 2030,
    T_SIMD = 2031,
    T_AES = 2032,
    T_HWVIRT = 2033,
    T_ADDRESS = 2034,
    T_MICROCODE_PKG = 2035,
    T_DRIVER = 2040,
    T_GOVERNOR = 2041,
    T_GOVERNORS = 2042,
    T_EPP = 2043,
    T_BOOST = 2044,
    T_POWER = 2045,
    T_VULNERABILITY = 2050,  // every file of /sys/devices/system/cpu/vulnerabilities
    T_MITIGATIONS = 2051,
    T_VULNERABLE_COUNT = 2052,
    T_LOADAVG = 2060,
    T_LOAD_PER_CPU = 2061,
    T_TASKS = 2062,
    T_INT_SINGLE = 2070,
    T_INT_MULTI = 2071,
    T_INT_SCALING = 2072,
    T_THREADS_USED = 2073,
    T_FLOAT_SINGLE = 2075,
    T_FLOAT_MULTI = 2076,
    T_FLOAT_SCALING = 2077,
};

enum : int32_t {
    TIP_GOVERNOR = 2101,
    TIP_BOOST_OFF = 2102,
    TIP_THROTTLED = 2103,
    TIP_VULNERABLE = 2104,
    TIP_BUSY = 2105,
    TIP_POOR_SCALING = 2106,
    TIP_NO_MICROCODE = 2107,
};

inline constexpr const char* kProcessor = "Processor";
inline constexpr const char* kCaches = "CPU Caches";
inline constexpr const char* kISA = "Instruction Set";
inline constexpr const char* kScaling = "Frequency Scaling";
inline constexpr const char* kSecurity = "CPU Security";
inline constexpr const char* kLoad = "CPU Load";
inline constexpr const char* kIntTest = "CPU Integer Test";
inline constexpr const char* kFloatTest = "CPU Float Test";

const kqa::ModuleHelp& Help();
inline const kqa::CTextRegistry& Texts() { return Help().texts; }
// Attribute descriptions, also for records, which keep no type word: the vulnerability
// attributes are known by their names.
KQARC AttrDesc(const CAttr* attr, CString& text);

}  // namespace cpu
