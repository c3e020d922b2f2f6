// Numbers of the Video module's attributes (type words, help contexts) and tips.
#pragma once

#include "KQAModule.h"

namespace video {

inline constexpr kqa::ModuleIdentity kModule{50, 102, 5000, "Video", "Video"};
constexpr KQAID kID = kModule.id;

enum : int32_t {
    T_PLATFORM = 5001,
    T_SESSION,
    T_QT_VERSION,
    T_SCREEN_COUNT,
    T_SCREEN_NAME = 5010,
    T_SCREEN_MAKER,
    T_RESOLUTION,
    T_WIDTH,
    T_HEIGHT,
    T_DEPTH,
    T_REFRESH,
    T_LOGICAL_DPI,
    T_PHYSICAL_DPI,
    T_SCALE,
    T_PHYSICAL_SIZE,
    T_PRIMARY,
    T_VIRTUAL,
    T_ADAPTER_VENDOR = 5030,
    T_ADAPTER_PCI_ID,
    T_ADAPTER_DRIVER,
    T_BOOT_DISPLAY,
    T_OUTPUTS,
    T_LINES = 5050,
    T_RECTANGLES,
    T_TEXT,
    T_IMAGES,
    T_SURFACE,
    T_TEXT_TEST,
    T_DRAW_TIME,
    T_DRAW_RESULT,
};

enum : int32_t {
    TIP_HIDPI_UNSCALED = 5101,
    TIP_NOT_NATIVE,
    TIP_NO_DRIVER,
    TIP_LOW_REFRESH,
    TIP_LOW_DEPTH,
};

inline constexpr const char* kPlatform = "Graphics Platform";
inline constexpr const char* kScreens = "Screens";
inline constexpr const char* kAdapters = "Graphics Adapters";
inline constexpr const char* kTests = "Drawing Tests";
inline constexpr const char* kConditions = "Drawing Test Conditions";

const kqa::ModuleHelp& Help();
inline const kqa::CTextRegistry& Texts() { return Help().texts; }

}  // namespace video
