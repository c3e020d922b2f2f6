#include "DiskInventory.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <set>

#include "KQAModule.h"

using namespace kqa;

std::optional<SpaceInfo> QuerySpace(const std::string& mountPoint) {
    if (!SysRoot().empty()) {
        auto text = ReadFile("/statvfs.txt");
        if (!text) return std::nullopt;
        // Mount points are written as in the mount table, with blanks as "\040".
        std::string escaped;
        for (char c : mountPoint) escaped += c == ' ' ? std::string("\\040") : std::string(1, c);
        for (const auto& line : Split(*text, '\n')) {
            auto w = SplitWords(line);
            if (w.size() < 7 || w[0] != escaped) continue;
            const long long frag = std::atoll(w[1].c_str());
            SpaceInfo s;
            s.sizeBytes = frag * std::atoll(w[2].c_str());
            s.freeBytes = frag * std::atoll(w[3].c_str());
            s.availBytes = frag * std::atoll(w[4].c_str());
            s.inodes = std::atoll(w[5].c_str());
            s.inodesFree = std::atoll(w[6].c_str());
            return s;
        }
        return std::nullopt;
    }
    struct statvfs st {};
    if (::statvfs(mountPoint.c_str(), &st) != 0) return std::nullopt;
    SpaceInfo s;
    const long long frag = st.f_frsize ? st.f_frsize : st.f_bsize;
    s.sizeBytes = frag * static_cast<long long>(st.f_blocks);
    s.freeBytes = frag * static_cast<long long>(st.f_bfree);
    s.availBytes = frag * static_cast<long long>(st.f_bavail);
    s.inodes = static_cast<long long>(st.f_files);
    s.inodesFree = static_cast<long long>(st.f_ffree);
    return s;
}

std::string ActiveScheduler(const std::string& line, std::string* all) {
    std::string active, names;
    for (auto w : SplitWords(line)) {
        if (w.size() > 2 && w.front() == '[' && w.back() == ']') {
            w = w.substr(1, w.size() - 2);
            active = w;
        }
        if (!names.empty()) names += ' ';
        names += w;
    }
    // A single scheduler is shown without brackets on some kernels.
    if (active.empty() && names.find(' ') == std::string::npos) active = names;
    if (all) *all = names;
    return active;
}

bool HasOption(const std::string& options, const std::string& option) {
    for (const auto& o : Split(options, ','))
        if (o == option) return true;
    return false;
}

namespace {

std::string BaseName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string TransportOf(const std::string& name, const std::string& sysPath) {
    if (auto link = ReadLink(sysPath)) {
        if (link->find("/usb") != std::string::npos) return "USB";
        if (link->find("/virtio") != std::string::npos) return "Virtio";
    }
    if (StartsWith(name, "nvme")) return "NVMe";
    if (StartsWith(name, "vd")) return "Virtio";
    if (StartsWith(name, "xvd")) return "Xen";
    if (StartsWith(name, "mmcblk")) return "MMC/SD";
    if (StartsWith(name, "sd")) return "SATA/SCSI";
    if (StartsWith(name, "hd")) return "IDE";
    if (StartsWith(name, "md")) return "Software RAID";
    if (StartsWith(name, "dm-")) return "Device mapper";
    if (StartsWith(name, "zram")) return "Compressed RAM";
    if (StartsWith(name, "sr")) return "Optical";
    return "";
}

std::string ModelOf(const std::string& name, const std::string& base) {
    std::string vendor = ReadLine(base + "/device/vendor").value_or("");
    std::string model = ReadLine(base + "/device/model").value_or("");
    if (model.empty()) model = ReadLine(base + "/device/name").value_or("");  // MMC
    if (StartsWith(name, "dm-")) {
        if (auto dm = ReadLine(base + "/dm/name")) return "Device-mapper volume " + *dm;
    }
    if (StartsWith(name, "md")) return "Software RAID " + ReadLine(base + "/md/level").value_or("");
    if (StartsWith(name, "zram")) return "Compressed RAM disk";
    // Virtio reports a PCI vendor number instead of a name.
    if (StartsWith(vendor, "0x")) vendor.clear();
    if (vendor == "ATA") vendor.clear();
    if (model.empty() && StartsWith(name, "vd")) model = "Virtio block device";
    if (model.empty() && StartsWith(name, "xvd")) model = "Xen virtual disk";
    if (!vendor.empty() && !StartsWith(Lower(model), Lower(vendor))) model = vendor + " " + model;
    return Trim(model);
}

bool Pseudo(const std::string& name) {
    return StartsWith(name, "loop") || StartsWith(name, "ram") || StartsWith(name, "nbd");
}

}  // namespace

void CDiskInventory::Read() {
    m_devices.clear();
    m_fileSystems.clear();
    m_allMounts.clear();
    ReadDevices();
    ReadMounts();
    m_trimTimer = Exists("/etc/systemd/system/timers.target.wants/fstrim.timer") ||
                  Exists("/etc/cron.weekly/fstrim") || Exists("/etc/cron.monthly/fstrim");
}

void CDiskInventory::ReadDevices() {
    for (const auto& name : ListDir("/sys/block")) {
        if (Pseudo(name)) continue;
        const std::string base = "/sys/block/" + name;
        BlockDevice d;
        d.name = name;
        d.sizeBytes = ReadInt(base + "/size").value_or(0) * 512;
        if (d.sizeBytes <= 0) continue;  // empty card readers, drives without a disc, unused zram
        d.model = ModelOf(name, base);
        d.transport = TransportOf(name, base);
        if (auto r = ReadInt(base + "/queue/rotational")) d.rotational = *r ? 1 : 0;
        if (auto s = ReadLine(base + "/queue/scheduler"))
            d.scheduler = ActiveScheduler(*s, &d.schedulers);
        d.queueDepth = ReadInt(base + "/queue/nr_requests").value_or(-1);
        d.readAheadKB = ReadInt(base + "/queue/read_ahead_kb").value_or(-1);
        d.writeCache = ReadLine(base + "/queue/write_cache").value_or("");
        d.discardMaxBytes = ReadInt(base + "/queue/discard_max_bytes").value_or(-1);
        d.removable = ReadInt(base + "/removable").value_or(0) == 1;
        d.readOnly = ReadInt(base + "/ro").value_or(0) == 1;
        if (auto dev = ReadLine(base + "/dev")) d.devNumbers.push_back(*dev);
        for (const auto& sub : ListDir(base)) {
            if (!StartsWith(sub, name) || !Exists(base + "/" + sub + "/partition")) continue;
            d.partitions.push_back(sub);
            if (auto dev = ReadLine(base + "/" + sub + "/dev")) d.devNumbers.push_back(*dev);
        }
        d.slaves = ListDir(base + "/slaves");
        m_devices.push_back(std::move(d));
    }
}

const BlockDevice* CDiskInventory::FindDevice(const std::string& name) const {
    for (const auto& d : m_devices)
        if (d.name == name) return &d;
    return nullptr;
}

std::string CDiskInventory::DiskOfDevice(const std::string& device) const {
    if (!StartsWith(device, "/dev/")) return "";
    std::string name = BaseName(device);
    if (StartsWith(device, "/dev/disk/")) {
        if (auto link = ReadLink(device)) name = BaseName(*link);
    }
    if (StartsWith(device, "/dev/mapper/")) {
        for (const auto& d : m_devices)
            if (StartsWith(d.name, "dm-") &&
                ReadLine("/sys/block/" + d.name + "/dm/name").value_or("") == name)
                return d.name;
    }
    for (const auto& d : m_devices) {
        if (d.name == name) return d.name;
        for (const auto& p : d.partitions)
            if (p == name) return d.name;
    }
    return "";
}

void CDiskInventory::ReadMounts() {
    static const std::set<std::string> kNetwork = {
        "nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "9p", "virtiofs", "ceph"};
    static const std::set<std::string> kImages = {"squashfs", "iso9660", "udf"};
    std::set<std::pair<std::string, std::string>> seen;
    for (const auto& m : kqa::ReadMounts()) {
        FileSystem fs;
        fs.device = m.device;
        fs.mountPoint = m.mountPoint;
        fs.fsType = m.fsType;
        fs.options = m.options;
        fs.disk = DiskOfDevice(m.device);
        m_allMounts.push_back(fs);
        const bool blockBacked =
            StartsWith(m.device, "/dev/") && !StartsWith(m.device, "/dev/loop");
        if (!(blockBacked || kNetwork.count(m.fsType)) || kImages.count(m.fsType)) continue;
        if (!seen.insert({m.device, m.mountPoint}).second) continue;
        if (auto s = QuerySpace(m.mountPoint)) {
            fs.haveSpace = true;
            fs.sizeBytes = s->sizeBytes;
            fs.freeBytes = s->freeBytes;
            fs.availBytes = s->availBytes;
            fs.inodes = s->inodes;
            fs.inodesFree = s->inodesFree;
        }
        m_fileSystems.push_back(std::move(fs));
    }
}

std::optional<FileSystem> CDiskInventory::FileSystemOf(const std::string& path) const {
    const FileSystem* best = nullptr;
    for (const auto& m : m_allMounts) {
        const std::string& mp = m.mountPoint;
        bool under = mp == "/" || path == mp || StartsWith(path, mp + "/");
        // Later mounts over the same point hide earlier ones.
        if (under && (!best || mp.size() >= best->mountPoint.size())) best = &m;
    }
    if (!best) return std::nullopt;
    for (const auto& fs : m_fileSystems)
        if (fs.mountPoint == best->mountPoint && fs.device == best->device) return fs;
    FileSystem fs = *best;
    if (auto s = QuerySpace(fs.mountPoint)) {
        fs.haveSpace = true;
        fs.sizeBytes = s->sizeBytes;
        fs.freeBytes = s->freeBytes;
        fs.availBytes = s->availBytes;
        fs.inodes = s->inodes;
        fs.inodesFree = s->inodesFree;
    }
    return fs;
}

std::string CDiskInventory::TrimState(const BlockDevice& d) const {
    if (d.discardMaxBytes == 0) return "not supported";
    bool mounted = false, discard = false;
    for (const auto& fs : m_fileSystems) {
        if (fs.disk != d.name) continue;
        mounted = true;
        if (HasOption(fs.options, "discard")) discard = true;
    }
    if (discard) return "continuous (discard mount option)";
    if (m_trimTimer) return "periodic (fstrim timer)";
    if (!mounted) return "no mounted file system";
    return "none";
}
