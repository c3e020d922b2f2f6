#include "SystemInfo.h"

#include <cctype>
#include <cstdlib>
#include <ctime>
#include <sstream>

using namespace kqa;

namespace sys {

namespace {

// Placeholders that firmware writers leave in DMI fields.
bool IsPlaceholder(const std::string& v) {
    const std::string l = Lower(v);
    static const char* const bad[] = {"to be filled by o.e.m.",
                                      "system product name",
                                      "system manufacturer",
                                      "default string",
                                      "not specified",
                                      "not applicable",
                                      "none",
                                      "o.e.m.",
                                      "oem",
                                      "unknown",
                                      "system version",
                                      "type1productconfigid",
                                      "0123456789"};
    if (l.empty()) return true;
    for (const char* b : bad)
        if (l == b) return true;
    return false;
}

std::optional<std::string> Dmi(const char* name) {
    auto v = ReadLine(std::string("/sys/class/dmi/id/") + name);
    if (!v || IsPlaceholder(*v)) return std::nullopt;
    return v;
}

uint64_t Fnv1a(const std::string& data, uint64_t seed) {
    uint64_t h = 1469598103934665603ull ^ seed;
    for (unsigned char c : data) {
        h ^= c;
        h *= 1099511628211ull;
    }
    // Final mix so that nearby inputs spread over all bits.
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    h ^= h >> 33;
    return h;
}

std::string HostName() {
    if (auto h = ReadLine("/proc/sys/kernel/hostname")) return *h;
    if (auto h = ReadLine("/etc/hostname")) return *h;
    return "";
}

const char* ChassisName(long long type) {
    switch (type) {
        case 3:
            return "Desktop";
        case 4:
            return "Low Profile Desktop";
        case 5:
            return "Pizza Box";
        case 6:
            return "Mini Tower";
        case 7:
            return "Tower";
        case 8:
            return "Portable";
        case 9:
            return "Laptop";
        case 10:
            return "Notebook";
        case 11:
            return "Hand Held";
        case 12:
            return "Docking Station";
        case 13:
            return "All in One";
        case 14:
            return "Sub Notebook";
        case 15:
            return "Space-saving";
        case 16:
            return "Lunch Box";
        case 17:
            return "Main Server Chassis";
        case 23:
            return "Rack Mount Chassis";
        case 24:
            return "Sealed-case PC";
        case 30:
            return "Tablet";
        case 31:
            return "Convertible";
        case 32:
            return "Detachable";
        case 33:
            return "IoT Gateway";
        case 34:
            return "Embedded PC";
        case 35:
            return "Mini PC";
        case 36:
            return "Stick PC";
        default:
            return nullptr;
    }
}

std::string VirtualMachine() {
    if (auto t = ReadLine("/sys/hypervisor/type")) return *t;
    std::string vendor = Lower(ReadLine("/sys/class/dmi/id/sys_vendor").value_or(""));
    std::string product = Lower(ReadLine("/sys/class/dmi/id/product_name").value_or(""));
    if (vendor.find("qemu") != std::string::npos || product.find("kvm") != std::string::npos)
        return "KVM/QEMU";
    if (vendor.find("vmware") != std::string::npos) return "VMware";
    if (vendor.find("innotek") != std::string::npos ||
        product.find("virtualbox") != std::string::npos)
        return "VirtualBox";
    if (vendor.find("microsoft") != std::string::npos &&
        product.find("virtual") != std::string::npos)
        return "Hyper-V";
    if (vendor.find("xen") != std::string::npos) return "Xen";
    if (auto cpu = ReadFile("/proc/cpuinfo")) {
        auto blocks = ParseBlocks(*cpu, ':');
        if (!blocks.empty()) {
            auto it = blocks[0].find("flags");
            if (it != blocks[0].end()) {
                for (const auto& f : SplitWords(it->second))
                    if (f == "hypervisor") return "yes";
                return "no";
            }
        }
    }
    return "";
}

// The kernel command line and installed kernels decide whether a reboot is pending.
std::string NewestInstalledKernel() {
    std::string newest;
    for (const auto& name : ListDir("/lib/modules")) {
        if (!IsDirectory("/lib/modules/" + name)) continue;
        if (newest.empty() || CompareVersions(name, newest) > 0) newest = name;
    }
    return newest;
}

bool HostResolves(const std::string& host) {
    if (host.empty()) return true;
    const std::string lhost = Lower(host), lshort = Lower(host.substr(0, host.find('.')));
    if (auto hosts = ReadFile("/etc/hosts")) {
        std::istringstream in(*hosts);
        std::string line;
        while (std::getline(in, line)) {
            line = line.substr(0, line.find('#'));
            auto w = SplitWords(line);
            for (size_t i = 1; i < w.size(); ++i) {
                std::string n = Lower(w[i]);
                if (n == lhost || n == lshort) return true;
            }
        }
    }
    // systemd's nss-myhostname answers for the local host name.
    if (auto nss = ReadFile("/etc/nsswitch.conf")) {
        std::istringstream in(*nss);
        std::string line;
        while (std::getline(in, line)) {
            line = Trim(line.substr(0, line.find('#')));
            if (!StartsWith(line, "hosts:")) continue;
            for (const auto& w : SplitWords(line.substr(6)))
                if (w == "myhostname") return true;
        }
    }
    return false;
}

std::string SecureBoot() {
    const char* const dir = "/sys/firmware/efi/efivars";
    for (const auto& n : ListDir(dir)) {
        if (!StartsWith(n, "SecureBoot-")) continue;
        auto data = ReadFile(std::string(dir) + "/" + n, 64);
        if (!data || data->size() < 5) return "";
        return (*data)[4] ? "enabled" : "disabled";
    }
    return "";
}

}  // namespace

int CompareVersions(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        const bool da = i < a.size() && std::isdigit(static_cast<unsigned char>(a[i]));
        const bool db = j < b.size() && std::isdigit(static_cast<unsigned char>(b[j]));
        if (da && db) {
            size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei]))) ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej]))) ++ej;
            unsigned long long x = std::strtoull(a.substr(i, ei - i).c_str(), nullptr, 10);
            unsigned long long y = std::strtoull(b.substr(j, ej - j).c_str(), nullptr, 10);
            if (x != y) return x < y ? -1 : 1;
            i = ei;
            j = ej;
            continue;
        }
        const int ca = i < a.size() ? static_cast<unsigned char>(a[i]) : -1;
        const int cb = j < b.size() ? static_cast<unsigned char>(b[j]) : -1;
        if (ca != cb) return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    return 0;
}

std::string MakeSystemID() {
    std::string material;
    auto mid = ReadLine("/etc/machine-id");
    if (!mid) mid = ReadLine("/var/lib/dbus/machine-id");
    if (mid) material += "machine-id:" + *mid + "\n";
    if (auto uuid = ReadLine("/sys/class/dmi/id/product_uuid"))
        material += "uuid:" + Lower(*uuid) + "\n";
    if (material.empty()) {
        // Nothing unique is readable: fall back on what describes the hardware.
        for (const char* f : {"sys_vendor", "product_name", "board_vendor", "board_name"})
            material += ReadLine(std::string("/sys/class/dmi/id/") + f).value_or("") + "\n";
        if (auto cpu = ReadFile("/proc/cpuinfo")) {
            auto blocks = ParseBlocks(*cpu, ':');
            if (!blocks.empty()) material += blocks[0]["model name"] + "\n";
        }
        if (auto mem = ReadFile("/proc/meminfo")) material += ParseKeyValue(*mem, ':')["MemTotal"];
    }
    // The hash is one-way: the identifier tells nothing of the machine-id or the UUID.
    const uint64_t h1 = Fnv1a(material, 0x51554c4c4f4e3937ull);
    const uint64_t h2 = Fnv1a(material, 0x6b71617379736964ull);
    return Format("L%016llx%04x", static_cast<unsigned long long>(h1),
                  static_cast<unsigned>(h2 & 0xffffu));
}

std::string MeasuredNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char text[32] = "";
    if (!localtime_r(&now, &local) ||
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local) == 0)
        return "";
    return text;
}

std::string DefaultDescription() {
    auto vendor = Dmi("sys_vendor");
    auto model = Dmi("product_name");
    if (!model) {
        // Boards built into no-name cases name only the board.
        vendor = Dmi("board_vendor");
        model = Dmi("board_name");
    }
    std::string d;
    if (vendor) d = *vendor;
    if (model) {
        // Some vendors repeat their name in the model.
        if (vendor && Lower(*model).rfind(Lower(*vendor), 0) == 0)
            d = *model;
        else
            d += (d.empty() ? "" : " ") + *model;
    }
    return ScrubPrivate(Trim(d));
}

void FillBranch(CKQTreeEntry* branch) {
    // Operating system.
    CKQTreeEntry* os = Child(branch, kOSEntry);
    if (auto text =
            ReadFile("/etc/os-release").value_or(ReadFile("/usr/lib/os-release").value_or(""));
        !text.empty()) {
        auto kv = ParseKeyValue(text, '=');
        std::string pretty = kv["PRETTY_NAME"];
        if (pretty.empty()) pretty = Trim(kv["NAME"] + " " + kv["VERSION"]);
        if (!pretty.empty()) SetText(os, "Distribution", pretty, T_DISTRIBUTION, DATA_HIGHLIGHT);
        if (!kv["ID"].empty()) SetText(os, "Distribution ID", kv["ID"], T_DISTRO_ID);
        if (!kv["VERSION_ID"].empty())
            SetText(os, "Distribution Version", kv["VERSION_ID"], T_DISTRO_VERSION);
    }
    const auto kernel = ReadLine("/proc/sys/kernel/osrelease");
    if (kernel) SetText(os, "Kernel", *kernel, T_KERNEL, DATA_HIGHLIGHT);
    if (auto v = ReadLine("/proc/sys/kernel/version"))
        SetText(os, "Kernel Build", *v, T_KERNEL_BUILD);
    if (auto a = ReadLine("/proc/sys/kernel/arch")) SetText(os, "Architecture", *a, T_ARCH);
    if (auto init = ReadLine("/proc/1/comm")) SetText(os, "Init System", *init, T_INIT);
    if (auto tz = ReadLine("/etc/timezone")) {
        SetText(os, "Time Zone", *tz, T_TIMEZONE);
    } else if (auto link = ReadLink("/etc/localtime")) {
        auto pos = link->find("zoneinfo/");
        if (pos != std::string::npos) SetText(os, "Time Zone", link->substr(pos + 9), T_TIMEZONE);
    }
    const std::string host = HostName();
    if (!host.empty())
        SetText(os, "Host Name Resolves", HostResolves(host) ? "yes" : "no", T_HOST_RESOLVES);
    const std::string newest = NewestInstalledKernel();
    if (!newest.empty()) SetText(os, "Newest Installed Kernel", newest, T_NEWEST_KERNEL);
    bool reboot = Exists("/run/reboot-required") || Exists("/var/run/reboot-required");
    if (kernel && !newest.empty() && CompareVersions(newest, *kernel) > 0) reboot = true;
    if (kernel) SetText(os, "Reboot Required", reboot ? "yes" : "no", T_REBOOT_REQUIRED);

    // Machine.
    CKQTreeEntry* machine = Child(branch, kMachineEntry);
    if (auto v = Dmi("sys_vendor"))
        SetText(machine, "Machine Vendor", *v, T_VENDOR, DATA_HIGHLIGHT);
    if (auto v = Dmi("product_name"))
        SetText(machine, "Machine Model", *v, T_MODEL, DATA_HIGHLIGHT);
    if (auto v = Dmi("product_version")) SetText(machine, "Machine Version", *v, T_PRODUCT_VERSION);
    if (auto v = Dmi("board_vendor")) SetText(machine, "Board Vendor", *v, T_BOARD_VENDOR);
    if (auto v = Dmi("board_name")) SetText(machine, "Board Name", *v, T_BOARD_NAME);
    if (auto c = ReadInt("/sys/class/dmi/id/chassis_type"))
        if (const char* name = ChassisName(*c)) SetText(machine, "Chassis", name, T_CHASSIS);
    if (auto vm = VirtualMachine(); !vm.empty()) SetText(machine, "Virtual Machine", vm, T_VIRTUAL);

    // Firmware.
    CKQTreeEntry* fw = Child(branch, kFirmwareEntry);
    if (auto v = Dmi("bios_vendor")) SetText(fw, "Firmware Vendor", *v, T_FW_VENDOR);
    if (auto v = Dmi("bios_version")) SetText(fw, "Firmware Version", *v, T_FW_VERSION);
    if (auto v = Dmi("bios_date")) SetText(fw, "Firmware Date", *v, T_FW_DATE);
    SetText(fw, "Boot Mode", IsDirectory("/sys/firmware/efi") ? "UEFI" : "BIOS", T_BOOT_MODE);
    if (auto sb = SecureBoot(); !sb.empty()) SetText(fw, "Secure Boot", sb, T_SECURE_BOOT);

    // Session.
    CKQTreeEntry* session = Child(branch, kSessionEntry);
    if (auto up = ReadLine("/proc/uptime")) {
        const char* s = up->c_str();
        char* end = nullptr;
        double seconds = std::strtod(s, &end);
        if (end != s && seconds >= 0)
            SetNumber(session, "Uptime", seconds / 3600.0, 1, "h", T_UPTIME);
    }
    auto env = [](const char* name) -> std::string {
        const char* v = std::getenv(name);
        return v ? v : "";
    };
    std::string desktop = env("XDG_CURRENT_DESKTOP");
    if (desktop.empty()) desktop = env("DESKTOP_SESSION");
    if (!desktop.empty()) SetText(session, "Desktop Session", desktop, T_DESKTOP);
    std::string type = env("XDG_SESSION_TYPE");
    if (type.empty()) {
        if (!env("WAYLAND_DISPLAY").empty())
            type = "wayland";
        else if (!env("DISPLAY").empty())
            type = "x11";
        else
            type = "none";
    }
    SetText(session, "Session Type", type, T_SESSION_TYPE);
    std::string lang = env("LC_ALL");
    if (lang.empty()) lang = env("LANG");
    if (!lang.empty()) SetText(session, "Language", lang, T_LANGUAGE);
    RemoveEmptyChildren(branch);
}

void GenTips(CKQTreeEntry* branch) {
    CKQTreeEntry* os = FindChild(branch, kOSEntry);
    if (!os) return;
    os->RemoveTip(TIP_HOST_UNRESOLVED);
    os->RemoveTip(TIP_REBOOT_PENDING);
    if (os->GetAttrValue("Host Name Resolves") == "no")
        os->AddTip(30, TIP_HOST_UNRESOLVED, TipDescID(TIP_HOST_UNRESOLVED, 0));
    if (os->GetAttrValue("Reboot Required") == "yes") {
        long long days = 0;
        if (CKQTreeEntry* session = FindChild(branch, kSessionEntry))
            if (auto h = LeadingNumber(session->GetAttrValue("Uptime")))
                days = static_cast<long long>(*h / 24);
        os->AddTip(55, TIP_REBOOT_PENDING, TipDescID(TIP_REBOOT_PENDING, days));
    }
}

}  // namespace sys
