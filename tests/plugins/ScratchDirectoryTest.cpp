// The modules' scratch directory: the one the program hands over, else the program's rule.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "DiskBranch.h"
#include "ScratchDirectory.h"

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

bool IsDir(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ExeDir() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    const std::string exe(buf, n > 0 ? static_cast<size_t>(n) : 0);
    return exe.substr(0, exe.rfind('/'));
}

}  // namespace

TEST(ScratchDirectory, TheProgramsDataDirectoryIsCreatedAndUsedByTheDiskTest) {
    char pattern[] = "/tmp/quillon-scratch-XXXXXX";
    const std::string root = mkdtemp(pattern);
    const std::string given = root + "/share/Quillon97";
    ScopedEnv data("QUILLON_DATA_DIR", (given + "/").c_str());
    ScopedEnv disk("QUILLON_DISK_TESTDIR", nullptr);
    EXPECT_EQ(kqa::ScratchDirectory(), given);
    EXPECT_TRUE(IsDir(given));
    EXPECT_EQ(DiskTestDirectory(), given);
    {
        // The disk tests' own override still wins.
        ScopedEnv override("QUILLON_DISK_TESTDIR", root.c_str());
        EXPECT_EQ(DiskTestDirectory(), root);
    }
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
}

TEST(ScratchDirectory, WithoutTheProgramAWritableModuleDirectoryIsUsed) {
    ScopedEnv disk("QUILLON_DISK_TESTDIR", nullptr);
    ScopedEnv data("QUILLON_DATA_DIR", nullptr);
    EXPECT_EQ(kqa::ScratchDirectory(), ExeDir());
    // A relative hand-over is no place to write: the rule applies instead.
    ScopedEnv relative("QUILLON_DATA_DIR", "share/Quillon97");
    EXPECT_EQ(kqa::ScratchDirectory(), ExeDir());
}

TEST(ScratchDirectory, AFolderNotPrivateToTheUserIsNotUsed) {
    char pattern[] = "/tmp/quillon-scratch-XXXXXX";
    const std::string root = mkdtemp(pattern);
    const std::string given = root + "/share/Quillon97";
    ScopedEnv disk("QUILLON_DISK_TESTDIR", nullptr);
    ScopedEnv data("QUILLON_DATA_DIR", given.c_str());
    ASSERT_EQ(kqa::ScratchDirectory(), given);
    for (mode_t mode : {0770, 0702}) {
        ASSERT_EQ(chmod(given.c_str(), mode), 0);
        EXPECT_EQ(kqa::ScratchDirectory(), "") << mode;
        EXPECT_EQ(DiskTestDirectory(), "") << mode;
    }
    ASSERT_EQ(chmod(given.c_str(), 0700), 0);
    // Tests run as root, which can hand the folder to someone else.
    if (chown(given.c_str(), geteuid() + 1, static_cast<gid_t>(-1)) == 0) {
        EXPECT_EQ(kqa::ScratchDirectory(), "");
        ASSERT_EQ(chown(given.c_str(), geteuid(), static_cast<gid_t>(-1)), 0);
    }
    EXPECT_EQ(kqa::ScratchDirectory(), given);
    {
        // Handed over empty: the program refused its data directory, and the module takes none.
        ScopedEnv none("QUILLON_DATA_DIR", "");
        EXPECT_EQ(kqa::ScratchDirectory(), "");
        EXPECT_EQ(DiskTestDirectory(), "");
    }
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
}
