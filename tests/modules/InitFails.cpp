// A module whose kqaInitialize fails with KQA_INIT_RC; every other entry point is there.
#include "analyzers/KQAnalyzer.h"

KQARC kqaInitialize(CWnd*, CAnalyzerInfo& info) {
    info.m_id = 50;
    info.m_name = "InitFails";
    return static_cast<KQARC>(KQA_INIT_RC);
}
KQARC kqaGetSystemInfo(CKQTreeEntry* branch) {
    branch->SetAttr("Loaded", "yes", 0, 0);
    return KQARC_OK;
}
KQARC kqaDoPropertiesUI(CKQTreeEntry*) { return KQARC_OK; }
KQARC kqaRunTests(CKQTreeEntry*, int&) { return KQARC_OK; }
KQARC kqaRunATest(CKQTreeEntry*, CKQTreeEntry*, int&) { return KQARC_OK; }
KQARC kqaGenTips(CKQTreeEntry*) { return KQARC_OK; }
KQARC kqaGetTipText(CTip*, CString&) { return KQARC_OK; }
KQARC kqaGetTipDesc(CTip*, CString&) { return KQARC_OK; }
KQARC kqaGetAttrDesc(CAttr*, CString&) { return KQARC_OK; }
