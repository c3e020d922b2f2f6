// Where a module may write its scratch files (the disk test's file): the data directory the
// program chose, which is the program directory in a writable build tree and the user's data
// directory for an installed copy.
#pragma once

#include <string>

namespace kqa {

// The program hands its data directory over in QUILLON_DATA_DIR (empty: it has none). Loaded
// by another host, the module applies the program's rule itself: its directory when writable,
// else $XDG_DATA_HOME/Quillon97 (~/.local/share/Quillon97). Created when missing; no final '/'.
// Empty when there is none, or when a folder other than the program's is not private to the
// user (owned by them, writable by neither group nor others).
std::string ScratchDirectory();

}  // namespace kqa
