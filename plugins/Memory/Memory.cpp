// Analyzer 30: memory and swap, STREAM-style bandwidth and latency from L1 to main memory.
#include <algorithm>
#include <cmath>
#include <memory>

#include "MemoryBench.h"
#include "MemoryInfo.h"

using namespace kqa;

namespace {

CWnd* g_view = nullptr;

std::string Percent(int32_t f) { return std::to_string(f) + " %"; }
std::string MB(int32_t f) { return std::to_string(f) + " MB"; }
std::string Plain(int32_t f) { return std::to_string(f); }
std::string MTs(int32_t f) { return std::to_string(f) + " MT/s"; }

const TipTextDef kTips[] = {
    {mem::TIP_SWAP_HEAVY, "Swap is in heavy use: the machine needs more memory",
     "%1 of the swap space is in use, so programs wait for the disk whenever they touch memory "
     "that was pushed out, and the whole desktop stalls. How: close programs you do not need "
     "(see which use most with top, sorted by RES, or smem), add memory, or use compressed swap "
     "in memory, which is far quicker than disk: sudo apt install zram-tools, set PERCENT=50 in "
     "/etc/default/zramswap, then sudo systemctl restart zramswap.",
     &Percent},
    {mem::TIP_DESKTOP_MEMORY, "Too little memory for the desktop in use",
     "The machine has %1 of memory, less than the desktop in use needs with a web browser and an "
     "office program open (see Desktop Needs), so it swaps in everyday work. How: add memory, or "
     "change to a lighter desktop: sudo apt install task-xfce-desktop (or task-lxqt-desktop) "
     "and choose it on the login screen.",
     &MB},
    {mem::TIP_NO_SWAP, "Add swap space so that programs are not killed when memory runs out",
     "The machine has %1 of memory and no swap at all: when memory fills, the kernel's "
     "out-of-memory killer ends programs without warning, losing unsaved work. How: compressed "
     "swap in memory (sudo apt install zram-tools), or a swap file: sudo fallocate -l 2G "
     "/swapfile; sudo chmod 600 /swapfile; sudo mkswap /swapfile; sudo swapon /swapfile, and add "
     "\"/swapfile none swap sw 0 0\" to /etc/fstab.",
     &MB},
    {mem::TIP_SWAPPINESS, "Lower the swap tendency (swappiness) for a disk-based swap",
     "vm.swappiness is %1 although swap lies on a disk, not in compressed memory: the kernel "
     "moves idle programs out early and they come back slowly when you switch to them. How: "
     "sudo sysctl vm.swappiness=30, and to keep it, put \"vm.swappiness=30\" into "
     "/etc/sysctl.d/99-swappiness.conf.",
     &Plain},
    {mem::TIP_LOW_AVAILABLE, "Memory is nearly exhausted",
     "Only %1 of the memory is available for new work; the kernel is dropping caches and will "
     "soon swap or kill programs, and everything slows down. How: find the largest programs "
     "with top (press M to sort by memory) and close them; a browser with many tabs is the usual "
     "cause. If it happens often, add memory or swap.",
     &Percent},
    {mem::TIP_SLOW_BANDWIDTH, "Memory bandwidth is far below what the installed memory allows",
     "The measured triad bandwidth reached only %1 of what one channel of the installed memory "
     "moves at its configured speed. Likely causes: modules in the wrong slots (no dual channel), "
     "a very slow configured speed, or power saving holding the memory controller back. How: "
     "put the modules into the slots the board manual names for dual channel (usually A2 and "
     "B2), enable the memory profile (XMP/EXPO) in the firmware setup, and check the BIOS "
     "version.",
     &Percent},
    {mem::TIP_BELOW_RATED, "The memory runs below its rated speed",
     "The memory modules are configured for %1 although they are rated faster (see Rated Speed "
     "and Configured Speed), so memory-bound programs lose speed. How: enter the firmware setup "
     "at start-up, enable the memory profile (XMP on Intel boards, EXPO or DOCP on AMD boards) or "
     "set the speed by hand, then run the tests again to check stability.",
     &MTs},
};

const AttrDescDef kAttrs[] = {
    {mem::T_TOTAL, "Total Memory",
     "Memory the kernel manages, in MB (MemTotal of /proc/meminfo); a little below the installed "
     "amount."},
    {mem::T_AVAILABLE, "Available Memory",
     "Memory available for new programs without swapping, in MB (MemAvailable)."},
    {mem::T_FREE, "Free Memory",
     "Memory not used at all, in MB (MemFree); low values are normal, the kernel uses spare memory "
     "as cache."},
    {mem::T_CACHED, "Cached Memory",
     "File cache and buffers, in MB; given back when programs need it."},
    {mem::T_SHARED, "Shared Memory", "Shared memory and tmpfs contents, in MB (Shmem)."},
    {mem::T_AVAILABLE_SHARE, "Available Share",
     "Available Memory as a percentage of Total Memory."},
    {mem::T_DESKTOP_NEED, "Desktop Needs",
     "Memory the desktop in use (XDG_CURRENT_DESKTOP) needs for everyday work with a browser, in "
     "MB."},
    {mem::T_SWAP_TOTAL, "Swap Total", "Swap space configured, in MB."},
    {mem::T_SWAP_USED, "Swap Used", "Swap space in use, in MB."},
    {mem::T_SWAP_USE, "Swap Use", "Swap Used as a percentage of Swap Total."},
    {mem::T_SWAPPINESS, "Swappiness",
     "vm.swappiness: how readily the kernel swaps program memory instead of dropping file cache (0 "
     "to 200, default 60)."},
    {mem::T_SWAP_DEVICES, "Swap Devices", "The swap areas of /proc/swaps with their kinds."},
    {mem::T_ZRAM, "Compressed Swap",
     "zram devices (compressed swap in memory) with their sizes and compressors."},
    {mem::T_ZSWAP, "Zswap", "Whether zswap, a compressed cache in front of disk swap, is enabled."},
    {mem::T_HUGE_SIZE, "Huge Page Size", "The size of one huge page, in KiB."},
    {mem::T_HUGE_TOTAL, "Huge Pages Total",
     "Huge pages reserved for programs that ask for them (vm.nr_hugepages)."},
    {mem::T_HUGE_FREE, "Huge Pages Free", "Reserved huge pages not in use."},
    {mem::T_THP, "Transparent Huge Pages",
     "When the kernel backs program memory with huge pages by itself: always, madvise or never."},
    {mem::T_DEVICES, "Memory Modules",
     "Number of populated memory slots the firmware reports (SMBIOS type 17)."},
    {mem::T_MODULES, "Module Sizes", "The sizes of the installed modules."},
    {mem::T_TYPE, "Memory Type", "The memory technology of the modules (DDR4, DDR5...)."},
    {mem::T_RATED_SPEED, "Rated Speed", "The slowest rated speed among the modules, in MT/s."},
    {mem::T_CONFIGURED_SPEED, "Configured Speed",
     "The speed the memory actually runs at, in MT/s."},
    {mem::T_CHANNEL_PEAK, "Channel Peak",
     "What one 64-bit channel moves at the configured speed, in MB/s (speed x 8 bytes)."},
    {mem::T_COPY, "Copy Bandwidth",
     "c[i] = a[i] over three arrays of doubles, each at least four times the last-level cache "
     "(so main memory is measured), one thread, counted as STREAM does (16 bytes per element). "
     "The best of 9 passes after one warm-up pass, in MB/s (10^6 bytes)."},
    {mem::T_SCALE, "Scale Bandwidth",
     "b[i] = 3 c[i], as Copy Bandwidth (16 bytes per element), best of 9 passes, in MB/s."},
    {mem::T_ADD, "Add Bandwidth",
     "c[i] = a[i] + b[i] (24 bytes per element), best of 9 passes, in MB/s."},
    {mem::T_TRIAD, "Triad Bandwidth",
     "a[i] = b[i] + 3 c[i] (24 bytes per element), best of 9 passes, in MB/s."},
    {mem::T_ARRAY_SIZE, "Array Size", "The size of each of the three bandwidth arrays, in MiB."},
    {mem::T_LATENCY, "",
     "Time of one load that depends on the previous one, walking a random cycle through every "
     "64-byte line of a working set of the size named (small sets stay in the L1 or L2 cache, "
     "the largest lies in main memory); large sets use huge pages where the kernel allows. The "
     "best of 5 repetitions of about 0.03 s after one warm-up, in nanoseconds."},
};

const CTextRegistry& Texts() {
    static const CTextRegistry registry = [] {
        CTextRegistry r;
        r.AddTips(kTips);
        r.AddAttrs(kAttrs);
        AddConditionAttrs(r);
        return r;
    }();
    return registry;
}

const char* const kKernelNames[] = {"Copy Bandwidth", "Scale Bandwidth", "Add Bandwidth",
                                    "Triad Bandwidth"};
const int32_t kKernelTypes[] = {mem::T_COPY, mem::T_SCALE, mem::T_ADD, mem::T_TRIAD};

// The last-level cache over the whole machine, in bytes (0 unknown).
double LastLevelCacheBytes() {
    const std::string dir = "/sys/devices/system/cpu/cpu0/cache";
    double best = 0, shared = 1;
    long long bestLevel = 0;
    for (const auto& idx : ListDir(dir)) {
        if (!StartsWith(idx, "index")) continue;
        auto level = ReadInt(dir + "/" + idx + "/level");
        auto size = ReadLine(dir + "/" + idx + "/size");
        if (!level || !size || *level < bestLevel) continue;
        double kib = std::atof(size->c_str());
        if (size->find('M') != std::string::npos) kib *= 1024;
        bestLevel = *level;
        best = kib * 1024;
        auto list = ParseCpuList(ReadLine(dir + "/" + idx + "/shared_cpu_list").value_or(""));
        shared = std::max<double>(1, static_cast<double>(list.size()));
    }
    auto online = ParseCpuList(ReadLine("/sys/devices/system/cpu/online").value_or(""));
    const double instances = std::max(1.0, std::ceil(static_cast<double>(online.size()) / shared));
    return best * instances;
}

bool RunBandwidth(CKQTreeEntry* branch, CProgress& progress) {
    CConditionsProbe probe(mem::kVersion);
    // Each array four times the caches (STREAM's rule), at least 64 MiB, at most an eighth of
    // the available memory for the three.
    double bytes = std::max(64.0 * 1024 * 1024, 4 * LastLevelCacheBytes());
    if (auto text = ReadFile("/proc/meminfo")) {
        auto kv = ParseKeyValue(*text, ':');
        double availKiB = std::atof(kv["MemAvailable"].c_str());
        if (availKiB > 0) bytes = std::min(bytes, availKiB * 1024 / 8 / 3);
    }
    bytes *= BenchScale();
    const size_t n = std::max<size_t>(4096, static_cast<size_t>(bytes / sizeof(double)));
    progress.Log(Format("Bandwidth test: 3 arrays of %.1f MiB", n * 8.0 / (1024 * 1024)));
    auto arrays = std::make_unique<membench::CStreamArrays>(n);
    if (!arrays->Ok()) {
        progress.Log("Bandwidth test: not enough memory for the arrays");
        return progress.Step(1);
    }
    constexpr int kPasses = 10;  // the first is the warm-up, as in STREAM
    double best[4] = {0, 0, 0, 0};
    for (int pass = 0; pass < kPasses; ++pass) {
        probe.Sample();
        for (int k = 0; k < 4; ++k) {
            const double t = arrays->Pass(k);
            if (pass > 0 && t > 0 && (best[k] == 0 || t < best[k])) best[k] = t;
            if (!progress.Step(static_cast<double>(pass * 4 + k + 1) / (kPasses * 4))) return false;
        }
    }
    CKQTreeEntry* e = Child(branch, mem::kBandwidth);
    for (int k = 0; k < 4; ++k)
        if (best[k] > 0)
            SetNumber(e, kKernelNames[k], arrays->Bytes(k) / best[k] / 1e6, 0, "MB/s",
                      kKernelTypes[k], k == 0 || k == 3);
    SetNumber(e, "Array Size", n * 8.0 / (1024 * 1024), 1, "MiB", mem::T_ARRAY_SIZE);
    StoreConditions(e, probe.Finish());
    progress.Log(Format("Bandwidth: copy %.0f, scale %.0f, add %.0f, triad %.0f MB/s",
                        arrays->Bytes(0) / best[0] / 1e6, arrays->Bytes(1) / best[1] / 1e6,
                        arrays->Bytes(2) / best[2] / 1e6, arrays->Bytes(3) / best[3] / 1e6));
    return true;
}

bool RunLatency(CKQTreeEntry* branch, CProgress& progress) {
    CConditionsProbe probe(mem::kVersion);
    CKQTreeEntry* e = Child(branch, mem::kLatency);
    const double target = 0.03 * BenchScale();
    const int sets = static_cast<int>(std::size(mem::kLatencySetsKiB));
    for (int s = 0; s < sets; ++s) {
        const long kib = mem::kLatencySetsKiB[s];
        membench::CChase chase(static_cast<size_t>(kib) * 1024);
        if (!chase.Ok()) continue;
        // Calibrate the count of loads so that one repetition lasts about the target.
        uint64_t loads = 4096;
        double t = 0;
        for (int round = 0; round < 30; ++round) {
            t = chase.Run(loads);
            if (!progress.Step(static_cast<double>(s) / sets)) return false;
            if (t >= std::min(0.005, target) || loads >= (1ull << 36)) break;
            loads *= 4;
        }
        loads = std::max<uint64_t>(1024, static_cast<uint64_t>(loads * target / std::max(t, 1e-9)));
        progress.SetSpan(50 + 50 * s / sets, 50 + 50 * (s + 1) / sets);
        auto timing = Repeat(1, 5, progress, [&] {
            probe.Sample();
            return chase.Run(loads);
        });
        progress.SetSpan(50, 100);
        if (!timing) return false;
        SetNumber(e, mem::LatencyName(kib), timing->Best() / static_cast<double>(loads) * 1e9, 1,
                  "ns", mem::T_LATENCY, s == sets - 1);
    }
    StoreConditions(e, probe.Finish());
    return true;
}

void AddDefinitions(CKQTreeEntry* branch) {
    std::vector<std::string> latency;
    for (long kib : mem::kLatencySetsKiB)
        latency.push_back(std::string(mem::kLatency) + "~" + mem::LatencyName(kib));
    AddReport(branch, "Memory Details", mem::kID,
              {"Memory Size~Total Memory", "Memory Size~Available Memory", "Swap~Swap Total",
               "Swap~Swap Used", "Swap~Swappiness", "Swap~Compressed Swap",
               "Huge Pages~Transparent Huge Pages", "Memory Devices~Memory Type",
               "Memory Devices~Configured Speed", "Memory Bandwidth~Copy Bandwidth",
               "Memory Bandwidth~Scale Bandwidth", "Memory Bandwidth~Add Bandwidth",
               "Memory Bandwidth~Triad Bandwidth", latency.back(), "Memory Bandwidth~Governor",
               "Memory Bandwidth~Throttled", "Memory Bandwidth~Load Before",
               "Memory Bandwidth~Module Version"});
    AddChart(branch, "Memory Bandwidth", "MB/s", mem::kID,
             {"Memory Bandwidth~Copy Bandwidth", "Memory Bandwidth~Scale Bandwidth",
              "Memory Bandwidth~Add Bandwidth", "Memory Bandwidth~Triad Bandwidth"});
    AddChart(branch, "Memory Latency", "ns", mem::kID, latency);
    AddChart(branch, "Memory Size", "MB", mem::kID,
             {"Memory Size~Total Memory", "Memory Size~Available Memory", "Swap~Swap Total"});
}

}  // namespace

KQARC kqaInitialize(CWnd* view, CAnalyzerInfo& info) {
    g_view = view;
    info.m_id = mem::kID;
    info.m_version = mem::kVersion;
    info.m_name = "Memory";
    info.m_title = "Memory";
    info.m_bitmap = 3000;
    return KQARC_OK;
}

KQARC kqaGetSystemInfo(CKQTreeEntry* branch) {
    if (!branch) return KQARC_FAIL;
    mem::FillBranch(branch);
    AddDefinitions(branch);
    return KQARC_OK;
}

KQARC kqaDoPropertiesUI(CKQTreeEntry*) { return KQARC_FAIL; }

KQARC kqaRunTests(CKQTreeEntry* branch, int& cancel) {
    if (!branch) return KQARC_FAIL;
    CProgress progress(g_view, mem::kID, cancel);
    // Sizes and swap use move; read them again so that tips see the present state.
    mem::FillBranch(branch);
    progress.SetSpan(0, 50);
    if (!RunBandwidth(branch, progress)) {
        progress.Log("Memory tests cancelled");
        return KQARC_CANCELLED;
    }
    progress.SetSpan(50, 100);
    if (!RunLatency(branch, progress)) {
        progress.Log("Memory tests cancelled");
        return KQARC_CANCELLED;
    }
    return KQARC_OK;
}

KQARC kqaRunATest(CKQTreeEntry* branch, CKQTreeEntry* item, int& cancel) {
    if (!branch) return KQARC_FAIL;
    const std::string key = item ? item->GetKey() : "";
    CProgress progress(g_view, mem::kID, cancel);
    if (key == mem::kBandwidth) return RunBandwidth(branch, progress) ? KQARC_OK : KQARC_CANCELLED;
    if (key == mem::kLatency) {
        progress.SetSpan(50, 100);
        return RunLatency(branch, progress) ? KQARC_OK : KQARC_CANCELLED;
    }
    return kqaRunTests(branch, cancel);
}

KQARC kqaGenTips(CKQTreeEntry* branch) {
    if (!branch) return KQARC_FAIL;
    mem::GenTips(branch);
    return KQARC_OK;
}

KQARC kqaGetTipText(CTip* tip, CString& text) { return Texts().TipText(tip, text); }
KQARC kqaGetTipDesc(CTip* tip, CString& text) { return Texts().TipDesc(tip, text); }
KQARC kqaGetAttrDesc(CAttr* attr, CString& text) {
    if (attr && attr->m_type == 0 && StartsWith(attr->m_id, "Latency ")) {
        // Records keep no type word; the latency attributes share one description.
        CAttr typed = *attr;
        typed.m_type = mem::T_LATENCY;
        return Texts().AttrDesc(&typed, text);
    }
    return Texts().AttrDesc(attr, text);
}
