// What the CPU module reads about the processor, and the tips it draws from its branch.
#pragma once

#include "CPUTexts.h"

namespace cpu {

void FillBranch(CKQTreeEntry* branch);
void GenTips(CKQTreeEntry* branch);
// "spectre_v1" -> "Spectre v1"
std::string VulnerabilityName(const std::string& file);

}  // namespace cpu
