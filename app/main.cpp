// The program: picks the offscreen platform when there is no display, turns SIGTERM and
// SIGINT into a close of the main window, and runs the application object.
#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <sys/socket.h>
#include <unistd.h>

#include "app/MainFrame.h"
#include "app/Quillo95App.h"
#include "document/AppState.h"
#include "document/InfoOptions.h"
#include "platform/SingleInstance.h"
#include "server/ServerOptions.h"
#include "server/ServerSchema.h"

namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char c = 1;
    // Only async-signal-safe work here: the event loop does the rest.
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

QtMessageHandler g_defaultHandler = nullptr;

// The offscreen platform says so for every raise or size hint; that is no news to a user of
// an unattended run and would hide the messages that matter on standard error.
void FilterPlatformNoise(QtMsgType type, const QMessageLogContext& context,
                         const QString& message) {
    if (type == QtWarningMsg && message.startsWith(QLatin1String("This plugin does not support")))
        return;
    if (g_defaultHandler) g_defaultHandler(type, context, message);
}

void InstallSignalHandlers() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) return;
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    // The team database's options leave the command line before anything scans it: the
    // option scanner would read each "-" of a URI as an option.
    std::vector<std::string> arguments(argv + 1, argv + argc);
    const ServerOptions server = TakeServerOptions(arguments);
    if (!server.error.empty()) {
        std::fprintf(stderr, "%s\n", server.error.c_str());
        return EXIT_QUILLON_SERVER_FAILED;
    }
    if (const std::string warning = PasswordWarning(server.conninfo); !warning.empty())
        std::fprintf(stderr, "%s\n", warning.c_str());
    if (server.initServer) {
        std::string message;
        const bool made = InitServer(server.conninfo, message);
        std::fprintf(made ? stdout : stderr, "%s\n", message.c_str());
        return made ? EXIT_QUILLON_OK : EXIT_QUILLON_SERVER_FAILED;
    }
    // "-A:-" too: the scanner would take its "-" for an option and "-A:" for a nameless run.
    const bool toStdout = CAppState::TakeStandardOutputOption(arguments);
    std::vector<char*> kept{argv[0]};
    for (std::string& a : arguments) kept.push_back(a.data());
    kept.push_back(nullptr);
    int keptCount = static_cast<int>(kept.size()) - 1;

    // "--help" and "--version" answer before any window, platform or other instance is met.
    if (const std::string info = InfoOptionText(arguments); !info.empty()) {
        std::fputs(info.c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }

    // No display and no platform asked for: run without one rather than fail.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    // Before anything asks Qt for the run-time directory (the single-instance socket).
    EnsureRuntimeDirectory();

    if (qgetenv("QT_QPA_PLATFORM") == "offscreen")
        g_defaultHandler = qInstallMessageHandler(FilterPlatformNoise);
    InstallSignalHandlers();
    QApplication qapp(keptCount, kept.data());
    // The main window ends the program; tool windows (log, help) do not keep it alive.
    qapp.setQuitOnLastWindowClosed(false);

    CQuillo95App app;
    if (server.server) app.State().SetServerConnection(server.conninfo);
    if (toStdout) app.State().SetAutoRunToStandardOutput();
    bool quitRequested = false;
    QSocketNotifier* notifier = nullptr;
    if (g_signalPipe[0] >= 0) {
        notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &qapp);
        QObject::connect(notifier, &QSocketNotifier::activated, &qapp, [&] {
            char buf[16];
            [[maybe_unused]] ssize_t n = ::read(g_signalPipe[0], buf, sizeof buf);
            // As the user would close it: during a run that cancels, and the close follows.
            if (CMainFrame* frame = app.MainFrame())
                frame->RequestClose();
            else
                quitRequested = true;
        });
    }

    if (!app.InitInstance(qapp.arguments())) return app.ExitCode();
    if (quitRequested && app.MainFrame()) app.MainFrame()->RequestClose();
    const int loop = qapp.exec();
    app.ExitInstance();
    return app.ExitCode() != 0 ? app.ExitCode() : loop;
}
