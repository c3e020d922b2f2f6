#include "analyzers/Analyzer.h"

#include <dlfcn.h>

#include <utility>

#include "resources/Strings.h"

// The names g++ gives the nine declarations of KQAnalyzer.h (Itanium C++ ABI; the return type
// is not part of a function's name). A test resolves every one in a module defining all nine.
const char* const kqaEntryPointNames[KQA_ENTRYCOUNT] = {
    "_Z13kqaInitializeP4CWndR13CAnalyzerInfo",
    "_Z16kqaGetSystemInfoP12CKQTreeEntry",
    "_Z17kqaDoPropertiesUIP12CKQTreeEntry",
    "_Z11kqaRunTestsP12CKQTreeEntryRi",
    "_Z11kqaRunATestP12CKQTreeEntryS0_Ri",
    "_Z10kqaGenTipsP12CKQTreeEntry",
    "_Z13kqaGetTipTextP4CTipRNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE",
    "_Z13kqaGetTipDescP4CTipRNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE",
    "_Z14kqaGetAttrDescP5CAttrRNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE",
};

namespace {

// The one shape of every wrapper: 0 when there is nothing to call, the entry point's result
// otherwise, kept as the last KQARC; only 1 counts as success.
template <typename Fn, typename... Args>
bool CallEntry(CAnalyzer& a, KQAEntry which, Args&&... args) {
    int32_t rc = KQARC_NOTCALLED;
    if (a.m_module != nullptr && a.m_entry[which] != nullptr) {
        // An exception escaping foreign code must not take the program down with it.
        try {
            rc = reinterpret_cast<Fn>(a.m_entry[which])(std::forward<Args>(args)...);
        } catch (...) {
            rc = KQARC_FAIL;
        }
    }
    a.m_lastRC = rc;
    return rc == KQARC_OK;
}

}  // namespace

CAnalyzer::CAnalyzer() = default;

CAnalyzer::~CAnalyzer() { Unload(); }

void CAnalyzer::LoaderError() {
    if (const char* reason = dlerror()) m_loadError = reason;
}

bool CAnalyzer::Load(const std::string& path, CWnd* view) {
    Unload();
    m_loadError.clear();
    dlerror();  // a stale message must not be taken for this load's reason
    m_module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_module == nullptr) {
        LoaderError();
        return false;
    }
    m_entry[KQA_INITIALIZE] = dlsym(m_module, kqaEntryPointNames[KQA_INITIALIZE]);
    if (m_entry[KQA_INITIALIZE] == nullptr) {
        LoaderError();
        Unload();
        return false;
    }
    if (!Initialize(view)) {
        Unload();
        return false;
    }
    // The program's own tips answer to this identifier: a module under it would get them.
    if (m_info.m_id == KQAID_HOST) {
        m_loadError = FormatKQString(IDS_HOST_KQAID_RESERVED, std::to_string(KQAID_HOST));
        Unload();
        return false;
    }
    for (int i = KQA_INITIALIZE + 1; i < KQA_ENTRYCOUNT; ++i)
        m_entry[i] = dlsym(m_module, kqaEntryPointNames[i]);
    return true;
}

void CAnalyzer::Unload() {
    if (m_module != nullptr) dlclose(m_module);
    m_module = nullptr;
    for (void*& e : m_entry) e = nullptr;
}

bool CAnalyzer::Initialize(CWnd* view) {
    return CallEntry<PFN_kqaInitialize>(*this, KQA_INITIALIZE, view, m_info);
}

bool CAnalyzer::GetSystemInfo(CKQTreeEntry* branch) {
    m_branch = branch;
    return CallEntry<PFN_kqaGetSystemInfo>(*this, KQA_GETSYSTEMINFO, branch);
}

bool CAnalyzer::DoPropertiesUI(CKQTreeEntry* entry) {
    if (entry == nullptr) entry = m_branch;
    if (entry == nullptr) {
        m_lastRC = KQARC_NOTCALLED;  // no branch yet: nothing a module could work on
        return false;
    }
    return CallEntry<PFN_kqaDoPropertiesUI>(*this, KQA_DOPROPERTIESUI, entry);
}

bool CAnalyzer::RunTests(int& cancel) {
    if (m_branch == nullptr) {
        m_lastRC = KQARC_NOTCALLED;
        return false;
    }
    return CallEntry<PFN_kqaRunTests>(*this, KQA_RUNTESTS, m_branch, cancel);
}

bool CAnalyzer::RunATest(CKQTreeEntry* item, int& cancel) {
    if (m_branch == nullptr) {
        m_lastRC = KQARC_NOTCALLED;
        return false;
    }
    return CallEntry<PFN_kqaRunATest>(*this, KQA_RUNATEST, m_branch, item, cancel);
}

bool CAnalyzer::GenTips() {
    if (m_branch == nullptr) {
        m_lastRC = KQARC_NOTCALLED;
        return false;
    }
    return CallEntry<PFN_kqaGenTips>(*this, KQA_GENTIPS, m_branch);
}

bool CAnalyzer::GetTipText(CTip* tip, CString& text) {
    return CallEntry<PFN_kqaGetText>(*this, KQA_GETTIPTEXT, tip, text);
}

bool CAnalyzer::GetTipDesc(CTip* tip, CString& text) {
    return CallEntry<PFN_kqaGetText>(*this, KQA_GETTIPDESC, tip, text);
}

bool CAnalyzer::GetAttrDesc(CAttr* attr, CString& text) {
    return CallEntry<PFN_kqaGetAttrDesc>(*this, KQA_GETATTRDESC, attr, text);
}
