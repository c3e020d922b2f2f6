// Where the database, the log file and the modules' scratch files go: beside the program in a
// writable build tree, else in the user's data directory, since an installed copy under /usr
// cannot write its own directory.
#pragma once

#include <string>

// Written into the program directory by the install; its presence makes an installed copy.
extern const char kInstalledMarker[];
// The data directory the program hands to the analyzer modules it loads.
extern const char kDataDirEnv[];

// $XDG_DATA_HOME/Quillon97, or ~/.local/share/Quillon97 when that is unset or not absolute;
// empty when there is no home directory either.
std::string UserDataDirectory();
bool IsInstalledCopy(const std::string& programDir);
// Whether files can be created in dir (a read-only mount counts as not writable, even for root).
bool IsWritableDirectory(const std::string& dir);
// The program directory unless it is an installed copy or cannot be written.
std::string ChooseDataDirectory(const std::string& programDir);
// Creates dir and its parents; the last level is private to the user.
bool MakeDataDirectory(const std::string& dir);
// The user's data directory must be private: a folder owned by the effective user that neither
// group nor others can write, or they could plant links or a database of their own there.
// Empty when dir passes; else the message that names it and says why ("" means no home).
std::string DataDirectoryRefusal(const std::string& dir);
