#include "app/MainFrame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSettings>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <cstdio>
#include <ctime>
#include <unistd.h>
#include <utility>

#include "document/Document.h"
#include "app/FrameHost.h"
#include "document/AppState.h"
#include "app/LogWindow.h"
#include "app/StartupCover.h"
#include "app/TestProgressDlg.h"
#include "platform/FileDialogs.h"
#include "platform/MessageBoxes.h"
#include "platform/OwnedWindows.h"
#include "resources/Strings.h"
#include "panes/QtText.h"

namespace {

constexpr int kPendingRetryMs = 200;  // how often files handed over look for a free moment

// Where the log window was, in the "Settings" group beside the main window's placement.
QString LogGeometryKey() {
    return Q(LoadKQString(IDS_REG_SETTINGS)) + QStringLiteral("/LogWndGeometry");
}

}  // namespace

CMainFrame::CMainFrame(IFrameHost& app, const int rect[4]) : m_app(app) {
    setObjectName(QStringLiteral("mainFrame"));
    // The title never carries a document name.
    setWindowTitle(Q(LoadKQString(IDS_APP_TITLE)));
    const QRect r(rect[0], rect[1], rect[2] - rect[0], rect[3] - rect[1]);
    setGeometry(r);
    setAcceptDrops(true);
    m_pendingTimer.setSingleShot(true);
    connect(&m_pendingTimer, &QTimer::timeout, this, &CMainFrame::ImportPendingFiles);

    CreateStatusBar();
    m_cover = new CStartupCover(this, r);
    // Transient for the frame, so that the frame, mapped later, does not cover it.
    EnsureTransientFor(m_cover);
    m_cover->show();
    m_cover->repaint();
    // With "-A:-" standard output carries the JSON alone: the log goes to standard error.
    m_echoStream = m_app.State().AutoRunToStandardOutput() ? stderr : stdout;
    m_echoLog = m_app.State().AutoRun() && isatty(fileno(m_echoStream));
    if (m_app.State().Log()) CreateLog();
}

CMainFrame::~CMainFrame() {
    delete m_progress;
    m_progress = nullptr;
    if (m_logHandle) zLogDspClose(m_logHandle);
    m_logHandle = 0;
    delete m_cover;
    m_cover = nullptr;
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    for (int i = 0; i < 5; ++i) {
        m_panes[i] = new QLabel(bar);
        m_panes[i]->setObjectName(QStringLiteral("statusPane%1").arg(i));
        m_panes[i]->setTextFormat(Qt::PlainText);
    }
    bar->addWidget(m_panes[0], 1);
    // The listing pane keeps the width of its text so that showing it moves nothing.
    m_panes[1]->setMinimumWidth(
        m_panes[1]->fontMetrics().horizontalAdvance(Q(LoadKQString(IDS_LISTING_DATABASE))) + 8);
    for (int i = 1; i < 5; ++i) bar->addPermanentWidget(m_panes[i]);
    // Caps, Num and Scroll Lock cannot be read through Qt: their panes stay empty.
    ShowStatus();
}

QLabel* CMainFrame::StatusPane(int index) const {
    return index >= 0 && index < 5 ? m_panes[index] : nullptr;
}

void CMainFrame::CreateLog() {
    zLogDspInit();
    m_logHandle = zLogDspCreate(LoadKQString(IDS_LOG_TITLE).c_str(), 0, this, 0xFFFE, UM_LOGCLOSED,
                                m_logShown);
    if (!m_logHandle) return;
    const CAppState& state = m_app.State();
    // A refused data directory gets no log file: the window alone shows the lines.
    const std::string file = state.DataDir() + LoadKQString(IDS_LOG_FILE_NAME);
    if (!state.DataDirRefused()) zldSetLogFile(m_logHandle, file.c_str());
    WriteStringResource(IDS_VERSION_LINE);
    // Away from the program's own directory a user would not know where to look.
    if (state.DataDir() != state.ProgramDir() && !state.DataDirRefused())
        WriteLine(FormatKQString(IDS_DATA_DIR_NOTE, state.DataDir()));
    if (CLogWindow* window = zldWindow(m_logHandle))
        window->RestorePlacement(m_app.UserSettings()->value(LogGeometryKey()).toByteArray());
}

void CMainFrame::SaveLogPlacement() {
    CLogWindow* window = m_logHandle ? zldWindow(m_logHandle) : nullptr;
    if (!window || !window->IsPlaced()) return;
    m_app.UserSettings()->setValue(LogGeometryKey(), window->saveGeometry());
}

QWidget* CMainFrame::LogWindow() const { return m_logHandle ? zldWindow(m_logHandle) : nullptr; }
QWidget* CMainFrame::Cover() const { return m_cover; }

void CMainFrame::AttachDocument(CQuillo95Doc* doc) {
    m_doc = doc;
    if (!doc) return;
    m_view = new CQuillo95View(*doc, *this, this);
    setCentralWidget(m_view);
    doc->SetView(m_view);
    m_view->BuildMenus(menuBar());
    WireLogCommand();
}

void CMainFrame::WireLogCommand() {
    QAction* action = m_view ? m_view->FindAction(ID_VIEW_LOG) : nullptr;
    if (!m_logHandle) {
        // Without a log there is no "&Log" item at all.
        if (action) {
            for (QObject* w : action->associatedObjects())
                if (auto* menu = qobject_cast<QMenu*>(w)) menu->removeAction(action);
            action->setVisible(false);
        }
        m_logAction = nullptr;
        return;
    }
    if (!action) {
        QMenu* viewMenu = m_view ? m_view->ViewMenu() : nullptr;
        if (!viewMenu) {
            for (QAction* top : menuBar()->actions())
                if (top->menu() && top->text().remove(QLatin1Char('&')) == QLatin1String("View"))
                    viewMenu = top->menu();
        }
        if (!viewMenu) viewMenu = menuBar()->addMenu(QStringLiteral("&View"));
        action = viewMenu->addAction(Q(LoadKQString(IDS_MENU_LOG)));
        action->setData(ID_VIEW_LOG);
    }
    action->setCheckable(true);
    action->setChecked(m_logShown != 0);
    connect(action, &QAction::triggered, this, [this] { OnViewLog(); });
    for (QObject* w : action->associatedObjects())
        if (auto* menu = qobject_cast<QMenu*>(w))
            connect(menu, &QMenu::aboutToShow, this, [this] {
                if (m_logAction) m_logAction->setChecked(m_logShown != 0);
            });
    m_logAction = action;
}

void CMainFrame::WriteLine(const std::string& text) {
    if (m_logHandle) zldDisplay(m_logHandle, text.c_str());
    if (m_echoLog) {
        std::fwrite(text.data(), 1, text.size(), m_echoStream);
        std::fputc('\n', m_echoStream);
        std::fflush(m_echoStream);
    }
}

void CMainFrame::WriteStringResource(KQStringId id) {
    if (HasKQString(id)) WriteLine(LoadKQString(id));
}

void CMainFrame::OnViewLog() {
    if (!m_logHandle) return;
    m_logShown = m_logShown ? 0 : 1;
    zldShowDisplay(m_logHandle, m_logShown);
    if (m_logAction) m_logAction->setChecked(m_logShown != 0);
}

void CMainFrame::OnLogClosed() {
    m_logShown = 0;
    zldShowDisplay(m_logHandle, 0);
    if (m_logAction) m_logAction->setChecked(false);
}

bool CMainFrame::event(QEvent* e) {
    if (e->type() == CLogNotifyEvent::TypeFor(UM_LOGCLOSED)) {
        OnLogClosed();
        return true;
    }
    return QMainWindow::event(e);
}

void CMainFrame::ShowInState(int showState) {
    if (showState == 2)
        showMinimized();
    else if (showState == 3)
        showMaximized();
    else
        showNormal();
}

void CMainFrame::RemoveCover() {
    delete m_cover;
    m_cover = nullptr;
}

void CMainFrame::BringToFront() {
    // Out of the minimised state only: a maximised window is where the user wants it.
    if (windowState() & Qt::WindowMinimized) setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
    // A dialog open over the window stays in front of it.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
}

void CMainFrame::OpenFilesFromDesktop(const QStringList& paths) {
    BringToFront();
    for (const QString& path : paths) m_pendingFiles.push_back(path.toStdString());
    // Never inside the caller: an import may open message boxes.
    if (!m_pendingFiles.empty()) m_pendingTimer.start(0);
}

void CMainFrame::ImportPendingFiles() {
    if (m_pendingFiles.empty() || m_closing) return;
    // A run refuses them at once, as it refuses a drop.
    const bool running = m_doc && m_doc->IsRunning();
    // A dialog or menu holds the user (and perhaps records); before the view is set up there
    // is no Database pane to list them: the files wait.
    const bool busy = QApplication::activeModalWidget() || QApplication::activePopupWidget() ||
                      !m_view || m_view->CurrentPane() == PANE_NONE;
    if (busy && !running) {
        m_pendingTimer.start(kPendingRetryMs);
        return;
    }
    ImportDroppedFiles(std::exchange(m_pendingFiles, {}));
}

void CMainFrame::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    // The frame has just been mapped: the cover stays on top until the view removes it.
    if (m_cover) m_cover->raise();
    QTimer::singleShot(0, this, [this] {
        if (m_cover) m_cover->raise();
    });
}

// ---- status bar ----

void CMainFrame::ShowStatus(KQStringId id) { SetStatusText(LoadKQString(id)); }

void CMainFrame::SetStatusText(const std::string& text) {
    m_panes[0]->setText(Q(text));
    m_panes[0]->repaint();
}

void CMainFrame::ShowListing(bool on) {
    m_panes[1]->setText(on ? Q(LoadKQString(IDS_LISTING_DATABASE)) : QString());
    m_panes[1]->repaint();
}

// ---- placement ----

void CMainFrame::RecordRect() {
    // Only a normal window's rectangle is worth keeping: a minimised or maximised one says
    // nothing about where the user wants the window.
    if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) return;
    if (!isVisible()) return;
    const QRect g = geometry();
    m_app.State().SetRect(g.left(), g.top(), g.left() + g.width(), g.top() + g.height());
}

void CMainFrame::changeEvent(QEvent* e) {
    QMainWindow::changeEvent(e);
    if (e->type() != QEvent::WindowStateChange) return;
    if (isMinimized())
        m_app.State().SetShowState(2);
    else if (isMaximized())
        m_app.State().SetShowState(3);
    else {
        m_app.State().SetShowState(5);
        RecordRect();
    }
}

void CMainFrame::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    RecordRect();
}

void CMainFrame::moveEvent(QMoveEvent* e) {
    QMainWindow::moveEvent(e);
    RecordRect();
}

// ---- closing ----

bool CMainFrame::SaveDocument() {
    if (!m_doc) return true;
    if (m_app.State().DataDirRefused()) {
        // Told at start-up: nothing of this run is kept.
        m_app.SetExitCode(EXIT_QUILLON_SAVE_FAILED);
        return false;
    }
    if (m_doc->SaveModified()) return true;
    // The results were not kept: the user must hear of it.
    MessageBox(FormatKQString(IDS_ERR_CANT_SAVE_DATABASE, m_doc->GetPathName()),
               LoadKQString(IDS_APP_TITLE), MsgIcon::Error, MsgButtons::Ok);
    m_app.SetExitCode(EXIT_QUILLON_SAVE_FAILED);
    return false;
}

void CMainFrame::closeEvent(QCloseEvent* e) {
    if (m_closing) {
        e->accept();
        return;
    }
    if (m_doc && m_doc->IsRunning()) {
        // Cancel the run; the window closes once it has returned (see DestroyProgress).
        m_doc->RequestClose();
        m_closeAfterRun = true;
        e->ignore();
        return;
    }
    m_closing = true;
    if (!m_autoRunEnding)
        m_app.SaveWindowPlacement(m_app.State().ShowState(), m_app.State().Rect());
    if (!m_autoRunEnding) SaveLogPlacement();
    SaveDocument();
    if (m_doc) m_doc->TellChangesWaitingAtExit();
    if (m_logHandle) zldShowDisplay(m_logHandle, 0);
    delete m_progress;
    m_progress = nullptr;
    RemoveCover();
    e->accept();
    QCoreApplication::exit(m_app.ExitCode());
}

void CMainFrame::RequestClose() {
    if (m_closing) return;
    close();
}

void CMainFrame::AutoRunFinished(bool written) {
    const bool team = m_doc && m_doc->OnTeamDatabase();
    if (team && !m_doc->TeamStoreFailure().empty()) {
        std::fprintf(stderr, "%s\n", m_doc->TeamStoreFailure().c_str());
        m_app.SetExitCode(EXIT_QUILLON_SERVER_FAILED);
    } else {
        if (team && m_doc->TeamStored())
            std::fprintf(m_echoStream, "%s\n",
                         FormatKQString(IDS_RESULTS_STORED_IN, m_doc->TeamDatabaseName()).c_str());
        // Into a team database, an exchange file is written only when one was named.
        if (!team || !m_app.State().AutoRunFile().empty() ||
            m_app.State().AutoRunToStandardOutput())
            ReportAutoRunFile(written);
    }
    std::fflush(stdout);
    std::fflush(stderr);
    m_autoRunEnding = true;
    m_closeAfterRun = false;
    close();
}

void CMainFrame::ReportAutoRunFile(bool written) {
    const bool toStdout = m_app.State().AutoRunToStandardOutput();
    const std::string name = m_doc ? m_doc->AutoRunTarget() : std::string();
    if (written && m_doc) {
        // Say where the results went, as a full path.
        const std::string where = toStdout
                                      ? LoadKQString(IDS_STANDARD_OUTPUT)
                                      : QDir::current().absoluteFilePath(Q(name)).toStdString();
        std::fprintf(m_echoStream, "%s\n", FormatKQString(IDS_RESULTS_EXPORTED_TO, where).c_str());
    }
    if (!written) {
        if (name.empty() && !toStdout)
            std::fprintf(stderr, "%s\n", LoadKQString(IDS_AUTO_RUN_NO_NAME).c_str());
        std::fprintf(stderr, "%s\n", LoadKQString(IDS_AUTO_RUN_NO_FILE).c_str());
        m_app.SetExitCode(EXIT_QUILLON_NO_EXPORT);
    }
}

void CMainFrame::ShowDatabaseName(const std::string& teamName) {
    const std::string title = LoadKQString(IDS_APP_TITLE);
    const std::string which = teamName.empty() ? LoadKQString(IDS_STATUS_LOCAL_DATABASE)
                                               : FormatKQString(IDS_STATUS_TEAM_DATABASE, teamName);
    setWindowTitle(Q(teamName.empty() ? title : title + " - " + which));
    if (!m_databasePane) {
        m_databasePane = new QLabel(statusBar());
        m_databasePane->setObjectName(QStringLiteral("statusDatabase"));
        m_databasePane->setTextFormat(Qt::PlainText);
        statusBar()->addPermanentWidget(m_databasePane);
    }
    m_databasePane->setText(Q(which));
}

void CMainFrame::ShowDatabaseState(const std::string& state) {
    if (state.empty()) return ShowDatabaseName(m_doc ? m_doc->TeamDatabaseName() : std::string());
    if (m_databasePane) m_databasePane->setText(Q(state));
}

void CMainFrame::DefaultHelp() { m_app.ShowHelpIndex(); }
void CMainFrame::HelpIndex() { m_app.ShowHelpIndex(); }
void CMainFrame::OpenPage(const std::string& page) { m_app.OpenPageInBrowser(page); }
void CMainFrame::ShowAnalyzerHelp(const std::string& name, int context) {
    m_app.ShowAnalyzerHelp(name, context);
}

// ---- drops ----

void CMainFrame::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* e) {
    activateWindow();
    std::vector<std::string> paths;
    for (const QUrl& url : e->mimeData()->urls())
        if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
    e->acceptProposedAction();
    ImportDroppedFiles(paths);
}

void CMainFrame::ImportDroppedFiles(const std::vector<std::string>& paths) {
    if (m_doc && m_doc->IsRunning()) {
        // As the Import commands, which are disabled during a run.
        SetStatusText(LoadKQString(IDS_DROP_REFUSED_RUNNING));
        return;
    }
    // One import of every exchange file, in order, so that its counts cover them all.
    std::vector<std::string> files;
    for (const std::string& path : paths)
        if (CAppState::IsExchangeFileName(path)) files.push_back(path);
    if (m_doc && !files.empty()) m_doc->ImportFiles(files);
}

// ---- frame services ----

void CMainFrame::LogLine(const std::string& text) { WriteLine(text); }

void CMainFrame::ShowLog() {
    if (!m_logHandle) return;
    m_logShown = 1;
    zldShowDisplay(m_logHandle, 1);
    if (m_logAction) m_logAction->setChecked(true);
}

int CMainFrame::MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                           MsgButtons buttons) {
    return KQMessageBox(this, text, caption, icon, buttons);
}

void CMainFrame::BeginWaitCursor() {
    ++m_waitDepth;
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void CMainFrame::EndWaitCursor() {
    if (m_waitDepth <= 0) return;
    --m_waitDepth;
    QApplication::restoreOverrideCursor();
}

void CMainFrame::ProcessEvents() { QCoreApplication::processEvents(); }

std::vector<std::string> CMainFrame::OpenFileDialog(const FileDialogRequest& request,
                                                    unsigned& errorCode) {
    return KQOpenFileDialog(this, request, errorCode);
}

std::optional<std::string> CMainFrame::SaveFileDialog(const FileDialogRequest& request) {
    return KQSaveFileDialog(this, request);
}

bool CMainFrame::CreateProgress(int* cancelFlag) {
    delete m_progress;
    m_progress = new CTestProgressDlg(this);
    m_progress->SetCancelFlag(cancelFlag);
    m_progress->show();
    return true;
}

void CMainFrame::SetProgressAnalyzer(const std::string& title, int32_t bitmapID,
                                     const std::string& analyzerName) {
    if (m_progress) m_progress->SetAnalyzer(title, bitmapID, analyzerName);
}

void CMainFrame::SetProgress(int position) {
    if (m_progress)
        m_progress->SetProgress(position);
    else
        QCoreApplication::processEvents();
}

void CMainFrame::DestroyProgress() {
    delete m_progress;
    m_progress = nullptr;
    // A close that arrived during the run happens once the run has returned to the loop.
    if (m_closeAfterRun) QTimer::singleShot(0, this, [this] { close(); });
}

void CMainFrame::Sleep(unsigned milliseconds) { QThread::msleep(milliseconds); }

uint32_t CMainFrame::Now() { return static_cast<uint32_t>(std::time(nullptr)); }
