// Files dropped on the window, or handed over by a later start of the program: refused while
// a test run is in progress, as the Import commands are disabled then; handed-over files wait
// for an open dialog to close.
#include <QApplication>
#include <QDialog>
#include <QDragEnterEvent>
#include <QElapsedTimer>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QUrl>

#include "app/LogWindow.h"
#include "resources/Strings.h"
#include "tests/shell/FrameFixture.h"
#include "tests/support/DocTestPeer.h"

namespace {

struct DropDuringRun : FrameFixture {
    void Drop(const QString& path) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(frame.get(), &enter);
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(frame.get(), &drop);
    }
};

TEST_F(DropDuringRun, ADropDuringARunIsRefusedWithAStatusLine) {
    Build("droprun", false);
    frame->show();
    const QString file = dir + "/one.kqx";
    WriteText(file, "{Quillon 95 Exchange File}\r\n[Box]\r\nSysName=DROPPED\r\n");
    CDocTestPeer::SetRunning(*doc, true);  // a run is in progress
    Drop(file);
    EXPECT_FALSE(doc->Database().IsKnownSysid("DROPPED"));
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(frame->StatusPane(0)->text().toStdString(), LoadKQString(IDS_DROP_REFUSED_RUNNING));
    Screenshot(frame.get(), "drop_refused_during_run");

    CDocTestPeer::SetRunning(*doc, false);  // the run is over: the same drop imports
    Drop(file);
    EXPECT_TRUE(doc->Database().IsKnownSysid("DROPPED"));
    EXPECT_EQ(frame->StatusPane(0)->text(), "Import finished. Systems imported: 1, skipped: 0.");
}

TEST_F(DropDuringRun, FilesHandedOverWaitForAnOpenDialogAndKeepTheWindowMaximised) {
    Build("handover", true);
    frame->ShowInState(3);
    frame->GetView()->OnInitialUpdate();
    frame->GetView()->OnTimer(TIMER_STARTUP);
    ASSERT_NE(frame->GetView()->CurrentPane(), PANE_NONE);
    const QString one = dir + "/one.kqx", two = dir + "/two b.kqx", txt = dir + "/notes.txt";
    WriteText(one, "{Quillon 95 Exchange File}\r\n[Box]\r\nSysName=ONE\r\n");
    WriteText(two, "{Quillon 95 Exchange File}\r\n[Box]\r\nSysName=TWO\r\n");
    WriteText(txt, "not an exchange file\n");
    frame->showMinimized();
    Pump();

    QDialog dialog(frame.get());
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.show();
    Pump();
    ASSERT_EQ(QApplication::activeModalWidget(), &dialog);
    frame->OpenFilesFromDesktop({one, txt, two});
    // Out of the minimised state, back to maximised: never to the normal placement.
    EXPECT_FALSE(frame->isMinimized());
    EXPECT_TRUE(frame->isMaximized());
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 500) Pump();
    EXPECT_TRUE(frame->HasPendingFiles());
    EXPECT_FALSE(doc->Database().IsKnownSysid("ONE"));

    dialog.close();
    t.restart();
    while (frame->HasPendingFiles() && t.elapsed() < 3000) Pump();
    EXPECT_TRUE(doc->Database().IsKnownSysid("ONE"));
    EXPECT_TRUE(doc->Database().IsKnownSysid("TWO"));
    EXPECT_EQ(frame->StatusPane(0)->text(), "Import finished. Systems imported: 2, skipped: 0.");
    // One import, in the order given.
    const QStringList lines = zldWindow(frame->LogHandle())->Lines();
    const qsizetype first = lines.indexOf("Importing file " + one);
    const qsizetype second = lines.indexOf("Importing file " + two);
    EXPECT_GE(first, 0);
    EXPECT_GT(second, first);
    EXPECT_EQ(lines.count("Import finished. Systems imported: 2, skipped: 0."), 1);
    EXPECT_TRUE(frame->isMaximized());
}

TEST_F(DropDuringRun, FilesHandedOverDuringARunAreRefusedAtOnce) {
    Build("handover-run", false);
    frame->show();
    frame->GetView()->OnInitialUpdate();
    frame->GetView()->OnTimer(TIMER_STARTUP);
    const QString file = dir + "/one.kqx";
    WriteText(file, "{Quillon 95 Exchange File}\r\n[Box]\r\nSysName=DURING\r\n");
    CDocTestPeer::SetRunning(*doc, true);  // a run is in progress
    frame->OpenFilesFromDesktop({file});
    Pump();
    EXPECT_FALSE(frame->HasPendingFiles());
    EXPECT_FALSE(doc->Database().IsKnownSysid("DURING"));
    EXPECT_EQ(frame->StatusPane(0)->text().toStdString(), LoadKQString(IDS_DROP_REFUSED_RUNNING));
    CDocTestPeer::SetRunning(*doc, false);
}

}  // namespace
