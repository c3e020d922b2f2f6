// Single-instance guard, the message boxes and file dialogs of the offscreen platform, and the
// socket watch of the event loop.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QTextBrowser>
#include <QTimer>
#include <cstdio>
#include <gtest/gtest.h>
#include <vector>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/FileDialogs.h"
#include "platform/HelpWindow.h"
#include "platform/MessageBoxes.h"
#include "platform/QtSocketWatch.h"
#include "platform/SingleInstance.h"
#include "resources/Strings.h"
#include "server/PgConnection.h"
#include "tests/shell/ShellEnv.h"
#include "tests/shell/SilentServer.h"
#include "tests/support/TestServerDatabase.h"

TEST(SingleInstance, SocketLivesInTheRuntimeDirectoryAndNamesTheUser) {
    const QString path = CSingleInstance::SocketPathFor("Quillon 97");
    EXPECT_TRUE(
        path.startsWith(QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR")) + "/Quillon 97-"))
        << path.toStdString();
}

TEST(SingleInstance, SecondStartHandsItsFilesToTheFirstAndDoesNotServe) {
    CSingleInstance first("Guard A");
    ASSERT_TRUE(first.Acquire());
    EXPECT_TRUE(QFile::exists(first.SocketPath()));
    std::vector<QStringList> shown;
    first.SetShowHandler([&](const QStringList& files) { shown.push_back(files); });
    auto waitFor = [&](size_t n) {
        QElapsedTimer t;
        t.start();
        while (shown.size() < n && t.elapsed() < 3000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    };

    {
        CSingleInstance second("Guard A");
        EXPECT_FALSE(second.Acquire());
    }
    waitFor(1);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].isEmpty());

    // Any name a file can have arrives whole and in order: blanks, a line break, "%", UTF-8.
    const QStringList files = {"/tmp/my results/a b.kqx", "/tmp/line\nbreak.kqx",
                               "/tmp/100%-ok.kqx",
                               QString::fromUtf8("/tmp/Gr\xc3\xbc\xc3\x9f"
                                                 "e.kqx")};
    {
        CSingleInstance third("Guard A");
        EXPECT_FALSE(third.Acquire(files));
    }
    waitFor(2);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1], files);
    // An older start says only "show"; so does the request without files.
    EXPECT_EQ(CSingleInstance::Request({}), "show\n");

    // Another title is another program.
    CSingleInstance other("Guard B");
    EXPECT_TRUE(other.Acquire());
}

TEST(SingleInstance, StaleSocketOfACrashedInstanceIsReplaced) {
    const QString path = CSingleInstance::SocketPathFor("Guard Stale");
    // A socket file nobody listens on, as a crash leaves it.
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray p = QFile::encodeName(path);
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", p.constData());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
    ASSERT_TRUE(QFile::exists(path));

    CSingleInstance guard("Guard Stale");
    EXPECT_TRUE(guard.Acquire());
    CSingleInstance again("Guard Stale");
    EXPECT_FALSE(again.Acquire());
}

TEST(SingleInstance, ReleasedGuardLetsTheNextStartServe) {
    {
        CSingleInstance first("Guard C");
        ASSERT_TRUE(first.Acquire());
    }
    CSingleInstance next("Guard C");
    EXPECT_TRUE(next.Acquire());
}

TEST(SingleInstance, MissingRuntimeDirectoryIsMadePrivateOnlyWhereItIsSafe) {
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR"), savedTmp = qgetenv("TMPDIR");
    const QString tmp = MakeScratch("runtime-tmp");
    qputenv("TMPDIR", QFile::encodeName(tmp));
    const QString expected = tmp + "/runtime-" + qEnvironmentVariable("USER", "root");
    struct stat st {};

    // None yet: made 0700 and named in the environment.
    qunsetenv("XDG_RUNTIME_DIR");
    EnsureRuntimeDirectory();
    EXPECT_EQ(qEnvironmentVariable("XDG_RUNTIME_DIR"), expected);
    ASSERT_EQ(::stat(QFile::encodeName(expected).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);

    // One of ours that others could read is mended.
    ::chmod(QFile::encodeName(expected).constData(), 0755);
    qunsetenv("XDG_RUNTIME_DIR");
    EnsureRuntimeDirectory();
    EXPECT_EQ(qEnvironmentVariable("XDG_RUNTIME_DIR"), expected);
    ASSERT_EQ(::stat(QFile::encodeName(expected).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);

    // A link planted there is not followed, and a variable already set is kept.
    QDir(expected).removeRecursively();
    QDir().mkpath(tmp + "/elsewhere");
    ASSERT_TRUE(QFile::link(tmp + "/elsewhere", expected));
    qunsetenv("XDG_RUNTIME_DIR");
    EnsureRuntimeDirectory();
    EXPECT_TRUE(qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"));
    qputenv("XDG_RUNTIME_DIR", "/somewhere/else");
    EnsureRuntimeDirectory();
    EXPECT_EQ(qgetenv("XDG_RUNTIME_DIR"), "/somewhere/else");

    qputenv("XDG_RUNTIME_DIR", savedRuntime);
    qputenv("TMPDIR", savedTmp);
}

TEST(OffscreenDialogs, MessageBoxWritesOneLineToStandardErrorAndAnswersTheDefault) {
    ASSERT_TRUE(IsOffscreenPlatform());
    EXPECT_EQ(MessageBoxLine("two\nlines", "/tmp/a.kqx"), "/tmp/a.kqx: two lines");
    EXPECT_EQ(MessageBoxLine("text", ""), "text");

    testing::internal::CaptureStderr();
    const int ok =
        KQMessageBox(nullptr, "Error 1004: Exchange file is missing identifier at line 3.",
                     "/tmp/x.kqx", MsgIcon::Error, MsgButtons::Ok);
    const int yes =
        KQMessageBox(nullptr, "Delete?", "Quillon 97", MsgIcon::Question, MsgButtons::YesNo);
    const int okCancel =
        KQMessageBox(nullptr, "Go on?", "Quillon 97", MsgIcon::Question, MsgButtons::OkCancel);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(ok, IDOK);
    EXPECT_EQ(yes, IDYES);
    EXPECT_EQ(okCancel, IDOK);
    EXPECT_NE(err.find("/tmp/x.kqx: Error 1004: Exchange file is missing identifier at line 3.\n"),
              std::string::npos);
    EXPECT_NE(err.find("Quillon 97: Delete?\n"), std::string::npos);
}

TEST(OffscreenDialogs, FileDialogsAnswerCancelled) {
    FileDialogRequest request{"Select One or More Files to Import", "kqx",
                              "KQ Exch Files (*.kqx)|*.kqx||", true};
    unsigned error = 77;
    EXPECT_TRUE(KQOpenFileDialog(nullptr, request, error).empty());
    EXPECT_EQ(error, 0u);  // a plain cancel
    EXPECT_FALSE(KQSaveFileDialog(nullptr, request).has_value());
}

TEST(OffscreenDialogs, SaveDialogOffersTheNameInDocumentsOrTheLastDirectoryUsed) {
    FileDialogRequest request{"Export to", "kqx", "KQ Exch Files (*.kqx)|*.kqx||", false,
                              "BOX.kqx"};
    const QString home = QDir::homePath();
    QDir(home + "/Documents").removeRecursively();
    // No documents directory: the home directory.
    EXPECT_EQ(FileDialogDirectory(), home);
    EXPECT_EQ(SuggestedSavePath(request), home + "/BOX.kqx");
    QDir().mkpath(home + "/Documents");
    EXPECT_EQ(SuggestedSavePath(request), home + "/Documents/BOX.kqx");
    request.suggestedName.clear();
    EXPECT_EQ(SuggestedSavePath(request), home + "/Documents");

    // The directory of the last file chosen wins while it exists.
    const QString used = MakeScratch("exports");
    RememberFileDialogDirectory(used + "/old.kqx");
    request.suggestedName = "BOX.kqx";
    EXPECT_EQ(SuggestedSavePath(request), used + "/BOX.kqx");
    QDir(used).removeRecursively();
    EXPECT_EQ(SuggestedSavePath(request), home + "/Documents/BOX.kqx");
    RememberFileDialogDirectory(QString());  // a cancelled dialog changes nothing
    EXPECT_EQ(FileDialogDirectory(), home + "/Documents");
}

TEST(OffscreenDialogs, FilterConversion) {
    EXPECT_EQ(QtFilterFromKQ("KQ Exch Files (*.kqx)|*.kqx||"), "KQ Exch Files (*.kqx)");
    EXPECT_EQ(QtFilterFromKQ("Text|*.txt;*.log|All (*.*)|*.*||"), "Text (*.txt *.log);;All (*.*)");
    EXPECT_EQ(QtFilterFromKQ(""), "");
}

TEST(HelpWindow, OpensHtmlHelpFilesAtTheirContextAnchor) {
    const QString dir = MakeScratch("help");
    QByteArray html =
        "<html><head><title>Ten Help</title></head><body><a name=\"0\"></a><h1>Top</h1>";
    for (int i = 0; i < 200; ++i) html += "<p>filler line</p>";
    html += "<a name=\"1234\"></a><h2>Context 1234</h2>";
    for (int i = 0; i < 200; ++i) html += "<p>more filler</p>";
    html += "</body></html>";
    WriteText(dir + "/Ten.HLP", html);

    CHelpWindow help;
    help.resize(400, 300);
    help.show();
    ASSERT_TRUE(help.ShowHelp(dir + "/Ten.HLP", 0));
    EXPECT_EQ(help.windowTitle(), "Ten Help");
    EXPECT_TRUE(help.Browser()->toPlainText().contains("Context 1234"));
    EXPECT_EQ(help.Browser()->verticalScrollBar()->value(), 0);
    ASSERT_TRUE(help.ShowHelp(dir + "/Ten.HLP", 1234));
    EXPECT_EQ(help.CurrentContext(), 1234);
    EXPECT_GT(help.Browser()->verticalScrollBar()->value(), 0);
    EXPECT_FALSE(help.ShowHelp(dir + "/Missing.HLP", 0));
    EXPECT_EQ(help.CurrentFile(), dir + "/Ten.HLP");
}

// Connecting through the window's event loop: the loop goes on while the server is silent,
// and Cancel or the time limit end the attempt with a message; a real server is reached.
namespace {
struct Attempt {
    bool done = false;
    CPgConnection connection;
    std::string error;
    int ticks = 0;  // of a timer running beside the attempt
};

void ConnectThroughTheLoop(const std::string& conninfo, CQtSocketWatch& watch, Attempt& out,
                           int cancelAfterMs = -1) {
    CPgConnector connector;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++out.ticks; });
    tick.start(10);
    if (cancelAfterMs >= 0) QTimer::singleShot(cancelAfterMs, [&] { watch.Cancel(); });
    QElapsedTimer t;
    t.start();
    connector.Start(conninfo, watch, [&](CPgConnection c, std::string why) {
        out.connection = std::move(c);
        out.error = std::move(why);
        out.done = true;
    });
    while (!out.done && t.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}
}  // namespace

TEST(QtSocketWatch, SilentServerLetsTheLoopRunUntilCancelOrTimeOut) {
    CSilentServer server;
    ASSERT_TRUE(server.Listening());
    {
        CQtSocketWatch watch(15000);
        Attempt a;
        QElapsedTimer t;
        t.start();
        ConnectThroughTheLoop(server.Conninfo(), watch, a, 300);
        ASSERT_TRUE(a.done);
        EXPECT_LT(t.elapsed(), 5000);
        EXPECT_FALSE(a.connection.IsOpen());
        EXPECT_NE(a.error.find(LoadKQString(IDS_TEAM_CONNECT_CANCELLED)), std::string::npos)
            << a.error;
        // The connect never held the loop: the timer beside it kept ticking.
        EXPECT_GE(a.ticks, 10);
        EXPECT_FALSE(watch.Waiting());
    }
    {
        CQtSocketWatch watch(300);
        Attempt a;
        ConnectThroughTheLoop(server.Conninfo(), watch, a);
        ASSERT_TRUE(a.done);
        EXPECT_FALSE(a.connection.IsOpen());
        EXPECT_NE(a.error.find("did not answer in time"), std::string::npos) << a.error;
        EXPECT_GE(a.ticks, 10);
    }
}

TEST(QtSocketWatch, CallsOnceAndNeverAfterItIsGone) {
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    int calls = 0;
    static QStringList warnings;
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { warnings << text; });
    {
        CQtSocketWatch watch(10000);
        // The callback closes the socket, as libpq does when an attempt fails.
        const int watched = ::dup(fds[0]);
        watch.Watch(watched, ISocketWatch::Wait::Readable, [&](ISocketWatch::Outcome o) {
            EXPECT_EQ(o, ISocketWatch::Outcome::Ready);
            ++calls;
            ::close(watched);
        });
        ASSERT_EQ(::write(fds[1], "x", 1), 1);
        for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        // Still readable, but the call was made once, and the closed socket left alone.
        EXPECT_EQ(calls, 1);
        EXPECT_TRUE(warnings.isEmpty()) << warnings.join('\n').toStdString();
        watch.Watch(fds[0], ISocketWatch::Wait::Readable, [&](ISocketWatch::Outcome) { ++calls; });
        watch.Cancel();
        watch.Cancel();
        EXPECT_EQ(calls, 2);
        watch.Watch(fds[0], ISocketWatch::Wait::Readable, [&](ISocketWatch::Outcome) { ++calls; });
    }
    // Gone while waiting on a readable socket: nothing is called.
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(calls, 2);
    qInstallMessageHandler(previous);
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(QtSocketWatch, ReachesTheTestServer) {
    CTestServerDatabase db(false);
    ASSERT_TRUE(db.Made());
    CQtSocketWatch watch(15000);
    Attempt a;
    ConnectThroughTheLoop(db.Conninfo(), watch, a);
    ASSERT_TRUE(a.done);
    ASSERT_TRUE(a.connection.IsUp()) << a.error;
    EXPECT_TRUE(a.connection.Exec("SELECT 1").Ok());
}
