// Numbers of the Video module's attributes (type words, help contexts) and tips.
#pragma once

#include "KQAModule.h"

enum : uint16_t { VIDEO_KQAID = 50, VIDEO_VERSION = 100, VIDEO_BITMAP = 5000 };

enum VideoAttrType : int32_t {
    VA_PLATFORM = 5001,
    VA_SESSION,
    VA_QT_VERSION,
    VA_SCREEN_COUNT,
    VA_SCREEN_NAME = 5010,
    VA_SCREEN_MAKER,
    VA_RESOLUTION,
    VA_WIDTH,
    VA_HEIGHT,
    VA_DEPTH,
    VA_REFRESH,
    VA_LOGICAL_DPI,
    VA_PHYSICAL_DPI,
    VA_SCALE,
    VA_PHYSICAL_SIZE,
    VA_PRIMARY,
    VA_VIRTUAL,
    VA_ADAPTER_VENDOR = 5030,
    VA_ADAPTER_PCI_ID,
    VA_ADAPTER_DRIVER,
    VA_BOOT_DISPLAY,
    VA_OUTPUTS,
    VA_LINES = 5050,
    VA_RECTANGLES,
    VA_TEXT,
    VA_IMAGES,
    VA_SURFACE,
    VA_TEXT_TEST,
    VA_DRAW_TIME,
    VA_DRAW_RESULT,
};

enum VideoTip : int32_t {
    VT_HIDPI_UNSCALED = 5101,
    VT_NOT_NATIVE,
    VT_NO_DRIVER,
    VT_LOW_REFRESH,
    VT_LOW_DEPTH,
};

inline constexpr const char* kGraphicsPlatform = "Graphics Platform";
inline constexpr const char* kScreens = "Screens";
inline constexpr const char* kAdapters = "Graphics Adapters";
inline constexpr const char* kDrawingTests = "Drawing Tests";
inline constexpr const char* kDrawingConditions = "Drawing Test Conditions";

const kqa::CTextRegistry& VideoTexts();
