// A module that exports nothing but kqaInitialize.
#include "analyzers/KQAnalyzer.h"

KQARC kqaInitialize(CWnd*, CAnalyzerInfo& info) {
    info.m_id = 40;
    info.m_version = 100;
    info.m_name = "InitOnly";
    info.m_title = "Init only";
    return KQARC_OK;
}
