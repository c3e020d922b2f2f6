// The built program run as a process, from a temporary program directory holding a copy of
// it, libkqutil.so and one or two test modules, with no display.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "tests/shell/ShellEnv.h"

namespace {

const char kVersion[] = "Version 1.0 Build 43 March 25, 1997";

struct ProgramDir {
    QString root, dir, program, workDir;
    QProcessEnvironment env;

    ProgramDir(const QString& name, const QStringList& modules) {
        root = MakeScratch("program-" + name);
        dir = root + "/Quillon 97";  // a blank in the path on purpose
        workDir = root;
        QDir().mkpath(dir);
        program = dir + "/quillon";
        EXPECT_TRUE(QFile::copy(QUILLON_PROGRAM, program));
        EXPECT_TRUE(QFile::copy(QUILLON_KQUTIL, dir + "/" + QFileInfo(QUILLON_KQUTIL).fileName()));
        QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeOwner);
        for (const QString& m : modules)
            EXPECT_TRUE(QFile::copy(QStringLiteral(QUILLON_TESTMODULE_DIR "/") + m + ".kqa",
                                    dir + "/" + m + ".kqa"));

        // A home of its own, no display, no platform chosen, no session bus.
        env = QProcessEnvironment::systemEnvironment();
        for (const char* var :
             {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "DBUS_SESSION_BUS_ADDRESS"})
            env.remove(var);
        const QString home = root + "/home";
        for (const char* sub : {"", "/config", "/data", "/tmp", "/run"}) QDir().mkpath(home + sub);
        QFile::setPermissions(home + "/run",
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert("HOME", home);
        env.insert("XDG_CONFIG_HOME", home + "/config");
        env.insert("XDG_DATA_HOME", home + "/data");
        env.insert("XDG_RUNTIME_DIR", home + "/run");
        env.insert("TMPDIR", home + "/tmp");
    }

    std::unique_ptr<QProcess> Start(const QStringList& args) {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(env);
        p->setWorkingDirectory(workDir);
        p->start(program, args);
        EXPECT_TRUE(p->waitForStarted(5000));
        return p;
    }

    struct Result {
        int exitCode = -1;
        bool crashed = true;
        QByteArray out, err;
    };
    static Result Finish(QProcess& p, int timeoutMs = 30000) {
        Result r;
        if (!p.waitForFinished(timeoutMs)) {
            p.kill();
            p.waitForFinished(2000);
            ADD_FAILURE() << "program did not end in time";
        }
        r.exitCode = p.exitCode();
        r.crashed = p.exitStatus() != QProcess::NormalExit;
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        return r;
    }
    Result Run(const QStringList& args, int timeoutMs = 30000) {
        auto p = Start(args);
        return Finish(*p, timeoutMs);
    }

    QString Socket() const {
        return env.value("XDG_RUNTIME_DIR") + "/Quillon 97-" + qEnvironmentVariable("USER", "root");
    }
    // Waits until the log file holds the text (the program runs with -L).
    bool WaitForLog(const QString& text, int timeoutMs = 15000) const {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < timeoutMs) {
            if (ReadText(dir + "/KQlog.txt").contains(text.toUtf8())) return true;
            QThread::msleep(50);
        }
        return false;
    }
};

QStringList StreamNames(const QString& database) {
    QStringList names;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(database.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT name FROM streams", -1, &st, nullptr) == SQLITE_OK) {
            while (sqlite3_step(st) == SQLITE_ROW)
                names << QString::fromUtf8(
                    reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return names;
}

}  // namespace

TEST(Program, UnattendedRunWritesTheExportFileAndTheDatabase) {
    ProgramDir p("autorun", {"Ten"});
    // As root on a server or from cron: no run-time directory is named.
    p.env.remove("XDG_RUNTIME_DIR");
    const auto r = p.Run({"-A:out.kqx", "-P"});
    EXPECT_FALSE(r.crashed);
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    // Nothing but the result line: no warnings of Qt's about the run-time directory, which
    // was made private to the user.
    EXPECT_EQ(r.err, "");
    const QString runtime =
        p.env.value("TMPDIR") + "/runtime-" + qEnvironmentVariable("USER", "root");
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                            QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                            QFileDevice::WriteOther | QFileDevice::ExeOther;
    EXPECT_FALSE(QFileInfo(runtime).permissions() & others) << runtime.toStdString();
    EXPECT_TRUE(QFileInfo(runtime).isDir());
    // Relative names land where the program was started, not in its own directory.
    EXPECT_FALSE(QFile::exists(p.dir + "/out.kqx"));
    const QByteArray kqx = ReadText(p.root + "/out.kqx");
    EXPECT_TRUE(kqx.startsWith("{Quillon 95 Exchange File}\r\n")) << kqx.left(200).constData();
    EXPECT_TRUE(kqx.contains(QByteArray("{") + kVersion + "}\r\n"));
    EXPECT_TRUE(kqx.contains("{Ten version 1.5}"));
    EXPECT_TRUE(kqx.contains("\r\n["));
    EXPECT_TRUE(QFileInfo(p.dir + "/Quillo97.kqd").isFile());
    EXPECT_TRUE(ReadText(p.dir + "/Quillo97.kqd").startsWith(QByteArray("SQLite format 3\0", 16)));
    EXPECT_FALSE(StreamNames(p.dir + "/Quillo97.kqd").isEmpty());
    // No option L: no log file, and standard output is no terminal here, so no log lines:
    // only where the results went.
    EXPECT_FALSE(QFile::exists(p.dir + "/KQlog.txt"));
    EXPECT_EQ(r.out, ("Results exported to " + p.root + "/out.kqx\n").toUtf8());
    // Nothing is left behind that would stop the next start.
    EXPECT_FALSE(QFile::exists(runtime + "/Quillon 97-" + qEnvironmentVariable("USER", "root")));
    EXPECT_FALSE(QFile::exists(p.Socket()));
}

TEST(Program, UnattendedRunWithLogAndAQuotedPathWithADash) {
    ProgramDir p("autorun-log", {"Ten"});
    const QString target = p.root + "/my results-1.kqx";
    const auto r = p.Run({"-L", "-A:" + target, "-P"});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(QFileInfo(target).isFile());
    EXPECT_EQ(r.out, ("Results exported to " + target + "\n").toUtf8());
    const QList<QByteArray> log = ReadText(p.dir + "/KQlog.txt").split('\n');
    ASSERT_GT(log.size(), 2);
    EXPECT_EQ(log[0], kVersion);
    EXPECT_TRUE(
        ReadText(p.dir + "/KQlog.txt").contains(("Auto run to export file " + target).toUtf8()));
}

TEST(Program, UnattendedRunThatWritesNoFileEndsNonZero) {
    ProgramDir p("autorun-fail", {"Ten"});
    const auto r = p.Run({"-A:" + p.root + "/no such dir/out.kqx", "-P"});
    EXPECT_FALSE(r.crashed);
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains("Auto run wrote no export file.")) << r.err.constData();
    EXPECT_FALSE(r.out.contains("Results exported")) << r.out.constData();
    // The reader's own message reached standard error with the path as caption.
    EXPECT_TRUE(r.err.contains((p.root + "/no such dir/out.kqx: Error 1006").toUtf8()))
        << r.err.constData();
    // The database is saved as on any close.
    EXPECT_TRUE(QFileInfo(p.dir + "/Quillo97.kqd").isFile());
}

// Started in its own folder and told to export onto its database: refused, and every
// stored record is still there.
TEST(Program, UnattendedExportOntoTheDatabaseIsRefusedAndEveryRecordStays) {
    ProgramDir p("onto-db", {"Ten"});
    const QString other = p.root + "/other machine.kqx";
    WriteText(other,
              "{Quillon 95 Exchange File}\r\n[OTHER-BOX]\r\nSysName=OTHER-BOX-7\r\n"
              ".[Item]\r\nSpeed=42;#0x5\r\n");
    auto proc = p.Start({"-P", "-L", other});
    ASSERT_TRUE(p.WaitForLog("Added OTHER-BOX-7")) << ReadText(p.dir + "/KQlog.txt").constData();
    ::kill(static_cast<pid_t>(proc->processId()), SIGTERM);
    ASSERT_EQ(ProgramDir::Finish(*proc, 15000).exitCode, 0);
    const QString database = p.dir + "/Quillo97.kqd";
    const QStringList stored = StreamNames(database);
    ASSERT_TRUE(stored.contains("BOX-10") && stored.contains("OTHER-BOX-7")) << stored.size();
    QFile::link(database, p.dir + "/results.kqx");

    p.workDir = p.dir;
    for (const QString& target : {QString("Quillo97.kqd"), QString("results.kqx")}) {
        SCOPED_TRACE(target.toStdString());
        const auto r = p.Run({"-A:" + target, "-P"});
        EXPECT_FALSE(r.crashed);
        EXPECT_EQ(r.exitCode, 2) << r.err.constData();
        EXPECT_TRUE(r.err.contains(
            (p.dir + "/" + target + ": Error 1020: " + p.dir + "/" + target + " is a database")
                .toUtf8()))
            << r.err.constData();
        EXPECT_FALSE(r.out.contains("Results exported")) << r.out.constData();
        // The same database, whole: it opens, checks out and names every record.
        EXPECT_TRUE(ReadText(database).startsWith(QByteArray("SQLite format 3\0", 16)));
        sqlite3* db = nullptr;
        ASSERT_EQ(
            sqlite3_open_v2(database.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr),
            SQLITE_OK);
        sqlite3_stmt* st = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr), SQLITE_OK);
        ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
        EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "ok");
        sqlite3_finalize(st);
        sqlite3_close(db);
        const QStringList now = StreamNames(database);
        for (const QString& name : stored) EXPECT_TRUE(now.contains(name)) << name.toStdString();
    }
    // And the program reads it back: the stored system is still known to an import.
    proc = p.Start({"-P", "-L", other});
    ASSERT_TRUE(p.WaitForLog("Warning 1008: Duplicate record OTHER-BOX-7 skipped"))
        << ReadText(p.dir + "/KQlog.txt").constData();
    ::kill(static_cast<pid_t>(proc->processId()), SIGTERM);
    EXPECT_EQ(ProgramDir::Finish(*proc, 15000).exitCode, 0);
}

TEST(Program, SecondStartEndsAtOnceAndSigtermSavesTheDatabase) {
    ProgramDir p("second", {"Ten"});
    auto first = p.Start({"-P", "-L"});
    ASSERT_TRUE(p.WaitForLog("Ten")) << ReadText(p.dir + "/KQlog.txt").constData();
    EXPECT_TRUE(QFile::exists(p.Socket()));

    QElapsedTimer t;
    t.start();
    const auto second = p.Run({"-P"}, 15000);
    EXPECT_LT(t.elapsed(), 5000);
    EXPECT_FALSE(second.crashed);
    EXPECT_EQ(second.exitCode, 3);
    EXPECT_TRUE(second.err.contains("Quillon 97 is already running; it was brought to the front."))
        << second.err.constData();
    EXPECT_EQ(first->state(), QProcess::Running);

    // A start from the desktop with files (a relative name means where that start stood): the
    // running one imports them, in order, and the later start ends as before.
    for (const char* n : {"1", "2"})
        WriteText(p.root + "/handed " + n + ".kqx",
                  QByteArray("{Quillon 95 Exchange File}\r\n[H]\r\nSysName=HANDED-") + n + "\r\n");
    const auto third = p.Run({"handed 1.kqx", p.root + "/handed 2.kqx"}, 15000);
    EXPECT_EQ(third.exitCode, 3);
    EXPECT_TRUE(third.err.contains("it was brought to the front and imports the files."))
        << third.err.constData();
    ASSERT_TRUE(p.WaitForLog("Import finished. Systems imported: 2, skipped: 0."))
        << ReadText(p.dir + "/KQlog.txt").constData();
    const QByteArray log = ReadText(p.dir + "/KQlog.txt");
    EXPECT_LT(log.indexOf("Added HANDED-1"), log.indexOf("Added HANDED-2"));
    EXPECT_TRUE(log.contains(("Importing file " + p.root + "/handed 1.kqx").toUtf8()));

    const QString settings = p.env.value("XDG_CONFIG_HOME") + "/Orchard Desk/Quillon 97.conf";
    EXPECT_FALSE(ReadText(settings).contains("InitSizeType"));
    ::kill(static_cast<pid_t>(first->processId()), SIGTERM);
    const auto r = ProgramDir::Finish(*first, 15000);
    EXPECT_FALSE(r.crashed);
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    // Closed as the user closes it: the placement is kept and the database holds this system.
    EXPECT_TRUE(ReadText(settings).contains("InitSizeType")) << ReadText(settings).constData();
    EXPECT_TRUE(ReadText(p.dir + "/KQlog.txt").contains("Saving database to"));
    EXPECT_TRUE(StreamNames(p.dir + "/Quillo97.kqd").contains("BOX-10"))
        << StreamNames(p.dir + "/Quillo97.kqd").join(",").toStdString();
    EXPECT_FALSE(QFile::exists(p.Socket()));
}

TEST(Program, SigtermDuringAnUnattendedRunCancelsItAndTheCloseFollows) {
    ProgramDir p("sigterm-run", {"Ten", "Twenty"});
    auto proc = p.Start({"-L", "-A:out.kqx", "-P"});
    ASSERT_TRUE(p.WaitForLog("Auto run to export file"));
    QElapsedTimer t;
    t.start();
    ::kill(static_cast<pid_t>(proc->processId()), SIGINT);
    const auto r = ProgramDir::Finish(*proc, 15000);
    // Two modules take four seconds uncancelled; the first one finishes, the second never starts.
    EXPECT_LT(t.elapsed(), 3900);
    EXPECT_FALSE(r.crashed);
    EXPECT_TRUE(QFileInfo(p.dir + "/Quillo97.kqd").isFile());
}

TEST(Program, ExchangeFileOnTheCommandLineIsImportedAndBadOnesReachStandardError) {
    ProgramDir p("import", {"Ten"});
    const QString good = p.root + "/other machine.kqx";
    WriteText(good,
              "{Quillon 95 Exchange File}\r\n{Version 1.0 Build 43 March 25, 1997}\r\n"
              "[OTHER-BOX]\r\nSysName=OTHER-BOX-7\r\n.[Item]\r\nSpeed=42;#0x5\r\n");
    auto proc = p.Start({"-P", "-L", good});
    ASSERT_TRUE(p.WaitForLog("Added OTHER-BOX-7")) << ReadText(p.dir + "/KQlog.txt").constData();
    ::kill(static_cast<pid_t>(proc->processId()), SIGTERM);
    auto r = ProgramDir::Finish(*proc, 15000);
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(ReadText(p.dir + "/KQlog.txt").contains(("Importing file " + good).toUtf8()));
    EXPECT_TRUE(StreamNames(p.dir + "/Quillo97.kqd").contains("OTHER-BOX-7"))
        << StreamNames(p.dir + "/Quillo97.kqd").join(",").toStdString();

    // A file that is not an exchange file: its message box is a line on standard error.
    const QString bad = p.root + "/bad.kqx";
    WriteText(bad, "hello\r\n");
    proc = p.Start({"-P", "-L", bad});
    ASSERT_TRUE(p.WaitForLog("Error 1004"));
    ::kill(static_cast<pid_t>(proc->processId()), SIGTERM);
    r = ProgramDir::Finish(*proc, 15000);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains(
        (bad + ": Error 1004: Exchange file is missing identifier at line 1.").toUtf8()))
        << r.err.constData();
}

TEST(Program, AutomationAnswersOnAPrivateSessionBusAndChangesNothing) {
    if (QStandardPaths::findExecutable("dbus-daemon").isEmpty()) GTEST_SKIP() << "no dbus-daemon";
    ProgramDir p("dbus", {"Ten"});
    QProcess bus;
    bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1", "--nopidfile"});
    ASSERT_TRUE(bus.waitForStarted(5000));
    ASSERT_TRUE(bus.waitForReadyRead(5000));
    const QString address = QString::fromUtf8(bus.readLine()).trimmed();
    ASSERT_FALSE(address.isEmpty());
    p.env.insert("DBUS_SESSION_BUS_ADDRESS", address);

    auto proc = p.Start({"-P", "-L"});
    ASSERT_TRUE(p.WaitForLog("Ten"));
    {
        QDBusConnection conn = QDBusConnection::connectToBus(address, "shell-test-bus");
        ASSERT_TRUE(conn.isConnected());
        QElapsedTimer t;
        t.start();
        while (!conn.interface()->isServiceRegistered("org.orcharddesk.Quillon97") &&
               t.elapsed() < 5000)
            QThread::msleep(50);
        ASSERT_TRUE(conn.interface()->isServiceRegistered("org.orcharddesk.Quillon97").value());
        QThread::msleep(700);  // let the first set-up finish
        const QByteArray logBefore = ReadText(p.dir + "/KQlog.txt");

        QDBusMessage show =
            QDBusMessage::createMethodCall("org.orcharddesk.Quillon97", "/KQAutoObj",
                                           "org.orcharddesk.Quillon97.KQAutoObj", "ShowTab");
        show << QVariant::fromValue(static_cast<qint16>(2));
        const QDBusMessage showReply = conn.call(show, QDBus::Block, 5000);
        EXPECT_EQ(showReply.type(), QDBusMessage::ReplyMessage)
            << showReply.errorMessage().toStdString();

        QDBusMessage run =
            QDBusMessage::createMethodCall("org.orcharddesk.Quillon97", "/Document",
                                           "org.orcharddesk.Quillon97.Document", "DocRunTests");
        const QDBusMessage runReply = conn.call(run, QDBus::Block, 5000);
        EXPECT_EQ(runReply.type(), QDBusMessage::ReplyMessage)
            << runReply.errorMessage().toStdString();

        // Answered without running anything: no test run was logged, no progress shown.
        QThread::msleep(300);
        EXPECT_EQ(ReadText(p.dir + "/KQlog.txt"), logBefore);
        EXPECT_EQ(proc->state(), QProcess::Running);
    }
    QDBusConnection::disconnectFromBus("shell-test-bus");
    ::kill(static_cast<pid_t>(proc->processId()), SIGTERM);
    const auto r = ProgramDir::Finish(*proc, 15000);
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    bus.terminate();
    bus.waitForFinished(3000);
}

TEST(Program, UnattendedRunOnATerminalShowsTheLogLinesWithoutALogFile) {
    const QString script = QStandardPaths::findExecutable("script");
    if (script.isEmpty()) GTEST_SKIP() << "no script(1) to provide a terminal";
    ProgramDir p("terminal", {"Ten"});
    // script(1) runs the program with a pseudo-terminal as its standard output.
    QProcess proc;
    proc.setProcessEnvironment(p.env);
    proc.setWorkingDirectory(p.root);
    proc.start(script, {"-qec", "'" + p.program + "' -A:out.kqx -P", "/dev/null"});
    ASSERT_TRUE(proc.waitForStarted(5000));
    const auto r = ProgramDir::Finish(proc, 30000);
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(r.out.contains(("Auto run to export file " + p.root + "/out.kqx").toUtf8()))
        << r.out.constData();
    EXPECT_TRUE(r.out.contains("Loaded analyzer Ten.kqa")) << r.out.constData();
    EXPECT_TRUE(QFileInfo(p.root + "/out.kqx").isFile());
    EXPECT_FALSE(QFile::exists(p.dir + "/KQlog.txt"));
}
