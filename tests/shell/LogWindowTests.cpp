// The log window and the rest of the frame: status bar, cover, drops, placement, closing.
#include <QAction>
#include <QCloseEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSettings>
#include <QUrl>
#include <sys/stat.h>

#include "app/LogWindow.h"
#include "app/StartupCover.h"
#include "resources/Strings.h"
#include "tests/shell/FrameFixture.h"

namespace {

QStringList FileLines(const QString& path) {
    QStringList lines = QString::fromUtf8(ReadText(path)).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

const QString kVersion = QStringLiteral("Version 1.0 Build 43 March 25, 1997");

}  // namespace

struct LogWindowTest : FrameFixture {
    // As the windowing system delivers a drop: an enter the frame accepts, then the drop.
    void DragAndDrop(QMimeData* mime) {
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(frame.get(), &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(frame.get(), &drop);
    }
};

TEST_F(LogWindowTest, WithoutOptionLThereIsNoLogNoFileAndNoMenuItem) {
    Build("nolog", false);
    EXPECT_EQ(frame->LogHandle(), 0u);
    EXPECT_EQ(frame->LogWindow(), nullptr);
    frame->LogLine("Loaded analyzer Ten");
    frame->ShowLog();
    frame->OnViewLog();
    EXPECT_EQ(frame->LogShown(), 0);
    EXPECT_FALSE(QFile::exists(dir + "/KQlog.txt"));
    EXPECT_EQ(FindMenuAction(QString::fromStdString(LoadKQString(IDS_MENU_LOG))), nullptr);
    ASSERT_NE(frame->GetView(), nullptr);
    QAction* log = frame->GetView()->FindAction(ID_VIEW_LOG);
    EXPECT_TRUE(log == nullptr || log->associatedObjects().size() <= 1);  // in no menu
}

TEST_F(LogWindowTest, VersionLineFirstThenLinesInViewAndFile) {
    Build("log", true);
    ASSERT_NE(frame->LogHandle(), 0u);
    auto* window = qobject_cast<CLogWindow*>(frame->LogWindow());
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(window->isVisible());  // starts hidden
    frame->LogLine("Loaded analyzer Ten");
    frame->WriteStringResource(IDS_TESTING_COMPLETE);
    frame->WriteStringResource(KQStringId(999999));  // no such string: nothing
    const QStringList expected = {kVersion, "Loaded analyzer Ten", "Testing complete"};
    EXPECT_EQ(window->Lines(), expected);
    EXPECT_EQ(FileLines(dir + "/KQlog.txt"), expected);
    EXPECT_TRUE(window->View()->isReadOnly());
    EXPECT_EQ(window->windowTitle(), "Log");
}

TEST_F(LogWindowTest, EachRunAppendsAndBeginsWithTheVersionLine) {
    Build("append", true);
    frame->LogLine("first run");
    frame.reset();
    doc.reset();
    frame = std::make_unique<CMainFrame>(*app, app->State().Rect());
    frame->LogLine("second run");
    EXPECT_EQ(FileLines(dir + "/KQlog.txt"),
              QStringList({kVersion, "first run", kVersion, "second run"}));
}

TEST_F(LogWindowTest, TheLogFileIsNeverALinkOrAFifo) {
    Build("loglink", false);
    const QString victim = dir + "/victim.txt";
    ASSERT_TRUE(WriteText(victim, "precious\n"));
    ASSERT_TRUE(QFile::link(victim, dir + "/KQlog.txt"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir + "/fifo.txt").constData(), 0600), 0);
    for (const QString& file : {dir + "/KQlog.txt", dir + "/fifo.txt"}) {
        const uint32_t handle = zLogDspCreate("Log", 0, frame.get(), 0xFFFE, UM_LOGCLOSED, 0);
        ASSERT_NE(handle, 0u);
        zldSetLogFile(handle, file.toUtf8().constData());
        zldDisplay(handle, "line one");  // a FIFO without a reader would block here
        zldDisplay(handle, "line two");
        // Said once in the window, which keeps every line.
        const QString note =
            QString::fromStdString(FormatKQString(IDS_LOG_FILE_REFUSED, file.toStdString()));
        EXPECT_EQ(zldWindow(handle)->Lines(), QStringList({"line one", note, "line two"}));
        zLogDspClose(handle);
    }
    EXPECT_EQ(ReadText(victim), "precious\n");
    EXPECT_TRUE(QFileInfo(dir + "/KQlog.txt").isSymLink());
}

TEST_F(LogWindowTest, LogCommandTogglesAndClosingTheWindowClearsTheCheck) {
    Build("toggle", true);
    QAction* log = FindMenuAction(QString::fromStdString(LoadKQString(IDS_MENU_LOG)));
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(log->data().toInt(), ID_VIEW_LOG);
    EXPECT_TRUE(log->isCheckable());
    EXPECT_FALSE(log->isChecked());

    log->trigger();
    QWidget* window = frame->LogWindow();
    EXPECT_EQ(frame->LogShown(), 1);
    EXPECT_TRUE(log->isChecked());
    EXPECT_TRUE(window->isVisible());

    // The user closes the log window from its own frame.
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(frame->LogShown(), 0);
    EXPECT_FALSE(log->isChecked());
    // The window is only hidden: lines still arrive.
    frame->LogLine("after close");
    EXPECT_TRUE(qobject_cast<CLogWindow*>(window)->Lines().contains("after close"));

    // Import brings the log forward.
    frame->ShowLog();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(log->isChecked());
    log->trigger();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(frame->LogShown(), 0);
}

TEST_F(LogWindowTest, TheNewestLineShowsUnlessTheUserScrolledBack) {
    Build("scroll", true);
    auto* window = qobject_cast<CLogWindow*>(frame->LogWindow());
    ASSERT_NE(window, nullptr);
    QScrollBar* bar = window->View()->verticalScrollBar();
    // Lines written while the window is hidden, as an import writes them before showing it.
    for (int i = 0; i < 300; ++i) frame->LogLine("Added SYSTEM-" + std::to_string(i));
    frame->ShowLog();
    Pump();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    frame->LogLine("Import finished");
    Pump();
    EXPECT_EQ(bar->value(), bar->maximum());

    // Scrolled back to read: new lines leave the view where it is.
    bar->setValue(10);
    frame->LogLine("one more");
    Pump();
    EXPECT_EQ(bar->value(), 10);
}

TEST_F(LogWindowTest, ScreenshotOfTheLogWindow) {
    Build("shot", true);
    frame->LogLine("Loading analyzer System.kqa");
    frame->LogLine("Auto run to export file results.kqx");
    frame->LogLine("Testing complete");
    frame->LogLine(
        "Exporting to /home/user/Documents/exchange/lab-pc-7+0000001F.kqx: a long line "
        "wraps at the window's edge instead of scrolling sideways");
    frame->ShowLog();
    Pump();
    Screenshot(frame->LogWindow(), "log_window");
}

TEST_F(LogWindowTest, StatusBarHasFivePanesAndShowsTexts) {
    Build("status", false, false);
    for (int i = 0; i < 5; ++i) EXPECT_NE(frame->StatusPane(i), nullptr);
    EXPECT_EQ(frame->StatusPane(5), nullptr);
    EXPECT_EQ(frame->StatusPane(0)->text(), "For Help, press F1");
    frame->SetStatusText("Import finished");
    EXPECT_EQ(frame->StatusPane(0)->text(), "Import finished");
    frame->ShowStatus(IDS_TESTING_IN_PROGRESS);
    EXPECT_EQ(frame->StatusPane(0)->text(), "Testing in Progress");
    frame->ShowStatus();
    EXPECT_EQ(frame->StatusPane(0)->text(), "For Help, press F1");
    frame->ShowListing(true);
    EXPECT_EQ(frame->StatusPane(1)->text(), "Listing database");
    frame->ShowListing(false);
    EXPECT_EQ(frame->StatusPane(1)->text(), "");
    EXPECT_EQ(frame->windowTitle(), "Quillon 97");
}

TEST_F(LogWindowTest, StartupCoverIsCentredOnTheFrameRectangleAndGoesOnRequest) {
    Build("cover", false, false);
    ASSERT_TRUE(frame->HasCover());
    auto* cover = qobject_cast<CStartupCover*>(frame->Cover());
    ASSERT_NE(cover, nullptr);
    EXPECT_TRUE(cover->isVisible());
    EXPECT_EQ(cover->geometry().center(), QRect(100, 80, 600, 440).center());
    const QPixmap bitmap(":/bitmaps/130.png");
    const int h = cover->TextHeight(), mx = cover->Mx(), my = cover->My();
    EXPECT_EQ(cover->width(), bitmap.width() + 2 * (1 + mx + h + 2 * mx));
    EXPECT_EQ(cover->height(), bitmap.height() + 2 * (1 + my + 2 * my + h));
    Screenshot(cover, "startup_cover");
    frame->RemoveCover();
    EXPECT_FALSE(frame->HasCover());
    frame->RemoveCover();  // twice is harmless
}

TEST_F(LogWindowTest, DroppedExchangeFilesAreImportedOthersIgnored) {
    Build("drop", true);
    frame->show();
    const QString txt = dir + "/notes.txt";
    WriteText(txt, "not an exchange file\n");
    auto* mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(txt)});
    DragAndDrop(mime);
    EXPECT_FALSE(doc->IsModified());
    EXPECT_NE(frame->StatusPane(0)->text(), "Import finished");

    // An exchange file that is not there: the reader complains, the import still ends.
    auto* mime2 = new QMimeData;
    mime2->setUrls({QUrl::fromLocalFile(txt), QUrl::fromLocalFile(dir + "/missing.KQX")});
    testing::internal::CaptureStderr();
    DragAndDrop(mime2);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(frame->StatusPane(0)->text(), "Import finished. Systems imported: 0, skipped: 0.");
    EXPECT_NE(err.find("missing.KQX"), std::string::npos) << err;
    delete mime;
    delete mime2;
}

TEST_F(LogWindowTest, PlacementFollowsTheWindowAndIsSavedOnClose) {
    Build("placement", false);
    frame->ShowInState(5);
    Pump();
    frame->setGeometry(150, 120, 500, 400);
    Pump();
    EXPECT_EQ(app->State().ShowState(), 5);
    EXPECT_EQ(app->State().Rect()[0], 150);
    EXPECT_EQ(app->State().Rect()[2], 650);
    EXPECT_EQ(app->State().Rect()[3], 520);
    frame->showMinimized();
    Pump();
    EXPECT_EQ(app->State().ShowState(), 2);
    EXPECT_EQ(app->State().Rect()[0], 150);  // a minimised window keeps the normal rectangle
    frame->showMaximized();
    Pump();
    EXPECT_EQ(app->State().ShowState(), 3);
    EXPECT_EQ(app->State().Rect()[2], 650);

    EXPECT_TRUE(frame->close());
    auto settings = CQuillo95App::OpenSettings();
    settings->beginGroup("Settings");
    EXPECT_EQ(settings->value("InitSizeType").toInt(), 3);
    EXPECT_EQ(settings->value("InitWndLeft").toInt(), 150);
    EXPECT_EQ(settings->value("InitWndBottom").toInt(), 520);
    EXPECT_EQ(app->ExitCode(), 0);
}

TEST_F(LogWindowTest, ClosingSavesTheModifiedDatabase) {
    Build("save", false);
    frame->show();
    doc->SetModifiedFlag(true);
    EXPECT_TRUE(frame->close());
    EXPECT_TRUE(QFileInfo(dir + "/Quillo97.kqd").isFile());
    EXPECT_EQ(app->ExitCode(), 0);
}

TEST_F(LogWindowTest, FailedSaveOnCloseIsToldAndEndsNonZero) {
    Build("savefail", false);
    frame->show();
    // A directory where the database file should be.
    QDir().mkpath(dir + "/Quillo97.kqd/inside");
    doc->SetModifiedFlag(true);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(frame->close());
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string expected =
        FormatKQString(IDS_ERR_CANT_SAVE_DATABASE, (dir + "/Quillo97.kqd").toStdString());
    EXPECT_NE(err.find("Quillon 97: " + expected), std::string::npos) << err;
    EXPECT_EQ(app->ExitCode(), EXIT_QUILLON_SAVE_FAILED);
}
