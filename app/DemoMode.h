// Demo mode: walks through the panes by itself, one step per tick of the view's timer 2, and
// starts over. The stepping is plain logic; what a step does to the windows goes through a target.
#pragma once

#include <string>

class IDemoTarget {
public:
    virtual ~IDemoTarget() = default;
    virtual void ShowPane(int pane) = 0;  // 1 Summary ... 5 Details
    virtual void RunAllTests() = 0;       // as Analyze Now; returns when the run is over
    virtual void SelectNextSummaryTip() = 0;
    virtual int ChartChoiceCount() = 0;
    virtual void SelectChart(int item, int dimension) = 0;
    virtual int ReportChoiceCount() = 0;
    virtual void SelectReport(int item) = 0;  // selects and compiles
    virtual void SelectNextDetail() = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void ArmDemoTimer(int milliseconds) = 0;  // re-arming replaces the period
    virtual void StopDemoTimer() = 0;
};

class CDemoMode {
public:
    enum Phase { kSummary = 0, kDatabase = 1, kCharts = 2, kReports = 3, kDetails = 4 };
    static constexpr int kSummaryTipSteps = 4;
    static constexpr int kDetailSteps = 20;

    explicit CDemoMode(IDemoTarget& target) : m_target(target) {}

    // The Run Demo command: turning on steps at once, turning off stops the timer and keeps the
    // place, so that turning on again continues from there.
    void Toggle();
    // One tick of timer 2. Timer 2 stays stopped until the step returns; a step asked for
    // meanwhile (a tick, the command turning the demo on again) does nothing.
    void Step();

    bool IsOn() const { return m_on != 0; }
    int Phase() const { return m_phase; }
    int StepInPhase() const { return m_step; }
    int BaseInterval() const { return m_baseInterval; }
    void SetBaseInterval(int milliseconds) { m_baseInterval = milliseconds; }

private:
    void NextPhase(int phase);
    void StepCharts(int& interval);
    void StepReports(int& interval);

    IDemoTarget& m_target;
    int m_on = 0;
    int m_phase = kSummary;
    int m_step = 0;
    int m_counter = 0;
    int m_item = 0;
    int m_dimension = 0;
    int m_baseInterval = 2000;
    bool m_inStep = false;
};
