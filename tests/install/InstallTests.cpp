// `cmake --install` into a staging prefix and `cpack -G DEB`, checked as a distribution
// would: the validators of the desktop entry and the metainfo, the package's listing and
// dependencies, and the installed program run by an ordinary user.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/support/TestServerDatabase.h"

namespace {

const QString kId = QStringLiteral("org.orcharddesk.Quillon97");

struct Outcome {
    int exitCode = -1;
    QByteArray out, err;
    bool ok() const { return exitCode == 0; }
    std::string all() const { return (out + err).toStdString(); }
};

Outcome Exec(const QString& program, const QStringList& args, const QString& cwd = {},
             const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(),
             int timeoutMs = 600000) {
    QProcess p;
    p.setProcessEnvironment(env);
    if (!cwd.isEmpty()) p.setWorkingDirectory(cwd);
    p.start(program, args);
    Outcome r;
    if (!p.waitForStarted(10000)) {
        r.err = "cannot start " + program.toUtf8();
        return r;
    }
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(5000);
        r.err = "timed out: " + program.toUtf8();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A place every user may read, as a package's files are.
struct Staging {
    QTemporaryDir tmp{QDir::tempPath() + "/quillon-install-XXXXXX"};
    QString root;
    QString prefix;
    Staging() {
        root = tmp.path();
        prefix = root + "/usr";
        QFile::setPermissions(root, QFile::permissions(root) | QFile::ReadOther | QFile::ExeOther |
                                        QFile::ReadGroup | QFile::ExeGroup);
    }
    // `cmake --install` of the build into prefix.
    Outcome Install() const {
        return Exec(QUILLON_CMAKE, {"--install", QUILLON_BUILD_DIR, "--prefix", prefix});
    }
};

// A clean environment for the program: its own home, no display, no session bus, fast
// benchmarks.
QProcessEnvironment ProgramEnv(const QString& home, bool xdgDataHome) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* var : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM",
                            "DBUS_SESSION_BUS_ADDRESS", "QUILLON_DATA_DIR", "XDG_DATA_HOME",
                            "XDG_CONFIG_HOME", "XDG_DATA_DIRS", "QUILLON_DISK_TESTDIR"})
        env.remove(var);
    env.insert("HOME", home);
    if (xdgDataHome) env.insert("XDG_DATA_HOME", home + "/data");
    env.insert("XDG_RUNTIME_DIR", home + "/run");
    env.insert("TMPDIR", home + "/tmp");
    env.insert("QUILLON_BENCH_SCALE", "0.01");
    return env;
}

void MakeHome(const QString& home) {
    for (const char* sub : {"", "/tmp", "/run", "/start"}) QDir().mkpath(home + sub);
    QFile::setPermissions(home + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QStringList FilesUnder(const QString& dir) {
    QStringList files;
    QDirIterator it(dir, QDir::Files | QDir::System | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) files << it.next().mid(dir.size() + 1);
    files.sort();
    return files;
}

}  // namespace

TEST(Install, StagedPrefixHasTheLayoutTheValidatorsAccept) {
    Staging s;
    const QString& prefix = s.prefix;
    Outcome r = s.Install();
    ASSERT_TRUE(r.ok()) << r.all();

    // The program directory, literally lib/quillon97, holds what the build tree's bin holds
    // that ships, and the marker of an installed copy.
    const QString programDir = prefix + "/lib/quillon97";
    const QStringList files = QDir(programDir).entryList(QDir::Files);
    for (const char* f : {"quillon", "libkqutil.so", "libkqutil.so.1", "libkqgraph.so.1",
                          "Quillon.HLP", "Quillon.html", "Quillon97.installed", "System.kqa",
                          "CPU.kqa", "Memory.kqa", "Disk.kqa", "System.HLP", "Disk.HLP"})
        EXPECT_TRUE(files.contains(f)) << f << " missing from " << files.join(",").toStdString();
    for (const QString& f : files)
        EXPECT_TRUE(f == "quillon" || f.startsWith("lib") || f.endsWith(".kqa") ||
                    f.endsWith(".HLP") || f.endsWith(".html") || f == "Quillon97.installed")
            << "unexpected " << f.toStdString();
    EXPECT_FALSE(files.contains("Ten.kqa"));  // test modules never ship
    // Modules built before the library had a version ask for the unversioned name.
    EXPECT_TRUE(QFileInfo(programDir + "/libkqutil.so").isSymLink());
    EXPECT_EQ(QFileInfo(programDir + "/libkqutil.so").canonicalFilePath(),
              QFileInfo(programDir + "/libkqutil.so.1").canonicalFilePath());
    EXPECT_FALSE(files.contains("Quillo97.kqd") || files.contains("KQlog.txt"));
    // They find each other through $ORIGIN alone, never through the build tree.
    if (!QStandardPaths::findExecutable("readelf").isEmpty()) {
        for (const char* f : {"quillon", "Disk.kqa"}) {
            r = Exec("readelf", {"-d", programDir + "/" + f});
            EXPECT_TRUE(r.out.contains("[$ORIGIN]")) << f << r.all();
            EXPECT_FALSE(r.out.contains(QUILLON_BUILD_DIR)) << f << r.all();
        }
    }

    // bin/quillon is a relative link into the program directory.
    const QFileInfo bin(prefix + "/bin/quillon");
    EXPECT_TRUE(bin.isSymLink());
    EXPECT_EQ(QFile::symLinkTarget(bin.filePath()), programDir + "/quillon");
    EXPECT_EQ(QString::fromUtf8(Read(prefix + "/bin/quillon").left(4)),
              "\x7f"
              "ELF");
    r = Exec(prefix + "/bin/quillon", {"--version"});
    EXPECT_TRUE(r.ok()) << r.all();
    EXPECT_EQ(r.out, "Quillon 97 Version 1.0 Build 43 March 25, 1997\n");

    // One id names the desktop entry, the metainfo, the MIME package and the icon.
    const QString share = prefix + "/share";
    const QString desktop = share + "/applications/" + kId + ".desktop";
    const QString metainfo = share + "/metainfo/" + kId + ".metainfo.xml";
    ASSERT_TRUE(QFileInfo(desktop).isFile());
    ASSERT_TRUE(QFileInfo(metainfo).isFile());
    EXPECT_TRUE(Read(desktop).contains("Icon=" + kId.toUtf8() + "\n"));
    EXPECT_TRUE(Read(desktop).contains("Exec=quillon %F\n"));
    EXPECT_TRUE(Read(metainfo).contains("<launchable type=\"desktop-id\">" + kId.toUtf8() +
                                        ".desktop</launchable>"));
    for (const char* size : {"16x16", "32x32", "48x48", "64x64", "128x128", "256x256"})
        EXPECT_TRUE(QFileInfo(share + "/icons/hicolor/" + size + "/apps/" + kId + ".png").isFile())
            << size;
    EXPECT_TRUE(Read(share + "/icons/hicolor/scalable/apps/" + kId + ".svg").contains("<svg"));
    EXPECT_TRUE(QFileInfo(share + "/man/man1/quillon.1").isFile());
    EXPECT_TRUE(Read(share + "/quillon97/server/schema.sql").contains("CREATE TABLE"));
    EXPECT_TRUE(Read(share + "/quillon97/quillon-results.schema.json")
                    .contains("\"const\": \"quillon-results\""));

    const QString dfv = QStandardPaths::findExecutable("desktop-file-validate");
    if (dfv.isEmpty()) {
        ADD_FAILURE() << "desktop-file-validate missing (scripts/deps.sh installs it)";
    } else {
        r = Exec(dfv, {desktop});
        EXPECT_TRUE(r.ok() && r.out.isEmpty()) << r.all();
    }
    const QString asc = QStandardPaths::findExecutable("appstreamcli");
    if (asc.isEmpty()) {
        ADD_FAILURE() << "appstreamcli missing (scripts/deps.sh installs it)";
    } else {
        r = Exec(asc, {"validate", "--no-net", metainfo});
        EXPECT_TRUE(r.ok()) << r.all();
    }
    // The MIME package compiles and claims both extensions.
    const QString umd = QStandardPaths::findExecutable("update-mime-database");
    if (!umd.isEmpty()) {
        r = Exec(umd, {share + "/mime"});
        EXPECT_TRUE(r.ok()) << r.all();
        const QByteArray globs = Read(share + "/mime/globs2");
        EXPECT_TRUE(globs.contains("application/x-quillo95-exchange:*.kqx")) << globs.constData();
        EXPECT_TRUE(globs.contains("application/x-quillo95-document:*.kqd"));
    }
    // The manual page formats without a warning.
    if (!QStandardPaths::findExecutable("groff").isEmpty()) {
        r = Exec("groff", {"-man", "-Tutf8", "-ww", "-z", share + "/man/man1/quillon.1"});
        EXPECT_TRUE(r.ok() && r.err.isEmpty()) << r.all();
    }

    // The installed copy runs: its files go to the user's data directory, its results where
    // it was started, and with its entry installed it writes no launcher of its own.
    const QString home = s.root + "/home";
    MakeHome(home);
    QProcessEnvironment env = ProgramEnv(home, true);
    env.insert("XDG_DATA_DIRS", share);
    r = Exec(prefix + "/bin/quillon", {"-L", "-A:out.kqx", "-P"}, home + "/start", env);
    EXPECT_TRUE(r.ok()) << r.all();
    EXPECT_TRUE(QFileInfo(home + "/start/out.kqx").isFile());
    const QString data = home + "/data/Quillon97";
    EXPECT_TRUE(QFileInfo(data + "/Quillo97.kqd").isFile());
    EXPECT_TRUE(
        Read(data + "/KQlog.txt")
            .contains("Database, log file and scratch files are kept in " + data.toUtf8() + "/\n"));
    EXPECT_TRUE(Read(data + "/KQlog.txt").contains("Disk test in ~/data/Quillon97"));
    EXPECT_FALSE(QFileInfo::exists(home + "/data/applications/" + kId + ".desktop"));
    EXPECT_FALSE(QFileInfo::exists(programDir + "/Quillo97.kqd"));
    EXPECT_FALSE(QFileInfo::exists(programDir + "/KQlog.txt"));
}

// The daily store: a systemd user timer and service that systemd accepts as installed, whose
// command, run as the service runs it, finds the server in ~/.pg_service.conf and the
// password in ~/.pgpass and stores this machine.
TEST(Install, StoreTimerUnitsVerifyAndTheirCommandStoresThisMachine) {
    Staging s;
    const QString& prefix = s.prefix;
    Outcome r = s.Install();
    ASSERT_TRUE(r.ok()) << r.all();
    const QString units = prefix + "/lib/systemd/user";
    const QString service = units + "/quillon-store.service";
    const QString timer = units + "/quillon-store.timer";
    const QByteArray serviceText = Read(service), timerText = Read(timer);
    const QByteArray execStart = "ExecStart=" + prefix.toUtf8() + "/bin/quillon -A --server ";
    ASSERT_TRUE(serviceText.contains(execStart + "\"service=quillon\" -P\n"))
        << serviceText.constData();
    for (const char* line : {"OnCalendar=daily\n", "Persistent=true\n",
                             "RandomizedDelaySec=", "WantedBy=timers.target\n"})
        EXPECT_TRUE(timerText.contains(line)) << line;
    // Any user may read a unit: no password may be in one.
    for (const char* secret : {"password=", "PGPASSWORD"})
        EXPECT_FALSE(serviceText.contains(secret) || timerText.contains(secret)) << secret;

    const QString analyze = QStandardPaths::findExecutable("systemd-analyze");
    if (analyze.isEmpty()) {
        ADD_FAILURE() << "systemd-analyze missing (scripts/deps.sh installs it)";
    } else {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("SYSTEMD_LOG_LEVEL", "notice");
        r = Exec(analyze, {"verify", "--man=no", "--generators=no", service, timer}, {}, env);
        EXPECT_TRUE(r.ok() && r.err.isEmpty() && r.out.isEmpty()) << r.all();
    }

    // The service's command as it stands, in a home holding the service and password files.
    CTestServerDatabase db;
    ASSERT_TRUE(db.Made());
    db.Role("quillon_password", "quillon_writer");
    // The role is the cluster's, shared with other tests: it leaves as it came.
    struct Revoke {
        const CTestServerDatabase& db;
        ~Revoke() { db.Admin().Exec("REVOKE quillon_writer FROM quillon_password"); }
    } revoke{db};
    const QString home = s.root + "/home";
    MakeHome(home);
    {
        std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> options(
            PQconninfoParse(db.Conninfo("quillon_password").c_str(), nullptr), &PQconninfoFree);
        QFile file(home + "/.pg_service.conf");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[quillon]\n");
        for (const PQconninfoOption* o = options.get(); o && o->keyword; ++o)
            if (o->val) file.write(QByteArray(o->keyword) + "=" + o->val + "\n");
        QFile pass(home + "/.pgpass");
        ASSERT_TRUE(pass.open(QIODevice::WriteOnly));
        pass.write("*:*:*:quillon_password:right-password\n");
        pass.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }
    QProcessEnvironment env = ProgramEnv(home, false);
    for (const char* var : {"PGHOST", "PGPORT", "PGUSER", "PGDATABASE", "PGPASSWORD", "PGPASSFILE",
                            "PGSERVICE", "PGSERVICEFILE", "PGSYSCONFDIR"})
        env.remove(var);
    QString exec;
    for (const QByteArray& line : serviceText.split('\n'))
        if (line.startsWith("ExecStart=")) exec = QString::fromUtf8(line.mid(10));
    QStringList command = QProcess::splitCommand(exec);
    ASSERT_EQ(command.size(), 5) << exec.toStdString();
    EXPECT_EQ(command[3], "service=quillon");
    const QString program = command.takeFirst();
    r = Exec(program, command, home + "/start", env);
    EXPECT_TRUE(r.ok()) << r.all();
    // This machine's row and a snapshot, stored by the role the password file logs in as.
    r = Exec("psql", {"-X", "-A", "-t", "-d", QString::fromStdString(db.Conninfo()), "-c",
                      "SELECT count(*) FROM records WHERE stored_by = 'quillon_password'"});
    EXPECT_TRUE(r.ok()) << r.all();
    EXPECT_EQ(r.out.trimmed(), "2") << r.all();
}

#ifndef QUILLON_SANITIZED
TEST(Install, DebianPackageDeclaresItsDependenciesAndRunsForAnOrdinaryUser) {
    for (const char* tool : {"dpkg-deb", "dpkg-shlibdeps", "file"})
        if (QStandardPaths::findExecutable(tool).isEmpty())
            GTEST_FAIL() << tool << " missing (scripts/deps.sh installs it)";
    Staging s;
    Outcome r = Exec(QUILLON_CPACK, {"--config", QUILLON_BUILD_DIR "/CPackConfig.cmake", "-G",
                                     "DEB", "-D", "CPACK_OUTPUT_FILE_PREFIX=" + s.root + "/out"});
    ASSERT_TRUE(r.ok()) << r.all();
    QStringList debs;
    QDirIterator it(s.root + "/out", {"*.deb"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) debs << it.next();
    ASSERT_EQ(debs.size(), 1) << r.all();
    const QString deb = debs[0];
    EXPECT_TRUE(QFileInfo(deb).fileName().startsWith("quillon97_1.0")) << deb.toStdString();

    r = Exec("dpkg-deb", {"-I", deb});
    ASSERT_TRUE(r.ok()) << r.all();
    EXPECT_TRUE(r.out.contains(" Package: quillon97\n")) << r.all();
    QByteArray depends;
    for (const QByteArray& line : r.out.split('\n'))
        if (line.trimmed().startsWith("Depends:")) depends = line;
    // From dpkg-shlibdeps (what the binaries really link), and the fonts by hand.
    for (const char* dep :
         {"libqt6widgets6", "libqt6gui6", "libqt6core6", "libqt6dbus6", "libqt6network6",
          "libsqlite3-0", "libc6", "libstdc++6", "fonts-liberation"})
        EXPECT_TRUE(depends.contains(dep)) << dep << " not in " << depends.constData();

    r = Exec("dpkg-deb", {"-c", deb});
    ASSERT_TRUE(r.ok()) << r.all();
    for (const QString& path :
         {QString("./usr/lib/quillon97/quillon"),
          QString("./usr/lib/quillon97/libkqutil.so -> libkqutil.so.1"),
          QString("./usr/lib/quillon97/libkqutil.so.1 -> libkqutil.so.1.0.0"),
          QString("./usr/lib/quillon97/libkqgraph.so.1 -> libkqgraph.so.1.0.0"),
          QString("./usr/lib/quillon97/Disk.kqa"), QString("./usr/lib/quillon97/Quillon.HLP"),
          QString("./usr/lib/quillon97/Quillon97.installed"),
          QString("./usr/bin/quillon -> ../lib/quillon97/quillon"),
          "./usr/share/applications/" + kId + ".desktop",
          "./usr/share/metainfo/" + kId + ".metainfo.xml",
          "./usr/share/mime/packages/" + kId + ".xml",
          "./usr/share/icons/hicolor/48x48/apps/" + kId + ".png",
          "./usr/share/icons/hicolor/scalable/apps/" + kId + ".svg",
          QString("./usr/share/man/man1/quillon.1"),
          QString("./usr/lib/systemd/user/quillon-store.service"),
          QString("./usr/lib/systemd/user/quillon-store.timer"),
          QString("./usr/share/quillon97/quillon-results.schema.json")})
        EXPECT_TRUE(r.out.contains(path.toUtf8())) << path.toStdString();
    EXPECT_FALSE(r.out.contains("Ten.kqa"));
    EXPECT_FALSE(r.out.contains("/work/"));

    // apt resolves the declared dependencies on this machine.
    if (!QStandardPaths::findExecutable("apt-get").isEmpty()) {
        r = Exec("apt-get", {"install", "--simulate", "-q", deb});
        EXPECT_TRUE(r.ok()) << r.all();
        EXPECT_TRUE(r.out.contains("Inst quillon97")) << r.all();
    }

    // Unpacked, owned by root, run by nobody with a home of its own.
    if (::geteuid() != 0 || QStandardPaths::findExecutable("setpriv").isEmpty())
        GTEST_SKIP() << "running as another user needs root and setpriv";
    const QString tree = s.root + "/tree";
    r = Exec("dpkg-deb", {"-x", deb, tree});
    ASSERT_TRUE(r.ok()) << r.all();
    const QString home = s.root + "/nobody";
    MakeHome(home);
    ASSERT_TRUE(Exec("chown", {"-R", "65534:65534", home}).ok());
    QProcessEnvironment env = ProgramEnv(home, false);
    r = Exec("setpriv",
             {"--reuid=65534", "--regid=65534", "--clear-groups", tree + "/usr/bin/quillon",
              "-A:results.kqx", "-P"},
             home + "/start", env);
    EXPECT_TRUE(r.ok()) << r.all();
    EXPECT_TRUE(Read(home + "/start/results.kqx").startsWith("{Quillon 95 Exchange File}"))
        << r.all();
    const QString data = home + "/.local/share/Quillon97";
    EXPECT_TRUE(QFileInfo(data + "/Quillo97.kqd").isFile())
        << FilesUnder(home).join(",").toStdString();
    EXPECT_EQ(QFileInfo(data).ownerId(), 65534u);
    // The unpacked tree is not on XDG_DATA_DIRS, so this copy registers itself for the
    // user, under the one id.
    EXPECT_TRUE(QFileInfo(home + "/.local/share/applications/" + kId + ".desktop").isFile())
        << FilesUnder(home).join(",").toStdString();
    EXPECT_TRUE(FilesUnder(tree + "/usr/lib/quillon97").filter("Quillo97.kqd").isEmpty());
}
#endif
