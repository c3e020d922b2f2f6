// A well-formed module that lacks kqaInitialize: the host must drop it without calling the rest.
#include "analyzers/KQAnalyzer.h"

KQARC kqaGetSystemInfo(CKQTreeEntry* branch) {
    branch->SetAttr("Loaded", "yes", 0, 0);
    return KQARC_OK;
}
KQARC kqaRunTests(CKQTreeEntry* branch, int&) {
    branch->SetAttr("Ran", "yes", 0, 0);
    return KQARC_OK;
}
