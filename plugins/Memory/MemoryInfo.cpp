#include "MemoryInfo.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

using namespace kqa;

namespace mem {

namespace {

// meminfo values in kB.
std::optional<double> KiB(const std::map<std::string, std::string>& kv, const char* key) {
    auto it = kv.find(key);
    if (it == kv.end()) return std::nullopt;
    const char* s = it->second.c_str();
    char* end = nullptr;
    double v = std::strtod(s, &end);
    if (end == s) return std::nullopt;
    return v;
}

const char* MemoryTypeName(unsigned code) {
    switch (code) {
        case 0x12:
            return "DDR";
        case 0x13:
            return "DDR2";
        case 0x18:
            return "DDR3";
        case 0x1A:
            return "DDR4";
        case 0x1B:
            return "LPDDR";
        case 0x1C:
            return "LPDDR2";
        case 0x1D:
            return "LPDDR3";
        case 0x1E:
            return "LPDDR4";
        case 0x20:
            return "HBM";
        case 0x21:
            return "HBM2";
        case 0x22:
            return "DDR5";
        case 0x23:
            return "LPDDR5";
        default:
            return nullptr;
    }
}

struct Dimm {
    long long sizeMiB = 0;
    std::string type;
    unsigned rated = 0, configured = 0;
};

unsigned Word(const std::string& d, size_t off) {
    return off + 1 < d.size()
               ? static_cast<unsigned char>(d[off]) | (static_cast<unsigned char>(d[off + 1]) << 8)
               : 0;
}
unsigned long DWord(const std::string& d, size_t off) {
    return off + 3 < d.size() ? Word(d, off) | (static_cast<unsigned long>(Word(d, off + 2)) << 16)
                              : 0;
}

// SMBIOS type 17 (memory device) records; the serial number and part number are never read.
std::vector<Dimm> ReadDimms() {
    std::vector<Dimm> out;
    const char* const dir = "/sys/firmware/dmi/entries";
    for (const auto& n : ListDir(dir)) {
        if (!StartsWith(n, "17-")) continue;
        auto raw = ReadFile(std::string(dir) + "/" + n + "/raw", 4096);
        if (!raw || raw->size() < 0x15 || static_cast<unsigned char>((*raw)[0]) != 17) continue;
        const size_t len = static_cast<unsigned char>((*raw)[1]);
        const std::string d = raw->substr(0, std::min(len, raw->size()));
        unsigned size = Word(d, 0x0C);
        if (size == 0 || size == 0xFFFF) continue;  // empty slot or unknown
        Dimm m;
        if (size == 0x7FFF)
            m.sizeMiB = static_cast<long long>(DWord(d, 0x1C) & 0x7FFFFFFF);
        else if (size & 0x8000)
            m.sizeMiB = (size & 0x7FFF) / 1024;
        else
            m.sizeMiB = size;
        if (const char* t = MemoryTypeName(static_cast<unsigned char>(d[0x12]))) m.type = t;
        m.rated = Word(d, 0x15);
        if (m.rated == 0xFFFF) m.rated = static_cast<unsigned>(DWord(d, 0x54));
        m.configured = Word(d, 0x20);
        if (m.configured == 0xFFFF) m.configured = static_cast<unsigned>(DWord(d, 0x58));
        out.push_back(m);
    }
    return out;
}

}  // namespace

int DesktopNeedMiB(const std::string& desktop) {
    const std::string d = Lower(desktop);
    // What the desktop with a browser and an office program needs without swapping.
    if (d.find("gnome") != std::string::npos || d.find("kde") != std::string::npos ||
        d.find("plasma") != std::string::npos || d.find("cinnamon") != std::string::npos ||
        d.find("unity") != std::string::npos || d.find("budgie") != std::string::npos ||
        d.find("pantheon") != std::string::npos)
        return 4096;
    if (d.find("xfce") != std::string::npos || d.find("mate") != std::string::npos) return 2048;
    if (d.find("lxqt") != std::string::npos || d.find("lxde") != std::string::npos) return 1024;
    return 0;
}

void FillBranch(CKQTreeEntry* branch) {
    CKQTreeEntry* size = Child(branch, kSize);
    CKQTreeEntry* swap = Child(branch, kSwap);
    CKQTreeEntry* huge = Child(branch, kHuge);

    if (auto text = ReadFile("/proc/meminfo")) {
        auto kv = ParseKeyValue(*text, ':');
        auto total = KiB(kv, "MemTotal");
        if (total) SetNumber(size, "Total Memory", *total / 1024, 0, "MiB", T_TOTAL, true);
        auto avail = KiB(kv, "MemAvailable");
        if (avail) SetNumber(size, "Available Memory", *avail / 1024, 0, "MiB", T_AVAILABLE);
        if (total && avail && *total > 0)
            SetNumber(size, "Available Share", 100.0 * *avail / *total, 0, "%", T_AVAILABLE_SHARE);
        if (auto v = KiB(kv, "MemFree"))
            SetNumber(size, "Free Memory", *v / 1024, 0, "MiB", T_FREE);
        auto cached = KiB(kv, "Cached"), buffers = KiB(kv, "Buffers");
        if (cached)
            SetNumber(size, "Cached Memory", (*cached + buffers.value_or(0)) / 1024, 0, "MiB",
                      T_CACHED);
        if (auto v = KiB(kv, "Shmem"))
            SetNumber(size, "Shared Memory", *v / 1024, 0, "MiB", T_SHARED);

        auto st = KiB(kv, "SwapTotal"), sf = KiB(kv, "SwapFree");
        if (st) SetNumber(swap, "Swap Total", *st / 1024, 0, "MiB", T_SWAP_TOTAL);
        if (st && sf) {
            SetNumber(swap, "Swap Used", (*st - *sf) / 1024, 0, "MiB", T_SWAP_USED);
            SetNumber(swap, "Swap Use", *st > 0 ? 100.0 * (*st - *sf) / *st : 0.0, 0, "%",
                      T_SWAP_USE);
        }
        if (auto v = KiB(kv, "Hugepagesize"))
            SetNumber(huge, "Huge Page Size", *v, 0, "KiB", T_HUGE_SIZE);
        if (auto v = KiB(kv, "HugePages_Total"))
            SetNumber(huge, "Huge Pages Total", *v, 0, "", T_HUGE_TOTAL);
        if (auto v = KiB(kv, "HugePages_Free"))
            SetNumber(huge, "Huge Pages Free", *v, 0, "", T_HUGE_FREE);
    }
    if (const char* desktop = std::getenv("XDG_CURRENT_DESKTOP"))
        if (int need = DesktopNeedMiB(desktop); need > 0)
            SetNumber(size, "Desktop Needs", need, 0, "MiB", T_DESKTOP_NEED);

    if (auto v = ReadInt("/proc/sys/vm/swappiness"))
        SetNumber(swap, "Swappiness", double(*v), 0, "", T_SWAPPINESS);
    if (auto text = ReadFile("/proc/swaps")) {
        std::istringstream in(*text);
        std::string line, list;
        std::getline(in, line);  // header
        while (std::getline(in, line)) {
            auto w = SplitWords(line);
            if (w.size() < 2) continue;
            list += (list.empty() ? "" : ", ") + HomeTilde(w[0]) + " (" + w[1] + ")";
        }
        SetText(swap, "Swap Devices", list.empty() ? "none" : list, T_SWAP_DEVICES);
    }
    std::string zram;
    for (const auto& dev : ListDir("/sys/block")) {
        if (!StartsWith(dev, "zram")) continue;
        auto bytes = ReadInt("/sys/block/" + dev + "/disksize");
        if (!bytes || *bytes <= 0) continue;
        std::string algo = ReadLine("/sys/block/" + dev + "/comp_algorithm").value_or("");
        auto open = algo.find('['), close = algo.find(']');
        if (open != std::string::npos && close > open)
            algo = algo.substr(open + 1, close - open - 1);
        zram += (zram.empty() ? "" : ", ") + dev + " " + std::to_string(*bytes / (1024 * 1024)) +
                " MiB" + (algo.empty() ? "" : " " + algo);
    }
    if (IsDirectory("/sys/block"))
        SetText(swap, "Compressed Swap", zram.empty() ? "none" : zram, T_ZRAM);
    if (auto z = ReadLine("/sys/module/zswap/parameters/enabled"))
        SetText(swap, "Zswap", (*z == "Y" || *z == "1") ? "enabled" : "disabled", T_ZSWAP);

    if (auto thp = ReadLine("/sys/kernel/mm/transparent_hugepage/enabled")) {
        std::string mode = *thp;
        auto open = thp->find('['), close = thp->find(']');
        if (open != std::string::npos && close > open)
            mode = thp->substr(open + 1, close - open - 1);
        SetText(huge, "Transparent Huge Pages", mode, T_THP);
    }

    const auto dimms = ReadDimms();
    if (!dimms.empty()) {
        CKQTreeEntry* devices = Child(branch, kDevices);
        SetNumber(devices, "Memory Modules", double(dimms.size()), 0, "", T_DEVICES);
        std::map<long long, int> sizes;
        for (const auto& d : dimms) ++sizes[d.sizeMiB];
        std::string layout;
        for (auto it = sizes.rbegin(); it != sizes.rend(); ++it)
            layout += (layout.empty() ? "" : " + ") + std::to_string(it->second) + " x " +
                      std::to_string(it->first) + " MiB";
        SetText(devices, "Module Sizes", layout, T_MODULES);
        const Dimm& d0 = dimms.front();
        if (!d0.type.empty()) SetText(devices, "Memory Type", d0.type, T_TYPE, DATA_HIGHLIGHT);
        unsigned rated = 0, configured = 0;
        for (const auto& d : dimms) {
            if (d.rated && (!rated || d.rated < rated)) rated = d.rated;
            if (d.configured && (!configured || d.configured < configured))
                configured = d.configured;
        }
        if (rated) SetNumber(devices, "Rated Speed", rated, 0, "MT/s", T_RATED_SPEED);
        if (configured)
            SetNumber(devices, "Configured Speed", configured, 0, "MT/s", T_CONFIGURED_SPEED, true);
        // One 64-bit channel moves eight bytes per transfer.
        if (unsigned s = configured ? configured : rated)
            SetNumber(devices, "Channel Peak", s * 8.0, 0, "MB/s", T_CHANNEL_PEAK);
    }
    RemoveEmptyChildren(branch);
}

void GenTips(CKQTreeEntry* branch) {
    CKQTreeEntry* size = FindChild(branch, kSize);
    CKQTreeEntry* swap = FindChild(branch, kSwap);
    CKQTreeEntry* devices = FindChild(branch, kDevices);
    CKQTreeEntry* bw = FindChild(branch, kBandwidth);
    for (CKQTreeEntry* e : {size, swap, devices, bw})
        if (e)
            for (int32_t id : {TIP_SWAP_HEAVY, TIP_DESKTOP_MEMORY, TIP_NO_SWAP, TIP_SWAPPINESS,
                               TIP_LOW_AVAILABLE, TIP_SLOW_BANDWIDTH, TIP_BELOW_RATED})
                e->RemoveTip(id);

    const double total = Number(size, "Total Memory");
    if (swap) {
        const double swapTotal = Number(swap, "Swap Total");
        const double used = Number(swap, "Swap Used");
        const double use = Number(swap, "Swap Use");
        if (swapTotal > 0 && use >= 50 && used >= 256)
            swap->AddTip(70, TIP_SWAP_HEAVY, TipDescID(TIP_SWAP_HEAVY, std::llround(use)));
        const bool compressed = swap->GetAttrValue("Compressed Swap").rfind("zram", 0) == 0 ||
                                swap->GetAttrValue("Zswap") == "enabled";
        if (swapTotal == 0 && !compressed && total > 0 && total <= 8192)
            swap->AddTip(40, TIP_NO_SWAP, TipDescID(TIP_NO_SWAP, std::llround(total)));
        const double swappiness = Number(swap, "Swappiness");
        // A high swappiness suits compressed swap; on a disk it pushes programs out early.
        if (swappiness >= 80 && swapTotal > 0 && !compressed)
            swap->AddTip(20, TIP_SWAPPINESS, TipDescID(TIP_SWAPPINESS, std::llround(swappiness)));
    }
    if (size) {
        const double need = Number(size, "Desktop Needs");
        if (need > 0 && total > 0 && total < need)
            size->AddTip(60, TIP_DESKTOP_MEMORY,
                         TipDescID(TIP_DESKTOP_MEMORY, std::llround(total)));
        const double share = Number(size, "Available Share");
        if (share >= 0 && share < 10)
            size->AddTip(share < 5 ? 85 : 75, TIP_LOW_AVAILABLE,
                         TipDescID(TIP_LOW_AVAILABLE, std::llround(share)));
    }
    if (devices) {
        const double rated = Number(devices, "Rated Speed"),
                     configured = Number(devices, "Configured Speed");
        if (rated > 0 && configured > 0 && configured < 0.95 * rated)
            devices->AddTip(45, TIP_BELOW_RATED,
                            TipDescID(TIP_BELOW_RATED, std::llround(configured)));
        const double peak = Number(devices, "Channel Peak");
        const double triad = Number(bw, "Triad Bandwidth");
        // Even one channel at its configured speed gives more than a third of its peak to triad.
        if (bw && peak > 0 && triad > 0 && triad < 0.35 * peak)
            bw->AddTip(50, TIP_SLOW_BANDWIDTH,
                       TipDescID(TIP_SLOW_BANDWIDTH, std::llround(100.0 * triad / peak)));
    }
}

}  // namespace mem
