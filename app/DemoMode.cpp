#include "app/DemoMode.h"

#include "resources/Strings.h"

void CDemoMode::Toggle() {
    m_on = m_on ? 0 : 1;
    if (m_on) {
        Step();
    } else {
        m_target.StopDemoTimer();
        m_target.SetStatusText(LoadKQString(IDS_STATUS_READY_HELP));
    }
}

void CDemoMode::NextPhase(int phase) {
    m_phase = phase;
    m_step = 0;
}

void CDemoMode::Step() {
    // The test run inside a step pumps events: no tick may come, nor start a step, before the
    // step has returned.
    if (m_inStep) return;
    m_inStep = true;
    m_target.StopDemoTimer();
    m_target.SetStatusText(LoadKQString(IDS_DEMO_IN_PROGRESS));
    int interval = m_baseInterval;
    switch (m_phase) {
        case kSummary:
            if (m_step == 0) {
                m_target.ShowPane(1);
                m_step = 1;
            } else if (m_step == 1) {
                m_target.RunAllTests();
                m_step = 2;
                m_counter = 0;
            } else if (++m_counter < kSummaryTipSteps) {
                m_target.SelectNextSummaryTip();
            } else {
                NextPhase(kDatabase);
            }
            break;
        case kDatabase:
            interval = 2 * m_baseInterval;
            m_target.ShowPane(2);
            NextPhase(kCharts);
            break;
        case kCharts:
            StepCharts(interval);
            break;
        case kReports:
            StepReports(interval);
            break;
        default:
            if (m_step == 0) {
                m_target.ShowPane(5);
                m_step = 1;
                m_counter = 0;
            } else if (++m_counter < kDetailSteps) {
                m_target.SelectNextDetail();
            } else {
                NextPhase(kSummary);
            }
            break;
    }
    m_inStep = false;
    // Armed only now, so that after a test run the next tick comes one interval after it ended.
    if (m_on) m_target.ArmDemoTimer(interval);
}

// An empty chooser ends its phase: there is nothing to show and no count to wrap by.
void CDemoMode::StepCharts(int& interval) {
    const int count = m_target.ChartChoiceCount();
    if (count <= 0) {
        NextPhase(kReports);
        return;
    }
    if (m_step == 0) {
        m_item = 0;
        m_dimension = 0;
        interval = 2 * m_baseInterval;
        m_target.SelectChart(m_item, m_dimension);
        m_target.ShowPane(3);
        m_step = 1;
        return;
    }
    m_dimension = (m_dimension + 1) % 2;
    m_item = (m_item + 1) % count;
    if (m_item != 0) {
        interval = 2 * m_baseInterval;
        m_target.SelectChart(m_item, m_dimension);
        m_target.ShowPane(3);
    } else {
        NextPhase(kReports);
    }
}

void CDemoMode::StepReports(int& interval) {
    const int count = m_target.ReportChoiceCount();
    if (count <= 0) {
        NextPhase(kDetails);
        return;
    }
    if (m_step == 0) {
        m_item = 0;
        interval = 2 * m_baseInterval;
        m_target.SelectReport(m_item);
        m_target.ShowPane(4);
        m_step = 1;
        return;
    }
    m_item = (m_item + 1) % count;
    if (m_item != 0) {
        interval = 2 * m_baseInterval;
        m_target.SelectReport(m_item);
        m_target.ShowPane(4);
    } else {
        NextPhase(kDetails);
    }
}
