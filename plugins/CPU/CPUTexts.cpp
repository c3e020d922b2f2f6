#include "CPUTexts.h"

using namespace kqa;
using namespace cpu;

namespace {

std::string MHz(int32_t f) { return f > 0 ? std::to_string(f) + " MHz" : "its rated"; }
std::string Count(int32_t f) { return std::to_string(f); }
std::string Percent(int32_t f) { return std::to_string(f) + " %"; }

const TipTextDef kTips[] = {
    {TIP_GOVERNOR, "Set the CPU frequency governor to performance while on AC power",
     "The frequency governor is not \"performance\" although the machine runs on mains power, so "
     "the processor waits for load before raising its clock (up to %1) and short tasks run "
     "slower than they could. Why it matters: interactive work and builds consist of short "
     "bursts that a saving governor serves at a low clock. How: sudo cpupower frequency-set -g "
     "performance (package linux-cpupower), or echo performance | sudo tee "
     "/sys/devices/system/cpu/cpu*/cpufreq/scaling_governor; to keep it, run powerprofilesctl "
     "set performance where power-profiles-daemon is installed, or set GOVERNOR=\"performance\" "
     "in /etc/default/cpufrequtils.",
     &MHz},
    {TIP_BOOST_OFF, "Turn processor boost back on",
     "Boost (Turbo Boost / Core Performance Boost) is switched off, so the processor never runs "
     "above its base clock and cannot reach %1. Single-threaded programs lose up to a third of "
     "their speed. How: echo 1 | sudo tee /sys/devices/system/cpu/cpufreq/boost (AMD and "
     "acpi-cpufreq), or echo 0 | sudo tee /sys/devices/system/cpu/intel_pstate/no_turbo "
     "(Intel); also check that boost is enabled in the firmware setup.",
     &MHz},
    {TIP_THROTTLED, "The processor clock dropped under load: check the cooling",
     "During the CPU test the clock fell by more than 10 %, down to %1: the processor is "
     "thermally or power limited. Every long task is slowed this way, and heat shortens the "
     "machine's life. How: clean the fans and air inlets, make sure the vents are free (not on a "
     "soft surface), check temperatures with sensors (package lm-sensors), renew the thermal "
     "paste of an old machine, and in the firmware setup check power limits (PL1/PL2, PPT).",
     &MHz},
    {TIP_VULNERABLE, "The processor is exposed to known security flaws",
     "The kernel reports %1 processor vulnerabilities as \"Vulnerable\" (or mitigations are "
     "turned off with mitigations=off), see the CPU Security entry. Programs and web pages may "
     "read data of other programs through them. How: install the microcode update (sudo apt "
     "install intel-microcode or amd64-microcode, non-free-firmware), keep the kernel current "
     "(sudo apt full-upgrade), and remove mitigations=off from GRUB_CMDLINE_LINUX in "
     "/etc/default/grub, then sudo update-grub and restart.",
     &Count},
    {TIP_BUSY, "Other programs kept the processor busy",
     "Before the test other programs used %1 of the processor time, so every program, and the "
     "figures measured here, got less of it. How: find the busy programs with top or htop "
     "(sort by CPU) and close or stop them (systemctl stop for services, e.g. indexers or "
     "updates), then run the tests again.",
     &Percent},
    {TIP_POOR_SCALING, "Programs cannot use all processor threads",
     "Running on all threads gave only %1 of the ideal speed-up over one thread. Either the CPUs "
     "are shared with other work, or a limit holds the program back: a CPU quota or affinity of "
     "the session (systemctl show user.slice -p CPUQuotaPerSecUSec; taskset -p $$), power "
     "limits, or a virtual machine with overcommitted host CPUs. How: remove the quota "
     "(systemctl set-property user.slice CPUQuota=), check the affinity, or give the virtual "
     "machine dedicated CPUs.",
     &Percent},
    {TIP_NO_MICROCODE, "Install the processor microcode update",
     "The package with the processor's microcode updates is not installed, so the processor "
     "runs with the microcode its firmware loaded, possibly years old, without fixes for "
     "stability problems and security flaws. How: enable the non-free-firmware component in "
     "/etc/apt/sources.list, then sudo apt install intel-microcode (Intel) or amd64-microcode "
     "(AMD), and restart.",
     nullptr},
};

const AttrDescDef kAttrs[] = {
    {T_MODEL, "CPU Model", "The processor's model name (model name in /proc/cpuinfo)."},
    {T_VENDOR, "CPU Vendor", "The maker's identification string (vendor_id)."},
    {T_SIGNATURE, "CPU Signature",
     "Family, model and stepping: which design and revision the processor is."},
    {T_MICROCODE, "Microcode Revision", "The microcode revision loaded into the processor."},
    {T_SOCKETS, "Sockets", "Number of physical processor packages."},
    {T_CORES, "Cores", "Number of physical cores over all packages (distinct core IDs)."},
    {T_THREADS, "Threads", "Number of logical CPUs online (with SMT, two or more per core)."},
    {T_THREADS_PER_CORE, "Threads per Core",
     "Logical CPUs per core: 2 with SMT/Hyper-Threading on, 1 without."},
    {T_USABLE, "CPUs Usable",
     "Logical CPUs this program may run on (its affinity mask); fewer than Threads when limited."},
    {T_BASE_CLOCK, "Base Clock",
     "The guaranteed clock in MHz (base_frequency, or the figure in the model name)."},
    {T_MAX_CLOCK, "Maximum Clock",
     "The highest clock the processor may reach, with boost, in MHz (cpuinfo_max_freq)."},
    {T_MIN_CLOCK, "Minimum Clock", "The lowest clock the frequency driver uses, in MHz."},
    {T_CUR_CLOCK, "Current Clock",
     "The highest current clock over the CPUs when the branch was filled, in MHz."},
    {T_L1D, "L1 Data Cache", "Size of the first-level data cache of one core, in KiB."},
    {T_L1I, "L1 Instruction Cache",
     "Size of the first-level instruction cache of one core, in KiB."},
    {T_L2, "L2 Cache", "Size of one second-level cache, in KiB."},
    {T_L3, "L3 Cache",
     "Size of one last-level cache, in KiB (usually shared by all cores of a package)."},
    {T_ISA_LEVEL, "Instruction Set Level",
     "The x86-64 micro-architecture level the processor meets (v1 to v4); programs built for a "
     "higher level do not run."},
    {T_SIMD, "SIMD Extensions",
     "Vector instruction sets the processor offers, used by media, compression and science "
     "programs."},
    {T_AES, "AES Acceleration", "Whether AES instructions speed up disk and network encryption."},
    {T_HWVIRT, "Hardware Virtualization",
     "VT-x or AMD-V, needed for fast virtual machines (KVM); shown as not available inside most "
     "virtual machines."},
    {T_ADDRESS, "Address Sizes", "Physical and virtual address widths in bits."},
    {T_MICROCODE_PKG, "Microcode Package",
     "Whether the distribution's microcode update package is installed (from the dpkg status)."},
    {T_DRIVER, "Scaling Driver",
     "The kernel driver that sets the clock (intel_pstate, amd-pstate, acpi-cpufreq...)."},
    {T_GOVERNOR, "CPU Governor",
     "The policy that chooses the clock: performance, powersave, schedutil, ondemand..."},
    {T_GOVERNORS, "Available Governors", "The governors the scaling driver offers."},
    {T_EPP, "Energy Preference",
     "The energy-performance preference handed to the processor (intel_pstate and amd-pstate)."},
    {T_BOOST, "CPU Boost", "Whether the processor may run above its base clock."},
    {T_POWER, "Power Supply",
     "AC or battery, from /sys/class/power_supply; AC on machines without a battery."},
    {T_VULNERABILITY, "Vulnerability (one per known flaw)",
     "The kernel's report on one known processor vulnerability (/sys/devices/system/cpu/"
     "vulnerabilities): Not affected, Mitigation (protected, at some cost) or Vulnerable."},
    {T_MITIGATIONS, "Mitigations",
     "The mitigations= setting on the kernel command line (auto when not given)."},
    {T_VULNERABLE_COUNT, "Vulnerable Count",
     "How many of the reported vulnerabilities are not mitigated."},
    {T_LOADAVG, "Load Average",
     "Runnable tasks averaged over 1, 5 and 15 minutes (/proc/loadavg)."},
    {T_LOAD_PER_CPU, "Load per CPU",
     "The one-minute load average divided by the number of threads; above 1 the processor is "
     "overloaded."},
    {T_TASKS, "Tasks", "Number of processes and threads on the system."},
    {T_INT_SINGLE, "Integer Single-Thread",
     "Integer throughput of one thread in millions of operations per second: four independent "
     "xorshift-multiply streams (32 integer operations per step). Timed by the processor time "
     "the thread got, so other programs running meanwhile do not lower the figure (their share "
     "is in Load Before); a neighbour on the same physical core (SMT, or a virtual machine's "
     "host) still can. Each repetition takes about 0.05 s of "
     "processor time (fixed after a calibration run); the best of 7 after one warm-up, fewer when "
     "a busy machine makes them take longer than 1.2 s by the clock."},
    {T_INT_MULTI, "Integer All Threads",
     "The integer work run on every usable CPU at once, each thread doing the single-thread "
     "amount and timed by its own processor time; the total operations over the slowest "
     "thread's time, best of 7 repetitions after one warm-up, in millions of operations per "
     "second."},
    {T_INT_SCALING, "Integer Scaling",
     "Integer All Threads divided by Integer Single-Thread. Ideally equal to the threads used; "
     "threads that share a physical core (SMT, or virtual CPUs on the host's sibling threads) "
     "add less."},
    {T_THREADS_USED, "Threads Used",
     "Threads the all-threads tests ran on (the CPUs this program may use)."},
    {T_FLOAT_SINGLE, "Float Single-Thread",
     "Double-precision throughput of one thread in millions of floating-point operations per "
     "second: eight independent multiply-add chains (16 operations per step), bound by the "
     "latency of each chain rather than by the core's units. Timed by the processor time the "
     "thread got, about 0.05 s per repetition, best of 7 after one warm-up."},
    {T_FLOAT_MULTI, "Float All Threads",
     "The floating-point work on every usable CPU at once, each thread timed by its own "
     "processor time; the total over the slowest thread's time, best of 7 repetitions, in "
     "MFLOP/s."},
    {T_FLOAT_SCALING, "Float Scaling", "Float All Threads divided by Float Single-Thread."},
};

const char kIntro[] =
    "<p>The CPU analyzer describes the processor (model, cores, clocks, caches, instruction set), "
    "its frequency scaling, its exposure to known vulnerabilities and its load, and measures "
    "integer and floating-point throughput on one thread and on all threads.</p>";

}  // namespace

namespace cpu {

const ModuleHelp& Help() {
    static const CTextRegistry texts = MakeTextRegistry(kTips, kAttrs);
    static const ModuleHelp help{texts, kModule.title, kIntro};
    return help;
}

KQARC AttrDesc(const CAttr* attr, CString& text) {
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
                typed.m_type = T_VULNERABILITY;
                return Texts().AttrDesc(&typed, text);
            }
    }
    return Texts().AttrDesc(attr, text);
}

}  // namespace cpu
