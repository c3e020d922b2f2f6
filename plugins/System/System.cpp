// Analyzer 10: the machine's identity. Its branch is the top of the tree, its attribute 0 is the
// system identifier and its description names the system in reports, charts and the database.
#include "SystemInfo.h"

using namespace kqa;

#ifdef KQA_SYSTEM_DIALOG
#include "SystemDialog.h"
#endif

namespace {

CWnd* g_view = nullptr;

// A value of this system's record that the host keeps in its database (the description the
// user gave it, the time its figures were taken).
std::string StoredValue(const std::string& sysid, const char* path) {
    if (!g_view) return "";
    KQAREQUEST request;
    request.m_sysid = sysid;
    request.m_id = sys::kID;
    request.m_path = path;
    if (g_view->SendMessage(UM_ANALYZERREQUEST, 0, reinterpret_cast<intptr_t>(&request)) != 0)
        return request.m_answer;
    return "";
}

}  // namespace

KQARC kqaInitialize(CWnd* view, CAnalyzerInfo& info) {
    g_view = view;
    Describe(info, sys::kModule);
    info.m_flags[0] |= KQA_FLAG_PROPERTIES;
    info.m_extra = sys::kDescriptionPath;
    return KQARC_OK;
}

KQARC kqaGetSystemInfo(CKQTreeEntry* branch) {
    if (!branch) return KQARC_FAIL;
    // Attribute 0 is the identifier, attribute 1 the description, attribute 2 the time of
    // measuring: keep them in that order. The last two name a record among many (highlights:
    // the Summary and the database list show them).
    const std::string id = sys::MakeSystemID();
    branch->SetAttr(sys::kSysidAttr, id, sys::T_SYSID, 0);
    std::string description = StoredValue(id, sys::kDescriptionPath);
    if (description.empty()) description = sys::DefaultDescription();
    if (description.empty()) description = "Linux computer";
    branch->SetAttr(sys::kDescriptionAttr, description, sys::T_DESCRIPTION, DATA_HIGHLIGHT);
    // The stored figures keep the time they were taken until the next run replaces them.
    std::string measured = StoredValue(id, sys::kMeasuredPath);
    if (measured.empty()) measured = sys::MeasuredNow();
    branch->SetAttr(sys::kMeasuredAttr, measured, sys::T_MEASURED, DATA_HIGHLIGHT);
    sys::FillBranch(branch);
    AddReport(branch, "System Details", sys::kID,
              {sys::kDescriptionPath, "Operating System~Distribution", "Operating System~Kernel",
               "Operating System~Architecture", "Operating System~Init System",
               "Operating System~Reboot Required", "Machine~Machine Vendor",
               "Machine~Machine Model", "Machine~Chassis", "Machine~Virtual Machine",
               "Firmware~Firmware Vendor", "Firmware~Firmware Version", "Firmware~Firmware Date",
               "Firmware~Boot Mode", "Firmware~Secure Boot", "Session~Uptime",
               "Session~Desktop Session", "Session~Session Type"});
    AddChart(branch, "System Uptime", "h", sys::kID, {"Session~Uptime"});
    kqa::Log(g_view, sys::kID, "System information gathered");
    return KQARC_OK;
}

KQARC kqaDoPropertiesUI(CKQTreeEntry* entry) {
    if (!entry) return KQARC_FAIL;
#ifdef KQA_SYSTEM_DIALOG
    return EditSystemDescription(g_view, entry);
#else
    // No dialog can be shown: the stored description stays, and saving goes on.
    return KQARC_OK;
#endif
}

KQARC kqaRunTests(CKQTreeEntry* branch, int& cancel) {
    // Nothing to measure; the uptime is the one value that moves. Every run dates the figures.
    (void)cancel;
    if (!branch) return KQARC_FAIL;
    branch->SetAttr(sys::kMeasuredAttr, sys::MeasuredNow(), sys::T_MEASURED, DATA_HIGHLIGHT);
    sys::FillBranch(branch);
    return KQARC_OK;
}

KQARC kqaRunATest(CKQTreeEntry* branch, CKQTreeEntry*, int& cancel) {
    return kqaRunTests(branch, cancel);
}

KQARC kqaGenTips(CKQTreeEntry* branch) {
    if (!branch) return KQARC_FAIL;
    sys::GenTips(branch);
    return KQARC_OK;
}

KQARC kqaGetTipText(CTip* tip, CString& text) { return sys::Texts().TipText(tip, text); }
KQARC kqaGetTipDesc(CTip* tip, CString& text) { return sys::Texts().TipDesc(tip, text); }
KQARC kqaGetAttrDesc(CAttr* attr, CString& text) { return sys::Texts().AttrDesc(attr, text); }
