// Pictures of the main window on each tab and of the about box, for anyone to look at:
// written into the build tree (tests/view/screenshots).
#include <QDir>
#include <QMenuBar>

#include "panes/AboutBox.h"
#include "panes/PaneTabCtrl.h"
#include "tests/view/ViewFixture.h"

namespace {

class ScreenshotTest : public ViewTest {
protected:
    std::vector<std::string> Modules() const override { return {"Five", "Ten"}; }
    void Save(QWidget* w, const QString& name) {
        QDir().mkpath(QStringLiteral(QUILLON_SCREENSHOT_DIR));
        // The run at device pixel ratio 2 keeps its own pictures beside the normal ones.
        const QString suffix = qApp->devicePixelRatio() > 1 ? QStringLiteral("@2x") : QString();
        const QString path = QStringLiteral(QUILLON_SCREENSHOT_DIR "/%1%2.png").arg(name, suffix);
        const QPixmap picture = w->grab();
        ASSERT_FALSE(picture.isNull());
        ASSERT_TRUE(picture.save(path)) << path.toStdString();
    }
};

}  // namespace

TEST_F(ScreenshotTest, MainWindowOnEachTabAndTheAboutBox) {
    StartUp();
    view->OnCommand(ID_FILE_ANALYZE_NOW);
    const char* names[] = {"summary", "database", "charts", "reports", "details"};
    for (int pane = 1; pane <= 5; ++pane) {
        view->OnCommand(ID_VIEW_SUMMARY + pane - 1);
        if (pane == 5) view->m_detailsPane.Tree()->expandAll();
        QApplication::processEvents();
        EXPECT_EQ(view->TabCtrl()->GetCurSel(), pane - 1);
        Save(window.get(), QStringLiteral("main-%1-%2").arg(pane).arg(names[pane - 1]));
    }
    view->OnCommand(ID_VIEW_OPTIONS);
    QApplication::processEvents();
    Save(window.get(), QStringLiteral("main-6-options"));

    CAboutDlg about(app.m_analyzerLines, window.get());
    about.show();
    QApplication::processEvents();
    Save(&about, QStringLiteral("about"));
}
