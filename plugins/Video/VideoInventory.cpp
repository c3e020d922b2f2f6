#include "VideoInventory.h"

#include <QGuiApplication>
#include <QScreen>

#include <cstdlib>

#include "KQAModule.h"

using namespace kqa;

bool HaveGuiApplication() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

bool ParseMode(const std::string& mode, int& width, int& height) {
    size_t x = mode.find('x');
    if (x == std::string::npos || x == 0) return false;
    char* end = nullptr;
    long w = std::strtol(mode.c_str(), &end, 10);
    if (end != mode.c_str() + x) return false;
    const char* hs = mode.c_str() + x + 1;
    long h = std::strtol(hs, &end, 10);
    if (end == hs || w <= 0 || h <= 0) return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

std::string VendorName(const std::string& id) {
    const std::string v = Lower(id);
    if (v == "0x8086") return "Intel";
    if (v == "0x1002" || v == "0x1022") return "AMD";
    if (v == "0x10de") return "NVIDIA";
    if (v == "0x1af4") return "Red Hat (virtio)";
    if (v == "0x1234") return "QEMU";
    if (v == "0x15ad") return "VMware";
    if (v == "0x80ee") return "VirtualBox";
    if (v == "0x1414") return "Microsoft (Hyper-V)";
    if (v == "0x1a03") return "ASPEED";
    if (v == "0x102b") return "Matrox";
    if (v == "0x5143") return "Qualcomm";
    return "";
}

bool IsFramebufferDriver(const std::string& d) {
    return d == "simpledrm" || d == "simple-framebuffer" || d == "simplefb" || d == "efifb" ||
           d == "vesafb" || d == "vga16fb" || d == "offb";
}

void CVideoInventory::Read() {
    m_screens.clear();
    m_adapters.clear();
    m_haveGui = HaveGuiApplication();
    m_platform = m_haveGui ? QGuiApplication::platformName().toStdString() : std::string();
    ReadAdapters();
    ReadScreens();
}

void CVideoInventory::ReadAdapters() {
    const std::string base = "/sys/class/drm";
    const auto names = ListDir(base);
    for (const auto& n : names) {
        if (!StartsWith(n, "card") || n.find('-') != std::string::npos) continue;
        AdapterInfo a;
        a.card = n;
        const std::string dev = base + "/" + n + "/device";
        a.vendorID = ReadLine(dev + "/vendor").value_or("");
        a.deviceID = ReadLine(dev + "/device").value_or("");
        if (auto link = ReadLink(dev + "/driver")) {
            size_t slash = link->rfind('/');
            a.driver = slash == std::string::npos ? *link : link->substr(slash + 1);
        } else if (auto uevent = ReadFile(dev + "/uevent")) {
            a.driver = ParseKeyValue(*uevent, '=')["DRIVER"];
        }
        a.bootDisplay = ReadInt(dev + "/boot_vga").value_or(0) == 1;
        for (const auto& c : names) {
            if (!StartsWith(c, n + "-")) continue;
            OutputInfo o;
            o.name = c.substr(n.size() + 1);
            o.status = ReadLine(base + "/" + c + "/status").value_or("");
            if (auto modes = ReadFile(base + "/" + c + "/modes", 65536)) {
                auto lines = Split(*modes, '\n');
                if (!lines.empty()) o.nativeMode = Trim(lines[0]);
            }
            a.outputs.push_back(std::move(o));
        }
        m_adapters.push_back(std::move(a));
    }
}

bool CVideoInventory::ReadFixtureScreens() {
    auto text = ReadFile("/screens.txt");
    if (!text) return false;
    // name width height depth refresh logicalDpi physicalDpi scale widthMM heightMM primary
    // [maker...]
    for (const auto& line : Split(*text, '\n')) {
        auto w = SplitWords(line);
        if (w.size() < 11 || w[0][0] == '#') continue;
        ScreenInfo s;
        s.name = w[0];
        s.width = std::atoi(w[1].c_str());
        s.height = std::atoi(w[2].c_str());
        s.depth = std::atoi(w[3].c_str());
        s.refreshHz = std::atof(w[4].c_str());
        s.logicalDpi = std::atof(w[5].c_str());
        s.physicalDpi = std::atof(w[6].c_str());
        s.scale = std::atof(w[7].c_str());
        s.widthMM = std::atof(w[8].c_str());
        s.heightMM = std::atof(w[9].c_str());
        s.primary = w[10] == "1";
        for (size_t i = 11; i < w.size(); ++i) s.maker += (i > 11 ? " " : "") + w[i];
        m_screens.push_back(s);
    }
    return true;
}

void CVideoInventory::ReadScreens() {
    if (!SysRoot().empty()) {
        ReadFixtureScreens();
        return;
    }
    if (!m_haveGui) return;
    const bool virtualScreens = m_platform == "offscreen" || m_platform == "minimal";
    const QScreen* primary = QGuiApplication::primaryScreen();
    for (const QScreen* q : QGuiApplication::screens()) {
        ScreenInfo s;
        s.name = q->name().toStdString();
        std::string maker = q->manufacturer().toStdString();
        std::string model = q->model().toStdString();
        s.maker = Trim(maker + (maker.empty() || model.empty() ? "" : " ") + model);
        s.width = q->geometry().width();
        s.height = q->geometry().height();
        s.depth = q->depth();
        s.refreshHz = q->refreshRate();
        s.logicalDpi = q->logicalDotsPerInch();
        s.physicalDpi = q->physicalDotsPerInch();
        s.scale = q->devicePixelRatio();
        s.widthMM = q->physicalSize().width();
        s.heightMM = q->physicalSize().height();
        s.primary = q == primary;
        s.isVirtual = virtualScreens;
        m_screens.push_back(s);
    }
}
