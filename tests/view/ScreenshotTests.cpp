// Pictures of the main window on each tab and of the about box, for anyone to look at:
// written into the build tree (tests/view/screenshots).
#include <QDir>
#include <QMenuBar>

#include "panes/AboutBox.h"
#include "panes/PaneTabCtrl.h"
#include <QTest>
#include <QTreeView>

#include "tests/view/PaneFixture.h"

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

    CAboutDlg about(app.AnalyzerLines(), window.get());
    about.show();
    QApplication::processEvents();
    Save(&about, QStringLiteral("about"));
}

namespace {

class PaneScreenshotTest : public DatabaseViewTest {
protected:
    std::vector<std::string> Modules() const override { return {"Five", "Ten"}; }
};

}  // namespace

TEST_F(PaneScreenshotTest, SummaryAfterARunAndDatabaseWithStoredSystems) {
    WriteDatabase("", {{"DESK-01", "Office desktop", "133"},
                       {"LAP-7", "Travel laptop with a long name that is shortened", "75"},
                       {"SRV-2", "File server", "200"},
                       {"KIOSK", "Reception kiosk", "9"}});
    StartAndList();
    view->OnCommand(ID_FILE_ANALYZE_NOW);
    QApplication::processEvents();
    QDir().mkpath(QStringLiteral(QUILLON_SCREENSHOT_DIR));
    auto save = [&](const QString& name) {
        const QString path = QStringLiteral(QUILLON_SCREENSHOT_DIR "/%1.png").arg(name);
        ASSERT_TRUE(window->grab().save(path)) << path.toStdString();
    };
    CSummaryList* highlights = view->m_summaryPane.Highlights();
    ASSERT_GT(highlights->RowCount(), 0);
    QTest::mouseClick(highlights->View()->viewport(), Qt::LeftButton, {},
                      highlights->View()->visualRect(highlights->Model()->index(0, 0)).center());
    QApplication::processEvents();
    save(QStringLiteral("summary-after-run"));

    view->OnCommand(ID_VIEW_DATABASE);
    CDatabaseList* list = view->m_databasePane.List();
    ASSERT_EQ(list->RowCount(), 5);
    list->SelectRow(2, true);
    list->SelectRow(4, true);
    QApplication::processEvents();
    save(QStringLiteral("database-stored-systems"));
}
