// The demo's walk through the panes, driven tick by tick as timer 2 would.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/DemoMode.h"
#include "resources/Strings.h"

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

    void ShowPane(int pane) override { calls.push_back("show " + std::to_string(pane)); }
    void RunAllTests() override {
        calls.push_back("run");
        // The run pumps events: the user may turn the demo off before it returns.
        if (toggleOffDuringRun && demo != nullptr) demo->Toggle();
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

}  // namespace
