#include "app/Quillo95App.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QThread>
#include <QTimer>
#include <cstdio>

#include "app/AutoObj.h"
#include "app/TeamConnect.h"
#include "document/DataDirectory.h"
#include "document/Document.h"
#include "app/MainFrame.h"
#include "platform/AppIcon.h"
#include "platform/BrowserDiscovery.h"
#include "platform/ClassRegistry.h"
#include "platform/HelpWindow.h"
#include "platform/MessageBoxes.h"
#include "platform/SingleInstance.h"
#include "resources/Strings.h"
#include "server/ServerRecordStore.h"
#include "panes/QtText.h"

namespace {

CQuillo95App* g_app = nullptr;

// The smallest window the placement accepts (the minimum tracking size of a captioned window).
constexpr int kMinWindowWidth = 112;
constexpr int kMinWindowHeight = 27;
constexpr int kIdleInterval = 200;  // ms between idle passes that found nothing to do

std::string QuoteIfNeeded(const std::string& s) {
    if (s.empty() || s.front() == '"') return s;
    // The option scanner splits at blanks and starts an option at every dash.
    if (s.find_first_of(" -") == std::string::npos) return s;
    return "\"" + s + "\"";
}

}  // namespace

CQuillo95App::CQuillo95App() {
    g_app = this;
    // Every window, dialog and message box shows the program's icon; the desktop entry
    // of the same id ties the windows to the launcher.
    QGuiApplication::setWindowIcon(ApplicationIcon());
    QGuiApplication::setDesktopFileName(QLatin1String(kApplicationId));
}

CQuillo95App::~CQuillo95App() {
    ExitInstance();
    if (g_app == this) g_app = nullptr;
}

CQuillo95App* CQuillo95App::Instance() { return g_app; }

CMainFrame* CQuillo95App::MainFrame() const { return m_frame.data(); }

void CQuillo95App::SetExitCode(int code) {
    if (m_exitCode == EXIT_QUILLON_OK) m_exitCode = code;
}

std::string CQuillo95App::JoinCommandLine(const QStringList& arguments) {
    std::string line;
    for (int i = 1; i < arguments.size(); ++i) {
        std::string arg = arguments[i].toStdString();
        if (arg.size() > 1 && arg[0] == '-') {
            // "-A:file": the file part is quoted; "-a-d" and the like stay as they are.
            if (arg.size() > 3 && arg[2] == ':')
                arg = arg.substr(0, 3) + QuoteIfNeeded(arg.substr(3));
        } else {
            arg = QuoteIfNeeded(arg);
        }
        if (!line.empty()) line += ' ';
        line += arg;
    }
    return line;
}

std::unique_ptr<QSettings> CQuillo95App::OpenSettings() {
    return std::make_unique<QSettings>(Q(LoadKQString(IDS_REG_COMPANY)),
                                       Q(LoadKQString(IDS_APP_TITLE)));
}

std::unique_ptr<QSettings> CQuillo95App::UserSettings() const { return OpenSettings(); }

WindowPlacement CQuillo95App::LoadWindowPlacement(QSettings& settings, int startShowState,
                                                  int screenWidth, int screenHeight,
                                                  int clientWidth, int clientHeight) {
    WindowPlacement p;
    p.showState = startShowState == 2 ? 2 : 3;
    const int defaults[4] = {screenWidth / 8, screenHeight / 8, screenWidth - screenWidth / 8,
                             screenHeight - screenHeight / 8};
    std::copy(defaults, defaults + 4, p.rect);

    settings.beginGroup(Q(LoadKQString(IDS_REG_SETTINGS)));
    p.showState = settings.value(QStringLiteral("InitSizeType"), p.showState).toInt();
    if (p.showState == 0) p.showState = 5;
    const char* const names[4] = {"InitWndLeft", "InitWndTop", "InitWndRight", "InitWndBottom"};
    for (int i = 0; i < 4; ++i)
        p.rect[i] = settings.value(QLatin1String(names[i]), p.rect[i]).toInt();
    settings.endGroup();

    if (p.rect[2] - p.rect[0] < kMinWindowWidth || p.rect[3] - p.rect[1] < kMinWindowHeight ||
        p.rect[2] > clientWidth || p.rect[3] > clientHeight)
        std::copy(defaults, defaults + 4, p.rect);
    return p;
}

void CQuillo95App::SaveWindowPlacement(QSettings& settings, int showState, const int rect[4]) {
    settings.beginGroup(Q(LoadKQString(IDS_REG_SETTINGS)));
    settings.setValue(QStringLiteral("InitSizeType"), showState);
    settings.setValue(QStringLiteral("InitWndLeft"), rect[0]);
    settings.setValue(QStringLiteral("InitWndTop"), rect[1]);
    settings.setValue(QStringLiteral("InitWndRight"), rect[2]);
    settings.setValue(QStringLiteral("InitWndBottom"), rect[3]);
    settings.endGroup();
    settings.sync();
}

void CQuillo95App::SaveWindowPlacement(int showState, const int rect[4]) {
    auto settings = OpenSettings();
    SaveWindowPlacement(*settings, showState, rect);
}

bool CQuillo95App::InitInstance(const QStringList& arguments) {
    const std::string title = LoadKQString(IDS_APP_TITLE);

    // 1. One running instance: a later start hands it the files named on its command line
    // (as absolute paths: the two need not stand in the same directory), brings it forward
    // and ends.
    // An unattended run into a team database meets no other instance: a timer must not
    // raise a running desktop's window, and that one's database file is not touched.
    QStringList files;
    bool handsOver = true;
    {
        CAppState named;
        named.ParseCommandLine(JoinCommandLine(arguments));
        for (const std::string& name : named.CommandLineFiles())
            files << QDir::current().absoluteFilePath(Q(name));
        handsOver =
            !((named.AutoRun() || m_state.AutoRun()) && !m_state.ServerConnection().empty());
    }
    m_instance = std::make_unique<CSingleInstance>(Q(title));
    if (handsOver && !m_instance->Acquire(files)) {
        const KQStringId said = files.isEmpty() ? IDS_ALREADY_RUNNING : IDS_FILES_HANDED_OVER;
        std::fprintf(stderr, "%s\n", FormatKQString(said, title).c_str());
        std::fflush(stderr);
        SetExitCode(EXIT_QUILLON_OTHER_INSTANCE);
        return false;
    }
    m_instance->SetShowHandler([this](const QStringList& handed) {
        if (m_frame) m_frame->OpenFilesFromDesktop(handed);
    });

    // 3. Settings under the company and application names.
    QCoreApplication::setOrganizationName(Q(LoadKQString(IDS_REG_COMPANY)));
    QCoreApplication::setApplicationName(Q(title));

    // 4. The program's directory is the current directory: modules and data lie there.
    // Relative paths on the command line mean where the user stands, so that is kept first.
    m_state.SetStartDir(QDir::currentPath().toStdString());
    const QFileInfo exe(QStringLiteral("/proc/self/exe"));
    const QString programDir = QFileInfo(exe.canonicalFilePath()).absolutePath();
    m_state.SetProgramDir(programDir.toStdString());
    QDir::setCurrent(programDir);
    SetUpDataDirectory();

    // 5. Window placement.
    QRect screen(0, 0, 800, 600), client(0, 0, 800, 600);
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        screen = s->geometry();
        client = s->availableGeometry();
    }
    {
        auto settings = OpenSettings();
        const WindowPlacement p = LoadWindowPlacement(*settings, 5, screen.width(), screen.height(),
                                                      client.width(), client.height());
        m_state.SetShowState(p.showState);
        m_state.SetRect(p.rect[0], p.rect[1], p.rect[2], p.rect[3]);
    }

    // 6, 9. Automation on the session bus, when there is one.
    m_automation = std::make_unique<CAutomationServer>();
    m_automation->Register();

    // 7. Exchange files and databases open this program.
    EnsureClassRegistry(XdgPaths::FromEnvironment(), exe.canonicalFilePath());

    // 10. Browser.
    DiscoverBrowser();

    // 11. Options.
    m_state.ParseCommandLine(JoinCommandLine(arguments));

    // 12. The frame, the document and its view.
    m_frame = new CMainFrame(*this, m_state.Rect());
    m_doc = std::make_unique<CQuillo95Doc>(m_state, *m_frame);
    m_frame->AttachDocument(m_doc.get());
    // The window follows other users' changes to a team database; an unattended run does not.
    if (!m_state.AutoRun()) {
        m_changeWatch = std::make_unique<CQtReadableWatch>();
        m_doc->SetChangeWatch(m_changeWatch.get());
    }
    if (!OpenDocument()) {
        ExitInstance();
        return false;
    }
    m_frame->ShowInState(m_state.ShowState());
    if (CQuillo95View* view = m_frame->GetView()) view->OnInitialUpdate();

    // 13. Drops are accepted by the frame; idle work starts.
    StartIdle();
    return true;
}

void CQuillo95App::SetUpDataDirectory() {
    // An installed copy, or one that cannot write its own directory, keeps its files with
    // the user; the modules learn the place from the environment they are loaded into.
    const std::string dataDir = ChooseDataDirectory(m_state.ProgramDir());
    if (!dataDir.empty()) m_state.SetDataDir(dataDir);
    if (dataDir.empty() || m_state.DataDir() != m_state.ProgramDir()) {
        // The user's own folder must be private; a shared one is never used instead.
        if (!dataDir.empty()) MakeDataDirectory(dataDir);
        m_dataDirRefusal = DataDirectoryRefusal(dataDir);
        m_state.SetDataDirRefused(!m_dataDirRefusal.empty());
    }
    // Handed empty, it tells the modules that there is no folder for their scratch files.
    qputenv(kDataDirEnv, m_state.DataDirRefused() ? QByteArray("")
                                                  : QByteArray::fromStdString(m_state.DataDir()));
}

bool CQuillo95App::OpenDocument() {
    std::string conninfo = m_state.ServerConnection();
    // An interactive start goes back to the team database the user last chose in the menu.
    if (conninfo.empty() && !m_state.AutoRun())
        conninfo = OpenSettings()
                       ->value(Q(LoadKQString(IDS_REG_SETTINGS) + "/" +
                                 LoadKQString(IDS_REG_TEAM_DATABASE)))
                       .toString()
                       .toStdString();
    if (!conninfo.empty()) {
        std::string message;
        if (m_state.AutoRun()) {
            if (m_doc->OpenTeamDatabase(conninfo, message)) return true;
        } else {
            // The window's event loop runs while it connects, with a way out.
            TeamConnection connected =
                ConnectToTeamDatabase(m_frame, conninfo, CServerRecordStore::kConnectTimeoutMs);
            if (m_doc->OpenTeamDatabase(std::move(connected.connection), connected.error,
                                        connected.name, message))
                return true;
        }
        if (m_state.AutoRun()) {
            // Nothing is stored anywhere else: the caller hears of it and the run ends.
            std::fprintf(stderr, "%s\n", message.c_str());
            std::fflush(stderr);
            SetExitCode(EXIT_QUILLON_SERVER_FAILED);
            return false;
        }
        // The user hears of it, and of which database the program stands on instead.
        m_frame->MessageBox(FormatKQString(IDS_WARN_TEAM_LOCAL_INSTEAD, message),
                            LoadKQString(IDS_APP_TITLE), MsgIcon::Warning, MsgButtons::Ok);
    }
    OpenLocalDocument();
    return true;
}

void CQuillo95App::OpenLocalDocument() {
    if (m_state.DataDirRefused()) {
        // Nothing is read from the folder, and the document is never saved there.
        m_frame->LogLine(m_dataDirRefusal);
        if (m_state.AutoRun()) {
            std::fprintf(stderr, "%s\n", m_dataDirRefusal.c_str());
            std::fflush(stderr);
        } else {
            m_frame->MessageBox(m_dataDirRefusal, LoadKQString(IDS_APP_TITLE), MsgIcon::Warning,
                                MsgButtons::Ok);
        }
        m_doc->OnNewDocument();
        return;
    }
    if (m_doc->OnOpenDocument(m_state.DatabasePath())) return;
    // A busy file is still the database: it is read later, not replaced by the older one.
    if (m_doc->DatabaseUnread()) return m_doc->OnNewDocument();
    if (m_doc->OnOpenDocument(m_state.DataDir() + LoadKQString(IDS_OLD_DATABASE_FILE))) return;
    m_doc->OnNewDocument();
}

void CQuillo95App::ExitInstance() {
    if (m_idleTimer) m_idleTimer->stop();
    delete m_help.data();
    // The view saves its selection as it goes, so it goes before the document.
    delete m_frame.data();
    m_doc.reset();
    m_automation.reset();
    m_instance.reset();
}

void CQuillo95App::StartIdle() {
    if (!m_idleTimer) {
        m_idleTimer = new QTimer(this);
        connect(m_idleTimer, &QTimer::timeout, this,
                [this] { m_idleTimer->setInterval(OnIdle() ? 0 : kIdleInterval); });
    }
    m_idleTimer->start(kIdleInterval);
}

bool CQuillo95App::OnIdle() {
    // Idle work is for the main loop only: a dialog, a message box or any nested loop may
    // hold records that a save step would write and free.
    if (QApplication::activeModalWidget() || QApplication::activePopupWidget() ||
        QThread::currentThread()->loopLevel() > 1)
        return false;
    return m_doc && m_doc->IdleStep();
}

void CQuillo95App::DiscoverBrowser() {
    const BrowserCommand browser = ::DiscoverBrowser(XdgPaths::FromEnvironment());
    m_browserProgram = browser.program;
    m_browserArgs = browser.args;
    m_state.SetBrowserCommand(browser.command);
}

void CQuillo95App::OpenPageInBrowser(const std::string& page) {
    if (m_browserProgram.isEmpty()) return;
    BrowserCommand browser;
    browser.program = m_browserProgram;
    browser.args = m_browserArgs;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    LaunchBrowser(browser, Q(m_state.ProgramDir() + page));
    QTimer::singleShot(2000, this, [] { QApplication::restoreOverrideCursor(); });
}

std::string CQuillo95App::HelpFilePath() const {
    return m_state.ProgramDir() + "Quillon" + LoadKQString(IDS_HELP_FILE_EXT);
}

void CQuillo95App::ShowAnalyzerHelp(const std::string& baseName, int context) {
    const std::string help = HelpFilePath();
    const std::string dir = help.substr(0, help.rfind('/') + 1);
    const std::string file = dir + baseName + LoadKQString(IDS_HELP_FILE_EXT);
    if (!m_help) m_help = new CHelpWindow(m_frame);
    if (!m_help->ShowHelp(Q(file), context)) {
        KQMessageBox(m_frame, FormatKQString(IDS_ERR_HELP_FILE, file), LoadKQString(IDS_APP_TITLE),
                     MsgIcon::Error, MsgButtons::Ok);
        return;
    }
    m_help->show();
    m_help->raise();
}

void CQuillo95App::ShowHelpIndex() {
    const std::string help = HelpFilePath();
    if (!m_help) m_help = new CHelpWindow(m_frame);
    if (!m_help->ShowHelp(Q(help), 0)) {
        KQMessageBox(m_frame, FormatKQString(IDS_ERR_HELP_FILE, help), LoadKQString(IDS_APP_TITLE),
                     MsgIcon::Error, MsgButtons::Ok);
        return;
    }
    m_help->show();
    m_help->raise();
}
