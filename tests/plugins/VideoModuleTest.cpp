// Video.kqa loaded by the program's own host code in a process without a QGuiApplication, as
// the core tests and an unattended host load it: no fonts, no screens from Qt.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "DiskVideoView.h"
#include "MeasuredFigures.h"
#include "VideoBench.h"
#include "VideoTexts.h"

namespace {

class VideoModule : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(module.Load(std::string(KQA_MODULE_DIR) + "/Video.kqa", &view));
        branch = tree.Add(module.GetName());
        branch->m_kqaid = module.GetID();
    }
    void Fill(const char* machine) {
        CScopedEnv root("QUILLON_SYSROOT", std::string(KQA_FIXTURES) + "/" + machine);
        ASSERT_TRUE(module.GetSystemInfo(branch));
        module.GenTips();
    }
    FakeView view{ViewWithoutDocument()};
    CAnalyzer module;
    CKQTree tree;
    CKQTreeEntry* branch = nullptr;
};

TEST_F(VideoModule, LoadsWithItsEntryPointsAndIdentity) {
    EXPECT_EQ(module.m_info.m_id, 50);
    EXPECT_EQ(module.m_info.m_name, "Video");
    EXPECT_EQ(module.m_info.m_bitmap, 5000);
    for (KQAEntry e : {KQA_GETSYSTEMINFO, KQA_RUNTESTS, KQA_RUNATEST, KQA_GENTIPS, KQA_GETTIPTEXT,
                       KQA_GETTIPDESC, KQA_GETATTRDESC})
        EXPECT_TRUE(module.HasEntryPoint(e)) << e;
}

TEST_F(VideoModule, LaptopFixture) {
    Fill("video-laptop");
    EXPECT_EQ(Value(branch, {"Graphics Platform"}, "Platform"), "none (no graphical application)");
    EXPECT_EQ(Value(branch, {"Graphics Platform"}, "Screen Count"), "1");
    EXPECT_EQ(Value(branch, {"Screens", "Screen 1"}, "Resolution"), "2880 x 1800");
    EXPECT_EQ(Value(branch, {"Screens", "Screen 1"}, "Width"), "2880 pixels");
    EXPECT_EQ(Value(branch, {"Screens", "Screen 1"}, "Colour Depth"), "24 bits");
    EXPECT_EQ(Value(branch, {"Screens", "Screen 1"}, "Refresh Rate"), "60.0 Hz");
    EXPECT_EQ(Value(branch, {"Screens", "Screen 1"}, "Physical DPI"), "235.2 dpi");
    EXPECT_EQ(Value(branch, {"Screens", "Screen 1"}, "Scale Factor"), "1.00 x");
    EXPECT_EQ(Value(branch, {"Screens", "Screen 1"}, "Physical Size"), "311 x 194 mm");
    EXPECT_EQ(Value(branch, {"Screens", "Screen 1"}, "Monitor"), "BOE 0x0BCA");
    EXPECT_EQ(Value(branch, {"Screens", "Screen 1"}, "Primary"), "yes");
    EXPECT_EQ(Value(branch, {"Graphics Adapters", "card0"}, "Adapter Vendor"), "Intel");
    EXPECT_EQ(Value(branch, {"Graphics Adapters", "card0"}, "Adapter PCI ID"), "8086:46a6");
    EXPECT_EQ(Value(branch, {"Graphics Adapters", "card0"}, "Adapter Driver"), "i915");
    EXPECT_EQ(Value(branch, {"Graphics Adapters", "card0"}, "Boot Display"), "yes");
    EXPECT_EQ(Value(branch, {"Graphics Adapters", "card0"}, "Connected Outputs"),
              "eDP-1 2880x1800");
    CKQTreeEntry* s = FindPath(branch, {"Screens", "Screen 1"});
    EXPECT_EQ(s->GetAttr(s->FindAttr("Width"))->m_data & 1u, 1u);

    int32_t prio = 0, desc = 0;
    ASSERT_TRUE(HasTip(s, video::TIP_HIDPI_UNSCALED, &prio, &desc));
    EXPECT_EQ(desc, kqa::TipDescID(video::TIP_HIDPI_UNSCALED, 235));
    EXPECT_EQ(CountTip(branch, video::TIP_NOT_NATIVE), 0);  // at its native 2880 x 1800
    EXPECT_EQ(CountTip(branch, video::TIP_NO_DRIVER), 0);
    EXPECT_EQ(CountTip(branch, video::TIP_LOW_REFRESH), 0);
    EXPECT_EQ(CountTip(branch, video::TIP_LOW_DEPTH), 0);
}

TEST_F(VideoModule, VirtualMachineFixture) {
    Fill("video-vm");
    EXPECT_EQ(Value(branch, {"Screens", "Screen 1"}, "Resolution"), "1280 x 720");
    EXPECT_EQ(Value(branch, {"Graphics Adapters", "card0"}, "Adapter Vendor"), "QEMU");
    EXPECT_EQ(Value(branch, {"Graphics Adapters", "card0"}, "Adapter Driver"), "simpledrm");
    CKQTreeEntry* s = FindPath(branch, {"Screens", "Screen 1"});
    int32_t prio = 0, desc = 0;
    EXPECT_EQ(CountTip(branch, video::TIP_HIDPI_UNSCALED), 0);
    ASSERT_TRUE(HasTip(s, video::TIP_NOT_NATIVE, &prio, &desc));
    EXPECT_EQ(desc, kqa::TipDescID(video::TIP_NOT_NATIVE, 1920));
    ASSERT_TRUE(HasTip(FindPath(branch, {"Graphics Adapters"}), video::TIP_NO_DRIVER, &prio));
    EXPECT_EQ(prio, 60);
    ASSERT_TRUE(HasTip(s, video::TIP_LOW_REFRESH, &prio, &desc));
    EXPECT_EQ(desc, kqa::TipDescID(video::TIP_LOW_REFRESH, 30));
    ASSERT_TRUE(HasTip(s, video::TIP_LOW_DEPTH, &prio, &desc));
    EXPECT_EQ(desc, kqa::TipDescID(video::TIP_LOW_DEPTH, 16));
    CTip fromIDs(0, video::TIP_LOW_REFRESH, kqa::TipDescID(video::TIP_LOW_REFRESH, 30));
    CString text;
    module.GetTipDesc(&fromIDs, text);
    EXPECT_NE(text.find("at only 30 Hz,"), std::string::npos) << text;

    // Filling again from the laptop drops what no longer holds.
    Fill("video-laptop");
    EXPECT_EQ(CountTip(branch, video::TIP_LOW_REFRESH), 0);
    EXPECT_EQ(CountTip(branch, video::TIP_NO_DRIVER), 0);
}

TEST_F(VideoModule, NothingToReadLeavesAttributesOut) {
    Fill("no-such-machine");
    EXPECT_EQ(Value(branch, {"Graphics Platform"}, "Screen Count"), "0");
    EXPECT_EQ(FindPath(branch, {"Screens"}), nullptr);
    EXPECT_EQ(FindPath(branch, {"Graphics Adapters"}), nullptr);
    int tips = 0;
    ForEachEntry(branch, [&](CKQTreeEntry* e) { tips += e->GetTipCount(); });
    EXPECT_EQ(tips, 0);
}

TEST_F(VideoModule, DrawsWithoutAGuiApplicationAndLeavesTextOut) {
    CScopedEnv root("QUILLON_SYSROOT", std::string(KQA_FIXTURES) + "/video-vm");
    CScopedEnv scale("QUILLON_BENCH_SCALE", "0.05");
    module.GetSystemInfo(branch);
    int cancel = 0;
    EXPECT_TRUE(module.RunTests(cancel));
    CKQTreeEntry* t = FindPath(branch, {"Drawing Tests"});
    ASSERT_NE(t, nullptr);
    for (const char* id : {"Lines", "Rectangles", "Image Copies"}) {
        int i = t->FindAttr(id);
        ASSERT_GE(i, 0) << id;
        EXPECT_EQ(t->GetAttr(i)->m_data & 5u, 5u) << id;
        EXPECT_GT(std::atof(t->GetAttr(i)->m_value.c_str()), 0) << id;
        EXPECT_NE(t->GetAttr(i)->m_value.find(" ops/s"), std::string::npos);
    }
    // The drawing figures keep their spreads but repeat too poorly for history.
    EXPECT_TRUE(MeasuredFigures(t).empty());
    EXPECT_GE(t->FindAttr("Lines Spread"), 0);
    EXPECT_LT(t->FindAttr("Text"), 0);
    EXPECT_GE(t->FindAttr("Text Test"), 0);
    EXPECT_EQ(t->GetAttrValue("Drawing Test Result"), "complete");
    // One message per batch of drawing: three tests of (warm-up + five) repetitions.
    EXPECT_EQ(view.progressCount, 3 * (CVideoBench::kReps + 1) * CVideoBench::kBatchesPerRep);

    module.GenTips();
    ForEachEntry(branch, [&](CKQTreeEntry* e) {
        for (const CAttr& a : e->m_attrs) {
            CAttr copy = a;
            copy.m_type = 0;
            CString text;
            module.GetAttrDesc(&copy, text);
            EXPECT_FALSE(text.empty()) << a.m_id;
        }
        for (const CTip& tip : e->m_tips) {
            CTip fromIDs(0, tip.m_textID, tip.m_descID);
            CString text, desc;
            module.GetTipText(&fromIDs, text);
            module.GetTipDesc(&fromIDs, desc);
            EXPECT_FALSE(text.empty());
            EXPECT_GT(desc.size(), text.size());
            EXPECT_EQ(desc.find("%1"), std::string::npos);
        }
    });
}

TEST_F(VideoModule, CancelInTheMiddle) {
    CScopedEnv scale("QUILLON_BENCH_SCALE", "0.05");
    module.GetSystemInfo(branch);
    int cancel = 0;
    view.cancel = &cancel;
    const int perTest = (CVideoBench::kReps + 1) * CVideoBench::kBatchesPerRep;
    view.cancelAt = perTest + 5;  // in the rectangles
    module.RunTests(cancel);
    EXPECT_EQ(view.progressCount, perTest + 5);
    EXPECT_EQ(view.afterCancel, 0);
    CKQTreeEntry* t = FindPath(branch, {"Drawing Tests"});
    EXPECT_GE(t->FindAttr("Lines"), 0);
    EXPECT_LT(t->FindAttr("Rectangles"), 0);
    EXPECT_LT(t->FindAttr("Image Copies"), 0);
    EXPECT_EQ(t->GetAttrValue("Drawing Test Result"), "cancelled");
    // Run This Test on the test entry runs it again; on a screen entry it does nothing.
    view.cancel = nullptr;
    cancel = 0;
    EXPECT_TRUE(module.RunATest(t, cancel));
    EXPECT_GE(t->FindAttr("Image Copies"), 0);
    EXPECT_FALSE(module.RunATest(FindPath(branch, {"Graphics Platform"}), cancel));
}

}  // namespace
