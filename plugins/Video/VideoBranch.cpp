#include "VideoBranch.h"

#include <QtGlobal>

#include <cmath>
#include <cstdlib>
#include <functional>

#include "VideoTexts.h"

using namespace kqa;

void FillVideoBranch(CKQTreeEntry* branch, const CVideoInventory& inv) {
    if (!branch) return;
    ClearChild(branch, video::kPlatform);
    ClearChild(branch, video::kScreens);
    ClearChild(branch, video::kAdapters);

    CKQTreeEntry* plat = Child(branch, video::kPlatform);
    SetText(plat, "Platform", inv.HaveGui() ? inv.Platform() : "none (no graphical application)",
            video::T_PLATFORM);
    if (const char* s = std::getenv("XDG_SESSION_TYPE"); s && *s)
        SetText(plat, "Session Type", s, video::T_SESSION);
    SetText(plat, "Qt Version", qVersion(), video::T_QT_VERSION);
    SetNumber(plat, "Screen Count", static_cast<double>(inv.Screens().size()), 0, "",
              video::T_SCREEN_COUNT);

    if (!inv.Screens().empty()) {
        CKQTreeEntry* screens = Child(branch, video::kScreens);
        int n = 0;
        for (const auto& s : inv.Screens()) {
            CKQTreeEntry* e = Child(screens, Format("Screen %d", ++n));
            if (!s.name.empty()) SetText(e, "Output", s.name, video::T_SCREEN_NAME);
            if (!s.maker.empty()) SetText(e, "Monitor", s.maker, video::T_SCREEN_MAKER);
            SetText(e, "Resolution", Format("%d x %d", s.width, s.height), video::T_RESOLUTION);
            SetNumber(e, "Width", s.width, 0, "pixels", video::T_WIDTH);
            SetNumber(e, "Height", s.height, 0, "pixels", video::T_HEIGHT);
            if (s.depth > 0) SetNumber(e, "Colour Depth", s.depth, 0, "bits", video::T_DEPTH);
            if (s.refreshHz > 0)
                SetNumber(e, "Refresh Rate", s.refreshHz, 1, "Hz", video::T_REFRESH);
            if (s.logicalDpi > 0)
                SetNumber(e, "Logical DPI", s.logicalDpi, 1, "dpi", video::T_LOGICAL_DPI);
            if (s.physicalDpi > 0)
                SetNumber(e, "Physical DPI", s.physicalDpi, 1, "dpi", video::T_PHYSICAL_DPI);
            SetNumber(e, "Scale Factor", s.scale, 2, "x", video::T_SCALE);
            if (s.widthMM > 0 && s.heightMM > 0)
                SetText(e, "Physical Size", Format("%.0f x %.0f mm", s.widthMM, s.heightMM),
                        video::T_PHYSICAL_SIZE);
            SetText(e, "Primary", s.primary ? "yes" : "no", video::T_PRIMARY);
            SetText(e, "Virtual", s.isVirtual ? "yes" : "no", video::T_VIRTUAL);
        }
    }

    if (!inv.Adapters().empty()) {
        CKQTreeEntry* adapters = Child(branch, video::kAdapters);
        for (const auto& a : inv.Adapters()) {
            CKQTreeEntry* e = Child(adapters, a.card);
            std::string vendor = VendorName(a.vendorID);
            if (!vendor.empty()) SetText(e, "Adapter Vendor", vendor, video::T_ADAPTER_VENDOR);
            if (!a.vendorID.empty() && !a.deviceID.empty()) {
                auto hex = [](std::string s) { return StartsWith(s, "0x") ? s.substr(2) : s; };
                SetText(e, "Adapter PCI ID", hex(a.vendorID) + ":" + hex(a.deviceID),
                        video::T_ADAPTER_PCI_ID);
            }
            if (!a.driver.empty()) SetText(e, "Adapter Driver", a.driver, video::T_ADAPTER_DRIVER);
            SetText(e, "Boot Display", a.bootDisplay ? "yes" : "no", video::T_BOOT_DISPLAY);
            std::string outs;
            for (const auto& o : a.outputs)
                if (o.status == "connected")
                    outs += (outs.empty() ? "" : ", ") + o.name +
                            (o.nativeMode.empty() ? "" : " " + o.nativeMode);
            SetText(e, "Connected Outputs", outs.empty() ? "none" : outs, video::T_OUTPUTS);
        }
    }

    CKQTreeEntry* tests = Child(branch, video::kTests);
    if (tests->FindAttr("Drawing Test Result") < 0)
        SetText(tests, "Drawing Test Result", "not run yet", video::T_DRAW_RESULT);

    AddReport(branch, "Video Details", video::kID,
              {"Graphics Platform~Platform", "Graphics Platform~Screen Count",
               "Screens~Screen 1~Resolution", "Screens~Screen 1~Refresh Rate",
               "Screens~Screen 1~Scale Factor", "Graphics Adapters~card0~Adapter Driver"});
    AddReport(branch, "Drawing Tests", video::kID,
              {"Drawing Tests~Lines", "Drawing Tests~Rectangles", "Drawing Tests~Text",
               "Drawing Tests~Image Copies", "Drawing Test Conditions~Load Before",
               "Drawing Test Conditions~Module Version"});
    AddChart(branch, "2-D Drawing Speed", "ops/s", video::kID,
             {"Drawing Tests~Lines", "Drawing Tests~Rectangles", "Drawing Tests~Text",
              "Drawing Tests~Image Copies"});
    AddChart(branch, "Screen Resolution", "pixels", video::kID,
             {"Screens~Screen 1~Width", "Screens~Screen 1~Height"});
}

void StoreVideoResult(CKQTreeEntry* branch, const VideoBenchResult& r, bool cancelled) {
    CKQTreeEntry* t = Child(branch, video::kTests);
    t->RemoveAllAttrs();
    // The drawing figures vary by more than 10 % from run to run (the image outgrows a core's
    // own caches): they keep their spreads, but history leaves them out.
    auto figure = [&](const std::optional<double>& v, double spread, const char* id, int32_t type) {
        if (!v) return;
        SetNumber(t, id, *v, 0, "ops/s", type, true);
        SetSpread(t, id, spread);
    };
    figure(r.lines, r.linesSpread, "Lines", video::T_LINES);
    figure(r.rects, r.rectsSpread, "Rectangles", video::T_RECTANGLES);
    figure(r.text, r.textSpread, "Text", video::T_TEXT);
    figure(r.images, r.imagesSpread, "Image Copies", video::T_IMAGES);
    SetText(t, "Drawing Surface", "QImage 1024 x 768, ARGB32 premultiplied, raster engine",
            video::T_SURFACE);
    if (r.textSkipped)
        SetText(t, "Text Test", "left out: the host has no graphical application object",
                video::T_TEXT_TEST);
    if (r.seconds > 0) SetNumber(t, "Drawing Test Time", r.seconds, 1, "s", video::T_DRAW_TIME);
    SetText(t, "Drawing Test Result", cancelled ? "cancelled" : "complete", video::T_DRAW_RESULT);
}

int GenerateVideoTips(CKQTreeEntry* branch) {
    if (!branch) return 0;
    int added = 0;
    std::function<void(CKQTreeEntry*)> clear = [&](CKQTreeEntry* e) {
        for (int id = video::TIP_HIDPI_UNSCALED; id <= video::TIP_LOW_DEPTH; ++id) e->RemoveTip(id);
        if (e->GetSubtree())
            for (CKQTreeEntry* c : *e->GetSubtree()) clear(c);
    };
    clear(branch);
    auto tip = [&](CKQTreeEntry* e, int prio, int32_t text, long long figure) {
        if (e->AddTip(prio, text, TipDescID(text, figure)) > 0) ++added;
    };

    // Native modes of the connected outputs, from the adapters.
    std::vector<std::pair<int, int>> native;
    if (CKQTreeEntry* adapters = FindChild(branch, video::kAdapters);
        adapters && adapters->GetSubtree()) {
        bool anyHardware = false, any = false;
        for (CKQTreeEntry* a : *adapters->GetSubtree()) {
            const std::string driver = Text(a, "Adapter Driver");
            if (!driver.empty()) {
                any = true;
                if (!IsFramebufferDriver(driver)) anyHardware = true;
            }
            for (const auto& out : Split(Text(a, "Connected Outputs"), ',')) {
                auto w = SplitWords(out);
                int wd = 0, ht = 0;
                if (w.size() >= 2 && ParseMode(w[1], wd, ht)) native.emplace_back(wd, ht);
            }
        }
        if (any && !anyHardware) tip(adapters, 60, video::TIP_NO_DRIVER, 0);
    }

    CKQTreeEntry* screens = FindChild(branch, video::kScreens);
    if (!screens || !screens->GetSubtree()) return added;
    std::vector<CKQTreeEntry*> real;
    for (CKQTreeEntry* s : *screens->GetSubtree())
        if (Text(s, "Virtual") != "yes") real.push_back(s);
    for (CKQTreeEntry* s : real) {
        const double dpi = Number(s, "Physical DPI"), scale = Number(s, "Scale Factor", 1);
        const double hz = Number(s, "Refresh Rate"), depth = Number(s, "Colour Depth");
        if (dpi >= 144 && dpi < 1000 && scale < 1.5)
            tip(s, 45, video::TIP_HIDPI_UNSCALED, std::lround(dpi));
        if (hz > 0 && hz < 50) tip(s, 40, video::TIP_LOW_REFRESH, std::lround(hz));
        if (depth > 0 && depth < 24) tip(s, 35, video::TIP_LOW_DEPTH, std::lround(depth));
    }
    // Which output shows which screen is only certain with one of each.
    if (real.size() == 1 && native.size() == 1) {
        CKQTreeEntry* s = real[0];
        const double scale = Number(s, "Scale Factor", 1);
        const double w = Number(s, "Width", 0) * scale, h = Number(s, "Height", 0) * scale;
        if (w > 0 && h > 0 && (w + 0.5 < native[0].first || h + 0.5 < native[0].second))
            tip(s, 55, video::TIP_NOT_NATIVE, native[0].first);
    }
    return added;
}
