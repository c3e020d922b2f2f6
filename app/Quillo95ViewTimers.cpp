// The view's timers (1 start-up, 2 demo step, 3 chart re-layout, 4 the team database's list
// read again on a standby), the start-up they drive
// and the steps the demo asks of the view.
#include "app/Quillo95View.h"

#include <QComboBox>
#include <QDateTime>
#include <QSettings>
#include <algorithm>

#include "panes/QtText.h"

#include "document/Document.h"
#include "resources/Strings.h"

namespace {
// The team database's connection is looked at so often; reconnecting waits 1, 2, 4 ... s.
constexpr int kTeamTickMs = 1000;
constexpr int kMaxReconnectDelay = 60;
constexpr int kReconnectTimeoutMs = 10000;
}  // namespace

// ---- start-up ----

void CQuillo95View::OnInitialUpdate() {
    m_doc.SetView(this);
    m_timer1.start(500);
}

bool CQuillo95View::IsTimerActive(int id) const {
    if (id == TIMER_STARTUP) return m_timer1.isActive();
    if (id == TIMER_DEMO_STEP) return m_timer2.isActive();
    if (id == TIMER_CHART_LAYOUT) return m_timer3.isActive();
    if (id == TIMER_TEAM_REFRESH) return m_timer4.isActive();
    return false;
}

void CQuillo95View::OnTimer(int id) {
    if (id == TIMER_STARTUP) {
        m_timer1.stop();
        if (m_currentPane == PANE_NONE && !m_autoRunDone) FirstSetUp();
    } else if (id == TIMER_DEMO_STEP) {
        if (m_demo.IsOn()) m_demo.Step();
    } else if (id == TIMER_CHART_LAYOUT) {
        m_timer3.stop();
        m_chartsPane.Resize(m_tabRect);
        if (m_currentPane == PANE_CHARTS) SwitchToPane(PANE_NONE);
    } else if (id == TIMER_TEAM_REFRESH) {
        m_doc.RefreshTeamListing();
    }
}

void CQuillo95View::ArmTeamRefresh() {
    // A standby sends no notice of changes: its list is read again instead.
    if (m_doc.OnTeamStandby())
        m_timer4.start(kTeamRefreshMs);
    else
        m_timer4.stop();
}

void CQuillo95View::FirstSetUp() {
    IFrameServices& frame = m_doc.Frame();
    frame.BeginWaitCursor();
    m_doc.LoadAnalyzers();

    if (m_doc.App().AutoRun()) {
        m_autoRunDone = true;
        const bool written = m_doc.AutoRun();
        frame.EndWaitCursor();
        // The host destroys the main window, and this view with it: nothing may follow.
        m_host.AutoRunFinished(written);
        return;
    }

    m_host.ShowDatabaseName(m_doc.TeamDatabaseLabel());
    ArmTeamRefresh();
    CreateViewFont();
    CreateTabCtrl();
    RestoreSelection();
    m_summaryPane.Create(this, m_tabRect, &m_viewFont);
    m_databasePane.Create(this, m_tabRect, &m_viewFont);
    m_chartsPane.SetSelectionSource(&m_databasePane);
    m_chartsPane.Create(this, m_tabRect, &m_viewFont);
    // The printed chart is built afresh for the printer's page, not scaled from the screen.
    SetChartPainter([this](QPainter& painter, const QRect&) { m_chartsPane.PrintChart(painter); });
    m_reportsPane.SetSelectionSource(&m_databasePane);
    m_reportsPane.Create(this, m_tabRect, &m_viewFont);
    m_detailsPane.Create(this, m_tabRect, &m_viewFont);
    // After the panes: a late read finds them out of date already.
    m_doc.Subscribe(this);
    // Reports built on the selection restored above, before any pane shows.
    m_doc.OnPanesInitialised(m_databasePane.GetSelection());
    SwitchToPane(PANE_SUMMARY);

    m_doc.ImportCommandLineFiles();

    frame.EndWaitCursor();
    m_host.RemoveCover();
    if (m_doc.App().Demo() && !m_demo.IsOn()) m_demo.Toggle();
    UpdateCommandUI();
    m_teamTimer.start(kTeamTickMs);
}

// ---- the team database's connection ----

std::string CQuillo95View::TeamConninfo() const {
    if (!m_teamConninfo.empty()) return m_teamConninfo;
    if (!m_doc.App().ServerConnection().empty()) return m_doc.App().ServerConnection();
    return ViewSettings()->value(KQText(IDS_REG_TEAM_DATABASE)).toString().toStdString();
}

void CQuillo95View::OnTeamTick() {
    if (!m_doc.OnTeamDatabase() || m_doc.IsRunning() || (m_reconnect && m_reconnect->Busy()))
        return;
    m_doc.CheckTeamConnection();
    const std::time_t lost = m_doc.TeamDatabaseLostAt();
    if (lost == 0) {
        m_reconnectDelay = 0;
        m_nextReconnect = 0;
        return;
    }
    m_host.ShowDatabaseState(FormatKQString(
        IDS_TEAM_UNREACHABLE_SINCE,
        QDateTime::fromSecsSinceEpoch(lost).toString(QStringLiteral("HH:mm")).toStdString()));
    const std::time_t now = std::time(nullptr);
    if (m_nextReconnect == 0) {
        m_reconnectDelay = 1;
        m_nextReconnect = now + m_reconnectDelay;
    }
    if (now < m_nextReconnect) return;
    // In the background, never blocking the window; the next try waits twice as long.
    m_reconnectDelay = std::min(m_reconnectDelay * 2, kMaxReconnectDelay);
    m_nextReconnect = now + m_reconnectDelay;
    if (!m_reconnect) m_reconnect = std::make_unique<CTeamReconnect>();
    m_reconnect->Start(TeamConninfo(), kReconnectTimeoutMs,
                       [this](TeamConnection connected) { Reconnected(std::move(connected)); });
}

void CQuillo95View::Reconnected(TeamConnection connected) {
    // Not while a command holds the document (a dialog, an import): the next tick tries again.
    if (!connected.connection.IsOpen() || m_doc.IsRunning() || !m_doc.OnTeamDatabase()) return;
    SaveSelection();
    std::string message;
    if (!m_doc.ReconnectTeamDatabase(std::move(connected.connection), connected.error, message)) {
        if (message.empty())
            m_nextReconnect = std::time(nullptr) + 1;  // busy here: soon again
        else
            m_doc.Frame().LogLine(message);
        return;
    }
    m_reconnectDelay = 0;
    m_nextReconnect = 0;
    m_host.ShowDatabaseName(m_doc.TeamDatabaseName());
    UpdateCommandUI();
}

// ---- demo mode ----

void CQuillo95View::ShowPane(int pane) {
    SwitchToPane(pane);
    // Switching panes says "Ready"; while the demo runs the bar keeps saying so.
    if (m_demo.IsOn()) SetStatusText(LoadKQString(IDS_DEMO_IN_PROGRESS));
    UpdateCommandUI();
}

void CQuillo95View::RunAllTests() {
    if (m_currentPane != PANE_NONE && !m_doc.IsRunning()) AnalyzeNow();
}

void CQuillo95View::SelectNextSummaryTip() { m_summaryPane.SelectNextTip(); }

int CQuillo95View::ChartChoiceCount() { return m_chartsPane.ChartCount(); }

void CQuillo95View::SelectChart(int item, int dimension) {
    QComboBox* chooser = m_chartsPane.Chooser();
    QComboBox* dims = m_chartsPane.DimensionBox();
    if (!chooser || !dims) return;
    chooser->setCurrentIndex(item);
    dims->setCurrentIndex(dimension);
    m_chartsPane.OnSelChange(CChartsPane::kChooserID);
    m_chartsPane.OnSelChange(CChartsPane::kDimensionID);
}

int CQuillo95View::ReportChoiceCount() {
    // The chooser is filled when the pane shows; the demo asks before showing it.
    if (m_reportsPane.IsCreated() && !m_reportsPane.m_upToDate) m_reportsPane.RefillChooser();
    return m_reportsPane.ReportCount();
}

void CQuillo95View::SelectReport(int item) { m_reportsPane.SelectReport(item); }

void CQuillo95View::SelectNextDetail() {
    if (CMyTreeCtrl* tree = m_detailsPane.Tree()) tree->SelectNext();
}

void CQuillo95View::SetStatusText(const std::string& text) { m_doc.Frame().SetStatusText(text); }

void CQuillo95View::ArmDemoTimer(int milliseconds) { m_timer2.start(milliseconds); }

void CQuillo95View::StopDemoTimer() { m_timer2.stop(); }
