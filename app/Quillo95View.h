// The one view of the document: the tab strip, the panes beneath it, the menu commands that
// act on the current pane or item, and the address of every private message. One class over
// four files: Quillo95View.cpp (messages, panes, selection, painting), Quillo95ViewCommands.cpp
// (menus, enabling, commands), Quillo95ViewPrint.cpp (print and copy), Quillo95ViewTimers.cpp
// (timers, start-up, the demo's steps).
#pragma once

#include <QFont>
#include <QPointer>
#include <QRect>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "analyzers/KQAnalyzer.h"
#include "app/DemoMode.h"
#include "app/TeamConnect.h"
#include "document/DocReportSource.h"
#include "document/DocumentEvents.h"
#include "reports/DetailItem.h"
#include "panes/ChartsPane.h"
#include "panes/DatabasePane.h"
#include "panes/DetailsPane.h"
#include "panes/Pane.h"
#include "panes/PaneCommands.h"
#include "panes/PaneTabCtrl.h"
#include "panes/PaneView.h"
#include "panes/PrintJob.h"
#include "panes/ReportsPane.h"
#include "panes/SummaryPane.h"
#include "resources/ResourceIds.h"
#include "resources/StringIds.h"

class QSettings;

class QAction;
class QMenu;
class QMenuBar;
class QPrinter;
class ITableText;
class ITextClipboard;
class CQuillo95Doc;
class CRecordEntry;

// What the view needs from the main frame and the application object.
class IViewHost {
public:
    virtual ~IViewHost() = default;
    // End of the first set-up: the start-up cover goes.
    virtual void RemoveCover() = 0;
    // The auto-run has been performed: the main window is destroyed, ending the program.
    // written: an export file was written (the exit status depends on it).
    virtual void AutoRunFinished(bool written) = 0;
    virtual void DefaultHelp() = 0;  // ID_DEFAULT_HELP
    virtual void HelpIndex() = 0;    // ID_HELP_INDEX
    // The help file <name>.HLP beside the program at a context number (0: its top).
    virtual void ShowAnalyzerHelp(const std::string& name, int context) = 0;
    // A page in the program's directory, in the web browser (the Summary panel's link).
    virtual void OpenPage(const std::string& page) = 0;
    // Which database is open: the team database's name, or empty for the local file.
    virtual void ShowDatabaseName(const std::string& teamName) { (void)teamName; }
    // The database's state in the same place ("unreachable since ..."); empty: its name again.
    virtual void ShowDatabaseState(const std::string& state) { (void)state; }
};

class CQuillo95View : public QWidget,
                      public IPaneView,
                      public IDemoTarget,
                      public IDocumentObserver {
    Q_OBJECT

public:
    CQuillo95View(CQuillo95Doc& doc, IViewHost& host, QWidget* parent = nullptr);
    ~CQuillo95View() override;  // hides the current pane and saves the record selection

    // CWnd: the one dispatch of the private messages. UM_EXPORTRECORD's lParam points to a
    // std::vector<int32_t> of record keys; UM_ITEMACTION's to a CDetailItem (or is 0).
    intptr_t SendMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    QWidget* Widget() override { return this; }
    IFrameServices& Frame() override;
    IDocumentEvents& DocumentEvents() override;

    // The framework's initial update: starts timer 1 (the second stage of start-up).
    void OnInitialUpdate();
    // Timer ticks (1 start-up, 2 demo step, 3 chart re-layout); public so that tests need
    // not wait.
    void OnTimer(int id);
    bool IsTimerActive(int id) const;

    // Menus (resource 128) and accelerators; the commands carry their ids as action data.
    void BuildMenus(QMenuBar* bar);
    QMenu* ViewMenu() const { return m_viewMenu; }
    QAction* FindAction(int id) const;
    // Enabling and check marks, run before a menu shows.
    void UpdateCommandUI();
    // Runs a command as its menu item would; false when the view does not handle it
    // or it is disabled.
    bool OnCommand(int id) override;

    // The panes hear the document's changes for themselves; the view, set up, answers a
    // late read of the database file (the saved selection names its records again).
    void OnDocumentEvent(const DocumentEvent& event) override;

    void SwitchToPane(int pane);  // PANE_NONE: show the current pane again
    void RefreshCurrentPane();
    void TellMeMore();

    int CurrentPane() const { return m_currentPane; }
    const QRect& TabRect() const { return m_tabRect; }
    CPaneTabCtrl* TabCtrl() const { return m_tabCtrl; }
    const QFont& ViewFont() const { return m_viewFont; }
    CQuillo95Doc& Document() const { return m_doc; }
    int TextHeight() const;

    // Record selection persistence ("Settings": NumRecsSelected, RecSelected%02u).
    void RestoreSelection();
    void SaveSelection();
    // The view's settings section; SelectionSettings: the part for the open database's
    // selection (a team database has one of its own).
    static std::unique_ptr<QSettings> ViewSettings();
    std::unique_ptr<QSettings> SelectionSettings() const;
    void OnOpenTeamDatabase();
    void OnCopyToTeamDatabase();
    void DatabaseRead();

    // What the Reports pane compiles from; declared before the panes that read it.
    CDocReportSource m_reportSource;
    // The five panes in their order.
    CSummaryPane m_summaryPane;
    CDatabasePane m_databasePane;
    CChartsPane m_chartsPane;
    CReportsPane m_reportsPane;
    CDetailsPane m_detailsPane;

    // ---- demo mode ----
    const CDemoMode& Demo() const { return m_demo; }
    CDemoMode& Demo() { return m_demo; }
    void ShowPane(int pane) override;
    void RunAllTests() override;
    void SelectNextSummaryTip() override;
    int ChartChoiceCount() override;
    void SelectChart(int item, int dimension) override;
    int ReportChoiceCount() override;
    void SelectReport(int item) override;
    void SelectNextDetail() override;
    void SetStatusText(const std::string& text) override;
    void ArmDemoTimer(int milliseconds) override;
    void StopDemoTimer() override;

    // ---- printing and the clipboard ----
    // The chart's print copy (one page); Print on the Charts tab stays disabled without it.
    void SetChartPainter(ChartPainter painter) { m_chartPainter = std::move(painter); }
    // Answers for the print dialog (preview false) or the preview dialog (true) with the
    // printer to use; tests hand a PDF printer this way. False: cancelled.
    using PrintDialogHook = std::function<bool(QPrinter& printer, bool preview)>;
    void SetPrintDialogHook(PrintDialogHook hook) { m_printDialogHook = std::move(hook); }
    void SetClipboard(ITextClipboard* clipboard) { m_clipboard = clipboard; }
    bool CanPrint() const;
    bool CanCopy() const;
    // The print loop for the current tab; answers the pages printed (0 when cancelled).
    int OnFilePrint(bool preview);
    void OnEditCopy();
    // File menu exports for scripts (Quillo95ViewExport.cpp): this machine's results or the
    // Database selection as JSON; the Database list or the current report as CSV.
    void OnExportJson();
    void OnExportList();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    static constexpr int kTeamRefreshMs = 10000;
    void FirstSetUp();
    // Runs timer 4 while the document stands on a team database's standby.
    void ArmTeamRefresh();
    void CreateTabCtrl();
    void CreateViewFont();
    void OnSize();
    intptr_t OnItemAction(int code, const CDetailItem* item);
    void OnRecordProps(int key);
    // During a test run: the status bar says why, and the record command is not carried out.
    bool RefusedDuringRun();
    void AnalyzeNow();
    void RegenTips();
    void SwitchToPane(int pane, bool idlePrompt);
    // After a test run: the panes rebuild, and the status bar keeps the run's outcome
    // ("Testing complete" or "Testing cancelled") instead of the idle prompt.
    void ShowAgainAfterRun();
    CPane* PaneObject(int pane);
    QAction* AddCommand(QMenu* menu, int id, KQStringId textID, const QKeySequence& key = {});

    CQuillo95Doc& m_doc;
    IViewHost& m_host;
    QRect m_tabRect;
    QPointer<CPaneTabCtrl> m_tabCtrl;
    QFont m_viewFont;
    int m_currentPane = 0;
    QTimer m_timer1;
    QTimer m_timer2;
    QTimer m_timer3;
    QTimer m_timer4;
    CDemoMode m_demo{*this};
    // ---- the team database's connection, watched every second (Quillo95ViewTimers.cpp) ----
    void OnTeamTick();
    void Reconnected(TeamConnection connected);
    std::string TeamConninfo() const;
    QTimer m_teamTimer;
    std::string m_teamConninfo;  // the one chosen in the menu (kept in memory only)
    int m_reconnectDelay = 0;    // seconds until the next try: 1, 2, 4 ... 60
    std::time_t m_nextReconnect = 0;
    std::unique_ptr<CTeamReconnect> m_reconnect;
    bool m_selectionSaved = false;
    bool m_autoRunDone = false;
    std::map<int, QAction*> m_actions;
    QMenu* m_viewMenu = nullptr;

    // ---- printing and the clipboard ----
    ITableText* PrintableList(int pane) const;
    std::unique_ptr<IPrintSource> MakePrintSource();
    ChartPainter m_chartPainter;
    PrintDialogHook m_printDialogHook;
    ITextClipboard* m_clipboard = nullptr;
};
