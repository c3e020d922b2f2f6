// A complete analyzer for the host tests. Identity and behaviour come from compile
// definitions; every call leaves a counter attribute on the entry it was given, so tests see
// exactly what the host called. Attributes a test puts on an entry drive the rest:
// "Ask" (an item path) and "AskSysid" make the module send UM_ANALYZERREQUEST and keep the
// result in "Answer" / "AnswerRC"; "Progress" overrides the position it reports.
#include <cstdlib>

#include "analyzers/KQAnalyzer.h"

#ifndef KQA_FLAGS
#define KQA_FLAGS 0
#endif
#ifndef KQA_BITMAP
#define KQA_BITMAP 0
#endif
#ifndef KQA_SET_CANCEL
#define KQA_SET_CANCEL 0
#endif
#ifndef KQA_PROPS_RC
#define KQA_PROPS_RC 1
#endif
#ifndef KQA_SYSID
#define KQA_SYSID "BOX-" KQA_NAME
#endif

namespace {

CWnd* g_view = nullptr;

void Bump(CKQTreeEntry* entry, const char* counter) {
    if (entry == nullptr) return;
    const int n = std::atoi(entry->GetAttrValue(counter).c_str()) + 1;
    entry->SetAttr(counter, std::to_string(n), 0, 1);
}

void Log(const std::string& text) {
    if (g_view != nullptr)
        g_view->SendMessage(UM_ANALYZERLOG, KQA_ID, reinterpret_cast<intptr_t>(text.c_str()));
}

void Progress(CKQTreeEntry* entry) {
    if (g_view == nullptr) return;
    std::string p = entry->GetAttrValue("Progress");
    g_view->SendMessage(UM_ANALYZERPROGRESS, 0, p.empty() ? 50 : std::atoi(p.c_str()));
}

void Ask(CKQTreeEntry* entry) {
    if (g_view == nullptr || entry->FindAttr("Ask") < 0) return;
    KQAREQUEST request;
    request.m_sysid = entry->GetAttrValue("AskSysid");
    request.m_id = KQA_ID;
    request.m_path = entry->GetAttrValue("Ask");
    const intptr_t rc =
        g_view->SendMessage(UM_ANALYZERREQUEST, 0, reinterpret_cast<intptr_t>(&request));
    entry->SetAttr("Answer", request.m_answer, 0, 0);
    entry->SetAttr("AnswerRC", std::to_string(rc), 0, 1);
}

std::string Ids(const CTip* tip) {
    return std::to_string(tip->m_textID) + " " + std::to_string(tip->m_descID);
}

}  // namespace

KQARC kqaInitialize(CWnd* view, CAnalyzerInfo& info) {
    g_view = view;
    info.m_id = KQA_ID;
    info.m_version = KQA_VERSION;
    info.m_name = KQA_NAME;
    info.m_title = "Title of " KQA_NAME;
    info.m_bitmap = KQA_BITMAP;
    info.m_flags[0] = KQA_FLAGS;
    info.m_extra = "Item~Speed";  // relative to the branch, as report items are
    // Not yet one of the host's analyzers: the host ignores this line.
    Log("initialising");
    return KQARC_OK;
}

KQARC kqaGetSystemInfo(CKQTreeEntry* branch) {
    branch->SetAttr("SysName", KQA_SYSID, 0, 0);
    branch->SetAttr("Model", "Model " KQA_NAME, 7, 0);
    Bump(branch, "SystemInfo");
    CKQTree* sub = branch->AddSubtree();
    if (sub == nullptr) return KQARC_FAIL;
    CKQTreeEntry* item = sub->Add("Item");
    if (item == nullptr) return KQARC_FAIL;
    item->SetAttr("Speed", "100", 3, 1 | 4);
    CKQTree* deeper = item->AddSubtree();
    if (deeper == nullptr) return KQARC_FAIL;
    CKQTreeEntry* deep = deeper->Add("Deep");
    if (deep == nullptr) return KQARC_FAIL;
    deep->SetAttr("Depth", "2", 4, 1);
    return KQARC_OK;
}

KQARC kqaDoPropertiesUI(CKQTreeEntry* entry) {
    Bump(entry, "Properties");
    return static_cast<KQARC>(KQA_PROPS_RC);
}

KQARC kqaRunTests(CKQTreeEntry* branch, int& cancel) {
    Bump(branch, "RunTests");
    Log("running tests");
    Progress(branch);
    Ask(branch);
    if (KQA_SET_CANCEL) cancel = 1;
    branch->SetAttr("CancelAfter", std::to_string(cancel), 0, 1);
    return KQARC_OK;
}

KQARC kqaRunATest(CKQTreeEntry* branch, CKQTreeEntry* item, int& cancel) {
    Bump(branch, "RunATest");
    Bump(item, "Tested");
    Progress(branch);
    Ask(item);
    if (KQA_SET_CANCEL) cancel = 1;
    return KQARC_OK;
}

KQARC kqaGenTips(CKQTreeEntry* branch) {
    Bump(branch, "GenTips");
    const int base = KQA_ID * 1000;
    branch->AddTip(80, base + 1, base + 101);
    branch->AddTip(50, base + 2, base + 102);
    branch->AddTip(49, base + 3, base + 103);
    branch->AddTip(0, base + 4, base + 104);
    if (CKQTree* sub = branch->GetSubtree())
        if (CKQTreeEntry* item = sub->Find("Item")) item->AddTip(60, base + 5, base + 105);
    return KQARC_OK;
}

// The text entry points scribble on what they are given: the host must hand them copies.
KQARC kqaGetTipText(CTip* tip, CString& text) {
    text = KQA_NAME " tip " + Ids(tip);
    tip->m_priority = -999;
    return KQARC_OK;
}

KQARC kqaGetTipDesc(CTip* tip, CString& text) {
    text = KQA_NAME " desc " + Ids(tip);
    tip->m_textID = -999;
    return KQARC_OK;
}

KQARC kqaGetAttrDesc(CAttr* attr, CString& text) {
    text = KQA_NAME " attr " + attr->m_id;
    attr->m_value = "scribbled";
    return KQARC_OK;
}
