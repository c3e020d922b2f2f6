#include "CPUInfo.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <set>
#include <sstream>

using namespace kqa;

namespace cpu {

namespace {

const char* const kCpuDir = "/sys/devices/system/cpu";

std::vector<int> OnlineCPUs(size_t cpuinfoBlocks) {
    if (auto online = ReadLine(std::string(kCpuDir) + "/online")) {
        auto list = ParseCpuList(*online);
        if (!list.empty()) return list;
    }
    std::vector<int> out;
    for (size_t i = 0; i < cpuinfoBlocks; ++i) out.push_back(static_cast<int>(i));
    return out;
}

std::string CpuPath(int cpu, const std::string& rest) {
    return std::string(kCpuDir) + "/cpu" + std::to_string(cpu) + "/" + rest;
}

// "32K", "1024K", "2M" or "32768 KB" -> KiB.
std::optional<long long> CacheKiB(const std::string& text) {
    const char* s = text.c_str();
    char* end = nullptr;
    long long v = std::strtoll(s, &end, 10);
    if (end == s || v <= 0) return std::nullopt;
    while (*end == ' ') ++end;
    switch (std::toupper(static_cast<unsigned char>(*end))) {
        case 'M':
            return v * 1024;
        case 'G':
            return v * 1024 * 1024;
        case 'K':
            return v;
        default:
            return v / 1024;  // plain bytes
    }
}

bool HasAll(const std::set<std::string>& flags, std::initializer_list<const char*> need) {
    for (const char* f : need)
        if (!flags.count(f)) return false;
    return true;
}

std::string IsaLevel(const std::set<std::string>& f) {
    if (!HasAll(f, {"lm", "cmov", "cx8", "fpu", "fxsr", "mmx", "sse", "sse2"})) return "";
    if (!HasAll(f, {"cx16", "lahf_lm", "popcnt", "sse4_1", "sse4_2", "ssse3"})) return "x86-64-v1";
    if (!HasAll(f, {"avx", "avx2", "bmi1", "bmi2", "f16c", "fma", "abm", "movbe", "xsave"}))
        return "x86-64-v2";
    if (!HasAll(f, {"avx512f", "avx512bw", "avx512cd", "avx512dq", "avx512vl"})) return "x86-64-v3";
    return "x86-64-v4";
}

bool DpkgInstalled(const std::string& status, const std::string& package) {
    std::istringstream in(status);
    std::string line;
    bool inPackage = false;
    while (std::getline(in, line)) {
        if (StartsWith(line, "Package: "))
            inPackage = Trim(line.substr(9)) == package;
        else if (inPackage && StartsWith(line, "Status: "))
            return line.find("install ok installed") != std::string::npos;
    }
    return false;
}

bool EndsWithNotInstalled(const std::string& v) {
    const std::string tail = " not installed";
    return v.size() > tail.size() && v.compare(v.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::string VulnerabilityName(const std::string& file) {
    std::string out;
    for (char c : file) out += c == '_' ? ' ' : c;
    if (!out.empty()) out[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(out[0])));
    return out;
}

void FillBranch(CKQTreeEntry* branch) {
    const auto cpuinfo = ReadFile("/proc/cpuinfo");
    const auto blocks =
        cpuinfo ? ParseBlocks(*cpuinfo, ':') : std::vector<std::map<std::string, std::string>>{};
    std::map<std::string, std::string> first;
    for (const auto& b : blocks)
        if (b.count("processor") && (b.count("model name") || b.count("vendor_id") ||
                                     b.count("flags") || b.count("Features"))) {
            first = b;
            break;
        }
    if (first.empty() && !blocks.empty()) first = blocks[0];
    auto field = [&](const char* k) -> std::string {
        auto it = first.find(k);
        return it == first.end() ? "" : it->second;
    };
    size_t processorBlocks = 0;
    for (const auto& b : blocks)
        if (b.count("processor")) ++processorBlocks;

    // Processor.
    CKQTreeEntry* p = Child(branch, kProcessor);
    std::string model = field("model name");
    if (model.empty()) model = field("Processor");
    if (model.empty()) model = field("cpu model");
    if (!model.empty()) SetText(p, "CPU Model", model, T_MODEL, DATA_HIGHLIGHT);
    std::string vendor = field("vendor_id");
    if (vendor.empty() && !field("CPU implementer").empty())
        vendor = "ARM implementer " + field("CPU implementer");
    if (!vendor.empty()) SetText(p, "CPU Vendor", vendor, T_VENDOR);
    if (!field("cpu family").empty())
        SetText(p, "CPU Signature",
                "family " + field("cpu family") + ", model " + field("model") + ", stepping " +
                    field("stepping"),
                T_SIGNATURE);
    if (!field("microcode").empty())
        SetText(p, "Microcode Revision", field("microcode"), T_MICROCODE);

    const std::vector<int> online = OnlineCPUs(processorBlocks);
    std::set<std::string> packages, cores;
    for (int c : online) {
        auto pkg = ReadLine(CpuPath(c, "topology/physical_package_id"));
        auto core = ReadLine(CpuPath(c, "topology/core_id"));
        if (pkg) packages.insert(*pkg);
        if (pkg && core) cores.insert(*pkg + ":" + *core);
    }
    if (packages.empty() || cores.empty()) {
        packages.clear();
        cores.clear();
        for (const auto& b : blocks) {
            auto pid = b.find("physical id"), cid = b.find("core id");
            if (pid != b.end()) packages.insert(pid->second);
            if (pid != b.end() && cid != b.end()) cores.insert(pid->second + ":" + cid->second);
        }
    }
    const int threads = static_cast<int>(online.size());
    const int sockets =
        packages.empty() ? (threads > 0 ? 1 : 0) : static_cast<int>(packages.size());
    const int coreCount = cores.empty() ? threads : static_cast<int>(cores.size());
    if (threads > 0) {
        SetNumber(p, "Sockets", sockets, 0, "", T_SOCKETS);
        SetNumber(p, "Cores", coreCount, 0, "", T_CORES, true);
        SetNumber(p, "Threads", threads, 0, "", T_THREADS, true);
        if (coreCount > 0)
            SetNumber(p, "Threads per Core", double(threads) / coreCount, 0, "",
                      T_THREADS_PER_CORE);
    }
    if (auto status = ReadFile("/proc/self/status")) {
        auto kv = ParseKeyValue(*status, ':');
        auto list = ParseCpuList(kv["Cpus_allowed_list"]);
        if (!list.empty())
            SetNumber(p, "CPUs Usable", static_cast<double>(list.size()), 0, "", T_USABLE);
    }
    const int c0 = online.empty() ? 0 : online.front();
    double maxMHz = 0;
    for (int c : online)
        if (auto khz = ReadInt(CpuPath(c, "cpufreq/cpuinfo_max_freq")))
            maxMHz = std::max(maxMHz, *khz / 1000.0);
    if (maxMHz > 0) SetNumber(p, "Maximum Clock", maxMHz, 0, "MHz", T_MAX_CLOCK, true);
    if (auto khz = ReadInt(CpuPath(c0, "cpufreq/base_frequency"))) {
        SetNumber(p, "Base Clock", *khz / 1000.0, 0, "MHz", T_BASE_CLOCK);
    } else {
        // "Intel(R) Core(TM) i5-3570 CPU @ 3.40GHz" names its base clock.
        auto at = model.find(" @ ");
        if (at != std::string::npos) {
            double ghz = std::atof(model.c_str() + at + 3);
            if (ghz > 0 && model.find("GHz", at) != std::string::npos)
                SetNumber(p, "Base Clock", ghz * 1000.0, 0, "MHz", T_BASE_CLOCK);
        }
    }
    if (auto khz = ReadInt(CpuPath(c0, "cpufreq/cpuinfo_min_freq")))
        SetNumber(p, "Minimum Clock", *khz / 1000.0, 0, "MHz", T_MIN_CLOCK);
    if (double cur = CurrentClockMHz(); cur > 0)
        SetNumber(p, "Current Clock", cur, 0, "MHz", T_CUR_CLOCK);

    // Caches (of the first CPU; each level's size is per instance).
    CKQTreeEntry* caches = Child(branch, kCaches);
    const std::string cacheDir = CpuPath(c0, "cache");
    for (const auto& idx : ListDir(cacheDir)) {
        if (!StartsWith(idx, "index")) continue;
        const std::string d = cacheDir + "/" + idx;
        auto level = ReadInt(d + "/level");
        auto type = ReadLine(d + "/type");
        auto size = ReadLine(d + "/size");
        if (!level || !type || !size) continue;
        auto kib = CacheKiB(*size);
        if (!kib) continue;
        if (*level == 1 && *type == "Data")
            SetNumber(caches, "L1 Data Cache", double(*kib), 0, "KiB", T_L1D);
        else if (*level == 1 && *type == "Instruction")
            SetNumber(caches, "L1 Instruction Cache", double(*kib), 0, "KiB", T_L1I);
        else if (*level == 2)
            SetNumber(caches, "L2 Cache", double(*kib), 0, "KiB", T_L2);
        else if (*level == 3)
            SetNumber(caches, "L3 Cache", double(*kib), 0, "KiB", T_L3, true);
    }
    if (caches->GetAttrCount() == 0 && !field("cache size").empty())
        if (auto kib = CacheKiB(field("cache size")))
            SetNumber(caches, "L2 Cache", double(*kib), 0, "KiB", T_L2);

    // Instruction set.
    CKQTreeEntry* isa = Child(branch, kISA);
    std::string flagText = field("flags");
    if (flagText.empty()) flagText = field("Features");
    std::set<std::string> flags;
    for (const auto& f : SplitWords(flagText)) flags.insert(f);
    if (!flags.empty()) {
        if (auto level = IsaLevel(flags); !level.empty())
            SetText(isa, "Instruction Set Level", level, T_ISA_LEVEL);
        std::string simd;
        static const std::pair<const char*, const char*> kSimd[] = {{"sse2", "SSE2"},
                                                                    {"pni", "SSE3"},
                                                                    {"ssse3", "SSSE3"},
                                                                    {"sse4_1", "SSE4.1"},
                                                                    {"sse4_2", "SSE4.2"},
                                                                    {"avx", "AVX"},
                                                                    {"avx2", "AVX2"},
                                                                    {"fma", "FMA"},
                                                                    {"avx512f", "AVX-512F"},
                                                                    {"avx512bw", "AVX-512BW"},
                                                                    {"avx512_vnni", "AVX-512 VNNI"},
                                                                    {"amx_tile", "AMX"},
                                                                    {"asimd", "NEON"},
                                                                    {"sve", "SVE"},
                                                                    {"sve2", "SVE2"}};
        for (const auto& [flag, name] : kSimd)
            if (flags.count(flag)) simd += (simd.empty() ? "" : " ") + std::string(name);
        SetText(isa, "SIMD Extensions", simd.empty() ? "none" : simd, T_SIMD);
        SetText(isa, "AES Acceleration", flags.count("aes") ? "yes" : "no", T_AES);
        std::string virt = flags.count("vmx")   ? "VT-x"
                           : flags.count("svm") ? "AMD-V"
                                                : "not available";
        SetText(isa, "Hardware Virtualization", virt, T_HWVIRT);
    }
    if (!field("address sizes").empty())
        SetText(isa, "Address Sizes", field("address sizes"), T_ADDRESS);
    const bool guest = flags.count("hypervisor") != 0;
    const bool x86vendor = vendor == "GenuineIntel" || vendor == "AuthenticAMD";
    if (x86vendor && !guest)
        if (auto status = ReadFile("/var/lib/dpkg/status")) {
            const char* pkg = vendor == "GenuineIntel" ? "intel-microcode" : "amd64-microcode";
            SetText(
                isa, "Microcode Package",
                std::string(pkg) + (DpkgInstalled(*status, pkg) ? " installed" : " not installed"),
                T_MICROCODE_PKG);
        }

    // Frequency scaling.
    CKQTreeEntry* sc = Child(branch, kScaling);
    if (auto v = ReadLine(CpuPath(c0, "cpufreq/scaling_driver")))
        SetText(sc, "Scaling Driver", *v, T_DRIVER);
    if (auto v = ReadLine(CpuPath(c0, "cpufreq/scaling_governor")))
        SetText(sc, "CPU Governor", *v, T_GOVERNOR);
    if (auto v = ReadLine(CpuPath(c0, "cpufreq/scaling_available_governors")))
        SetText(sc, "Available Governors", *v, T_GOVERNORS);
    if (auto v = ReadLine(CpuPath(c0, "cpufreq/energy_performance_preference")))
        SetText(sc, "Energy Preference", *v, T_EPP);
    if (auto b = ReadBoost(); !b.empty()) SetText(sc, "CPU Boost", b, T_BOOST);
    if (auto power = ReadPowerSource(); !power.empty()) SetText(sc, "Power Supply", power, T_POWER);

    // Security.
    CKQTreeEntry* sec = Child(branch, kSecurity);
    const std::string vulnDir = std::string(kCpuDir) + "/vulnerabilities";
    int vulnerable = 0;
    bool anyVuln = false;
    for (const auto& f : ListDir(vulnDir)) {
        auto v = ReadLine(vulnDir + "/" + f);
        if (!v) continue;
        anyVuln = true;
        SetText(sec, VulnerabilityName(f), *v, T_VULNERABILITY);
        if (StartsWith(*v, "Vulnerable")) ++vulnerable;
    }
    if (anyVuln) SetNumber(sec, "Vulnerable Count", vulnerable, 0, "", T_VULNERABLE_COUNT);
    if (auto cmdline = ReadLine("/proc/cmdline")) {
        std::string m = "auto";
        for (const auto& w : SplitWords(*cmdline))
            if (StartsWith(w, "mitigations=")) m = w.substr(12);
        SetText(sec, "Mitigations", m, T_MITIGATIONS);
    }

    // Load.
    CKQTreeEntry* load = Child(branch, kLoad);
    if (auto la = ReadLine("/proc/loadavg")) {
        auto w = SplitWords(*la);
        if (w.size() >= 3) {
            SetText(load, "Load Average", w[0] + " " + w[1] + " " + w[2], T_LOADAVG);
            if (threads > 0)
                SetNumber(load, "Load per CPU", std::atof(w[0].c_str()) / threads, 2, "",
                          T_LOAD_PER_CPU);
        }
        if (w.size() >= 4) {
            auto slash = w[3].find('/');
            if (slash != std::string::npos)
                SetNumber(load, "Tasks", std::atof(w[3].c_str() + slash + 1), 0, "", T_TASKS);
        }
    }
    RemoveEmptyChildren(branch);
}

void GenTips(CKQTreeEntry* branch) {
    for (int32_t id : {TIP_GOVERNOR, TIP_BOOST_OFF, TIP_THROTTLED, TIP_VULNERABLE, TIP_BUSY,
                       TIP_POOR_SCALING, TIP_NO_MICROCODE})
        for (const char* key : {kProcessor, kScaling, kSecurity, kLoad, kIntTest, kFloatTest, kISA})
            if (CKQTreeEntry* e = FindChild(branch, key)) e->RemoveTip(id);

    CKQTreeEntry* p = FindChild(branch, kProcessor);
    CKQTreeEntry* sc = FindChild(branch, kScaling);
    CKQTreeEntry* sec = FindChild(branch, kSecurity);
    CKQTreeEntry* load = FindChild(branch, kLoad);
    CKQTreeEntry* it = FindChild(branch, kIntTest);
    CKQTreeEntry* ft = FindChild(branch, kFloatTest);
    CKQTreeEntry* isa = FindChild(branch, kISA);
    const double threads = Number(p, "Threads", 1);

    if (sc) {
        const std::string gov = sc->GetAttrValue("CPU Governor");
        const std::string power = sc->GetAttrValue("Power Supply");
        // On battery a saving governor is the right choice; on mains it costs speed.
        if (!gov.empty() && gov != "performance" && power != "battery")
            sc->AddTip(
                55, TIP_GOVERNOR,
                TipDescID(TIP_GOVERNOR, static_cast<long long>(Number(p, "Maximum Clock", 0))));
        if (sc->GetAttrValue("CPU Boost") == "off")
            sc->AddTip(
                50, TIP_BOOST_OFF,
                TipDescID(TIP_BOOST_OFF, static_cast<long long>(Number(p, "Maximum Clock", 0))));
    }
    for (CKQTreeEntry* t : {it, ft}) {
        if (!t || !StartsWith(t->GetAttrValue("Throttled"), "yes")) continue;
        // The lowest clock seen is the figure.
        const std::string v = t->GetAttrValue("Throttled");
        auto pos = v.find("to ");
        long long mhz = pos == std::string::npos ? 0 : std::atoll(v.c_str() + pos + 3);
        t->AddTip(80, TIP_THROTTLED, TipDescID(TIP_THROTTLED, mhz));
        break;
    }
    if (sec) {
        const double count = Number(sec, "Vulnerable Count", 0);
        const bool off = sec->GetAttrValue("Mitigations") == "off";
        if (count > 0 || off)
            sec->AddTip(off ? 65 : 60, TIP_VULNERABLE,
                        TipDescID(TIP_VULNERABLE, static_cast<long long>(count)));
    }
    // Busy: the load measured just before a test, else the load average at start-up.
    double busy = -1;
    for (CKQTreeEntry* t : {it, ft})
        if (double v = Number(t, "Load Before", -1); v >= 0) busy = std::max(busy, v);
    if (busy < 0 && load) busy = Number(load, "Load Average", -1);
    if (busy >= 0 && threads > 0 && busy / threads >= 0.5) {
        CKQTreeEntry* target = load ? load : p;
        if (target)
            target->AddTip(40, TIP_BUSY, TipDescID(TIP_BUSY, std::llround(100.0 * busy / threads)));
    }
    if (it) {
        const double scaling = Number(it, "Integer Scaling", -1);
        const double used = Number(it, "Threads Used", 1);
        if (scaling > 0 && used >= 2 && scaling < 0.75 * used)
            it->AddTip(45, TIP_POOR_SCALING,
                       TipDescID(TIP_POOR_SCALING, std::llround(100.0 * scaling / used)));
    }
    if (isa && EndsWithNotInstalled(isa->GetAttrValue("Microcode Package")))
        isa->AddTip(35, TIP_NO_MICROCODE, TipDescID(TIP_NO_MICROCODE, 0));
}

}  // namespace cpu
