// What the System module reads about the machine, and the identifier it makes from it.
#pragma once

#include <string>

#include "SystemTexts.h"

namespace sys {

// At most 22 characters; the same for the machine on every run; no serial number or name in it.
std::string MakeSystemID();
// The machine's vendor and model ("" when the firmware names neither).
std::string DefaultDescription();
// The local time now as the "Measured" attribute holds it: "YYYY-MM-DD HH:MM".
std::string MeasuredNow();
// Fills the sub-entries of the branch (attributes 0 and 1 are the caller's).
void FillBranch(CKQTreeEntry* branch);
// Raises and clears the module's tips from what the branch holds.
void GenTips(CKQTreeEntry* branch);

// Version strings compared part by part ("6.1.0-18-amd64" < "6.1.0-21-amd64").
int CompareVersions(const std::string& a, const std::string& b);

}  // namespace sys
