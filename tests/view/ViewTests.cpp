// The main view: start-up, pane switching, pane 6, resizing, the record selection, Tell Me
// More, the commands and the private messages.
#include <QAction>
#include <QMenu>
#include <QTest>

#include "panes/PaneTabCtrl.h"
#include "tests/support/ScratchDir.h"
#include "tests/view/ViewFixture.h"
#include "tests/support/DocTestPeer.h"

namespace {

QImage Grab(QWidget* w) { return w->grab().toImage().convertToFormat(QImage::Format_RGB32); }

// Pixels clearly darker than the background inside rect.
int DarkPixels(const QImage& image, const QRect& rect) {
    int n = 0;
    for (int y = std::max(0, rect.top()); y <= std::min(image.height() - 1, rect.bottom()); ++y)
        for (int x = std::max(0, rect.left()); x <= std::min(image.width() - 1, rect.right()); ++x)
            if (qGray(image.pixel(x, y)) < 128) ++n;
    return n;
}

}  // namespace

// ---- start-up ----

TEST_F(ViewTest, StartUpWaitsForTimerOneThenBuildsTabsAndPaneOne) {
    view->OnInitialUpdate();
    EXPECT_TRUE(view->IsTimerActive(1));
    EXPECT_EQ(view->CurrentPane(), 0);
    EXPECT_EQ(view->TabCtrl(), nullptr);
    EXPECT_EQ(host.coversRemoved, 0);

    // The real timer fires once, after 500 ms.
    QTRY_COMPARE_WITH_TIMEOUT(view->CurrentPane(), 1, 3000);
    EXPECT_FALSE(view->IsTimerActive(1));
    ASSERT_NE(view->TabCtrl(), nullptr);
    EXPECT_EQ(view->TabCtrl()->count(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(view->TabCtrl()->tabText(i).toStdString(),
                  LoadKQString(KQStringId(IDS_TAB_SUMMARY + unsigned(i))));
        EXPECT_EQ(view->TabCtrl()->GetItemData(i), i + 1);
    }
    EXPECT_EQ(view->TabCtrl()->GetCurSel(), 0);
    EXPECT_EQ(view->TabRect().height(), 2 * view->TextHeight());
    EXPECT_EQ(view->TabRect().width(), view->width());
    EXPECT_EQ(host.coversRemoved, 1);
    EXPECT_EQ(frame.waitDepth, 0);
    EXPECT_TRUE(host.autoRun.empty());
    // The view font: Arial, the display font's height, heaviest weight, italic.
    EXPECT_EQ(view->ViewFont().family(), QStringLiteral("Arial"));
    EXPECT_EQ(view->ViewFont().pixelSize(), view->TextHeight());
    EXPECT_EQ(view->ViewFont().weight(), QFont::Black);
    EXPECT_TRUE(view->ViewFont().italic());
    for (CPane* pane : std::initializer_list<CPane*>{&view->m_summaryPane, &view->m_chartsPane,
                                                     &view->m_reportsPane})
        EXPECT_TRUE(pane->IsCreated());
    EXPECT_TRUE(view->m_detailsPane.Tree() != nullptr);
}

TEST_F(ViewTest, AutoRunEndsThroughTheHostWithoutBuildingPanes) {
    app.SetAutoRun(true, dir.path().toStdString() + "/out.kqx");
    StartUp();
    ASSERT_EQ(host.autoRun.size(), 1u);
    EXPECT_EQ(view->CurrentPane(), 0);
    EXPECT_EQ(view->TabCtrl(), nullptr);
    EXPECT_EQ(host.coversRemoved, 0);
    EXPECT_EQ(frame.waitDepth, 0);
    // A second tick cannot start anything again.
    view->OnTimer(1);
    EXPECT_EQ(host.autoRun.size(), 1u);
}

TEST_F(ViewTest, CommandLineFileIsImportedOnlyWhenItIsAnExchangeFile) {
    app.ParseCommandLine("\"" + dir.path().toStdString() + "/missing.KQX\"");
    StartUp();
    // The import was attempted (the missing file is reported) and the name is consumed.
    EXPECT_FALSE(frame.boxes.empty());
    EXPECT_TRUE(app.CommandLine().empty());
}

TEST_F(ViewTest, EveryExchangeFileOnTheCommandLineIsImportedInOrder) {
    const std::string d = dir.path().toStdString();
    for (const char* name : {"b.kqx", "a b.kqx"})
        WriteFile(d + "/" + name, std::string("{Quillon 95 Exchange File}\r\n[Box]\r\nSysName=") +
                                      (name[0] == 'b' ? "FIRST" : "SECOND") + "\r\n");
    // Quoted: the scratch directory's name has a dash, which would start an option.
    app.ParseCommandLine("\"" + d + "/b.kqx\" \"" + d + "/notes.txt\" \"" + d + "/a b.kqx\"");
    StartUp();
    EXPECT_TRUE(frame.boxes.empty());
    EXPECT_TRUE(doc->Database().IsKnownSysid("FIRST"));
    EXPECT_TRUE(doc->Database().IsKnownSysid("SECOND"));
    std::vector<std::string> imported;
    for (const std::string& line : frame.log)
        if (line.rfind("Importing file ", 0) == 0) imported.push_back(line.substr(15));
    EXPECT_EQ(imported, (std::vector<std::string>{d + "/b.kqx", d + "/a b.kqx"}));
    EXPECT_TRUE(app.CommandLine().empty());
}

TEST_F(ViewTest, CommandLineFileOfAnotherKindIsIgnored) {
    app.ParseCommandLine("\"" + dir.path().toStdString() + "/notes.txt\"");
    StartUp();
    EXPECT_TRUE(frame.boxes.empty());
    EXPECT_TRUE(app.CommandLine().empty());
}

// ---- switching ----

TEST_F(ViewTest, SwitchingShowsTheIdlePromptAndSelectsTheTab) {
    StartUp();
    frame.status.clear();
    view->SendMessage(UM_TABCHANGE, 4, 0);
    EXPECT_EQ(view->CurrentPane(), 5);
    EXPECT_EQ(view->TabCtrl()->GetCurSel(), 4);
    ASSERT_EQ(frame.status.size(), 1u);
    EXPECT_EQ(frame.status[0], LoadKQString(IDS_STATUS_READY_HELP));
    EXPECT_TRUE(view->m_detailsPane.Tree()->isVisible());
    EXPECT_TRUE(view->m_detailsPane.RightPane()->isVisible());

    EXPECT_TRUE(view->OnCommand(ID_VIEW_DATABASE));
    EXPECT_EQ(view->CurrentPane(), 2);
    EXPECT_EQ(view->TabCtrl()->GetCurSel(), 1);
    EXPECT_FALSE(view->m_detailsPane.Tree()->isVisible());
    EXPECT_FALSE(view->m_detailsPane.RightPane()->isVisible());
}

TEST_F(ViewTest, ClickingATabSwitchesThePane) {
    StartUp();
    CPaneTabCtrl* tabs = view->TabCtrl();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(3).center());
    EXPECT_EQ(view->CurrentPane(), 4);
    EXPECT_EQ(tabs->GetCurSel(), 3);
}

TEST_F(ViewTest, ViewMenuChecksTheCurrentPane) {
    StartUp();
    view->OnCommand(ID_VIEW_CHARTS);
    view->UpdateCommandUI();
    for (int id = ID_VIEW_SUMMARY; id <= ID_VIEW_DETAILS; ++id)
        EXPECT_EQ(view->FindAction(id)->isChecked(), id == ID_VIEW_CHARTS) << id;
    // Pane 6 has no menu entry: nothing is checked then.
    view->OnCommand(ID_VIEW_OPTIONS);
    view->UpdateCommandUI();
    EXPECT_EQ(view->FindAction(ID_VIEW_OPTIONS), nullptr);
    for (int id = ID_VIEW_SUMMARY; id <= ID_VIEW_DETAILS; ++id)
        EXPECT_FALSE(view->FindAction(id)->isChecked()) << id;
}

TEST_F(ViewTest, PaneSixSelectsNoTabShowsNoChildAndPaintsOptions) {
    StartUp();
    view->OnCommand(ID_VIEW_DETAILS);
    const QImage before = Grab(view);
    ASSERT_TRUE(view->OnCommand(ID_VIEW_OPTIONS));
    EXPECT_EQ(view->CurrentPane(), 6);
    EXPECT_EQ(view->TabCtrl()->GetCurSel(), -1);
    EXPECT_EQ(view->TabCtrl()->count(), 5);
    for (QWidget* child : view->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (child == view->TabCtrl()) continue;
        EXPECT_FALSE(child->isVisible()) << child->objectName().toStdString();
    }

    const QImage image = Grab(view);
    const QRect tab = view->TabRect();
    const QFontMetrics metrics(view->font());
    const int x = tab.left() + tab.width() / 2;
    const int y = tab.y() + tab.height() + metrics.height();
    const int w = metrics.horizontalAdvance(QString::fromStdString(LoadKQString(IDS_TAB_OPTIONS)));
    const QRect word(x - w / 2 - 2, y, w + 4, metrics.height());
    EXPECT_GT(DarkPixels(image, word), 10);
    // Nothing else is drawn below the tab strip.
    const QRect below(0, word.bottom() + 4, image.width(), image.height() - word.bottom() - 4);
    EXPECT_EQ(DarkPixels(image, below), 0);
    EXPECT_NE(image, before);

    // Clicking the tab that was current before pane 6 still switches to it.
    CPaneTabCtrl* tabs = view->TabCtrl();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(4).center());
    EXPECT_EQ(view->CurrentPane(), 5);
}

TEST_F(ViewTest, CommandsWaitForTheFirstSetUp) {
    EXPECT_FALSE(view->OnCommand(ID_VIEW_DETAILS));
    EXPECT_FALSE(view->OnCommand(ID_FILE_ANALYZE_NOW));
    EXPECT_EQ(frame.progressCreated, 0);
    EXPECT_EQ(view->CurrentPane(), 0);
}

TEST_F(ViewTest, LaterCommandsArePresentAndDisabled) {
    // Run Demo waits for the panes.
    view->UpdateCommandUI();
    EXPECT_FALSE(view->FindAction(ID_RUN_DEMO)->isEnabled());
    EXPECT_FALSE(view->OnCommand(ID_RUN_DEMO));
    StartUp();
    // The Summary tab neither prints nor copies.
    for (int id : {ID_FILE_PRINT, ID_FILE_PRINT_PREVIEW, ID_EDIT_COPY}) {
        QAction* action = view->FindAction(id);
        ASSERT_NE(action, nullptr) << id;
        EXPECT_FALSE(action->isEnabled()) << id;
        EXPECT_FALSE(view->OnCommand(id)) << id;
    }
    // Import One leaves the menu on this system version.
    EXPECT_EQ(view->FindAction(ID_FILE_IMPORT_ONE), nullptr);
    QAction* regen = view->FindAction(ID_REGEN_TIPS);
    ASSERT_NE(regen, nullptr);
    EXPECT_EQ(regen->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::ALT | Qt::Key_T));
}

TEST_F(ViewTest, SaveCurrentResultsFollowsTheNotSavedFlag) {
    StartUp();
    CDocTestPeer::SetResultsNotSaved(*doc, false);
    view->UpdateCommandUI();
    EXPECT_FALSE(view->FindAction(ID_FILE_SAVE_CURRENT)->isEnabled());
    CDocTestPeer::SetResultsNotSaved(*doc, true);
    view->UpdateCommandUI();
    EXPECT_TRUE(view->FindAction(ID_FILE_SAVE_CURRENT)->isEnabled());
}

// ---- resizing ----

TEST_F(ViewTest, ResizeBurstOnChartsRedrawsOnce100msAfterTheLast) {
    StartUp();
    view->OnCommand(ID_VIEW_CHARTS);
    const QRect chartsRect = view->m_chartsPane.TabRect();
    frame.status.clear();
    for (int w = 600; w < 700; w += 20) {
        window->resize(w, 500);
        QApplication::processEvents();
        EXPECT_TRUE(view->IsTimerActive(3));
    }
    EXPECT_TRUE(frame.status.empty());
    EXPECT_EQ(view->m_chartsPane.TabRect(), chartsRect);
    // The other panes follow at once.
    EXPECT_EQ(view->m_detailsPane.TabRect().width(), view->width());
    EXPECT_EQ(view->TabCtrl()->GetCurSel(), 2);

    QTRY_VERIFY_WITH_TIMEOUT(!view->IsTimerActive(3), 2000);
    EXPECT_EQ(frame.status.size(), 1u);
    EXPECT_EQ(view->m_chartsPane.TabRect().width(), view->width());
}

TEST_F(ViewTest, ResizeOnAnotherPaneShowsItAgainEachTime) {
    StartUp();
    view->OnCommand(ID_VIEW_DETAILS);
    frame.status.clear();
    window->resize(700, 500);
    QApplication::processEvents();
    window->resize(640, 480);
    QApplication::processEvents();
    EXPECT_EQ(frame.status.size(), 2u);
    EXPECT_TRUE(view->m_detailsPane.Tree()->isVisible());
    const QRect tree = view->m_detailsPane.Tree()->geometry();
    EXPECT_EQ(tree.left(), 0);
    EXPECT_EQ(tree.top(), view->TabRect().bottom() + 1);
    EXPECT_EQ(tree.width(), view->width() / 2);
    EXPECT_EQ(tree.bottom(), view->height() - 1);
    EXPECT_EQ(view->m_detailsPane.RightPane()->geometry().left(), view->width() / 2 + 2);
    EXPECT_EQ(view->m_detailsPane.RightPane()->geometry().right(), view->width() - 1);
}

TEST_F(ViewTest, MinimisedWindowRebuildsNothing) {
    StartUp();
    view->OnCommand(ID_VIEW_DETAILS);
    CPaneTabCtrl* tabs = view->TabCtrl();
    CMyTreeCtrl* tree = view->m_detailsPane.Tree();
    window->showMinimized();
    QApplication::processEvents();
    frame.status.clear();
    view->resize(300, 200);
    QApplication::processEvents();
    EXPECT_EQ(view->TabCtrl(), tabs);
    EXPECT_EQ(view->m_detailsPane.Tree(), tree);
    EXPECT_FALSE(view->IsTimerActive(3));
    EXPECT_TRUE(frame.status.empty());
}

// ---- record selection ----

class SelectionTest : public ViewTest {
protected:
    int AddRecord(const std::string& sysid) {
        return doc->Database().AddImportedRecord(nullptr, sysid);
    }
};

TEST_F(SelectionTest, UnknownIdentifierRestoresTheCurrentSystem) {
    const int current = AddRecord("THIS-BOX");
    const int other = AddRecord("OTHER-BOX");
    ASSERT_GT(current, 0);
    {
        QSettings settings = ViewSettings();
        settings.beginGroup("Settings");
        settings.setValue("NumRecsSelected", 3);
        settings.setValue("RecSelected00", "OTHER-BOX");
        settings.setValue("RecSelected01", "GONE-BOX");
        settings.setValue("RecSelected02", "ALSO-GONE");
    }
    StartUp();
    // The vanished systems both become key 0; the same system is not selected twice.
    EXPECT_EQ(view->m_databasePane.GetSelection(), (std::vector<int32_t>{other, 0}));
}

TEST_F(SelectionTest, NoValuesSelectTheCurrentSystemAlone) {
    const int current = AddRecord("THIS-BOX");
    AddRecord("OTHER-BOX");
    StartUp();
    EXPECT_EQ(view->m_databasePane.GetSelection(), std::vector<int32_t>{current});
}

TEST_F(SelectionTest, DamagedCountReadsOnlyWhatIsThere) {
    const int current = AddRecord("THIS-BOX");
    {
        QSettings settings = ViewSettings();
        settings.beginGroup("Settings");
        settings.setValue("NumRecsSelected", 2000000000);
    }
    StartUp();
    EXPECT_EQ(view->m_databasePane.GetSelection(), std::vector<int32_t>{0});
    (void)current;
}

TEST_F(SelectionTest, ClosingSavesTheSelectionInOrder) {
    AddRecord("THIS-BOX");
    const int a = AddRecord("A-BOX");
    const int b = AddRecord("B-BOX");
    StartUp();
    view->m_databasePane.m_selection = {b, a};
    CloseView();
    QSettings settings = ViewSettings();
    settings.beginGroup("Settings");
    EXPECT_EQ(settings.value("NumRecsSelected").toInt(), 2);
    EXPECT_EQ(settings.value("RecSelected00").toString(), QStringLiteral("B-BOX"));
    EXPECT_EQ(settings.value("RecSelected01").toString(), QStringLiteral("A-BOX"));
}

TEST_F(SelectionTest, ClosingBeforeTheFirstSetUpKeepsTheStoredSelection) {
    {
        QSettings settings = ViewSettings();
        settings.beginGroup("Settings");
        settings.setValue("NumRecsSelected", 1);
        settings.setValue("RecSelected00", "KEEP-ME");
    }
    CloseView();
    QSettings settings = ViewSettings();
    settings.beginGroup("Settings");
    EXPECT_EQ(settings.value("NumRecsSelected").toInt(), 1);
    EXPECT_EQ(settings.value("RecSelected00").toString(), QStringLiteral("KEEP-ME"));
}

// ---- Tell Me More ----

TEST_F(ViewTest, TellMeMoreOnDatabaseChartsReportsAndOptionsOpensDefaultHelp) {
    StartUp();
    int expected = 0;
    for (int id : {ID_VIEW_DATABASE, ID_VIEW_CHARTS, ID_VIEW_REPORTS, ID_VIEW_OPTIONS}) {
        view->OnCommand(id);
        EXPECT_TRUE(view->OnCommand(ID_TELL_ME_MORE));
        EXPECT_EQ(host.defaultHelp, ++expected) << id;
    }
    EXPECT_TRUE(host.help.empty());
}

TEST_F(ViewTest, TellMeMoreOnSummaryWithoutAnItemDoesNothing) {
    StartUp();
    view->OnCommand(ID_TELL_ME_MORE);
    EXPECT_EQ(host.defaultHelp, 0);
    EXPECT_TRUE(host.help.empty());
}

// ---- Analyze Now ----

class AnalyzeTest : public ViewTest {
protected:
    std::vector<std::string> Modules() const override { return {"Five"}; }

    // What one Analyze Now changed, measured from the state before it.
    struct Outcome {
        size_t progressTitles = 0;
        int created = 0, destroyed = 0;
        int runTests = 0;
        int flags[5] = {};
        int pane = 0;
        size_t statusLines = 0;
    };
    CPane* Pane(int i) {
        CPane* panes[5] = {&view->m_summaryPane, &view->m_databasePane, &view->m_chartsPane,
                           &view->m_reportsPane, &view->m_detailsPane};
        return panes[i];
    }
    int RunCount() {
        CKQTreeEntry* branch = doc->SystemTree().GetHead();
        return branch ? std::atoi(branch->GetAttrValue("RunTests").c_str()) : -1;
    }
    Outcome Run(bool fromMenu) {
        for (int i = 0; i < 5; ++i) Pane(i)->m_upToDate = 1;
        const size_t titles = frame.progressAnalyzers.size();
        const int created = frame.progressCreated, destroyed = frame.progressDestroyed;
        const int runs = RunCount();
        frame.status.clear();
        if (fromMenu)
            view->FindAction(ID_FILE_ANALYZE_NOW)->trigger();
        else
            view->OnCommand(ID_SUMMARY_ANALYZE_BUTTON);
        Outcome o;
        o.progressTitles = frame.progressAnalyzers.size() - titles;
        o.created = frame.progressCreated - created;
        o.destroyed = frame.progressDestroyed - destroyed;
        o.runTests = RunCount() - runs;
        for (int i = 0; i < 5; ++i) o.flags[i] = Pane(i)->m_upToDate;
        o.pane = view->CurrentPane();
        o.statusLines = frame.status.size();
        return o;
    }
};

TEST_F(AnalyzeTest, FromTheMenuRunsAllTestsAndMarksThePanes) {
    StartUp();
    view->OnCommand(ID_VIEW_DETAILS);
    const Outcome o = Run(true);
    EXPECT_EQ(o.runTests, 1);
    EXPECT_EQ(o.created, 1);
    EXPECT_EQ(o.destroyed, 1);
    // The Details pane is shown again, so it rebuilt; the others wait to be shown.
    const int expected[5] = {0, 0, 0, 0, 1};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(o.flags[i], expected[i]) << i;
    EXPECT_EQ(o.pane, 5);
    // The outcome stays in the status bar, as the help file promises.
    EXPECT_EQ(frame.status.back(), LoadKQString(IDS_TESTING_COMPLETE));
    // The tips of the run are in the tree now.
    bool tipShown = false;
    for (const CDetailItem& item : view->m_detailsPane.Tree()->Items())
        tipShown = tipShown || item.m_kind == DETAIL_TIP;
    EXPECT_TRUE(tipShown);
}

TEST_F(AnalyzeTest, FromTheSummaryButtonBehavesTheSame) {
    StartUp();
    view->OnCommand(ID_VIEW_DETAILS);
    const Outcome button = Run(false);
    const Outcome menu = Run(true);
    EXPECT_EQ(button.runTests, 1);
    EXPECT_EQ(button.progressTitles, menu.progressTitles);
    EXPECT_EQ(button.created, menu.created);
    EXPECT_EQ(button.destroyed, menu.destroyed);
    EXPECT_EQ(button.runTests, menu.runTests);
    EXPECT_EQ(button.pane, menu.pane);
    EXPECT_EQ(button.statusLines, menu.statusLines);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(button.flags[i], menu.flags[i]) << i;
}

TEST_F(AnalyzeTest, RegenTipsAcceleratorRegeneratesAndMarksEveryPane) {
    StartUp();
    view->OnCommand(ID_VIEW_DATABASE);
    view->m_chartsPane.m_upToDate = 1;
    CKQTreeEntry* branch = doc->SystemTree().GetHead();
    ASSERT_NE(branch, nullptr);
    const int before = std::atoi(branch->GetAttrValue("GenTips").c_str());
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_T,
                    Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    EXPECT_EQ(std::atoi(branch->GetAttrValue("GenTips").c_str()), before + 1);
    EXPECT_EQ(view->m_chartsPane.m_upToDate, 0);
    EXPECT_EQ(view->CurrentPane(), 2);
}

// ---- the message table ----

TEST_F(AnalyzeTest, AnalyzerMessagesAreAnsweredAsTheTableSays) {
    StartUp();
    frame.log.clear();
    const char* text = "hello";
    EXPECT_EQ(view->SendMessage(UM_ANALYZERLOG, 5, reinterpret_cast<intptr_t>(text)), 1);
    ASSERT_EQ(frame.log.size(), 1u);
    EXPECT_EQ(frame.log[0], "Title of Five: hello");
    // An identifier that names no analyzer is ignored, and still answered 1.
    EXPECT_EQ(view->SendMessage(UM_ANALYZERLOG, 77, reinterpret_cast<intptr_t>(text)), 1);
    EXPECT_EQ(frame.log.size(), 1u);

    KQAREQUEST request;
    request.m_id = 5;
    request.m_path = "Model";
    EXPECT_EQ(view->SendMessage(UM_ANALYZERREQUEST, 0, reinterpret_cast<intptr_t>(&request)), 1);
    EXPECT_EQ(request.m_answer, "Model Five");
    request.m_path = "Nothing";
    EXPECT_EQ(view->SendMessage(UM_ANALYZERREQUEST, 0, reinterpret_cast<intptr_t>(&request)), 0);

    // Progress with no progress window open: answered 1, nothing drawn.
    EXPECT_EQ(view->SendMessage(UM_ANALYZERPROGRESS, 0, 40), 1);
    EXPECT_TRUE(frame.progress.empty());
    EXPECT_EQ(view->SendMessage(0x4FF, 1, 2), 0);
}

TEST_F(AnalyzeTest, RecordMessagesReachTheDatabase) {
    StartUp();
    const int current = doc->CurrentSystemKey();
    ASSERT_GT(current, 0);
    const int other = doc->Database().AddImportedRecord(nullptr, "OTHER-BOX");
    EXPECT_EQ(view->SendMessage(UM_QUERYRECORD, 0, current), 2);
    EXPECT_EQ(view->SendMessage(UM_QUERYRECORD, 0, other), 1);
    EXPECT_EQ(view->SendMessage(UM_QUERYRECORD, 0, 999), 0);

    EXPECT_EQ(view->SendMessage(UM_DELETERECORD, 0, other), 0);
    EXPECT_EQ(view->SendMessage(UM_QUERYRECORD, 0, other), 0);
    // A key that names nothing does nothing.
    EXPECT_EQ(view->SendMessage(UM_DELETERECORD, 0, 999), 0);
    EXPECT_EQ(view->SendMessage(UM_QUERYRECORD, 0, current), 2);

    // Export asks for a file (an empty name was passed); cancelling writes nothing.
    std::vector<int32_t> keys{current};
    EXPECT_EQ(view->SendMessage(UM_EXPORTRECORD, 0, reinterpret_cast<intptr_t>(&keys)), 0);
    EXPECT_EQ(frame.saveRequests.size(), 1u);
}

TEST_F(ViewTest, SelectionChangeMarksOnlyChartsAndReports) {
    StartUp();
    CPane* panes[5] = {&view->m_summaryPane, &view->m_databasePane, &view->m_chartsPane,
                       &view->m_reportsPane, &view->m_detailsPane};
    for (CPane* p : panes) p->m_upToDate = 1;
    EXPECT_EQ(view->SendMessage(UM_SELCHANGE, 0, 0), 0);
    const int expected[5] = {1, 1, 0, 0, 1};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(panes[i]->m_upToDate, expected[i]) << i;
}

class PropertiesTest : public ViewTest {
protected:
    std::vector<std::string> Modules() const override { return {"Ten"}; }
};

TEST_F(PropertiesTest, RecordPropertiesOfTheRunningSystemUseKeyZero) {
    StartUp();
    const int current = doc->CurrentSystemKey();
    ASSERT_GT(current, 0);
    CKQTreeEntry* branch = doc->SystemTree().GetHead();
    ASSERT_NE(branch, nullptr);
    CPane* panes[5] = {&view->m_summaryPane, &view->m_databasePane, &view->m_chartsPane,
                       &view->m_reportsPane, &view->m_detailsPane};
    view->OnCommand(ID_VIEW_DATABASE);
    for (CPane* p : panes) p->m_upToDate = 1;
    EXPECT_EQ(view->SendMessage(UM_RECORDPROPS, 0, current), 0);
    // The analyzer's properties dialog ran on the current system's branch.
    EXPECT_EQ(branch->GetAttrValue("Properties"), "1");
    const int expected[5] = {0, 1, 0, 0, 0};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(panes[i]->m_upToDate, expected[i]) << i;

    // No such record: nothing happens.
    EXPECT_EQ(view->SendMessage(UM_RECORDPROPS, 0, 999), 0);
    EXPECT_EQ(branch->GetAttrValue("Properties"), "1");

    // On another pane the current pane is rebuilt at once.
    view->OnCommand(ID_VIEW_DETAILS);
    for (CPane* p : panes) p->m_upToDate = 1;
    view->SendMessage(UM_RECORDPROPS, 0, current);
    EXPECT_EQ(branch->GetAttrValue("Properties"), "2");
    EXPECT_EQ(view->m_detailsPane.m_upToDate, 1);
    EXPECT_EQ(view->m_summaryPane.m_upToDate, 0);
}
