#include "MemoryTexts.h"

using namespace kqa;
using namespace mem;

namespace {

std::string Percent(int32_t f) { return std::to_string(f) + " %"; }
std::string MiB(int32_t f) { return std::to_string(f) + " MiB"; }
std::string Plain(int32_t f) { return std::to_string(f); }
std::string MTs(int32_t f) { return std::to_string(f) + " MT/s"; }

const TipTextDef kTips[] = {
    {TIP_SWAP_HEAVY, "Swap is in heavy use: the machine needs more memory",
     "%1 of the swap space is in use, so programs wait for the disk whenever they touch memory "
     "that was pushed out, and the whole desktop stalls. How: close programs you do not need "
     "(see which use most with top, sorted by RES, or smem), add memory, or use compressed swap "
     "in memory, which is far quicker than disk: sudo apt install zram-tools, set PERCENT=50 in "
     "/etc/default/zramswap, then sudo systemctl restart zramswap.",
     &Percent},
    {TIP_DESKTOP_MEMORY, "Too little memory for the desktop in use",
     "The machine has %1 of memory, less than the desktop in use needs with a web browser and an "
     "office program open (see Desktop Needs), so it swaps in everyday work. How: add memory, or "
     "change to a lighter desktop: sudo apt install task-xfce-desktop (or task-lxqt-desktop) "
     "and choose it on the login screen.",
     &MiB},
    {TIP_NO_SWAP, "Add swap space so that programs are not killed when memory runs out",
     "The machine has %1 of memory and no swap at all: when memory fills, the kernel's "
     "out-of-memory killer ends programs without warning, losing unsaved work. How: compressed "
     "swap in memory (sudo apt install zram-tools), or a swap file: sudo fallocate -l 2G "
     "/swapfile; sudo chmod 600 /swapfile; sudo mkswap /swapfile; sudo swapon /swapfile, and add "
     "\"/swapfile none swap sw 0 0\" to /etc/fstab.",
     &MiB},
    {TIP_SWAPPINESS, "Lower the swap tendency (swappiness) for a disk-based swap",
     "vm.swappiness is %1 although swap lies on a disk, not in compressed memory: the kernel "
     "moves idle programs out early and they come back slowly when you switch to them. How: "
     "sudo sysctl vm.swappiness=30, and to keep it, put \"vm.swappiness=30\" into "
     "/etc/sysctl.d/99-swappiness.conf.",
     &Plain},
    {TIP_LOW_AVAILABLE, "Memory is nearly exhausted",
     "Only %1 of the memory is available for new work; the kernel is dropping caches and will "
     "soon swap or kill programs, and everything slows down. How: find the largest programs "
     "with top (press M to sort by memory) and close them; a browser with many tabs is the usual "
     "cause. If it happens often, add memory or swap.",
     &Percent},
    {TIP_SLOW_BANDWIDTH, "Memory bandwidth is far below what the installed memory allows",
     "The measured triad bandwidth reached only %1 of what one channel of the installed memory "
     "moves at its configured speed. Likely causes: modules in the wrong slots (no dual channel), "
     "a very slow configured speed, or power saving holding the memory controller back. How: "
     "put the modules into the slots the board manual names for dual channel (usually A2 and "
     "B2), enable the memory profile (XMP/EXPO) in the firmware setup, and check the BIOS "
     "version.",
     &Percent},
    {TIP_BELOW_RATED, "The memory runs below its rated speed",
     "The memory modules are configured for %1 although they are rated faster (see Rated Speed "
     "and Configured Speed), so memory-bound programs lose speed. How: enter the firmware setup "
     "at start-up, enable the memory profile (XMP on Intel boards, EXPO or DOCP on AMD boards) or "
     "set the speed by hand, then run the tests again to check stability.",
     &MTs},
};

const AttrDescDef kAttrs[] = {
    {T_TOTAL, "Total Memory",
     "Memory the kernel manages, in MiB (MemTotal of /proc/meminfo); a little below the installed "
     "amount."},
    {T_AVAILABLE, "Available Memory",
     "Memory available for new programs without swapping, in MiB (MemAvailable)."},
    {T_FREE, "Free Memory",
     "Memory not used at all, in MiB (MemFree); low values are normal, the kernel uses spare "
     "memory "
     "as cache."},
    {T_CACHED, "Cached Memory",
     "File cache and buffers, in MiB; given back when programs need it."},
    {T_SHARED, "Shared Memory", "Shared memory and tmpfs contents, in MiB (Shmem)."},
    {T_AVAILABLE_SHARE, "Available Share", "Available Memory as a percentage of Total Memory."},
    {T_DESKTOP_NEED, "Desktop Needs",
     "Memory the desktop in use (XDG_CURRENT_DESKTOP) needs for everyday work with a browser, in "
     "MiB."},
    {T_SWAP_TOTAL, "Swap Total", "Swap space configured, in MiB."},
    {T_SWAP_USED, "Swap Used", "Swap space in use, in MiB."},
    {T_SWAP_USE, "Swap Use", "Swap Used as a percentage of Swap Total."},
    {T_SWAPPINESS, "Swappiness",
     "vm.swappiness: how readily the kernel swaps program memory instead of dropping file cache (0 "
     "to 200, default 60)."},
    {T_SWAP_DEVICES, "Swap Devices", "The swap areas of /proc/swaps with their kinds."},
    {T_ZRAM, "Compressed Swap",
     "zram devices (compressed swap in memory) with their sizes and compressors."},
    {T_ZSWAP, "Zswap", "Whether zswap, a compressed cache in front of disk swap, is enabled."},
    {T_HUGE_SIZE, "Huge Page Size", "The size of one huge page, in KiB."},
    {T_HUGE_TOTAL, "Huge Pages Total",
     "Huge pages reserved for programs that ask for them (vm.nr_hugepages)."},
    {T_HUGE_FREE, "Huge Pages Free", "Reserved huge pages not in use."},
    {T_THP, "Transparent Huge Pages",
     "When the kernel backs program memory with huge pages by itself: always, madvise or never."},
    {T_DEVICES, "Memory Modules",
     "Number of populated memory slots the firmware reports (SMBIOS type 17)."},
    {T_MODULES, "Module Sizes", "The sizes of the installed modules, in MiB."},
    {T_TYPE, "Memory Type", "The memory technology of the modules (DDR4, DDR5...)."},
    {T_RATED_SPEED, "Rated Speed", "The slowest rated speed among the modules, in MT/s."},
    {T_CONFIGURED_SPEED, "Configured Speed", "The speed the memory actually runs at, in MT/s."},
    {T_CHANNEL_PEAK, "Channel Peak",
     "What one 64-bit channel moves at the configured speed, in MB/s (speed x 8 bytes)."},
    {T_COPY, "Copy Bandwidth",
     "c[i] = a[i] over three arrays of doubles, each at least four times the last-level cache "
     "(so main memory is measured; a machine that does not tell its cache sizes, as virtual "
     "machines often do not, is taken to have 128 MiB), one thread, counted as STREAM "
     "does (16 bytes per element). "
     "The copy is made by the C library's memcpy, as in STREAM compiled by GCC, which writes "
     "arrays this large past the caches (non-temporal stores) where a plain copy loop first "
     "reads every line it writes. Each kernel is timed by the processor time of the test's "
     "thread (waiting for memory counts, time other programs took the processor does not). The "
     "best of 9 passes after one warm-up pass (fewer when a busy machine makes the passes take "
     "longer than 3.5 s with the time taken to make the arrays), in MB/s (10^6 bytes)."},
    {T_SCALE, "Scale Bandwidth",
     "b[i] = 3 c[i], as Copy Bandwidth (16 bytes per element) but a plain loop, best of 9 "
     "passes, in MB/s."},
    {T_ADD, "Add Bandwidth",
     "c[i] = a[i] + b[i] (24 bytes per element), best of 9 passes, in MB/s."},
    {T_TRIAD, "Triad Bandwidth",
     "a[i] = b[i] + 3 c[i] (24 bytes per element), best of 9 passes, in MB/s."},
    {T_ARRAY_SIZE, "Array Size", "The size of each of the three bandwidth arrays, in MiB."},
    {T_LATENCY, "Latency (one per working set)",
     "Time of one load that depends on the previous one (each line holds the address of the "
     "next), walking a random cycle through every 64-byte line of a working set of the size named "
     "(small sets stay in the L1 or L2 cache, "
     "the largest lies in main memory); large sets use huge pages where the kernel allows. Timed "
     "by the thread's processor time, as the bandwidth is. The 2 and 16 MiB sets mostly lie in "
     "the last-level cache, which other programs share: they vary too much from run to run for "
     "the history of this machine to compare them. The best of 5 repetitions of about 0.03 "
     "s after one warm-up (fewer past 0.4 s on a busy "
     "machine), "
     "in nanoseconds."},
};

const char kIntro[] =
    "<p>The Memory analyzer describes memory, swap, huge pages and the memory modules, and "
    "measures bandwidth (copy, scale, add and triad, as STREAM does) and the latency of dependent "
    "loads over working sets from the L1 cache to main memory.</p>";

}  // namespace

namespace mem {

const ModuleHelp& Help() {
    static const CTextRegistry texts = MakeTextRegistry(kTips, kAttrs);
    static const ModuleHelp help{texts, kModule.title, kIntro};
    return help;
}

KQARC AttrDesc(const CAttr* attr, CString& text) {
    if (attr && attr->m_type == 0 && StartsWith(attr->m_id, "Latency ") &&
        !attr->m_id.ends_with(" Spread")) {
        // Records keep no type word; the latency attributes share one description.
        CAttr typed = *attr;
        typed.m_type = T_LATENCY;
        return Texts().AttrDesc(&typed, text);
    }
    return Texts().AttrDesc(attr, text);
}

}  // namespace mem
