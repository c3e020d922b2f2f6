// Video analyzer (50): screens, graphics platform and adapters, and the 2-D drawing tests.
#include "VideoBranch.h"
#include "VideoTexts.h"

using namespace kqa;

namespace {
CWnd* g_view = nullptr;

KQARC RunDrawingTests(CKQTreeEntry* branch, int& cancel) {
    if (!branch) return KQARC_FAIL;
    CProgress progress(g_view, video::kID, cancel);
    const bool gui = HaveGuiApplication();
    progress.Log(
        gui ? "Drawing tests on a 1024 x 768 image"
            : "Drawing tests on a 1024 x 768 image, without text (no graphical application)");
    CConditionsProbe probe(video::kModule.version);
    CVideoBench bench(progress, &probe);
    VideoBenchResult r = bench.Run(BenchScale(), gui);
    const bool cancelled = progress.Cancelled();
    StoreVideoResult(branch, r, cancelled);
    StoreConditions(Child(branch, video::kConditions), probe.Finish());
    if (cancelled) {
        progress.Log("Drawing tests cancelled");
        return KQARC_CANCELLED;
    }
    progress.Log(
        Format("Lines %.0f, rectangles %.0f, text %.0f, image copies %.0f ops/s; %d progress "
               "steps, %.1f s",
               r.lines.value_or(0), r.rects.value_or(0), r.text.value_or(0), r.images.value_or(0),
               r.units, r.seconds));
    return KQARC_OK;
}
}  // namespace

KQARC kqaInitialize(CWnd* view, CAnalyzerInfo& info) {
    g_view = view;
    Describe(info, video::kModule);
    return KQARC_OK;
}

KQARC kqaGetSystemInfo(CKQTreeEntry* branch) {
    if (!branch) return KQARC_FAIL;
    CVideoInventory inv;
    inv.Read();
    FillVideoBranch(branch, inv);
    Log(g_view, video::kID,
        Format("platform %s, %zu screens, %zu graphics adapters",
               inv.HaveGui() ? inv.Platform().c_str() : "none", inv.Screens().size(),
               inv.Adapters().size()));
    return KQARC_OK;
}

KQARC kqaRunTests(CKQTreeEntry* branch, int& cancel) { return RunDrawingTests(branch, cancel); }

KQARC kqaRunATest(CKQTreeEntry* branch, CKQTreeEntry* item, int& cancel) {
    if (!branch || !item) return KQARC_FAIL;
    if (item != branch && item->GetKey() != video::kTests && item->GetKey() != video::kConditions)
        return KQARC_FAIL;
    return RunDrawingTests(branch, cancel);
}

KQARC kqaGenTips(CKQTreeEntry* branch) {
    if (!branch) return KQARC_FAIL;
    GenerateVideoTips(branch);
    return KQARC_OK;
}

KQARC kqaGetTipText(CTip* tip, CString& text) { return video::Texts().TipText(tip, text); }
KQARC kqaGetTipDesc(CTip* tip, CString& text) { return video::Texts().TipDesc(tip, text); }
KQARC kqaGetAttrDesc(CAttr* attr, CString& text) { return video::Texts().AttrDesc(attr, text); }
