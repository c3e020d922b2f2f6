// Test main of the shell tests: a private home and XDG tree, the offscreen platform, then
// the application object Qt needs.
#include <QApplication>
#include <QDir>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/shell/ShellEnv.h"

std::string g_shellHome;

int main(int argc, char** argv) {
    char pattern[] = "/tmp/quillon-shell-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (!dir) return 2;
    g_shellHome = dir;
    const std::string runtime = g_shellHome + "/run";
    for (const char* sub : {"/config", "/data", "/tmp", "/run"})
        mkdir((g_shellHome + sub).c_str(), 0700);
    setenv("HOME", dir, 1);
    setenv("XDG_CONFIG_HOME", (g_shellHome + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (g_shellHome + "/data").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    setenv("TMPDIR", (g_shellHome + "/tmp").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Never the user's own session bus.
    unsetenv("DBUS_SESSION_BUS_ADDRESS");

    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    QDir(QString::fromStdString(g_shellHome)).removeRecursively();
    return rc;
}
