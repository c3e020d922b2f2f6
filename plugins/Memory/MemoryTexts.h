// Numbers of the Memory module's attributes (type words, help contexts) and tips, its entry
// names, and its texts.
#pragma once

#include <string>

#include "KQAModule.h"

namespace mem {

// Version 1.1: figures timed as described now, not comparable with 1.0 ones.
inline constexpr kqa::ModuleIdentity kModule{30, 200, 3000, "Memory", "Memory"};
constexpr KQAID kID = kModule.id;

enum : int32_t {
    T_TOTAL = 3001,
    T_AVAILABLE = 3002,
    T_FREE = 3003,
    T_CACHED = 3004,
    T_SHARED = 3005,
    T_AVAILABLE_SHARE = 3006,
    T_DESKTOP_NEED = 3007,
    T_SWAP_TOTAL = 3010,
    T_SWAP_USED = 3011,
    T_SWAP_USE = 3012,
    T_SWAPPINESS = 3013,
    T_SWAP_DEVICES = 3014,
    T_ZRAM = 3015,
    T_ZSWAP = 3016,
    T_HUGE_SIZE = 3020,
    T_HUGE_TOTAL = 3021,
    T_HUGE_FREE = 3022,
    T_THP = 3023,
    T_DEVICES = 3030,
    T_MODULES = 3031,
    T_TYPE = 3032,
    T_RATED_SPEED = 3033,
    T_CONFIGURED_SPEED = 3034,
    T_CHANNEL_PEAK = 3035,
    T_COPY = 3040,
    T_SCALE = 3041,
    T_ADD = 3042,
    T_TRIAD = 3043,
    T_ARRAY_SIZE = 3044,
    T_LATENCY = 3050,  // every "Latency <size>" attribute
};

enum : int32_t {
    TIP_SWAP_HEAVY = 3101,
    TIP_DESKTOP_MEMORY = 3102,
    TIP_NO_SWAP = 3103,
    TIP_SWAPPINESS = 3104,
    TIP_LOW_AVAILABLE = 3105,
    TIP_SLOW_BANDWIDTH = 3106,
    TIP_BELOW_RATED = 3107,
};

inline constexpr const char* kSize = "Memory Size";
inline constexpr const char* kSwap = "Swap";
inline constexpr const char* kHuge = "Huge Pages";
inline constexpr const char* kDevices = "Memory Devices";
inline constexpr const char* kBandwidth = "Memory Bandwidth";
inline constexpr const char* kLatency = "Memory Latency";

// Working sets of the latency test, in KiB.
inline constexpr long kLatencySetsKiB[] = {16, 256, 2048, 16384, 131072};
// "Latency 16 KiB", "Latency 2 MiB"
// Sets in a core's own caches or in main memory repeat; those that mostly lie in the shared
// last-level cache (2 and 16 MiB) depend on what other programs keep there, so history does
// not compare them.
constexpr bool LatencyRepeats(long kib) { return kib <= 256 || kib >= 65536; }
inline std::string LatencyName(long kib) {
    if (kib >= 1024 && kib % 1024 == 0) return "Latency " + std::to_string(kib / 1024) + " MiB";
    return "Latency " + std::to_string(kib) + " KiB";
}

const kqa::ModuleHelp& Help();
inline const kqa::CTextRegistry& Texts() { return Help().texts; }
// Attribute descriptions, also for records, which keep no type word: every "Latency <size>"
// attribute shares one description.
KQARC AttrDesc(const CAttr* attr, CString& text);

}  // namespace mem
