// Analyzer 20: the processor, its settings, and integer and floating-point throughput on one
// thread and on all threads.
#include <algorithm>
#include <cmath>

#include "CPUBench.h"
#include "CPUInfo.h"

using namespace kqa;

namespace {

CWnd* g_view = nullptr;

std::string MHz(int32_t f) { return f > 0 ? std::to_string(f) + " MHz" : "its rated"; }
std::string Count(int32_t f) { return std::to_string(f); }
std::string Percent(int32_t f) { return std::to_string(f) + " %"; }

const TipTextDef kTips[] = {
    {cpu::TIP_GOVERNOR, "Set the CPU frequency governor to performance while on AC power",
     "The frequency governor is not \"performance\" although the machine runs on mains power, so "
     "the processor waits for load before raising its clock (up to %1) and short tasks run "
     "slower than they could. Why it matters: interactive work and builds consist of short "
     "bursts that a saving governor serves at a low clock. How: sudo cpupower frequency-set -g "
     "performance (package linux-cpupower), or echo performance | sudo tee "
     "/sys/devices/system/cpu/cpu*/cpufreq/scaling_governor; to keep it, run powerprofilesctl "
     "set performance where power-profiles-daemon is installed, or set GOVERNOR=\"performance\" "
     "in /etc/default/cpufrequtils.",
     &MHz},
    {cpu::TIP_BOOST_OFF, "Turn processor boost back on",
     "Boost (Turbo Boost / Core Performance Boost) is switched off, so the processor never runs "
     "above its base clock and cannot reach %1. Single-threaded programs lose up to a third of "
     "their speed. How: echo 1 | sudo tee /sys/devices/system/cpu/cpufreq/boost (AMD and "
     "acpi-cpufreq), or echo 0 | sudo tee /sys/devices/system/cpu/intel_pstate/no_turbo "
     "(Intel); also check that boost is enabled in the firmware setup.",
     &MHz},
    {cpu::TIP_THROTTLED, "The processor clock dropped under load: check the cooling",
     "During the CPU test the clock fell by more than 10 %, down to %1: the processor is "
     "thermally or power limited. Every long task is slowed this way, and heat shortens the "
     "machine's life. How: clean the fans and air inlets, make sure the vents are free (not on a "
     "soft surface), check temperatures with sensors (package lm-sensors), renew the thermal "
     "paste of an old machine, and in the firmware setup check power limits (PL1/PL2, PPT).",
     &MHz},
    {cpu::TIP_VULNERABLE, "The processor is exposed to known security flaws",
     "The kernel reports %1 processor vulnerabilities as \"Vulnerable\" (or mitigations are "
     "turned off with mitigations=off), see the CPU Security entry. Programs and web pages may "
     "read data of other programs through them. How: install the microcode update (sudo apt "
     "install intel-microcode or amd64-microcode, non-free-firmware), keep the kernel current "
     "(sudo apt full-upgrade), and remove mitigations=off from GRUB_CMDLINE_LINUX in "
     "/etc/default/grub, then sudo update-grub and restart.",
     &Count},
    {cpu::TIP_BUSY, "Other programs kept the processor busy",
     "Before the test other programs used %1 of the processor time, so every program, and the "
     "figures measured here, got less of it. How: find the busy programs with top or htop "
     "(sort by CPU) and close or stop them (systemctl stop for services, e.g. indexers or "
     "updates), then run the tests again.",
     &Percent},
    {cpu::TIP_POOR_SCALING, "Programs cannot use all processor threads",
     "Running on all threads gave only %1 of the ideal speed-up over one thread. Either the CPUs "
     "are shared with other work, or a limit holds the program back: a CPU quota or affinity of "
     "the session (systemctl show user.slice -p CPUQuotaPerSecUSec; taskset -p $$), power "
     "limits, or a virtual machine with overcommitted host CPUs. How: remove the quota "
     "(systemctl set-property user.slice CPUQuota=), check the affinity, or give the virtual "
     "machine dedicated CPUs.",
     &Percent},
    {cpu::TIP_NO_MICROCODE, "Install the processor microcode update",
     "The package with the processor's microcode updates is not installed, so the processor "
     "runs with the microcode its firmware loaded, possibly years old, without fixes for "
     "stability problems and security flaws. How: enable the non-free-firmware component in "
     "/etc/apt/sources.list, then sudo apt install intel-microcode (Intel) or amd64-microcode "
     "(AMD), and restart.",
     nullptr},
};

const AttrDescDef kAttrs[] = {
    {cpu::T_MODEL, "CPU Model", "The processor's model name (model name in /proc/cpuinfo)."},
    {cpu::T_VENDOR, "CPU Vendor", "The maker's identification string (vendor_id)."},
    {cpu::T_SIGNATURE, "CPU Signature",
     "Family, model and stepping: which design and revision the processor is."},
    {cpu::T_MICROCODE, "Microcode Revision", "The microcode revision loaded into the processor."},
    {cpu::T_SOCKETS, "Sockets", "Number of physical processor packages."},
    {cpu::T_CORES, "Cores", "Number of physical cores over all packages (distinct core IDs)."},
    {cpu::T_THREADS, "Threads", "Number of logical CPUs online (with SMT, two or more per core)."},
    {cpu::T_THREADS_PER_CORE, "Threads per Core",
     "Logical CPUs per core: 2 with SMT/Hyper-Threading on, 1 without."},
    {cpu::T_USABLE, "CPUs Usable",
     "Logical CPUs this program may run on (its affinity mask); fewer than Threads when limited."},
    {cpu::T_BASE_CLOCK, "Base Clock",
     "The guaranteed clock in MHz (base_frequency, or the figure in the model name)."},
    {cpu::T_MAX_CLOCK, "Maximum Clock",
     "The highest clock the processor may reach, with boost, in MHz (cpuinfo_max_freq)."},
    {cpu::T_MIN_CLOCK, "Minimum Clock", "The lowest clock the frequency driver uses, in MHz."},
    {cpu::T_CUR_CLOCK, "Current Clock",
     "The highest current clock over the CPUs when the branch was filled, in MHz."},
    {cpu::T_L1D, "L1 Data Cache", "Size of the first-level data cache of one core, in KiB."},
    {cpu::T_L1I, "L1 Instruction Cache",
     "Size of the first-level instruction cache of one core, in KiB."},
    {cpu::T_L2, "L2 Cache", "Size of one second-level cache, in KiB."},
    {cpu::T_L3, "L3 Cache",
     "Size of one last-level cache, in KiB (usually shared by all cores of a package)."},
    {cpu::T_ISA_LEVEL, "Instruction Set Level",
     "The x86-64 micro-architecture level the processor meets (v1 to v4); programs built for a "
     "higher level do not run."},
    {cpu::T_SIMD, "SIMD Extensions",
     "Vector instruction sets the processor offers, used by media, compression and science "
     "programs."},
    {cpu::T_AES, "AES Acceleration",
     "Whether AES instructions speed up disk and network encryption."},
    {cpu::T_HWVIRT, "Hardware Virtualization",
     "VT-x or AMD-V, needed for fast virtual machines (KVM); shown as not available inside most "
     "virtual machines."},
    {cpu::T_ADDRESS, "Address Sizes", "Physical and virtual address widths in bits."},
    {cpu::T_MICROCODE_PKG, "Microcode Package",
     "Whether the distribution's microcode update package is installed (from the dpkg status)."},
    {cpu::T_DRIVER, "Scaling Driver",
     "The kernel driver that sets the clock (intel_pstate, amd-pstate, acpi-cpufreq...)."},
    {cpu::T_GOVERNOR, "CPU Governor",
     "The policy that chooses the clock: performance, powersave, schedutil, ondemand..."},
    {cpu::T_GOVERNORS, "Available Governors", "The governors the scaling driver offers."},
    {cpu::T_EPP, "Energy Preference",
     "The energy-performance preference handed to the processor (intel_pstate and amd-pstate)."},
    {cpu::T_BOOST, "CPU Boost", "Whether the processor may run above its base clock."},
    {cpu::T_POWER, "Power Supply",
     "AC or battery, from /sys/class/power_supply; AC on machines without a battery."},
    {cpu::T_VULNERABILITY, "",
     "The kernel's report on one known processor vulnerability (/sys/devices/system/cpu/"
     "vulnerabilities): Not affected, Mitigation (protected, at some cost) or Vulnerable."},
    {cpu::T_MITIGATIONS, "Mitigations",
     "The mitigations= setting on the kernel command line (auto when not given)."},
    {cpu::T_VULNERABLE_COUNT, "Vulnerable Count",
     "How many of the reported vulnerabilities are not mitigated."},
    {cpu::T_LOADAVG, "Load Average",
     "Runnable tasks averaged over 1, 5 and 15 minutes (/proc/loadavg)."},
    {cpu::T_LOAD_PER_CPU, "Load per CPU",
     "The one-minute load average divided by the number of threads; above 1 the processor is "
     "overloaded."},
    {cpu::T_TASKS, "Tasks", "Number of processes and threads on the system."},
    {cpu::T_INT_SINGLE, "Integer Single-Thread",
     "Integer throughput of one thread in millions of operations per second: four independent "
     "xorshift-multiply streams (32 integer operations per step). Each repetition lasts about "
     "0.12 s (fixed after a calibration run); the best of 7 repetitions after one warm-up."},
    {cpu::T_INT_MULTI, "Integer All Threads",
     "The integer work run on every usable CPU at once, each thread doing the single-thread "
     "amount; total operations over the time from the common start to the last finish, best "
     "of 7 repetitions after one warm-up, in millions of operations per second."},
    {cpu::T_INT_SCALING, "Integer Scaling",
     "Integer All Threads divided by Integer Single-Thread. Ideally equal to the threads used; "
     "SMT threads add less than a core."},
    {cpu::T_THREADS_USED, "Threads Used",
     "Threads the all-threads tests ran on (the CPUs this program may use)."},
    {cpu::T_FLOAT_SINGLE, "Float Single-Thread",
     "Double-precision throughput of one thread in millions of floating-point operations per "
     "second: eight independent multiply-add chains (16 operations per step), about 0.12 s per "
     "repetition, best of 7 after one warm-up."},
    {cpu::T_FLOAT_MULTI, "Float All Threads",
     "The floating-point work on every usable CPU at once, best of 7 repetitions, in MFLOP/s."},
    {cpu::T_FLOAT_SCALING, "Float Scaling", "Float All Threads divided by Float Single-Thread."},
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

// One repetition's target length at full scale: long enough to time well, short enough that a
// progress message (and so Cancel) follows within half a second.
constexpr double kRepSeconds = 0.12;
constexpr int kWarmup = 1, kReps = 7;

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
    CConditionsProbe probe(cpu::kVersion);
    const int threads = cpubench::UsableCPUs();
    const int mid = (spanFrom + spanTo) / 2;

    progress.SetSpan(spanFrom, spanFrom);
    const uint64_t iters = Calibrate(integer, progress);
    if (iters == 0) return false;
    progress.Log(Format("%s test: %llu steps per repetition, %d threads", what,
                        static_cast<unsigned long long>(iters), threads));

    progress.SetSpan(spanFrom, mid);
    auto single = Repeat(kWarmup, kReps, progress, [&] {
        probe.Sample();
        return cpubench::RunSingle(integer, iters);
    });
    if (!single) return false;
    progress.SetSpan(mid, spanTo);
    auto multi = Repeat(kWarmup, kReps, progress, [&] {
        probe.Sample();
        return cpubench::RunThreads(threads, integer, iters);
    });
    if (!multi) return false;

    const double ops = static_cast<double>(iters) * opsPerIter;
    // The best repetition: other programs can only slow a repetition down, never speed it up.
    const double singleRate = ops / single->Best() / 1e6;
    const double multiRate = ops * threads / multi->Best() / 1e6;
    CKQTreeEntry* e = Child(branch, key);
    SetNumber(e, std::string(what) + " Single-Thread", singleRate, 0, unit,
              integer ? cpu::T_INT_SINGLE : cpu::T_FLOAT_SINGLE, true);
    SetNumber(e, std::string(what) + " All Threads", multiRate, 0, unit,
              integer ? cpu::T_INT_MULTI : cpu::T_FLOAT_MULTI, true);
    SetNumber(e, std::string(what) + " Scaling", multiRate / singleRate, 2, "x",
              integer ? cpu::T_INT_SCALING : cpu::T_FLOAT_SCALING);
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
             {"Processor~Base Clock", "Processor~Maximum Clock"});
}

}  // namespace

KQARC kqaInitialize(CWnd* view, CAnalyzerInfo& info) {
    g_view = view;
    info.m_id = cpu::kID;
    info.m_version = cpu::kVersion;
    info.m_name = "CPU";
    info.m_title = "Processor";
    info.m_bitmap = 2000;
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

KQARC kqaGetTipText(CTip* tip, CString& text) { return Texts().TipText(tip, text); }
KQARC kqaGetTipDesc(CTip* tip, CString& text) { return Texts().TipDesc(tip, text); }
KQARC kqaGetAttrDesc(CAttr* attr, CString& text) {
    if (attr && attr->m_type == 0 && !attr->m_id.empty()) {
        // Records keep no type word: the vulnerability attributes are known by their names.
        static const char* const kVulnNames[] = {"Meltdown",
                                                 "Spectre v1",
                                                 "Spectre v2",
                                                 "Mds",
                                                 "L1tf",
                                                 "Retbleed",
                                                 "Srbds",
                                                 "Mmio stale data",
                                                 "Itlb multihit",
                                                 "Tsx async abort",
                                                 "Spec store bypass",
                                                 "Gather data sampling",
                                                 "Spec rstack overflow",
                                                 "Reg file data sampling",
                                                 "Ghostwrite",
                                                 "Indirect target selection",
                                                 "Tsa",
                                                 "Vmscape",
                                                 "Old microcode"};
        for (const char* n : kVulnNames)
            if (attr->m_id == n) {
                CAttr typed = *attr;
                typed.m_type = cpu::T_VULNERABILITY;
                return Texts().AttrDesc(&typed, text);
            }
    }
    return Texts().AttrDesc(attr, text);
}
