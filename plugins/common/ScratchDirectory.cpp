#include "ScratchDirectory.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace kqa {

namespace {

std::string WithoutSlash(std::string dir) {
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

std::string ProgramDirectory() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    const std::string exe(buf, static_cast<size_t>(n));
    const size_t slash = exe.rfind('/');
    return slash == 0 ? "/" : exe.substr(0, slash);
}

// Empty without a home: a folder everyone shares is no place for the test file.
std::string UserDataDirectory() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/')
        return WithoutSlash(xdg) + "/Quillon97";
    std::string home;
    if (const char* h = std::getenv("HOME"); h && *h == '/')
        home = h;
    else if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_dir && *pw->pw_dir == '/')
        home = pw->pw_dir;
    else
        return {};
    return WithoutSlash(home) + "/.local/share/Quillon97";
}

// As the program requires of its data directory: owned by the effective user, and neither
// group nor others can write it (or plant a link under the test file's name).
bool IsPrivateDirectory(const std::string& dir) {
    struct stat st {};
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

void MakeDirectories(const std::string& dir) {
    for (size_t pos = dir.find('/', 1);; pos = dir.find('/', pos + 1)) {
        const std::string part = dir.substr(0, pos);
        const bool last = pos == std::string::npos;
        if (::mkdir(part.c_str(), last ? 0700 : 0755) != 0 && errno != EEXIST) return;
        if (last) return;
    }
}

}  // namespace

std::string ScratchDirectory() {
    const std::string program = ProgramDirectory();
    std::string dir;
    if (const char* given = std::getenv("QUILLON_DATA_DIR")) {
        if (*given == '\0') return {};  // the program refused its data directory
        if (*given == '/') dir = WithoutSlash(given);
    }
    if (dir.empty())
        dir = !program.empty() && ::access(program.c_str(), W_OK | X_OK) == 0 ? program
                                                                              : UserDataDirectory();
    // The program's own folder holds its data as the program decided; any other must be private.
    if (dir.empty() || dir == program) return dir;
    MakeDirectories(dir);
    return IsPrivateDirectory(dir) ? dir : std::string();
}

}  // namespace kqa
