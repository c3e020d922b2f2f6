// The Disk module's branch: what goes into it, and the tips read back from it.
#pragma once

#include <string>

#include "DiskBench.h"
#include "DiskInventory.h"
#include "KQAModule.h"

// The modules' scratch directory (never under the sysroot), or QUILLON_DISK_TESTDIR.
std::string DiskTestDirectory();

// Entry key of a file system: its mount point, with a home directory written "home" since
// "~" separates the parts of an item path.
std::string FileSystemKey(const std::string& mountPoint);

void FillDiskBranch(CKQTreeEntry* branch, const CDiskInventory& inv, const std::string& testDir);
void StoreDiskResult(CKQTreeEntry* branch, const DiskBenchResult& r, const std::string& testDir,
                     bool cancelled);
// Removes the module's tips from the branch and adds the ones whose conditions hold now.
// Returns the number of tips added.
int GenerateDiskTips(CKQTreeEntry* branch);
