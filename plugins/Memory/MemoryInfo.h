// What the Memory module reads about memory and swap, and the tips it draws from its branch.
#pragma once

#include "MemoryTexts.h"

namespace mem {

void FillBranch(CKQTreeEntry* branch);
void GenTips(CKQTreeEntry* branch);

// Memory needed by the desktop named (XDG_CURRENT_DESKTOP), in MB; 0 when unknown.
int DesktopNeedMiB(const std::string& desktop);

}  // namespace mem
