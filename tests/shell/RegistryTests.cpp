// The class registry and the browser discovery against a temporary XDG tree.
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <gtest/gtest.h>

#include "platform/BrowserDiscovery.h"
#include "platform/ClassRegistry.h"
#include "tests/shell/ShellEnv.h"

namespace {

struct XdgTree {
    QString root;
    XdgPaths xdg;
    explicit XdgTree(const QString& name) : root(MakeScratch(name)) {
        xdg.configHome = root + "/config";
        xdg.configDirs = {root + "/etc-xdg"};
        xdg.dataHome = root + "/data";
        xdg.dataDirs = {root + "/usr-share"};
        xdg.path = root + "/bin:/usr/bin:/bin";
    }
    QString Executable(const QString& path) const {
        const QString full = root + "/" + path;
        WriteText(full, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\n");
        QFile::setPermissions(full, QFile::permissions(full) | QFile::ExeOwner | QFile::ExeUser);
        return full;
    }
    void DesktopEntry(const QString& dir, const QString& id, const QString& exec) const {
        WriteText(
            dir + "/applications/" + id,
            ("[Desktop Entry]\nType=Application\nName=Browser\nExec=" + exec + "\n").toUtf8());
    }
};

}  // namespace

TEST(BrowserDiscovery, OpenCommandWithQuotedExecutableAndFieldCodes) {
    XdgTree t("quoted");
    const QString exe = t.Executable("my apps/web browser");
    const BrowserCommand b =
        ParseOpenCommand("\"" + exe + "\" --new-window %U \"%f\" -private", t.xdg.path);
    ASSERT_TRUE(b.IsValid());
    EXPECT_EQ(b.program, exe);
    EXPECT_EQ(b.args, QStringList({"--new-window", "-private"}));
    EXPECT_EQ(b.command, exe.toStdString() + " --new-window -private ");
}

TEST(BrowserDiscovery, OpenCommandEdgeCases) {
    XdgTree t("edge");
    const QString exe = t.Executable("bin/plainbrowser");
    // Only field codes after the executable: nothing kept, one blank after the executable.
    BrowserCommand b = ParseOpenCommand("plainbrowser %u", t.xdg.path);
    ASSERT_TRUE(b.IsValid());
    EXPECT_EQ(b.program, exe);
    EXPECT_TRUE(b.args.isEmpty());
    EXPECT_EQ(b.command, exe.toStdString() + " ");
    // No blank at all: the whole command is the executable.
    EXPECT_EQ(ParseOpenCommand(exe, t.xdg.path).command, exe.toStdString() + " ");
    // A missing executable, by path or by name, means no browser.
    EXPECT_FALSE(ParseOpenCommand(t.root + "/bin/nothing %u", t.xdg.path).IsValid());
    EXPECT_FALSE(ParseOpenCommand("no-such-browser-here %u", t.xdg.path).IsValid());
    EXPECT_FALSE(ParseOpenCommand("", t.xdg.path).IsValid());
    // A file that is not executable is no browser either.
    WriteText(t.root + "/bin/notexec", "x");
    EXPECT_FALSE(ParseOpenCommand(t.root + "/bin/notexec", t.xdg.path).IsValid());
}

TEST(BrowserDiscovery, DefaultHandlerFromMimeappsAndDesktopEntry) {
    XdgTree t("discover");
    const QString exe = t.Executable("opt/Quoted Browser/run");
    t.DesktopEntry(t.xdg.dataDirs[0], "quoted.desktop", "\"" + exe + "\" --class=web %U");
    // Nothing configured yet.
    EXPECT_FALSE(DiscoverBrowser(t.xdg).IsValid());

    WriteText(t.xdg.configHome + "/mimeapps.list",
              "[Added Associations]\ntext/html=other.desktop;\n\n[Default Applications]\n"
              "text/html=missing.desktop;quoted.desktop;\n");
    EXPECT_EQ(DefaultHtmlHandler(t.xdg), "quoted.desktop");
    BrowserCommand b = DiscoverBrowser(t.xdg);
    ASSERT_TRUE(b.IsValid());
    EXPECT_EQ(b.program, exe);
    EXPECT_EQ(b.args, QStringList({"--class=web"}));

    // A bare name found on PATH, chosen for the current desktop, wins over mimeapps.list.
    const QString bare = t.Executable("bin/barebrowser");
    t.DesktopEntry(t.xdg.dataHome, "bare.desktop", "barebrowser %u");
    WriteText(t.xdg.configHome + "/xfce-mimeapps.list",
              "[Default Applications]\ntext/html=bare.desktop\n");
    t.xdg.desktops = {"xfce"};
    b = DiscoverBrowser(t.xdg);
    ASSERT_TRUE(b.IsValid());
    EXPECT_EQ(b.program, bare);
    EXPECT_TRUE(b.args.isEmpty());
    EXPECT_EQ(b.command, bare.toStdString() + " ");

    // The bare name no longer on PATH: no browser, even though the entry is there.
    t.xdg.path = "/nonexistent";
    EXPECT_FALSE(DiscoverBrowser(t.xdg).IsValid());
}

TEST(BrowserDiscovery, LaunchPassesThePageAsOneArgumentWithoutAShell) {
    XdgTree t("launch");
    const QString exe = t.Executable("bin/recorder");
    BrowserCommand b = ParseOpenCommand(exe + " --fixed %u", t.xdg.path);
    ASSERT_TRUE(b.IsValid());
    const QString page = t.root + "/dir with blank/page;$(touch " + t.root + "/pwned).html";
    ASSERT_TRUE(LaunchBrowser(b, page));
    const QString argsFile = exe + ".args";
    for (int i = 0; i < 100 && !QFile::exists(argsFile); ++i) QThread::msleep(50);
    QThread::msleep(100);
    EXPECT_EQ(ReadText(argsFile), ("--fixed\n" + page + "\n").toUtf8());
    EXPECT_FALSE(QFile::exists(t.root + "/pwned"));
    EXPECT_FALSE(LaunchBrowser(BrowserCommand{}, page));
}

TEST(ClassRegistry, WritesPackageEntryAndAssociationOnceAndKeepsUserChoices) {
    XdgTree t("registry");
    WriteText(t.xdg.configHome + "/mimeapps.list",
              "[Default Applications]\napplication/x-quillo95-exchange=editor.desktop;\n\n"
              "[Added Associations]\ntext/plain=editor.desktop;\n");
    const QString program = "/opt/Quillon $97/quillon";
    ClassRegistryResult r = EnsureClassRegistry(t.xdg, program);
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.mimeWritten);
    EXPECT_TRUE(r.desktopWritten);
    EXPECT_TRUE(r.associationsWritten);

    const QByteArray package =
        ReadText(t.xdg.dataHome + "/mime/packages/org.orcharddesk.Quillon97.xml");
    EXPECT_TRUE(package.contains("<glob pattern=\"*.kqx\"/>"));
    EXPECT_TRUE(package.contains("<glob pattern=\"*.kqd\"/>"));
    const QByteArray desktop =
        ReadText(t.xdg.dataHome + "/applications/org.orcharddesk.Quillon97.desktop");
    EXPECT_TRUE(desktop.contains("Exec=\"/opt/Quillon \\\\$97/quillon\" %F\n"))
        << desktop.constData();
    EXPECT_TRUE(desktop.contains(
        "MimeType=application/x-quillo95-exchange;application/x-quillo95-document;"));
    EXPECT_TRUE(desktop.contains("Icon=org.orcharddesk.Quillon97\n"));
    // The per-user entry passes the same validator as the installed one.
    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    if (!validator.isEmpty()) {
        QProcess v;
        v.start(validator, {t.xdg.dataHome + "/applications/org.orcharddesk.Quillon97.desktop"});
        ASSERT_TRUE(v.waitForFinished(10000));
        EXPECT_EQ(v.exitCode(), 0) << v.readAllStandardOutput().constData();
        EXPECT_EQ(v.readAllStandardOutput(), "");
    }
    EXPECT_TRUE(
        ReadText(t.xdg.dataHome + "/icons/hicolor/scalable/apps/org.orcharddesk.Quillon97.svg")
            .contains("<svg"));

    const QByteArray mimeapps = ReadText(t.xdg.configHome + "/mimeapps.list");
    // The user's default stays; ours is only added.
    EXPECT_TRUE(mimeapps.contains(
        "[Default Applications]\napplication/x-quillo95-exchange=editor.desktop;\n"));
    EXPECT_TRUE(mimeapps.contains("text/plain=editor.desktop;\n"));
    EXPECT_TRUE(
        mimeapps.contains("application/x-quillo95-exchange=org.orcharddesk.Quillon97.desktop;\n"));
    EXPECT_TRUE(
        mimeapps.contains("application/x-quillo95-document=org.orcharddesk.Quillon97.desktop;\n"));
    EXPECT_EQ(mimeapps.count("[Added Associations]"), 1);

    if (!QStandardPaths::findExecutable("update-mime-database").isEmpty()) {
        EXPECT_TRUE(r.mimeDatabaseUpdated);
        EXPECT_TRUE(ReadText(t.xdg.dataHome + "/mime/globs2").contains("*.kqx"));
    }

    // Everything in place: nothing is written again.
    r = EnsureClassRegistry(t.xdg, program);
    EXPECT_FALSE(r.mimeWritten || r.desktopWritten || r.associationsWritten ||
                 r.mimeDatabaseUpdated);
    EXPECT_EQ(ReadText(t.xdg.configHome + "/mimeapps.list"), mimeapps);

    // The program moved: the desktop entry follows it, the rest stays.
    r = EnsureClassRegistry(t.xdg, "/usr/local/bin/quillon");
    EXPECT_TRUE(r.desktopWritten);
    EXPECT_FALSE(r.mimeWritten || r.associationsWritten);
    EXPECT_TRUE(ReadText(t.xdg.dataHome + "/applications/org.orcharddesk.Quillon97.desktop")
                    .contains("Exec=\"/usr/local/bin/quillon\" %F\n"));
}

TEST(ClassRegistry, AssociationsAddToAnExistingListAndCreateTheGroup) {
    EXPECT_EQ(AddAssociations("", "q.desktop"),
              "[Added Associations]\napplication/x-quillo95-exchange=q.desktop;\n"
              "application/x-quillo95-document=q.desktop;\n");
    const QString before =
        "# mine\n[Added Associations]\napplication/x-quillo95-exchange=viewer.desktop\n\n[Removed "
        "Associations]\n"
        "image/png=x.desktop;\n";
    const QString after = AddAssociations(before, "q.desktop");
    EXPECT_EQ(
        after,
        "# mine\n[Added Associations]\napplication/x-quillo95-exchange=viewer.desktop;q.desktop;\n"
        "application/x-quillo95-document=q.desktop;\n\n[Removed "
        "Associations]\nimage/png=x.desktop;\n");
    EXPECT_EQ(AddAssociations(after, "q.desktop"), after);
}

TEST(ClassRegistry, UnwritableDataHomeIsReportedNotFatal) {
    XdgTree t("unwritable");
    // A file where the data directory should be.
    WriteText(t.root + "/blocked", "x");
    t.xdg.dataHome = t.root + "/blocked";
    const ClassRegistryResult r = EnsureClassRegistry(t.xdg, "/x/quillon");
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.mimeDatabaseUpdated);
}

TEST(ClassRegistry, AnInstalledEntryTakesOverAndOurOlderCopiesGo) {
    XdgTree t("installed");
    // What earlier versions and a build-tree run left for this user, and a launcher of the
    // user's own that must stay.
    const QString apps = t.xdg.dataHome + "/applications/";
    WriteText(apps + "quillon97.desktop",
              "[Desktop Entry]\nType=Application\nName=Quillon 97\nExec=/old/quillon %f\n"
              "MimeType=application/x-quillo95-exchange;application/x-quillo95-document;\n");
    WriteText(t.xdg.dataHome + "/mime/packages/quillon97.xml", MimePackageText().toUtf8());
    WriteText(apps + "my-quillon.desktop",
              "[Desktop Entry]\nType=Application\nName=Mine\nExec=/old/quillon -L\n");
    ClassRegistryResult r = EnsureClassRegistry(t.xdg, "/build/bin/quillon");
    EXPECT_TRUE(r.ok);
    EXPECT_FALSE(r.installedEntry);
    EXPECT_EQ(r.removed, 2);
    // One launcher of ours: the new id, not the old name beside it.
    EXPECT_FALSE(QFile::exists(apps + "quillon97.desktop"));
    EXPECT_FALSE(QFile::exists(t.xdg.dataHome + "/mime/packages/quillon97.xml"));
    EXPECT_TRUE(QFile::exists(apps + "org.orcharddesk.Quillon97.desktop"));
    EXPECT_TRUE(QFile::exists(apps + "my-quillon.desktop"));

    // Now the program is installed: the per-user copies go and none are written again.
    WriteText(t.xdg.dataDirs[0] + "/applications/org.orcharddesk.Quillon97.desktop",
              "[Desktop Entry]\nType=Application\nName=Quillon 97\nExec=quillon %f\n");
    EXPECT_EQ(FindInstalledDesktopEntry(t.xdg),
              t.xdg.dataDirs[0] + "/applications/org.orcharddesk.Quillon97.desktop");
    r = EnsureClassRegistry(t.xdg, "/usr/lib/quillon97/quillon");
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.installedEntry);
    EXPECT_EQ(r.removed, 3);  // desktop entry, MIME package, icon
    EXPECT_FALSE(r.mimeWritten || r.desktopWritten);
    EXPECT_FALSE(QFile::exists(apps + "org.orcharddesk.Quillon97.desktop"));
    EXPECT_FALSE(QFile::exists(t.xdg.dataHome + "/mime/packages/org.orcharddesk.Quillon97.xml"));
    EXPECT_FALSE(QFile::exists(t.xdg.dataHome +
                               "/icons/hicolor/scalable/apps/org.orcharddesk.Quillon97.svg"));
    EXPECT_TRUE(QFile::exists(apps + "my-quillon.desktop"));
    // The association names the id the installed entry has too.
    EXPECT_TRUE(
        ReadText(t.xdg.configHome + "/mimeapps.list")
            .contains("application/x-quillo95-exchange=org.orcharddesk.Quillon97.desktop;"));
    r = EnsureClassRegistry(t.xdg, "/usr/lib/quillon97/quillon");
    EXPECT_EQ(r.removed, 0);
    EXPECT_FALSE(r.associationsWritten);
}

TEST(ClassRegistry, PerUserPackageMatchesTheInstalledOne) {
    // The two must never disagree about the types, or the per-user one would shadow the other.
    EXPECT_EQ(
        ReadText(QStringLiteral(QUILLON_SOURCE_DIR "/packaging/org.orcharddesk.Quillon97.xml")),
        MimePackageText().toUtf8());
}
