// The demo's walk through the panes, driven tick by tick as timer 2 would.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <functional>
#include <string>
#include <vector>

#include "app/DemoMode.h"
#include "resources/Strings.h"
#include "tests/view/ViewFixture.h"

namespace {

class RecordingTarget : public IDemoTarget {
public:
    int charts = 3;
    int reports = 2;
    std::vector<std::string> calls;
    int armed = -1;  // last period armed, -1 when stopped
    std::string status;
    CDemoMode* demo = nullptr;
    bool toggleOffDuringRun = false;
    std::function<void()> duringRun;  // what the run's event pumping delivers

    void ShowPane(int pane) override { calls.push_back("show " + std::to_string(pane)); }
    void RunAllTests() override {
        calls.push_back("run");
        // The run pumps events: the user may turn the demo off before it returns.
        if (toggleOffDuringRun && demo != nullptr) demo->Toggle();
        if (duringRun) duringRun();
    }
    void SelectNextSummaryTip() override { calls.push_back("tip"); }
    int ChartChoiceCount() override { return charts; }
    void SelectChart(int item, int dimension) override {
        calls.push_back("chart " + std::to_string(item) + "/" + std::to_string(dimension));
    }
    int ReportChoiceCount() override { return reports; }
    void SelectReport(int item) override { calls.push_back("report " + std::to_string(item)); }
    void SelectNextDetail() override { calls.push_back("detail"); }
    void SetStatusText(const std::string& text) override { status = text; }
    void ArmDemoTimer(int milliseconds) override { armed = milliseconds; }
    void StopDemoTimer() override { armed = -1; }

    std::string Take() {
        std::string all;
        for (const std::string& c : calls) all += (all.empty() ? "" : ", ") + c;
        calls.clear();
        return all;
    }
};

struct DemoModeTest : ::testing::Test {
    RecordingTarget target;
    CDemoMode demo{target};
    DemoModeTest() { target.demo = &demo; }
    void Ticks(int n) {
        for (int i = 0; i < n; ++i) demo.Step();
    }
};

TEST_F(DemoModeTest, OneRoundVisitsEveryPaneAndStartsOver) {
    demo.Toggle();  // step at once: Summary
    EXPECT_EQ(target.Take(), "show 1");
    EXPECT_EQ(target.status, LoadKQString(IDS_DEMO_IN_PROGRESS));
    EXPECT_EQ(target.armed, 2000);
    Ticks(1);
    EXPECT_EQ(target.Take(), "run");
    Ticks(4);  // three tips, then the phase ends without a selection
    EXPECT_EQ(target.Take(), "tip, tip, tip");
    EXPECT_EQ(demo.Phase(), CDemoMode::kDatabase);
    Ticks(1);
    EXPECT_EQ(target.Take(), "show 2");
    EXPECT_EQ(target.armed, 4000);
    Ticks(1);
    EXPECT_EQ(target.Take(), "chart 0/0, show 3");
    Ticks(3);  // entries 1 and 2 with the dimension alternating, then the wrap ends the phase
    EXPECT_EQ(target.Take(), "chart 1/1, show 3, chart 2/0, show 3");
    EXPECT_EQ(demo.Phase(), CDemoMode::kReports);
    EXPECT_EQ(target.armed, 2000);  // a step that only changes the phase waits one interval
    Ticks(1);
    EXPECT_EQ(target.Take(), "report 0, show 4");
    Ticks(2);
    EXPECT_EQ(target.Take(), "report 1, show 4");
    EXPECT_EQ(demo.Phase(), CDemoMode::kDetails);
    Ticks(1);
    EXPECT_EQ(target.Take(), "show 5");
    Ticks(20);  // 19 moves, then back to the Summary phase
    EXPECT_EQ(target.calls.size(), 19u);
    target.Take();
    EXPECT_EQ(demo.Phase(), CDemoMode::kSummary);
    Ticks(1);
    EXPECT_EQ(target.Take(), "show 1");
}

TEST_F(DemoModeTest, OffAndOnAgainContinuesFromTheSamePlace) {
    demo.Toggle();
    Ticks(1);  // the run
    demo.Toggle();
    EXPECT_EQ(target.armed, -1);
    EXPECT_EQ(target.status, LoadKQString(IDS_STATUS_READY_HELP));
    EXPECT_FALSE(demo.IsOn());
    target.Take();
    demo.Toggle();
    EXPECT_EQ(demo.Phase(), CDemoMode::kSummary);
    EXPECT_EQ(target.Take(), "tip");
}

TEST_F(DemoModeTest, ChoosersWithOneOrNoEntry) {
    target.charts = 1;
    target.reports = 0;
    demo.Toggle();
    Ticks(6);  // run, tips, phase change, database
    target.Take();
    Ticks(1);
    EXPECT_EQ(target.Take(), "chart 0/0, show 3");
    Ticks(1);  // the one chart shows once; the next tick moves on
    EXPECT_EQ(target.Take(), "");
    EXPECT_EQ(demo.Phase(), CDemoMode::kReports);
    Ticks(1);  // no report to compile: the phase ends, nothing divided by zero
    EXPECT_EQ(target.Take(), "");
    EXPECT_EQ(demo.Phase(), CDemoMode::kDetails);
}

TEST_F(DemoModeTest, TurnedOffDuringTheRunArmsNoTimer) {
    target.toggleOffDuringRun = true;
    demo.Toggle();
    Ticks(1);
    EXPECT_FALSE(demo.IsOn());
    EXPECT_EQ(target.armed, -1);
}

TEST_F(DemoModeTest, NothingStepsWhileTheRunPumpsEvents) {
    demo.Toggle();
    target.Take();
    int armedDuringRun = 0;
    target.duringRun = [&] {
        armedDuringRun = target.armed;
        // A tick already queued, then the command turning the demo off and on again.
        demo.Step();
        demo.Toggle();
        demo.Toggle();
    };
    Ticks(1);
    EXPECT_EQ(armedDuringRun, -1);
    EXPECT_EQ(target.Take(), "run");  // one run, nothing stepped inside it
    EXPECT_TRUE(demo.IsOn());
    EXPECT_EQ(target.armed, 2000);  // armed once the run is over
    target.duringRun = nullptr;
    Ticks(1);
    EXPECT_EQ(target.Take(), "tip");
}

}  // namespace

// The view as the demo's target, its timer 2 ticked by hand.
class DemoViewTest : public ViewTest {
protected:
    std::vector<std::string> Modules() const override { return {"Five", "Ten"}; }
    void SetUp() override {
        ViewTest::SetUp();
        StartUp();
        CKQTreeEntry* five = doc->Analyzers().FindByID(5)->m_branch;
        CKQTreeEntry* ten = doc->Analyzers().FindByID(10)->m_branch;
        ASSERT_TRUE(five && ten);
        for (const char* name : {"Chart A", "Chart B", "Chart C"})
            five->GetRepDefPtr(five->AddReportDef(name, RDTYPE_CHART))
                ->AppendReportItem(5, "Item~Clock");
        for (const char* name : {"Report A", "Report B"}) {
            ten->AddReportDef(name, RDTYPE_REPORT);
            ten->AddReportItem("Item~Speed", 10);
        }
        // Definitions added behind the document's back: the choosers fill again.
        view->m_chartsPane.m_upToDate = 0;
        view->m_reportsPane.m_upToDate = 0;
    }
    QAction* DemoAction() const { return view->FindAction(ID_RUN_DEMO); }
};

TEST_F(DemoViewTest, TimerTwoWalksThePanesAndStartsOver) {
    view->UpdateCommandUI();
    ASSERT_TRUE(DemoAction()->isEnabled());
    EXPECT_EQ(DemoAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_D));
    EXPECT_FALSE(DemoAction()->isChecked());
    view->OnCommand(ID_VIEW_DETAILS);

    ASSERT_TRUE(view->OnCommand(ID_RUN_DEMO));
    EXPECT_TRUE(DemoAction()->isChecked());
    EXPECT_TRUE(view->IsTimerActive(TIMER_DEMO_STEP));
    EXPECT_EQ(view->CurrentPane(), PANE_SUMMARY);
    EXPECT_EQ(frame.status.back(), LoadKQString(IDS_DEMO_IN_PROGRESS));

    // The panes in the order shown, the chart and report chosen each time one shows, and the
    // detail item selected at each step.
    std::vector<int> panes{view->CurrentPane()};
    std::vector<std::pair<int, int>> charts;
    std::vector<int> reports;
    std::vector<QTreeWidgetItem*> details;
    int ticks = 0;
    const int runsBefore = int(frame.status.size());
    for (; ticks < 200 && !(panes.size() > 1 && panes.back() == PANE_SUMMARY); ++ticks) {
        const int phase = view->Demo().Phase();
        view->OnTimer(TIMER_DEMO_STEP);
        const int pane = view->CurrentPane();
        if (pane != panes.back()) panes.push_back(pane);
        if (phase == CDemoMode::kCharts && pane == PANE_CHARTS &&
            view->Demo().Phase() == CDemoMode::kCharts)
            charts.push_back({view->m_chartsPane.Chooser()->currentIndex(),
                              view->m_chartsPane.DimensionChoice()});
        if (phase == CDemoMode::kReports && pane == PANE_REPORTS &&
            view->Demo().Phase() == CDemoMode::kReports)
            reports.push_back(view->m_reportsPane.Chooser()->currentIndex());
        if (pane == PANE_DETAILS && view->m_detailsPane.Tree())
            details.push_back(view->m_detailsPane.Tree()->currentItem());
        EXPECT_TRUE(view->IsTimerActive(TIMER_DEMO_STEP)) << ticks;
    }
    EXPECT_EQ(panes, std::vector<int>({PANE_SUMMARY, PANE_DATABASE, PANE_CHARTS, PANE_REPORTS,
                                       PANE_DETAILS, PANE_SUMMARY}));
    EXPECT_GT(int(frame.status.size()), runsBefore);
    EXPECT_EQ(charts, (std::vector<std::pair<int, int>>{{0, 0}, {1, 1}, {2, 0}, {3, 1}}));
    ASSERT_GE(view->m_reportsPane.ReportCount(), 2);
    std::vector<int> expectedReports;
    for (int i = 0; i < view->m_reportsPane.ReportCount(); ++i) expectedReports.push_back(i);
    EXPECT_EQ(reports, expectedReports);
    // The details tree moved on through its items.
    ASSERT_GE(details.size(), 3u);
    EXPECT_NE(details[1], details[2]);
    EXPECT_EQ(view->Demo().Phase(), CDemoMode::kSummary);
    EXPECT_EQ(frame.status.back(), LoadKQString(IDS_DEMO_IN_PROGRESS));

    // Off: the timer stops, the mark goes, the bar says Ready again.
    ASSERT_TRUE(view->OnCommand(ID_RUN_DEMO));
    EXPECT_FALSE(view->IsTimerActive(TIMER_DEMO_STEP));
    EXPECT_FALSE(DemoAction()->isChecked());
    EXPECT_EQ(frame.status.back(), LoadKQString(IDS_STATUS_READY_HELP));
    view->OnTimer(TIMER_DEMO_STEP);  // a tick already queued does nothing
    EXPECT_EQ(view->CurrentPane(), PANE_SUMMARY);
}

TEST_F(DemoViewTest, TipsAreSelectedInTurnAndWrap) {
    CSummaryList* tips = view->m_summaryPane.Tips();
    ASSERT_TRUE(tips);
    int count = 0;
    while (count < tips->RowCount() && tips->ItemOfRow(count)) ++count;
    if (count == 0) GTEST_SKIP() << "no tips from the test modules";
    // From the last tip the next is the first; filler rows below are never chosen.
    tips->SetFocusRow(count - 1);
    for (int i = 0; i <= count; ++i) {
        ASSERT_TRUE(view->m_summaryPane.SelectNextTip());
        EXPECT_EQ(tips->FocusRow(), i % count) << i;
        EXPECT_EQ(tips->SelectedRows(), std::vector<int>{i % count});
    }
}

TEST_F(DemoViewTest, ARunLongerThanTheIntervalGetsNoTickUntilItIsOver) {
    view->Demo().SetBaseInterval(20);
    ASSERT_TRUE(view->OnCommand(ID_RUN_DEMO));  // Summary shown, timer armed
    bool activeDuringRun = false;
    int panesDuringRun = 0;
    bool pumped = false;
    frame.onSetProgress = [&](int) {
        if (pumped) return;
        pumped = true;
        // The run outlasts several intervals while it processes events.
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 200) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            activeDuringRun = activeDuringRun || view->IsTimerActive(TIMER_DEMO_STEP);
            if (view->CurrentPane() != PANE_SUMMARY) ++panesDuringRun;
        }
    };
    view->OnTimer(TIMER_DEMO_STEP);  // the step that runs the tests
    ASSERT_TRUE(pumped);
    EXPECT_FALSE(activeDuringRun);
    EXPECT_EQ(panesDuringRun, 0);
    EXPECT_EQ(view->Demo().Phase(), CDemoMode::kSummary);
    EXPECT_EQ(view->Demo().StepInPhase(), 2);
    EXPECT_TRUE(view->IsTimerActive(TIMER_DEMO_STEP));
}

// Started from the command line: on after the first set-up, not before.
class DemoOptionTest : public ViewTest {};

TEST_F(DemoOptionTest, OptionDStartsTheDemoAfterTheFirstSetUp) {
    app.ApplyOption("-D");
    view->OnInitialUpdate();
    EXPECT_FALSE(view->Demo().IsOn());
    view->OnTimer(TIMER_STARTUP);
    EXPECT_TRUE(view->Demo().IsOn());
    EXPECT_TRUE(view->IsTimerActive(TIMER_DEMO_STEP));
    EXPECT_EQ(view->CurrentPane(), PANE_SUMMARY);
    EXPECT_TRUE(view->FindAction(ID_RUN_DEMO)->isChecked());
}
