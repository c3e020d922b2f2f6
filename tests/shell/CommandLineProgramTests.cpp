// The built program as a user starts it: --help and --version, relative paths against the
// directory it was started from, a program directory it cannot write, and making the team
// database's tables.
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <csignal>
#include <sys/stat.h>
#include <gtest/gtest.h>

#include "server/ServerSchema.h"
#include "tests/shell/ShellEnv.h"
#include "tests/support/JsonSchemaCheck.h"
#include "tests/support/TestServerDatabase.h"

namespace {

// A copy of the program with libkqutil.so and modules, a home of its own, no display and no
// session bus; started from `start`, a directory apart from the program's.
struct Installation {
    QString root, dir, start, home, program;
    QProcessEnvironment env;

    Installation(const QString& name, const QStringList& testModules,
                 const QStringList& shippedModules = {}) {
        root = MakeScratch("cmdline-" + name);
        dir = root + "/program dir";
        start = root + "/where I stand";
        home = root + "/home";
        for (const QString& d : {dir, start, home + "/config", home + "/data", home + "/tmp"})
            QDir().mkpath(d);
        QDir().mkpath(home + "/run");
        QFile::setPermissions(home + "/run",
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        program = dir + "/quillon";
        EXPECT_TRUE(QFile::copy(QUILLON_PROGRAM, program));
        QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeOwner);
        EXPECT_TRUE(QFile::copy(QUILLON_KQUTIL, dir + "/" + QFileInfo(QUILLON_KQUTIL).fileName()));
        for (const QString& m : testModules)
            EXPECT_TRUE(QFile::copy(QStringLiteral(QUILLON_TESTMODULE_DIR "/") + m + ".kqa",
                                    dir + "/" + m + ".kqa"));
        for (const QString& m : shippedModules)
            EXPECT_TRUE(QFile::copy(QFileInfo(QUILLON_PROGRAM).absolutePath() + "/" + m + ".kqa",
                                    dir + "/" + m + ".kqa"));
        env = QProcessEnvironment::systemEnvironment();
        for (const char* var : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM",
                                "DBUS_SESSION_BUS_ADDRESS", "QUILLON_DATA_DIR"})
            env.remove(var);
        env.insert("HOME", home);
        env.insert("XDG_CONFIG_HOME", home + "/config");
        env.insert("XDG_DATA_HOME", home + "/data");
        env.insert("XDG_RUNTIME_DIR", home + "/run");
        env.insert("TMPDIR", home + "/tmp");
    }
    QString UserData() const { return home + "/data/Quillon97"; }

    struct Result {
        int exitCode = -1;
        bool crashed = true;
        qint64 ms = 0;
        QByteArray out, err;
    };
    std::unique_ptr<QProcess> Start(const QString& exe, const QStringList& args) const {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(env);
        p->setWorkingDirectory(start);
        p->start(exe, args);
        EXPECT_TRUE(p->waitForStarted(5000));
        return p;
    }
    static Result Finish(QProcess& p, int timeoutMs = 60000) {
        QElapsedTimer t;
        t.start();
        Result r;
        if (!p.waitForFinished(timeoutMs)) {
            p.kill();
            p.waitForFinished(2000);
            ADD_FAILURE() << "program did not end in time";
        }
        r.ms = t.elapsed();
        r.exitCode = p.exitCode();
        r.crashed = p.exitStatus() != QProcess::NormalExit;
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        return r;
    }
    Result Run(const QStringList& args, int timeoutMs = 60000) const {
        auto p = Start(program, args);
        return Finish(*p, timeoutMs);
    }
};

bool WaitFor(const QString& file, const QByteArray& text, int timeoutMs = 15000) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        if (ReadText(file).contains(text)) return true;
        QThread::msleep(50);
    }
    return false;
}

}  // namespace

TEST(CommandLine, HelpAndVersionPrintAndEndEvenWhileAnotherInstanceRuns) {
    Installation p("info", {"Ten"});
    auto first = p.Start(p.program, {"-P", "-L"});
    ASSERT_TRUE(WaitFor(p.dir + "/KQlog.txt", "Ten"));

    auto r = p.Run({"--version"}, 10000);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "Quillon 97 Version 1.0 Build 43 March 25, 1997\n");
    EXPECT_EQ(r.err, "");
    r = p.Run({"-P", "--help"}, 10000);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.startsWith("Usage: quillon [-A[:file]] [-D] [-L] [-P] [file.kqx ...]\n"))
        << r.out.constData();
    EXPECT_TRUE(r.out.contains("import each exchange file named, in order")) << r.out.constData();
    EXPECT_TRUE(r.out.contains("  -L ")) << r.out.constData();
    EXPECT_EQ(r.err, "");
    // Any other word is the option scanner's: "--Help" starts the program, which meets the
    // running one and ends with its own status.
    r = p.Run({"--Help"}, 15000);
    EXPECT_EQ(r.exitCode, 3) << r.err.constData();
    EXPECT_EQ(first->state(), QProcess::Running);

    ::kill(static_cast<pid_t>(first->processId()), SIGTERM);
    EXPECT_FALSE(Installation::Finish(*first, 15000).crashed);
}

TEST(CommandLine, RelativePathsMeanTheStartingDirectory) {
    Installation p("relative", {"Ten"});
    // A relative export file and a relative directory in it.
    QDir().mkpath(p.start + "/sub");
    auto r = p.Run({"-A:sub/out.kqx", "-P"});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(ReadText(p.start + "/sub/out.kqx").startsWith("{Quillon 95 Exchange File}"));
    EXPECT_FALSE(QFile::exists(p.dir + "/sub/out.kqx"));
    EXPECT_EQ(r.out, ("Results exported to " + p.start + "/sub/out.kqx\n").toUtf8());

    // Option A alone: the identifier + ".kqx" in the starting directory.
    r = p.Run({"-A", "-P"});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(QFileInfo(p.start + "/BOX-10.kqx").isFile())
        << QDir(p.start).entryList().join(",").toStdString();
    EXPECT_FALSE(QFile::exists(p.dir + "/BOX-10.kqx"));
    EXPECT_EQ(r.out, ("Results exported to " + p.start + "/BOX-10.kqx\n").toUtf8());

    // A relative exchange file to import is found where the user stands.
    WriteText(p.start + "/other machine.kqx",
              "{Quillon 95 Exchange File}\r\n{Version 1.0 Build 43 March 25, 1997}\r\n"
              "[OTHER-BOX]\r\nSysName=OTHER-BOX-7\r\n.[Item]\r\nSpeed=42;#0x5\r\n");
    auto proc = p.Start(p.program, {"-P", "-L", "other machine.kqx"});
    ASSERT_TRUE(WaitFor(p.dir + "/KQlog.txt", "Added OTHER-BOX-7"))
        << ReadText(p.dir + "/KQlog.txt").constData();
    EXPECT_TRUE(ReadText(p.dir + "/KQlog.txt")
                    .contains(("Importing file " + p.start + "/other machine.kqx").toUtf8()));
    ::kill(static_cast<pid_t>(proc->processId()), SIGTERM);
    r = Installation::Finish(*proc, 15000);
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    // A writable build tree keeps its files beside the program, as before.
    EXPECT_TRUE(QFileInfo(p.dir + "/Quillo97.kqd").isFile());
    EXPECT_FALSE(QFileInfo::exists(p.UserData()));
}

// The program directory is made really read-only with a read-only bind mount in a private
// mount namespace: as root, permission bits alone would not stop a write.
TEST(CommandLine, ReadOnlyProgramDirectoryKeepsItsFilesInTheUserDataDirectory) {
    const QString unshare = QStandardPaths::findExecutable("unshare");
    if (unshare.isEmpty()) GTEST_SKIP() << "no unshare";
    Installation p("readonly", {"Ten"}, {"Disk"});
    p.env.insert("QUILLON_BENCH_SCALE", "0.02");
    QProcess probe;
    probe.start(unshare,
                {"-m", "sh", "-c",
                 "mount --bind \"$0\" \"$0\" && mount -o remount,ro,bind \"$0\" \"$0\"", p.dir});
    probe.waitForFinished(10000);
    if (probe.exitCode() != 0)
        GTEST_SKIP() << "no private read-only mount here: " << probe.readAllStandardError().data();

    auto proc = p.Start(unshare, {"-m", "sh", "-c",
                                  "mount --bind \"$0\" \"$0\" && mount -o remount,ro,bind \"$0\" "
                                  "\"$0\" && exec \"$0/quillon\" -L -A:out.kqx -P",
                                  p.dir});
    const auto r = Installation::Finish(*proc, 90000);
    EXPECT_FALSE(r.crashed);
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    // Database and log in the user's data directory, which was made; the log says so.
    EXPECT_TRUE(QFileInfo(p.UserData() + "/Quillo97.kqd").isFile());
    const QByteArray log = ReadText(p.UserData() + "/KQlog.txt");
    EXPECT_TRUE(log.contains(
        ("Database, log file and scratch files are kept in " + p.UserData() + "/\n").toUtf8()))
        << log.constData();
    EXPECT_TRUE(QFileInfo(p.UserData()).permissions().testFlag(QFile::WriteOwner));
    // The disk test wrote its scratch file there and measured that file system.
    EXPECT_TRUE(log.contains("Disk test in ~/data/Quillon97")) << log.constData();
    const QByteArray kqx = ReadText(p.start + "/out.kqx");
    EXPECT_TRUE(kqx.contains("Test Directory=~/data/Quillon97")) << kqx.left(3000).constData();
    EXPECT_TRUE(QDir(p.UserData()).entryList({"*.tmp"}, QDir::Hidden | QDir::Files).isEmpty());
    // Nothing was written beside the program.
    EXPECT_EQ(QDir(p.dir).entryList(QDir::Files | QDir::Hidden).size(), 4)
        << QDir(p.dir).entryList(QDir::Files | QDir::Hidden).join(",").toStdString();
}

// A data directory others can write is not used, and none is taken in its place: the run
// goes on with an empty database that is never saved, and ends with status 4.
TEST(CommandLine, ADataDirectoryOthersCanWriteIsRefused) {
    Installation p("shareddata", {"Ten"}, {"Disk"});
    p.env.insert("QUILLON_BENCH_SCALE", "0.02");
    ASSERT_TRUE(WriteText(p.dir + "/Quillon97.installed", "installed\n"));
    ASSERT_TRUE(QDir().mkpath(p.UserData()));
    ASSERT_EQ(::chmod(QFile::encodeName(p.UserData()).constData(), 0777), 0);
    // What another user left there is not read.
    ASSERT_TRUE(WriteText(p.UserData() + "/Quillo97.kqd", "planted"));

    auto r = p.Run({"-L", "-A:out.kqx", "-P"}, 90000);
    EXPECT_FALSE(r.crashed);
    EXPECT_EQ(r.exitCode, 4) << r.err.constData();
    const QByteArray refused = "Error 1024: The data folder " + p.UserData().toUtf8() +
                               " is not used: other users can write to it.";
    EXPECT_TRUE(r.err.contains(refused)) << r.err.constData();
    // The results still reach the export file; nothing reaches the folder.
    EXPECT_TRUE(ReadText(p.start + "/out.kqx").startsWith("{Quillon 95 Exchange File}"));
    EXPECT_EQ(QDir(p.UserData()).entryList(QDir::Files | QDir::Hidden | QDir::System),
              QStringList({"Quillo97.kqd"}));
    EXPECT_EQ(ReadText(p.UserData() + "/Quillo97.kqd"), "planted");
    // The disk test found no private folder for its file.
    const QByteArray kqx = ReadText(p.start + "/out.kqx");
    EXPECT_TRUE(kqx.contains("no private folder for the test file")) << kqx.left(3000).constData();
    EXPECT_EQ(QDir(p.dir).entryList(QDir::Files | QDir::Hidden).size(), 5);

    // Made private, the same folder is used.
    ASSERT_EQ(::chmod(QFile::encodeName(p.UserData()).constData(), 0700), 0);
    QFile::remove(p.UserData() + "/Quillo97.kqd");
    r = p.Run({"-A:out.kqx", "-P"}, 90000);
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(QFileInfo(p.UserData() + "/Quillo97.kqd").isFile());
}

// "-A:-" as a whole argument: the results as JSON on standard output and nothing else there,
// valid against the shipped schema; the result line on standard error. "-A:FILE.json" writes
// the same format to a file.
TEST(CommandLine, AutoRunWritesJsonToStandardOutputOrToAJsonFile) {
    Installation p("json", {"Ten"});
    auto r = p.Run({"-P", "-A:-"});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    ASSERT_TRUE(r.out.startsWith("{\"format\":\"quillon-results\",\"version\":1,"))
        << r.out.left(300).constData();
    EXPECT_TRUE(r.out.endsWith("]}\n"));
    EXPECT_TRUE(r.out.contains("\"current\":true")) << r.out.left(2000).constData();
    // The record is the first analyzer's branch; its tips carry that analyzer's texts.
    EXPECT_TRUE(r.out.contains("{\"path\":[],\"analyzer\":\"Ten\","))
        << r.out.left(2000).constData();
    EXPECT_TRUE(
        r.out.contains("{\"priority\":80,\"textId\":10001,\"text\":\"Ten tip 10001 10101\"}"));
    EXPECT_TRUE(r.err.contains("Results exported to standard output")) << r.err.constData();
    WriteText(p.root + "/stdout.json", r.out);
    EXPECT_EQ(ValidateResultsJson((p.root + "/stdout.json").toStdString()), "valid");
    // Nothing was written as "-.kqx" or under the identifier.
    EXPECT_TRUE(QDir(p.start).entryList(QDir::Files | QDir::Hidden).isEmpty());

    r = p.Run({"-P", "-A:out.json"});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(r.out, ("Results exported to " + p.start + "/out.json\n").toUtf8());
    EXPECT_TRUE(ReadText(p.start + "/out.json").startsWith("{\"format\":\"quillon-results\""));
    EXPECT_EQ(ValidateResultsJson((p.start + "/out.json").toStdString()), "valid");
}

TEST(CommandLine, InitServerMakesTheTeamDatabaseAndSaysWhyWhenItCannot) {
    Installation p("init-server", {});
    CTestServerDatabase db(false);
    ASSERT_TRUE(db.Made());
    // A URI full of dashes: none of them may reach the option scanner.
    const std::string admin = std::getenv("QUILLON_TEST_PG");
    const QString uri = QString::fromStdString(admin.substr(0, admin.rfind('/') + 1) + db.Name() +
                                               "?application_name=quillon-init-P");
    auto r = p.Run({"--server", uri, "--init-server"}, 30000);
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(r.out.contains("is ready (schema version")) << r.out.constData();
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(CheckServerSchema(db.Admin()).state, SchemaState::Current);

    // A password on the command line is warned about; a wrong one is said, never shown.
    r = p.Run({"--init-server", "--server",
               QString::fromStdString(db.Conninfo("quillon_password", "wrong-horse-battery"))},
              30000);
    EXPECT_EQ(r.exitCode, 5);
    EXPECT_TRUE(r.err.contains("Warning 1034")) << r.err.constData();
    EXPECT_TRUE(r.err.contains("Error 1035")) << r.err.constData();
    EXPECT_TRUE(r.err.contains("password authentication failed")) << r.err.constData();
    EXPECT_FALSE(r.err.contains("wrong-horse-battery")) << r.err.constData();
    EXPECT_FALSE(QFile::exists(p.dir + "/Quillo97.kqd"));
}

// An unattended run with --server stores this machine's own row and a snapshot beside it into
// the team database, and nothing on this computer; a second run adds a snapshot and updates
// the same row. A server that cannot be reached is said on standard error, with status 5.
TEST(CommandLine, AnUnattendedRunStoresIntoTheTeamDatabaseAndNothingLocally) {
    Installation p("autorun-server", {"Ten"});
    CTestServerDatabase db;
    ASSERT_TRUE(db.Made());
    const QString conninfo = QString::fromStdString(db.Conninfo());
    int64_t ownVersion = 0;
    for (int run = 1; run <= 2; ++run) {
        auto r = p.Run({"-A", "--server", conninfo, "-P"}, 90000);
        EXPECT_EQ(r.exitCode, 0) << r.err.constData();
        EXPECT_TRUE(r.out.contains("Results stored in the team database")) << r.out.constData();
        const CPgResult rows = db.Admin().Exec("SELECT sysid, version FROM records ORDER BY ord");
        ASSERT_TRUE(rows.Ok()) << rows.Message();
        ASSERT_EQ(rows.Rows(), 1 + run);
        EXPECT_EQ(rows.Bytes(0, 0), "BOX-10");
        for (int i = 1; i < rows.Rows(); ++i)
            EXPECT_EQ(rows.Bytes(i, 0).rfind("BOX-10+", 0), 0u) << rows.Bytes(i, 0);
        // The own row was updated in place, not stored again.
        EXPECT_NE(rows.Int(0, 1), ownVersion);
        ownVersion = rows.Int(0, 1);
    }
    // No database file and no exchange file.
    EXPECT_FALSE(QFile::exists(p.dir + "/Quillo97.kqd"));
    EXPECT_FALSE(QFileInfo::exists(p.UserData()));
    EXPECT_EQ(QDir(p.start).entryList(QDir::Files | QDir::Hidden), QStringList());

    // Nobody listens there: the message and status 5, and still nothing local.
    auto r = p.Run({"-A", "--server", "host=/nonexistent/socket dbname=quillon", "-P"}, 60000);
    EXPECT_EQ(r.exitCode, 5) << r.err.constData();
    EXPECT_TRUE(r.err.contains("Error 1035: Cannot connect to the team database"))
        << r.err.constData();
    EXPECT_FALSE(QFile::exists(p.dir + "/Quillo97.kqd"));
    EXPECT_EQ(QDir(p.start).entryList(QDir::Files | QDir::Hidden), QStringList());
}
