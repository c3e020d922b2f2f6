// Video.kqa in a host with a QGuiApplication on the offscreen platform, whose two screens come
// from the platform's configuration file.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>

#include "DiskVideoView.h"
#include "VideoTexts.h"

namespace {

class VideoGui : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(module.Load(std::string(KQA_MODULE_DIR) + "/Video.kqa", &view));
        branch = tree.Add(module.GetName());
        branch->m_kqaid = module.GetID();
        ASSERT_TRUE(module.GetSystemInfo(branch));
    }
    FakeView view{ViewWithoutDocument()};
    CAnalyzer module;
    CKQTree tree;
    CKQTreeEntry* branch = nullptr;
};

TEST_F(VideoGui, ScreensComeFromQt) {
    EXPECT_EQ(Value(branch, {"Graphics Platform"}, "Platform"), "offscreen");
    EXPECT_EQ(Value(branch, {"Graphics Platform"}, "Qt Version"), qVersion());
    ASSERT_EQ(Value(branch, {"Graphics Platform"}, "Screen Count"), "2");
    EXPECT_EQ(Value(branch, {"Screens", "Screen 1"}, "Output"), "Left");
    EXPECT_EQ(Value(branch, {"Screens", "Screen 1"}, "Resolution"), "1920 x 1080");
    EXPECT_EQ(Value(branch, {"Screens", "Screen 1"}, "Primary"), "yes");
    EXPECT_EQ(Value(branch, {"Screens", "Screen 2"}, "Width"), "1280 pixels");
    EXPECT_EQ(Value(branch, {"Screens", "Screen 2"}, "Scale Factor"), "2.00 x");
    EXPECT_EQ(Value(branch, {"Screens", "Screen 2"}, "Logical DPI"), "96.0 dpi");
    EXPECT_EQ(Value(branch, {"Screens", "Screen 2"}, "Primary"), "no");
    EXPECT_EQ(Value(branch, {"Screens", "Screen 2"}, "Virtual"), "yes");
    // Made-up screens raise no tips.
    module.GenTips();
    int tips = 0;
    ForEachEntry(FindPath(branch, {"Screens"}), [&](CKQTreeEntry* e) { tips += e->GetTipCount(); });
    EXPECT_EQ(tips, 0);
}

TEST_F(VideoGui, TextIsDrawnWithAGuiApplication) {
    CScopedEnv scale("QUILLON_BENCH_SCALE", "0.05");
    int cancel = 0;
    EXPECT_TRUE(module.RunTests(cancel));
    CKQTreeEntry* t = FindPath(branch, {"Drawing Tests"});
    ASSERT_NE(t, nullptr);
    for (const char* id : {"Lines", "Rectangles", "Text", "Image Copies"})
        EXPECT_GT(std::atof(t->GetAttrValue(id).c_str()), 0) << id;
    EXPECT_LT(t->FindAttr("Text Test"), 0);
    EXPECT_EQ(view.progressCount, 4 * 60);
}

// The progress window finds a module's bitmap in the module's own resources.
TEST(ModuleBitmaps, DiskAndVideoCarryTheirs) {
    for (const char* name : {"Disk", "Video"}) {
        FakeView view{ViewWithoutDocument()};
        CAnalyzer a;
        ASSERT_TRUE(a.Load(std::string(KQA_MODULE_DIR) + "/" + name + ".kqa", &view));
        const QString path = QString(":/kqa/%1/%2.png").arg(name).arg(a.m_info.m_bitmap);
        QImage image(path);
        EXPECT_FALSE(image.isNull()) << path.toStdString();
        EXPECT_EQ(image.width(), 32);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string platform =
        std::string("offscreen:configfile=") + KQA_FIXTURES + "/offscreen-two-screens.json";
    setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
