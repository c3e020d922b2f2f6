// Window placement rules and the command line as the program receives it, with the settings
// in a temporary location.
#include <QSettings>
#include <gtest/gtest.h>

#include "document/AppState.h"
#include "app/Quillo95App.h"
#include "tests/shell/ShellEnv.h"

namespace {

struct PlacementTest : ::testing::Test {
    QString file;
    std::unique_ptr<QSettings> settings;
    void SetUp() override {
        file = MakeScratch("placement") + "/settings.ini";
        settings = std::make_unique<QSettings>(file, QSettings::IniFormat);
    }
    void Store(const char* key, int value) {
        settings->setValue(QStringLiteral("Settings/") + key, value);
    }
    // A 1024 x 768 screen whose full-screen client area is 1024 x 740.
    WindowPlacement Load(int startShow = 5) {
        return CQuillo95App::LoadWindowPlacement(*settings, startShow, 1024, 768, 1024, 740);
    }
    static void ExpectRect(const WindowPlacement& p, int l, int t, int r, int b) {
        EXPECT_EQ(p.rect[0], l);
        EXPECT_EQ(p.rect[1], t);
        EXPECT_EQ(p.rect[2], r);
        EXPECT_EQ(p.rect[3], b);
    }
};

}  // namespace

TEST_F(PlacementTest, NothingStoredStartsMaximisedAtAnEighthOfTheScreen) {
    WindowPlacement p = Load();
    EXPECT_EQ(p.showState, 3);
    ExpectRect(p, 128, 96, 896, 672);
    // A minimised start stays minimised.
    EXPECT_EQ(Load(2).showState, 2);
}

TEST_F(PlacementTest, StoredValuesAreUsedAndSizeTypeZeroMeansNormal) {
    Store("InitSizeType", 0);
    Store("InitWndLeft", 10);
    Store("InitWndTop", 20);
    Store("InitWndRight", 1024);  // exactly the client width is still inside
    Store("InitWndBottom", 740);
    WindowPlacement p = Load();
    EXPECT_EQ(p.showState, 5);
    ExpectRect(p, 10, 20, 1024, 740);
}

TEST_F(PlacementTest, RightBeyondTheScreenResetsAllFourEdges) {
    Store("InitSizeType", 2);
    Store("InitWndLeft", 10);
    Store("InitWndTop", 20);
    Store("InitWndRight", 1025);
    Store("InitWndBottom", 500);
    WindowPlacement p = Load();
    EXPECT_EQ(p.showState, 2);  // the show state stays as read
    ExpectRect(p, 128, 96, 896, 672);
}

TEST_F(PlacementTest, TooSmallOrTooLowRectanglesAreReplaced) {
    Store("InitWndLeft", 100);
    Store("InitWndTop", 100);
    Store("InitWndRight", 150);  // 50 pixels wide
    Store("InitWndBottom", 400);
    ExpectRect(Load(), 128, 96, 896, 672);
    Store("InitWndRight", 600);
    Store("InitWndBottom", 110);  // 10 pixels high
    ExpectRect(Load(), 128, 96, 896, 672);
    Store("InitWndBottom", 741);  // below the client area
    ExpectRect(Load(), 128, 96, 896, 672);
    Store("InitWndBottom", 700);
    ExpectRect(Load(), 100, 100, 600, 700);
}

TEST_F(PlacementTest, SavedPlacementIsReadBack) {
    const int rect[4] = {40, 50, 640, 530};
    CQuillo95App::SaveWindowPlacement(*settings, 5, rect);
    QSettings reread(file, QSettings::IniFormat);
    EXPECT_EQ(reread.value("Settings/InitSizeType").toInt(), 5);
    EXPECT_EQ(reread.value("Settings/InitWndBottom").toInt(), 530);
    WindowPlacement p = CQuillo95App::LoadWindowPlacement(reread, 5, 1024, 768, 1024, 740);
    EXPECT_EQ(p.showState, 5);
    ExpectRect(p, 40, 50, 640, 530);
}

TEST(CommandLine, ArgumentsWithBlanksAndDashesSurviveTheOptionScanner) {
    CAppState s;
    s.ParseCommandLine(
        CQuillo95App::JoinCommandLine({"quillon", "-A:/tmp/my dir/out-1.kqx", "-P"}));
    EXPECT_TRUE(s.AutoRun());
    EXPECT_EQ(CAppState::MakeExportFileName(s.AutoRunFile()), "/tmp/my dir/out-1.kqx");
    EXPECT_FALSE(s.PromptProps());
    EXPECT_EQ(s.CommandLine(), "");

    CAppState t;
    t.ParseCommandLine(CQuillo95App::JoinCommandLine({"quillon", "-a-d"}));
    EXPECT_TRUE(t.AutoRun());
    EXPECT_EQ(t.AutoRunFile(), "");
    EXPECT_TRUE(t.Demo());

    CAppState u;
    u.ParseCommandLine(
        CQuillo95App::JoinCommandLine({"quillon", "/data/old-results file.kqx", "-l"}));
    EXPECT_TRUE(u.Log());
    EXPECT_EQ(CAppState::Unquote(u.CommandLine()), "/data/old-results file.kqx");

    CAppState v;
    v.ParseCommandLine(CQuillo95App::JoinCommandLine({"quillon", "-A:plain.kqx", "results.kqx"}));
    EXPECT_EQ(v.AutoRunFile(), "plain.kqx");
    EXPECT_EQ(v.CommandLine(), "results.kqx");
}
