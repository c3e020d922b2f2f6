// The Video module's branch: what goes into it, and the tips read back from it.
#pragma once

#include "VideoBench.h"
#include "VideoInventory.h"

void FillVideoBranch(CKQTreeEntry* branch, const CVideoInventory& inv);
void StoreVideoResult(CKQTreeEntry* branch, const VideoBenchResult& r, bool cancelled);
int GenerateVideoTips(CKQTreeEntry* branch);
