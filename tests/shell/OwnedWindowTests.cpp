// Windows that belong to the main window: the start-up cover above it, the log and help
// windows transient for it and placed beside it, the log's place kept between runs, and a
// second start bringing the main window back to its normal placement.
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QWindow>

#include "app/LogWindow.h"
#include "app/StartupCover.h"
#include "platform/HelpWindow.h"
#include "platform/OwnedWindows.h"
#include "tests/shell/FrameFixture.h"

namespace {

bool TransientFor(QWidget* window, QWidget* owner) {
    return window->windowHandle() && owner->windowHandle() &&
           window->windowHandle()->transientParent() == owner->windowHandle();
}

QString LogGeometryKey() { return QStringLiteral("Settings/LogWndGeometry"); }

}  // namespace

TEST(OwnedWindows, PlacedBesideTheOwnerWhereThereIsRoomElseOverItsRightPart) {
    const QRect screen(0, 0, 1920, 1080);
    // Room on the right.
    EXPECT_EQ(PlaceBesideOwner(QRect(100, 100, 800, 600), QSize(500, 300), screen),
              QRect(900, 100, 500, 300));
    // None on the right, room on the left.
    EXPECT_EQ(PlaceBesideOwner(QRect(1000, 200, 800, 600), QSize(500, 300), screen),
              QRect(500, 200, 500, 300));
    // A maximised owner: over it, inside its right edge and a little down.
    const QRect over = PlaceBesideOwner(screen, QSize(500, 300), screen);
    EXPECT_TRUE(screen.contains(over));
    EXPECT_GT(over.left(), 1920 / 2);
    EXPECT_GT(over.top(), 0);
    // Never beyond the screen's bottom or a screen that is not at the origin.
    const QRect second(1920, 0, 1280, 1024);
    const QRect low = PlaceBesideOwner(QRect(1920, 900, 600, 300), QSize(500, 400), second);
    EXPECT_TRUE(second.contains(low)) << low.x() << "," << low.y();
    // Larger than the screen: cut to it.
    EXPECT_EQ(PlaceBesideOwner(QRect(0, 0, 100, 100), QSize(3000, 2000), screen).size(),
              screen.size());
}

TEST_F(FrameFixture, CoverStaysAboveTheFrameShownAfterItUntilRemoved) {
    Build("cover-above", false);
    ASSERT_TRUE(frame->HasCover());
    QWidget* cover = frame->Cover();
    EXPECT_TRUE(cover->isVisible());
    // Shown before the frame, yet transient for it: the window manager keeps it on top.
    EXPECT_TRUE(TransientFor(cover, frame.get()));
    frame->ShowInState(5);
    Pump();
    EXPECT_TRUE(cover->isVisible());
    EXPECT_TRUE(TransientFor(cover, frame.get()));
    EXPECT_TRUE(cover->windowFlags() & Qt::WindowDoesNotAcceptFocus);
    // The view's first set-up removes it.
    frame->GetView()->OnTimer(TIMER_STARTUP);
    EXPECT_FALSE(frame->HasCover());
}

TEST_F(FrameFixture, SecondStartBringsTheFrameForwardWithoutUnmaximisingIt) {
    Build("to-front", false);
    frame->ShowInState(5);
    Pump();
    frame->setGeometry(150, 120, 500, 400);
    Pump();
    const QRect normal = frame->geometry();

    // Minimised from the normal placement: back to it.
    frame->ShowInState(2);
    Pump();
    ASSERT_TRUE(frame->isMinimized());
    frame->BringToFront();
    Pump();
    EXPECT_FALSE(frame->isMinimized());
    EXPECT_FALSE(frame->isMaximized());
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(frame->geometry(), normal);
    EXPECT_EQ(app->State().ShowState(), 5);

    // Maximised, and maximised then minimised: maximised it stays, and is saved so.
    for (bool minimise : {false, true}) {
        SCOPED_TRACE(minimise);
        frame->ShowInState(3);
        Pump();
        if (minimise) frame->setWindowState(frame->windowState() | Qt::WindowMinimized);
        Pump();
        frame->BringToFront();
        Pump();
        EXPECT_TRUE(frame->isMaximized());
        EXPECT_FALSE(frame->isMinimized());
        EXPECT_EQ(app->State().ShowState(), 3);
        frame->ShowInState(5);
        Pump();
    }
    EXPECT_EQ(frame->geometry(), normal);
}

TEST_F(FrameFixture, LogWindowIsTransientOpensBesideTheFrameAndWrapsLongLines) {
    Build("log-beside", true);
    frame->ShowInState(5);
    frame->setGeometry(100, 80, 600, 440);
    Pump();
    QWidget* log = frame->LogWindow();
    ASSERT_NE(log, nullptr);
    frame->ShowLog();
    Pump();
    EXPECT_TRUE(TransientFor(log, frame.get()));
    const QRect expected = PlaceBesideOwner(frame->frameGeometry(), log->frameGeometry().size(),
                                            frame->screen()->availableGeometry());
    EXPECT_EQ(log->frameGeometry().topLeft(), expected.topLeft());
    EXPECT_FALSE(log->frameGeometry().intersects(QRect(0, 0, 40, 40)));  // not the corner

    auto* view = qobject_cast<CLogWindow*>(log)->View();
    frame->LogLine(std::string(600, 'x') + " and the rest of a very long analyzer message");
    Pump();
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), 0);
    EXPECT_NE(view->lineWrapMode(), QPlainTextEdit::NoWrap);
}

TEST_F(FrameFixture, LogWindowGeometryIsKeptBetweenRuns) {
    CQuillo95App::OpenSettings()->remove(LogGeometryKey());
    Build("log-geometry", true);
    frame->ShowInState(5);
    Pump();
    // Never shown: nothing is stored.
    EXPECT_TRUE(frame->close());
    EXPECT_FALSE(CQuillo95App::OpenSettings()->contains(LogGeometryKey()));

    frame.reset();
    doc.reset();
    Build("log-geometry", true);
    frame->ShowInState(5);
    frame->ShowLog();
    Pump();
    frame->LogWindow()->setGeometry(230, 170, 410, 260);
    Pump();
    const QRect placed = frame->LogWindow()->geometry();
    frame->OnViewLog();  // hidden again; the place still counts
    EXPECT_TRUE(frame->close());
    EXPECT_TRUE(CQuillo95App::OpenSettings()->contains(LogGeometryKey()));

    frame.reset();
    doc.reset();
    Build("log-geometry", true);
    frame->ShowInState(5);
    frame->ShowLog();
    Pump();
    EXPECT_EQ(frame->LogWindow()->geometry(), placed);
    Screenshot(frame->LogWindow(), "log_window_restored");
}

TEST(OwnedWindows, HelpWindowIsTransientForItsOwnerAndOpensBesideIt) {
    const QString dir = MakeScratch("help-beside");
    WriteText(dir + "/Quillon.HLP", "<html><head><title>Quillon 97 Help</title></head></html>");
    QWidget owner;
    owner.setGeometry(300, 200, 500, 400);
    owner.show();
    CHelpWindow help(&owner);
    ASSERT_TRUE(help.ShowHelp(dir + "/Quillon.HLP", 0));
    help.show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(help.isWindow());
    EXPECT_TRUE(TransientFor(&help, &owner));
    const QRect expected = PlaceBesideOwner(owner.frameGeometry(), help.frameGeometry().size(),
                                            owner.screen()->availableGeometry());
    EXPECT_EQ(help.frameGeometry().topLeft(), expected.topLeft());
    // Moved by the user, it stays where it was put when shown again.
    help.move(40, 50);
    help.hide();
    help.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(help.pos(), QPoint(40, 50));
}
