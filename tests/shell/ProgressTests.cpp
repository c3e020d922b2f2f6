// The progress window of a test run: layout, Cancel, closing it, and closing the main
// window while a run is in progress; the window of a slow team database connection.
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include "app/TeamConnect.h"
#include "app/TestProgressDlg.h"
#include "tests/shell/FrameFixture.h"
#include "tests/shell/SilentServer.h"

TEST(TestProgressDlg, LayoutInDialogUnitsCaptionAndNoSystemMenu) {
    QWidget owner;
    owner.setGeometry(100, 100, 600, 400);
    owner.show();
    CTestProgressDlg dlg(&owner);
    EXPECT_EQ(dlg.windowTitle(), "Testing - Do not disturb!");
    EXPECT_FALSE(dlg.isModal());
    // A caption bar only: no system menu, close, minimise or maximise buttons.
    const Qt::WindowFlags flags = dlg.windowFlags();
    EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
    EXPECT_TRUE(flags & Qt::WindowTitleHint);
    EXPECT_FALSE(flags & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize());

    // As high as its dialog units say; wide enough for its whole caption, never narrower than
    // its units, with the controls centred in the extra width.
    const QSize units = dlg.DialogRect(0, 0, 120, 63).size();
    const QFontMetrics title(QFontDatabase::systemFont(QFontDatabase::TitleFont));
    EXPECT_EQ(dlg.height(), units.height());
    EXPECT_GE(dlg.width(), units.width());
    EXPECT_GT(dlg.width(), title.horizontalAdvance(dlg.windowTitle()) + 2 * title.height());
    EXPECT_EQ(dlg.width(), std::max(units.width(), dlg.CaptionWidth()));
    const QPoint shift((dlg.width() - units.width()) / 2, 0);
    EXPECT_EQ(dlg.PictureCtrl()->geometry(), dlg.DialogRect(4, 4, 20, 20).translated(shift));
    EXPECT_EQ(dlg.TitleCtrl()->geometry(), dlg.DialogRect(32, 8, 84, 8).translated(shift));
    EXPECT_EQ(dlg.ProgressCtrl()->geometry(), dlg.DialogRect(4, 28, 112, 14).translated(shift));
    EXPECT_EQ(dlg.CancelCtrl()->geometry(), dlg.DialogRect(44, 48, 32, 12).translated(shift));
    EXPECT_LE(std::abs(dlg.CancelCtrl()->geometry().center().x() - dlg.width() / 2), 1);
    EXPECT_EQ(dlg.CancelCtrl()->text(), "Cancel");
    EXPECT_EQ(dlg.CancelCtrl()->accessibleName(), "Cancel");
    EXPECT_EQ(dlg.ProgressCtrl()->minimum(), 0);
    EXPECT_EQ(dlg.ProgressCtrl()->maximum(), 100);
    // Dialog units grow with the font: a wider dialog than the unit count alone.
    EXPECT_GT(dlg.width(), 120);
    // Centred on its owner.
    EXPECT_LE(std::abs(dlg.geometry().center().x() - owner.frameGeometry().center().x()), 1);
    EXPECT_LE(std::abs(dlg.geometry().center().y() - owner.frameGeometry().center().y()), 1);
}

TEST(TestProgressDlg, CancelAndClosingSetTheFlagAndTheWindowStays) {
    CTestProgressDlg dlg(nullptr);
    dlg.show();
    dlg.CancelCtrl()->click();  // no flag yet: nothing happens
    int cancel = 0;
    dlg.SetCancelFlag(&cancel);
    dlg.CancelCtrl()->click();
    EXPECT_EQ(cancel, 1);
    EXPECT_TRUE(dlg.isVisible());
    cancel = 0;
    EXPECT_FALSE(dlg.close());
    EXPECT_EQ(cancel, 1);
    EXPECT_TRUE(dlg.isVisible());
    cancel = 0;
    dlg.reject();  // Escape
    EXPECT_EQ(cancel, 1);
    EXPECT_TRUE(dlg.isVisible());
}

TEST(TestProgressDlg, SetProgressProcessesPendingEventsAndSetAnalyzerShowsTitleAndBitmap) {
    CTestProgressDlg dlg(nullptr);
    dlg.show();
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    dlg.SetProgress(40);
    EXPECT_TRUE(ran);
    EXPECT_EQ(dlg.ProgressCtrl()->value(), 40);
    dlg.SetProgress(250);
    EXPECT_EQ(dlg.ProgressCtrl()->value(), 100);

    dlg.SetAnalyzer("Title of Ten", 130, "Ten");
    EXPECT_EQ(dlg.TitleCtrl()->text(), "Title of Ten");
    EXPECT_EQ(dlg.PictureCtrl()->Bitmap().isNull(), QPixmap(":/bitmaps/130.png").isNull());
    dlg.SetAnalyzer("Other", 4242, "Nobody");
    EXPECT_TRUE(dlg.PictureCtrl()->Bitmap().isNull());  // the previous bitmap is gone
    EXPECT_EQ(dlg.TitleCtrl()->text(), "Other");
}

using ProgressRunTest = FrameFixture;

TEST_F(ProgressRunTest, RunShowsTheWindowOverTheFrameAndRemovesIt) {
    Build("run-none", false);
    frame->show();
    doc->LoadAnalyzers();
    bool sawDialog = false;
    QTimer::singleShot(
        0, [&] { sawDialog = frame->ProgressDialog() && frame->ProgressDialog()->isVisible(); });
    doc->RunAllTests();
    EXPECT_TRUE(sawDialog);
    EXPECT_EQ(frame->ProgressDialog(), nullptr);
    EXPECT_EQ(frame->StatusPane(0)->text(), "Testing complete");
}

TEST_F(ProgressRunTest, CancelDuringTheFirstOfTwoAnalyzers) {
    Build("run-cancel", false, true, {"Ten", "Twenty"});
    frame->show();
    doc->LoadAnalyzers();
    ASSERT_EQ(doc->Analyzers().GetCount(), 2);
    QString titleWhenCancelled;
    // The first pending events are processed when the first analyzer's progress starts.
    QTimer::singleShot(0, [&] {
        ASSERT_NE(frame->ProgressDialog(), nullptr);
        titleWhenCancelled = frame->ProgressDialog()->TitleCtrl()->text();
        frame->ProgressDialog()->CancelCtrl()->click();
    });
    QElapsedTimer t;
    t.start();
    doc->RunAllTests();
    // Ten ran with its leading second of waiting; Twenty and the trailing wait did not.
    EXPECT_LT(t.elapsed(), 1900);
    EXPECT_EQ(titleWhenCancelled, "Title of Ten");
    EXPECT_EQ(frame->StatusPane(0)->text(), "Testing cancelled");
    EXPECT_FALSE(doc->ResultsNotSaved());
    EXPECT_EQ(frame->ProgressDialog(), nullptr);
}

TEST_F(ProgressRunTest, ClosingTheMainWindowDuringARunCancelsAndClosesAfterwards) {
    Build("run-close", false, true, {"Ten"});
    frame->show();
    doc->LoadAnalyzers();
    bool closedDuringRun = true;
    QTimer::singleShot(0, [&] {
        closedDuringRun = frame->close();
        EXPECT_TRUE(frame->CloseAfterRun());
    });
    doc->RunAllTests();
    EXPECT_FALSE(closedDuringRun);
    EXPECT_EQ(frame->StatusPane(0)->text(), "Testing cancelled");
    EXPECT_TRUE(frame->isVisible());  // not before the run has returned
    for (int i = 0; i < 20 && frame->isVisible(); ++i) Pump();
    EXPECT_FALSE(frame->isVisible());
    // Closed as on any close: the database was written.
    EXPECT_TRUE(QFileInfo(dir + "/Quillo97.kqd").isFile());
}

TEST_F(ProgressRunTest, ScreenshotOfTheProgressWindow) {
    Build("run-shot", false);
    frame->show();
    int cancel = 0;
    ASSERT_TRUE(frame->CreateProgress(&cancel));
    frame->SetProgressAnalyzer("Title of Ten", 130, "Ten");
    frame->SetProgress(60);
    Screenshot(frame->ProgressDialog(), "progress_window");
    frame->DestroyProgress();
    EXPECT_EQ(frame->ProgressDialog(), nullptr);
}

TEST_F(ProgressRunTest, ConnectingToASilentServerShowsCancelAndCancelEndsIt) {
    Build("team-connect", false);
    frame->show();
    CSilentServer server;
    ASSERT_TRUE(server.Listening());
    QString label;
    bool modal = false;
    int repaints = 0;  // of the frame's status bar while it waits
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        frame->StatusPane(0)->setText(QString::number(++repaints));
        auto* dialog = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible() || !label.isEmpty()) return;
        label = dialog->labelText();
        modal = dialog->windowModality() == Qt::ApplicationModal;
        Screenshot(dialog, "team_connecting");
        if (QPushButton* cancel = dialog->findChild<QPushButton*>()) cancel->click();
    });
    watcher.start(20);
    QElapsedTimer t;
    t.start();
    TeamConnection slow = ConnectToTeamDatabase(frame.get(), server.Conninfo(), 15000);
    EXPECT_LT(t.elapsed(), 5000);
    EXPECT_TRUE(slow.cancelled);
    EXPECT_FALSE(slow.connection.IsOpen());
    EXPECT_EQ(slow.error, "connecting was cancelled");
    EXPECT_EQ(label.toStdString(), "Connecting to " + slow.name + "...");
    EXPECT_NE(slow.name.find(":5499/team"), std::string::npos) << slow.name;
    EXPECT_TRUE(modal);
    EXPECT_GE(repaints, 10);

    // Nothing listening: it fails at once, without a window.
    label.clear();
    TeamConnection none = ConnectToTeamDatabase(
        frame.get(), "host='" + dir.toStdString() + "' port=5499 dbname=team", 15000);
    EXPECT_FALSE(none.cancelled);
    EXPECT_FALSE(none.connection.IsOpen());
    EXPECT_FALSE(none.error.empty());
    for (int i = 0; i < 5; ++i) Pump();
    EXPECT_TRUE(label.isEmpty());
}
