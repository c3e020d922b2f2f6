// Analyzer 30: memory and swap, STREAM-style bandwidth and latency from L1 to main memory.
#include <algorithm>
#include <cmath>
#include <memory>

#include "MemoryBench.h"
#include "MemoryInfo.h"

using namespace kqa;

namespace {

CWnd* g_view = nullptr;

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
    CConditionsProbe probe(mem::kModule.version);
    double availKiB = 0;
    if (auto text = ReadFile("/proc/meminfo"))
        availKiB = std::atof(ParseKeyValue(*text, ':')["MemAvailable"].c_str());
    double bytes = membench::ArrayBytes(LastLevelCacheBytes(), availKiB * 1024) * BenchScale();
    const size_t n = std::max<size_t>(4096, static_cast<size_t>(bytes / sizeof(double)));
    progress.Log(Format("Bandwidth test: 3 arrays of %.1f MiB", n * 8.0 / (1024 * 1024)));
    const double made = Now();
    auto arrays = std::make_unique<membench::CStreamArrays>(n);
    if (!arrays->Ok()) {
        progress.Log("Bandwidth test: not enough memory for the arrays");
        return progress.Step(1);
    }
    // STREAM's order: the four kernels one after another in every pass, the first pass a
    // warm-up; progress after every kernel, so that Cancel is seen within one kernel.
    constexpr int kPasses = 10;
    // A busy machine, or one slow to fault the arrays in (a virtual machine), gets fewer
    // passes, not a longer test.
    const double budget = std::max(3.5 - (Now() - made), 1e-6);
    Timing kernels[4];
    int pass = 0;
    auto all = Repeat(1, kPasses - 1, progress,
                      [&] {
                          double sum = 0;
                          for (int k = 0; k < 4; ++k) {
                              const double t = arrays->Pass(k);
                              if (pass > 0) kernels[k].samples.push_back(t);
                              sum += t;
                              if (k < 3 && !progress.Step((pass * 4 + k + 1.0) / (kPasses * 4)))
                                  break;
                          }
                          ++pass;
                          return sum;
                      },
                      {&probe, budget, true, 3});
    if (!all) return false;
    double best[4];
    for (int k = 0; k < 4; ++k) best[k] = kernels[k].Best();
    CKQTreeEntry* e = Child(branch, mem::kBandwidth);
    for (int k = 0; k < 4; ++k)
        if (best[k] > 0)
            SetMeasured(e, kKernelNames[k], arrays->Bytes(k) / best[k] / 1e6, 0, "MB/s",
                        kKernelTypes[k], kernels[k].Spread(), false, k == 0 || k == 3);
    SetNumber(e, "Array Size", n * 8.0 / (1024 * 1024), 1, "MiB", mem::T_ARRAY_SIZE);
    StoreConditions(e, probe.Finish());
    progress.Log(Format("Bandwidth: copy %.0f, scale %.0f, add %.0f, triad %.0f MB/s",
                        arrays->Bytes(0) / best[0] / 1e6, arrays->Bytes(1) / best[1] / 1e6,
                        arrays->Bytes(2) / best[2] / 1e6, arrays->Bytes(3) / best[3] / 1e6));
    return true;
}

bool RunLatency(CKQTreeEntry* branch, CProgress& progress) {
    CConditionsProbe probe(mem::kModule.version);
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
        auto timing =
            Repeat(1, 5, progress, [&] { return chase.Run(loads); }, {&probe, 0.4, true, 3});
        progress.SetSpan(50, 100);
        if (!timing) return false;
        const double ns = timing->Best() / static_cast<double>(loads) * 1e9;
        if (mem::LatencyRepeats(kib)) {
            SetMeasured(e, mem::LatencyName(kib), ns, 1, "ns", mem::T_LATENCY, timing->Spread(),
                        true, s == sets - 1);
        } else {
            SetNumber(e, mem::LatencyName(kib), ns, 1, "ns", mem::T_LATENCY, s == sets - 1);
            SetSpread(e, mem::LatencyName(kib), timing->Spread());
        }
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
    AddChart(branch, "Memory Size", "MiB", mem::kID,
             {"Memory Size~Total Memory", "Memory Size~Available Memory", "Swap~Swap Total"});
}

}  // namespace

KQARC kqaInitialize(CWnd* view, CAnalyzerInfo& info) {
    g_view = view;
    Describe(info, mem::kModule);
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

KQARC kqaGetTipText(CTip* tip, CString& text) { return mem::Texts().TipText(tip, text); }
KQARC kqaGetTipDesc(CTip* tip, CString& text) { return mem::Texts().TipDesc(tip, text); }
KQARC kqaGetAttrDesc(CAttr* attr, CString& text) { return mem::AttrDesc(attr, text); }
