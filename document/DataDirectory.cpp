#include "document/DataDirectory.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "resources/Strings.h"

const char kInstalledMarker[] = "Quillon97.installed";
const char kDataDirEnv[] = "QUILLON_DATA_DIR";

namespace {

// Empty when there is none: a folder everyone shares is no place for one user's data.
std::string HomeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home == '/') return home;
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_dir && *pw->pw_dir == '/')
        return pw->pw_dir;
    return {};
}

std::string WithoutSlash(std::string dir) {
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

}  // namespace

std::string UserDataDirectory() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    // A relative XDG_DATA_HOME is ignored, as freedesktop's base directory rules say.
    if (xdg && *xdg == '/') return WithoutSlash(xdg) + "/Quillon97";
    const std::string home = HomeDirectory();
    return home.empty() ? std::string() : WithoutSlash(home) + "/.local/share/Quillon97";
}

bool IsInstalledCopy(const std::string& programDir) {
    struct stat st {};
    return ::stat((WithoutSlash(programDir) + "/" + kInstalledMarker).c_str(), &st) == 0;
}

bool IsWritableDirectory(const std::string& dir) {
    return !dir.empty() && ::access(dir.c_str(), W_OK | X_OK) == 0;
}

std::string ChooseDataDirectory(const std::string& programDir) {
    if (!IsInstalledCopy(programDir) && IsWritableDirectory(programDir)) return programDir;
    return UserDataDirectory();
}

bool MakeDataDirectory(const std::string& dir) {
    if (dir.empty()) return false;
    std::string path;
    size_t pos = 0;
    const std::string full = WithoutSlash(dir);
    while (pos != std::string::npos) {
        pos = full.find('/', pos + 1);
        path = full.substr(0, pos);
        const bool last = pos == std::string::npos;
        if (::mkdir(path.c_str(), last ? 0700 : 0755) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    return ::stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string DataDirectoryRefusal(const std::string& dir) {
    std::string reason;
    struct stat st {};
    if (dir.empty())
        reason = LoadKQString(IDS_DATA_DIR_NO_HOME);
    else if (::stat(dir.c_str(), &st) != 0)
        reason = FormatKQString(IDS_DATA_DIR_NOT_MADE, std::strerror(errno));
    else if (!S_ISDIR(st.st_mode))
        reason = LoadKQString(IDS_DATA_DIR_NOT_FOLDER);
    else if (st.st_uid != ::geteuid())
        reason = LoadKQString(IDS_DATA_DIR_OTHER_OWNER);
    else if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        reason = LoadKQString(IDS_DATA_DIR_OPEN_TO_OTHERS);
    if (reason.empty()) return {};
    return FormatKQString(IDS_ERR_DATA_DIR_REFUSED,
                          dir.empty() ? "~/.local/share/Quillon97" : WithoutSlash(dir), reason);
}
