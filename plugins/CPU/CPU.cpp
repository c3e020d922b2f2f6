// Analyzer 20: the processor, its settings, and integer and floating-point throughput on one
// thread and on all threads.
#include <algorithm>
#include <cmath>

#include "CPUBench.h"
#include "CPUInfo.h"
#include "CPUTexts.h"

using namespace kqa;

namespace {

CWnd* g_view = nullptr;

// One repetition's target length at full scale: long enough to time well, short enough that a
// progress message (and so Cancel) follows within half a second.
constexpr double kRepSeconds = 0.05;
constexpr int kWarmup = 1, kReps = 7;
// Repetitions are timed by processor time; on a busy machine each takes longer by the clock,
// so a phase stops starting new ones after this many seconds and the test keeps its length.
constexpr double kPhaseBudget = 1.2;

// Iterations for one repetition of kRepSeconds * scale; 0 when cancelled.
uint64_t Calibrate(bool integer, CProgress& progress) {
    const double target = kRepSeconds * BenchScale();
    uint64_t n = 1024;
    for (int round = 0; round < 40; ++round) {
        const double t = cpubench::RunSingle(integer, n);
        if (!progress.Step(0)) return 0;
        if (t >= std::min(0.02, target) || n >= (1ull << 40)) {
            const double per = t / static_cast<double>(n);
            return std::max<uint64_t>(1, static_cast<uint64_t>(target / std::max(per, 1e-12)));
        }
        n *= 4;
    }
    return n;
}

// Runs one test (integer or float) into its entry; false when cancelled.
bool RunTest(CKQTreeEntry* branch, bool integer, CProgress& progress, int spanFrom, int spanTo) {
    const char* key = integer ? cpu::kIntTest : cpu::kFloatTest;
    const char* what = integer ? "Integer" : "Float";
    const double opsPerIter =
        integer ? cpubench::kIntOpsPerIteration : cpubench::kFloatOpsPerIteration;
    const std::string unit = integer ? "Mop/s" : "MFLOP/s";
    CConditionsProbe probe(cpu::kModule.version);
    const int threads = cpubench::UsableCPUs();
    const int mid = (spanFrom + spanTo) / 2;

    progress.SetSpan(spanFrom, spanFrom);
    const uint64_t iters = Calibrate(integer, progress);
    if (iters == 0) return false;
    progress.Log(Format("%s test: %llu steps per repetition, %d threads", what,
                        static_cast<unsigned long long>(iters), threads));

    progress.SetSpan(spanFrom, mid);
    auto single =
        Repeat(kWarmup, kReps, progress, [&] { return cpubench::RunSingle(integer, iters); },
               {&probe, kPhaseBudget});
    if (!single) return false;
    progress.SetSpan(mid, spanTo);
    auto multi = Repeat(kWarmup, kReps, progress,
                        [&] { return cpubench::RunThreads(threads, integer, iters); },
                        {&probe, kPhaseBudget});
    if (!multi) return false;

    const double ops = static_cast<double>(iters) * opsPerIter;
    // The best repetition: what shares the core or the caches can only slow a repetition down.
    const double singleRate = ops / single->Best() / 1e6;
    const double multiRate = ops * threads / multi->Best() / 1e6;
    CKQTreeEntry* e = Child(branch, key);
    SetMeasured(e, std::string(what) + " Single-Thread", singleRate, 0, unit,
                integer ? cpu::T_INT_SINGLE : cpu::T_FLOAT_SINGLE, single->Spread(), false, true);
    SetMeasured(e, std::string(what) + " All Threads", multiRate, 0, unit,
                integer ? cpu::T_INT_MULTI : cpu::T_FLOAT_MULTI, multi->Spread(), false, true);
    // A ratio of two timings varies by up to the sum of their spreads.
    SetMeasured(e, std::string(what) + " Scaling", multiRate / singleRate, 2, "x",
                integer ? cpu::T_INT_SCALING : cpu::T_FLOAT_SCALING,
                single->Spread() + multi->Spread());
    SetNumber(e, "Threads Used", threads, 0, "", cpu::T_THREADS_USED);
    StoreConditions(e, probe.Finish());
    progress.Log(Format("%s: %.0f %s on one thread (spread %.1f %%), %.0f %s on %d threads", what,
                        singleRate, unit.c_str(), 100 * single->Spread(), multiRate, unit.c_str(),
                        threads));
    return true;
}

void AddDefinitions(CKQTreeEntry* branch) {
    AddReport(branch, "CPU Details", cpu::kID,
              {"Processor~CPU Model",
               "Processor~Cores",
               "Processor~Threads",
               "Processor~Base Clock",
               "Processor~Maximum Clock",
               "CPU Caches~L2 Cache",
               "CPU Caches~L3 Cache",
               "Instruction Set~Instruction Set Level",
               "Instruction Set~SIMD Extensions",
               "Frequency Scaling~CPU Governor",
               "Frequency Scaling~CPU Boost",
               "Frequency Scaling~Power Supply",
               "CPU Security~Vulnerable Count",
               "CPU Integer Test~Integer Single-Thread",
               "CPU Integer Test~Integer All Threads",
               "CPU Integer Test~Integer Scaling",
               "CPU Float Test~Float Single-Thread",
               "CPU Float Test~Float All Threads",
               "CPU Integer Test~Governor",
               "CPU Integer Test~Throttled",
               "CPU Integer Test~Load Before",
               "CPU Integer Test~Module Version"});
    AddChart(branch, "CPU Integer Throughput", "Mop/s", cpu::kID,
             {"CPU Integer Test~Integer Single-Thread", "CPU Integer Test~Integer All Threads"});
    AddChart(branch, "CPU Floating-Point Throughput", "MFLOP/s", cpu::kID,
             {"CPU Float Test~Float Single-Thread", "CPU Float Test~Float All Threads"});
    AddChart(branch, "CPU Thread Scaling", "x", cpu::kID,
             {"CPU Integer Test~Integer Scaling", "CPU Float Test~Float Scaling"});
    AddChart(branch, "CPU Clock", "MHz", cpu::kID,
             {"Processor~Current Clock", "Processor~Maximum Clock"});
}

}  // namespace

KQARC kqaInitialize(CWnd* view, CAnalyzerInfo& info) {
    g_view = view;
    Describe(info, cpu::kModule);
    return KQARC_OK;
}

KQARC kqaGetSystemInfo(CKQTreeEntry* branch) {
    if (!branch) return KQARC_FAIL;
    cpu::FillBranch(branch);
    AddDefinitions(branch);
    return KQARC_OK;
}

KQARC kqaDoPropertiesUI(CKQTreeEntry*) { return KQARC_FAIL; }

KQARC kqaRunTests(CKQTreeEntry* branch, int& cancel) {
    if (!branch) return KQARC_FAIL;
    CProgress progress(g_view, cpu::kID, cancel);
    if (!RunTest(branch, true, progress, 0, 50) || !RunTest(branch, false, progress, 50, 100)) {
        progress.Log("CPU tests cancelled");
        return KQARC_CANCELLED;
    }
    return KQARC_OK;
}

KQARC kqaRunATest(CKQTreeEntry* branch, CKQTreeEntry* item, int& cancel) {
    if (!branch) return KQARC_FAIL;
    const std::string key = item ? item->GetKey() : "";
    if (key != cpu::kIntTest && key != cpu::kFloatTest) return kqaRunTests(branch, cancel);
    CProgress progress(g_view, cpu::kID, cancel);
    return RunTest(branch, key == cpu::kIntTest, progress, 0, 100) ? KQARC_OK : KQARC_CANCELLED;
}

KQARC kqaGenTips(CKQTreeEntry* branch) {
    if (!branch) return KQARC_FAIL;
    cpu::GenTips(branch);
    return KQARC_OK;
}

KQARC kqaGetTipText(CTip* tip, CString& text) { return cpu::Texts().TipText(tip, text); }
KQARC kqaGetTipDesc(CTip* tip, CString& text) { return cpu::Texts().TipDesc(tip, text); }
KQARC kqaGetAttrDesc(CAttr* attr, CString& text) { return cpu::AttrDesc(attr, text); }
