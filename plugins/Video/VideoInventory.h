// What the Video module reads: graphics adapters from /sys/class/drm (through the sysroot),
// and screens from Qt when the host has a QGuiApplication. With a sysroot set the screens come
// from <root>/screens.txt instead, so that tests can describe any monitor.
#pragma once

#include <string>
#include <vector>

struct ScreenInfo {
    std::string name, maker;    // connector name; manufacturer and model (never the serial)
    int width = 0, height = 0;  // device-independent pixels
    int depth = 0;
    double refreshHz = 0, logicalDpi = 0, physicalDpi = 0, scale = 1;
    double widthMM = 0, heightMM = 0;
    bool primary = false;
    bool isVirtual = false;  // offscreen or minimal platform: no monitor behind it
};

struct OutputInfo {
    std::string name;        // HDMI-A-1
    std::string status;      // connected / disconnected
    std::string nativeMode;  // first mode listed, the monitor's preferred one ("2560x1440")
};

struct AdapterInfo {
    std::string card;                // card0
    std::string vendorID, deviceID;  // "0x8086"
    std::string driver;
    bool bootDisplay = false;
    std::vector<OutputInfo> outputs;
};

// "1920 x 1080" and similar from a DRM mode string; false when it has no "WxH".
bool ParseMode(const std::string& mode, int& width, int& height);
std::string VendorName(const std::string& pciVendorID);
// Framebuffer drivers that draw without any acceleration.
bool IsFramebufferDriver(const std::string& driver);

class CVideoInventory {
public:
    void Read();
    const std::string& Platform() const { return m_platform; }
    const std::vector<ScreenInfo>& Screens() const { return m_screens; }
    const std::vector<AdapterInfo>& Adapters() const { return m_adapters; }
    bool HaveGui() const { return m_haveGui; }

private:
    void ReadAdapters();
    void ReadScreens();
    bool ReadFixtureScreens();
    std::string m_platform;
    bool m_haveGui = false;
    std::vector<ScreenInfo> m_screens;
    std::vector<AdapterInfo> m_adapters;
};

// True when the host made a QGuiApplication (fonts and screens are only there with one).
bool HaveGuiApplication();
