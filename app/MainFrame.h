// The main window: status bar, start-up cover, log window, progress window, drops, and the
// frame services through which the document reaches the windows.
//
// The view is made by AttachDocument as the central widget, with the frame as its host; the
// frame then calls view->BuildMenus(menuBar()) and adds "&Log" (ID_VIEW_LOG) to the View menu (or
// wires the view's own action with that command id). The document's changes do not pass
// here: the panes subscribe to the document.
#pragma once

#include <cstdio>

#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <string>

#include "document/FrameServices.h"
#include "resources/StringIds.h"
#include "app/Quillo95View.h"

class QMenu;
class QAction;
class IFrameHost;
class CQuillo95Doc;
class CTestProgressDlg;
class CStartupCover;

class CMainFrame : public QMainWindow, public IFrameServices, public IViewHost {
    Q_OBJECT
public:
    // Creation: status bar, start-up cover at rect (left, top, right, bottom), log window
    // when the log flag is set (version line first).
    CMainFrame(IFrameHost& app, const int rect[4]);
    ~CMainFrame() override;

    // Creates the view for the document, builds the menus and wires the log command.
    void AttachDocument(CQuillo95Doc* doc);
    CQuillo95View* GetView() const { return m_view; }

    // Shows the window in the given show state (2 minimised, 3 maximised, 5 normal).
    void ShowInState(int showState);
    bool HasCover() const { return m_cover != nullptr; }
    QWidget* Cover() const;

    // Log: handle 0 means no log display.
    uint32_t LogHandle() const { return m_logHandle; }
    int LogShown() const { return m_logShown; }
    void WriteLine(const std::string& text);
    void WriteStringResource(KQStringId id);
    void OnViewLog();            // ID_VIEW_LOG
    void OnLogClosed();          // UM_LOGCLOSED
    QWidget* LogWindow() const;  // null without a log

    // Imports the exchange files among the paths, in order; others are ignored.
    void ImportDroppedFiles(const std::vector<std::string>& paths);
    // ---- IViewHost ----
    void RemoveCover() override;
    // After the auto-run: saves the database as on any close, sets the exit status
    // (non-zero when no export file was written) and destroys the window.
    void AutoRunFinished(bool written) override;
    // Where the auto-run's exchange file went, or why there is none (and the exit code).
    void ReportAutoRunFile(bool written);
    void ShowDatabaseName(const std::string& teamName) override;
    void ShowDatabaseState(const std::string& state) override;
    void DefaultHelp() override;
    void HelpIndex() override;
    void ShowAnalyzerHelp(const std::string& name, int context) override;
    void OpenPage(const std::string& page) override;
    // A close as the user would do it (signals); during a run it cancels and closes after.
    void RequestClose();
    bool CloseAfterRun() const { return m_closeAfterRun; }

    // Brings the window forward (second start of the program): out of the minimised state,
    // a maximised window stays maximised.
    void BringToFront();
    // Files a later start of the program was given: the window comes forward and imports
    // them as dropped files, once no dialog is open and the view has been set up.
    void OpenFilesFromDesktop(const QStringList& paths);
    bool HasPendingFiles() const { return !m_pendingFiles.empty(); }

    CTestProgressDlg* ProgressDialog() const { return m_progress; }
    QLabel* StatusPane(int index) const;  // 0 message, 1 listing, 2..4 lock keys

    // ---- IFrameServices ----
    void SetStatusText(const std::string& text) override;
    void ShowListing(bool on) override;
    void LogLine(const std::string& text) override;
    void ShowLog() override;
    int MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                   MsgButtons buttons) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void ProcessEvents() override;
    std::vector<std::string> OpenFileDialog(const FileDialogRequest& request,
                                            unsigned& errorCode) override;
    std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) override;
    bool CreateProgress(int* cancelFlag) override;
    void SetProgressAnalyzer(const std::string& title, int32_t bitmapID,
                             const std::string& analyzerName) override;
    void SetProgress(int position) override;
    void DestroyProgress() override;
    void Sleep(unsigned milliseconds) override;
    uint32_t Now() override;

    // Show status: a string by its id; without one, the idle prompt.
    void ShowStatus(KQStringId id = IDS_STATUS_READY_HELP);

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void CreateStatusBar();
    void CreateLog();
    void SaveLogPlacement();
    void WireLogCommand();
    void RecordRect();
    // Saves the database when modified; tells the user when that fails.
    bool SaveDocument();
    void ImportPendingFiles();

    IFrameHost& m_app;
    CQuillo95Doc* m_doc = nullptr;
    CQuillo95View* m_view = nullptr;
    QLabel* m_panes[5] = {};
    QLabel* m_databasePane = nullptr;  // which database is open
    CStartupCover* m_cover = nullptr;
    uint32_t m_logHandle = 0;
    int m_logShown = 0;
    QPointer<QAction> m_logAction;
    CTestProgressDlg* m_progress = nullptr;
    int m_waitDepth = 0;
    bool m_closeAfterRun = false;
    bool m_closing = false;
    bool m_autoRunEnding = false;
    bool m_echoLog = false;            // unattended run on a terminal: log lines also go to stdout
    std::FILE* m_echoStream = stdout;  // or stderr, when stdout carries the JSON of "-A:-"
    std::vector<std::string> m_pendingFiles;  // handed over by a later start, not yet imported
    QTimer m_pendingTimer;
};
