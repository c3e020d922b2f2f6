// The application object: start-up, settings, the services the windows call (browser,
// help, idle), and the end of the program.
#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <memory>
#include <string>

#include "app/FrameHost.h"
#include "document/AppState.h"
#include "platform/QtSocketWatch.h"

class QSettings;
class QTimer;
class CQuillo95Doc;
class CMainFrame;
class CSingleInstance;
class CAutomationServer;
class CHelpWindow;

// Window placement as read from the settings (show state, rectangle).
struct WindowPlacement {
    int showState = 3;
    int rect[4] = {0, 0, 0, 0};
};

class CQuillo95App : public QObject, public IFrameHost {
    Q_OBJECT
public:
    CQuillo95App();
    ~CQuillo95App() override;
    static CQuillo95App* Instance();

    // Start-up in order; false means end at once with ExitCode().
    bool InitInstance(const QStringList& arguments);
    // Ends the document (after the frame saved it) and the services.
    void ExitInstance();

    CAppState& State() override { return m_state; }
    CQuillo95Doc* Document() const { return m_doc.get(); }
    CMainFrame* MainFrame() const;

    int ExitCode() const override { return m_exitCode; }
    // Keeps the first failure: a later success never overwrites it.
    void SetExitCode(int code) override;

    // ---- settings ----
    // The five "Settings" values against the screen (size and full-screen client size).
    static WindowPlacement LoadWindowPlacement(QSettings& settings, int startShowState,
                                               int screenWidth, int screenHeight, int clientWidth,
                                               int clientHeight);
    static void SaveWindowPlacement(QSettings& settings, int showState, const int rect[4]);
    void SaveWindowPlacement(int showState, const int rect[4]) override;
    // The per-user application settings (organisation string 34, application string 57344).
    static std::unique_ptr<QSettings> OpenSettings();
    std::unique_ptr<QSettings> UserSettings() const override;

    // argv after the program name joined into one command line, quoted where the option
    // scanner would otherwise split or misread an argument.
    static std::string JoinCommandLine(const QStringList& arguments);

    // ---- services ----
    void OpenPageInBrowser(const std::string& page) override;
    void ShowAnalyzerHelp(const std::string& baseName, int context) override;
    void ShowHelpIndex() override;  // ID_HELP_INDEX, the program's own help
    std::string HelpFilePath() const;

    // One idle pass: the document's idle step; true when more idle time is wanted.
    bool OnIdle();

private:
    void StartIdle();
    void DiscoverBrowser();
    // False: an unattended run cannot use the team database it was given, and ends.
    bool OpenDocument();
    void OpenLocalDocument();
    void SetUpDataDirectory();

    CAppState m_state;
    // Before the document, which stops it as it goes.
    std::unique_ptr<CQtReadableWatch> m_changeWatch;
    std::unique_ptr<CQuillo95Doc> m_doc;
    QPointer<CMainFrame> m_frame;
    std::unique_ptr<CSingleInstance> m_instance;
    std::unique_ptr<CAutomationServer> m_automation;
    QPointer<CHelpWindow> m_help;
    QTimer* m_idleTimer = nullptr;
    QString m_browserProgram;
    QStringList m_browserArgs;
    int m_exitCode = EXIT_QUILLON_OK;
    std::string m_dataDirRefusal;  // why the data directory is not used (empty when it is)
};
