// Files dropped on the window while a test run is in progress are refused, as the Import
// commands are disabled then.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QUrl>

#include "resources/Strings.h"
#include "tests/shell/FrameFixture.h"

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
    doc->m_notBusy = 0;  // a run is in progress
    Drop(file);
    EXPECT_FALSE(doc->m_db.IsKnownSysid("DROPPED"));
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(frame->StatusPane(0)->text().toStdString(), LoadKQString(IDS_DROP_REFUSED_RUNNING));
    Screenshot(frame.get(), "drop_refused_during_run");

    doc->m_notBusy = 1;  // the run is over: the same drop imports
    Drop(file);
    EXPECT_TRUE(doc->m_db.IsKnownSysid("DROPPED"));
    EXPECT_EQ(frame->StatusPane(0)->text(), "Import finished");
}

}  // namespace
