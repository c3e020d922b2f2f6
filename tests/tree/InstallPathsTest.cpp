// Where an installed copy keeps its files, relative command-line paths, --help and --version.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "document/AppState.h"
#include "document/DataDirectory.h"
#include "document/InfoOptions.h"
#include "resources/Strings.h"

namespace {

struct ScopedEnv {
    std::string name, old;
    bool had;
    ScopedEnv(const char* n, const char* value) : name(n) {
        const char* o = std::getenv(n);
        had = o != nullptr;
        if (had) old = o;
        if (value)
            setenv(n, value, 1);
        else
            unsetenv(n);
    }
    ~ScopedEnv() {
        if (had)
            setenv(name.c_str(), old.c_str(), 1);
        else
            unsetenv(name.c_str());
    }
};

std::string TempDir() {
    char pattern[] = "/tmp/quillon-paths-XXXXXX";
    const char* d = mkdtemp(pattern);
    return d ? d : "";
}

}  // namespace

TEST(StartDirectory, RelativePathsFromTheCommandLineMeanTheStartingDirectory) {
    CAppState app;
    app.SetProgramDir("/opt/quillon");
    // Unknown start directory: unchanged, as before.
    EXPECT_EQ(app.FromStartDir("out.kqx"), "out.kqx");
    app.SetStartDir("/home/me/work");
    EXPECT_EQ(app.FromStartDir("out.kqx"), "/home/me/work/out.kqx");
    EXPECT_EQ(app.FromStartDir("sub/out.kqx"), "/home/me/work/sub/out.kqx");
    EXPECT_EQ(app.FromStartDir("/tmp/out.kqx"), "/tmp/out.kqx");
    EXPECT_EQ(app.FromStartDir(""), "");
    app.SetStartDir("/");
    EXPECT_EQ(app.FromStartDir("out.kqx"), "/out.kqx");

    // The extension is added before the directory joins, whose dots must not count.
    app.SetStartDir("/home/me/results.v2");
    EXPECT_EQ(app.FromStartDir(CAppState::MakeExportFileName("\"my box\"")),
              "/home/me/results.v2/my box.kqx");
}

TEST(DataDirectory, DatabaseFollowsTheDataDirectoryAndTheProgramDirectoryStays) {
    CAppState app;
    app.SetProgramDir("/usr/lib/quillon97");
    EXPECT_EQ(app.DataDir(), "/usr/lib/quillon97/");
    EXPECT_EQ(app.DatabasePath(), "/usr/lib/quillon97/Quillo97.kqd");
    app.SetDataDir("/home/me/.local/share/Quillon97");
    EXPECT_EQ(app.ProgramDir(), "/usr/lib/quillon97/");
    EXPECT_EQ(app.DataDir(), "/home/me/.local/share/Quillon97/");
    EXPECT_EQ(app.DatabasePath(), "/home/me/.local/share/Quillon97/Quillo97.kqd");
}

TEST(DataDirectory, UserDataDirectoryFollowsXdgDataHomeThenHome) {
    {
        ScopedEnv xdg("XDG_DATA_HOME", "/srv/data/");
        EXPECT_EQ(UserDataDirectory(), "/srv/data/Quillon97");
    }
    ScopedEnv home("HOME", "/home/me");
    {
        ScopedEnv xdg("XDG_DATA_HOME", nullptr);
        EXPECT_EQ(UserDataDirectory(), "/home/me/.local/share/Quillon97");
    }
    // A relative value is ignored, as freedesktop's base directory rules say.
    ScopedEnv xdg("XDG_DATA_HOME", "data");
    EXPECT_EQ(UserDataDirectory(), "/home/me/.local/share/Quillon97");
}

TEST(DataDirectory, InstalledOrUnwritableCopiesUseTheUserDataDirectory) {
    const std::string root = TempDir();
    ASSERT_FALSE(root.empty());
    ScopedEnv xdg("XDG_DATA_HOME", (root + "/data").c_str());
    const std::string program = root + "/program";
    ASSERT_EQ(mkdir(program.c_str(), 0755), 0);

    // A writable build tree keeps everything beside the program.
    EXPECT_FALSE(IsInstalledCopy(program));
    EXPECT_EQ(ChooseDataDirectory(program), program);

    // The install's marker makes it an installed copy, even where it could write.
    std::ofstream(program + "/" + kInstalledMarker) << "installed\n";
    EXPECT_TRUE(IsInstalledCopy(program + "/"));
    EXPECT_EQ(ChooseDataDirectory(program), root + "/data/Quillon97");

    // A directory that does not exist cannot be written either.
    EXPECT_FALSE(IsWritableDirectory(root + "/missing"));
    EXPECT_EQ(ChooseDataDirectory(root + "/missing"), root + "/data/Quillon97");

    // Created with its parents, private to the user; a file in the way is a failure.
    EXPECT_TRUE(MakeDataDirectory(root + "/data/Quillon97/"));
    struct stat st {};
    ASSERT_EQ(stat((root + "/data/Quillon97").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(MakeDataDirectory(root + "/data/Quillon97"));
    std::ofstream(root + "/blocked") << "x";
    EXPECT_FALSE(MakeDataDirectory(root + "/blocked/Quillon97"));
    EXPECT_FALSE(MakeDataDirectory(""));
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
}

TEST(DataDirectory, OnlyAFolderPrivateToTheUserIsAccepted) {
    const std::string root = TempDir();
    ASSERT_FALSE(root.empty());
    const std::string dir = root + "/data/Quillon97";
    const auto refused = [&](const std::string& why) {
        return FormatKQString(IDS_ERR_DATA_DIR_REFUSED, dir, why);
    };
    EXPECT_EQ(DataDirectoryRefusal(dir),
              refused(FormatKQString(IDS_DATA_DIR_NOT_MADE, "No such file or directory")));
    ASSERT_TRUE(MakeDataDirectory(dir));
    EXPECT_EQ(DataDirectoryRefusal(dir), "");
    EXPECT_EQ(DataDirectoryRefusal(dir + "/"), "");
    ASSERT_EQ(chmod(dir.c_str(), 0750), 0);  // others may read, as a user may choose
    EXPECT_EQ(DataDirectoryRefusal(dir), "");
    for (mode_t mode : {0770, 0702, 0777}) {
        ASSERT_EQ(chmod(dir.c_str(), mode), 0);
        EXPECT_EQ(DataDirectoryRefusal(dir), refused("other users can write to it")) << mode;
    }
    EXPECT_EQ(DataDirectoryRefusal(dir),
              "Error 1024: The data folder " + dir +
                  " is not used: other users can write to it. This run starts with an empty "
                  "database and saves nothing.");
    ASSERT_EQ(chmod(dir.c_str(), 0700), 0);
    // Tests run as root, which can hand the folder to someone else.
    if (chown(dir.c_str(), geteuid() + 1, static_cast<gid_t>(-1)) == 0) {
        EXPECT_EQ(DataDirectoryRefusal(dir), refused("it belongs to another user"));
        ASSERT_EQ(chown(dir.c_str(), geteuid(), static_cast<gid_t>(-1)), 0);
    }
    // A link to a private folder of the user is that folder; a file is no folder.
    ASSERT_EQ(symlink(dir.c_str(), (root + "/link").c_str()), 0);
    EXPECT_EQ(DataDirectoryRefusal(root + "/link"), "");
    std::ofstream(root + "/file") << "x";
    EXPECT_EQ(DataDirectoryRefusal(root + "/file"),
              FormatKQString(IDS_ERR_DATA_DIR_REFUSED, root + "/file", "it is not a folder"));
    // No home and no XDG_DATA_HOME: no folder at all, rather than a shared one.
    EXPECT_EQ(DataDirectoryRefusal(""),
              FormatKQString(IDS_ERR_DATA_DIR_REFUSED, "~/.local/share/Quillon97",
                             "there is no home folder to put it in"));
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
}

TEST(InfoOptions, OnlyTheExactWordsAreAnswered) {
    const std::string help = InfoOptionText({"--help"});
    EXPECT_EQ(help.rfind("Usage: quillon ", 0), 0u) << help;
    for (const char* option : {"-A[:file]", "-D", "-L", "-P", "file.kqx", "--version"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
    EXPECT_EQ(help.back(), '\n');
    EXPECT_EQ(InfoOptionText({"-P", "--version"}),
              "Quillon 97 Version 1.0 Build 43 March 25, 1997\n");
    // The first of the two wins.
    EXPECT_EQ(InfoOptionText({"--version", "--help"}), InfoOptionText({"--version"}));
    // Everything else is left to the option scanner ("--auto" is option A there).
    for (const char* other :
         {"--auto", "--debug", "--Help", "--help=x", "-help", "--versions", "x.kqx", "--"})
        EXPECT_EQ(InfoOptionText({other}), "") << other;
    EXPECT_EQ(InfoOptionText({}), "");
    CAppState app;
    app.ParseCommandLine("--auto --debug");
    EXPECT_TRUE(app.AutoRun());
    EXPECT_TRUE(app.Demo());
}
