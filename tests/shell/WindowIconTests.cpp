// Every window of the program carries the application icon. A grabbed widget shows no window
// decoration, so the icon is compared through windowIcon().
#include <QGuiApplication>
#include <QImage>

#include "app/TestProgressDlg.h"
#include "panes/AboutBox.h"
#include "platform/AppIcon.h"
#include "platform/HelpWindow.h"
#include "tests/shell/FrameFixture.h"

namespace {

QImage IconImage(const QIcon& icon, int size) {
    return icon.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32);
}

}  // namespace

TEST(AppIcon, EverySizeOfTheThemeIsThereAndDrawn) {
    const QIcon icon = ApplicationIcon();
    ASSERT_FALSE(icon.isNull());
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << size;
        const QImage image = IconImage(icon, size);
        EXPECT_EQ(image.size(), QSize(size, size));
        // Transparent corners, an opaque middle.
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << size;
        EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255) << size;
    }
    QFile svg(ApplicationIconSvgResource());
    ASSERT_TRUE(svg.open(QIODevice::ReadOnly));
    EXPECT_TRUE(svg.readAll().contains("<svg xmlns=\"http://www.w3.org/2000/svg\""));
}

using WindowIconTest = FrameFixture;

TEST_F(WindowIconTest, EveryWindowCarriesTheApplicationIcon) {
    Build("icons", true);
    frame->show();
    const QImage want = IconImage(ApplicationIcon(), 32);
    auto expectIcon = [&](QWidget* w, const char* what) {
        ASSERT_NE(w, nullptr) << what;
        EXPECT_EQ(IconImage(w->window()->windowIcon(), 32), want) << what;
    };
    expectIcon(frame.get(), "main window");
    expectIcon(frame->Cover(), "start-up cover");
    expectIcon(frame->LogWindow(), "log window");
    int cancel = 0;
    ASSERT_TRUE(frame->CreateProgress(&cancel));
    expectIcon(frame->ProgressDialog(), "progress window");
    frame->DestroyProgress();
    CHelpWindow help(frame.get());
    expectIcon(&help, "help window");
    CAboutDlg about({}, frame.get());
    expectIcon(&about, "about box");
    EXPECT_EQ(QGuiApplication::desktopFileName(), QLatin1String(kApplicationId));
}
