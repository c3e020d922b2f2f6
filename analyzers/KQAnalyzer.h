// The analyzer plug-in interface: the header every *.kqa module compiles against.
// Modules export the nine entry points below with C++ linkage in the global namespace;
// the host finds them by the names g++ gives them (see kqaEntryPointNames).
#pragma once

#include <cstdint>
#include <string>

#include "tree/KQTree.h"

using CString = std::string;
using KQAID = uint16_t;

enum KQARC : int32_t {
    KQARC_NOTCALLED = 0,  // recorded by the host when the module or entry point is missing
    KQARC_OK = 1,         // the only success
    KQARC_FAIL = 2,
    KQARC_CANCELLED = 3,
    KQARC_NODISPLAY = 4,
};

class QWidget;

// The window an analyzer talks to: the main view. Messages are synchronous.
class CWnd {
public:
    virtual ~CWnd() = default;
    virtual intptr_t SendMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
    // Parent for a module's dialogs; null when there is no display.
    virtual QWidget* Widget() { return nullptr; }
};

struct CAnalyzerInfo {
    KQAID m_id = 0;
    uint16_t m_version = 0;  // major * 100 + minor
    CString m_name;
    CString m_title;
    int32_t m_bitmap = 0;
    uint8_t m_flags[2] = {0, 0};  // bit 1 of byte 0: offers a properties dialog
    CString m_extra;              // KQAID_SYSTEM: item path of the attribute that names a system
};

enum : uint8_t { KQA_FLAG_PROPERTIES = 2 };

// The System analyzer: its extra string names the attribute that names a system, and its
// properties dialog describes a machine.
enum : KQAID { KQAID_SYSTEM = 10 };
// The program's own tips (this machine's history) carry this identifier; a module that claims
// it is not loaded.
enum : KQAID { KQAID_HOST = 0xFFFF };

// Bits of an attribute's data word (CAttr::m_data).
enum : uint32_t {
    DATA_NUMERIC = 1,    // the value is a number with its unit: charts and reports compare it
    DATA_HIGHLIGHT = 4,  // shown among the Summary pane's highlights and in reports
    DATA_ALTICON = 8,    // the details tree shows the alternative attribute icon
    // A figure this machine measured, repeatable enough that its history is compared. Its
    // spread over the repetitions is stored beside it as the attribute "<id> Spread",
    // valued "<percent> %".
    DATA_MEASURED = 16,
    DATA_LOWER_BETTER = 32,  // with DATA_MEASURED: a smaller value is better (latencies)
};

// lParam of UM_ANALYZERREQUEST.
struct KQAREQUEST {
    CString m_sysid;  // empty: this machine's tree
    KQAID m_id = 0;
    CString m_path;
    CString m_answer;  // written by the host
};

enum : uint32_t {
    UM_TABCHANGE = 0x400,
    UM_EXPORTRECORD = 0x401,
    UM_DELETERECORD = 0x402,
    UM_QUERYRECORD = 0x403,
    UM_ITEMACTION = 0x404,
    UM_SELCHANGE = 0x405,
    UM_RECORDPROPS = 0x406,
    UM_ANALYZERLOG = 0x500,       // wParam KQAID, lParam const char*
    UM_ANALYZERREQUEST = 0x501,   // lParam KQAREQUEST*
    UM_ANALYZERPROGRESS = 0x502,  // lParam 0..100
    UM_LOGCLOSED = 0x1400,
};

#define KQA_EXPORT __attribute__((visibility("default")))

KQA_EXPORT KQARC kqaInitialize(CWnd* view, CAnalyzerInfo& info);
KQA_EXPORT KQARC kqaGetSystemInfo(CKQTreeEntry* branch);
KQA_EXPORT KQARC kqaDoPropertiesUI(CKQTreeEntry* entry);
KQA_EXPORT KQARC kqaRunTests(CKQTreeEntry* branch, int& cancel);
KQA_EXPORT KQARC kqaRunATest(CKQTreeEntry* branch, CKQTreeEntry* item, int& cancel);
KQA_EXPORT KQARC kqaGenTips(CKQTreeEntry* branch);
KQA_EXPORT KQARC kqaGetTipText(CTip* tip, CString& text);
KQA_EXPORT KQARC kqaGetTipDesc(CTip* tip, CString& text);
KQA_EXPORT KQARC kqaGetAttrDesc(CAttr* attr, CString& text);

using PFN_kqaInitialize = KQARC (*)(CWnd*, CAnalyzerInfo&);
using PFN_kqaGetSystemInfo = KQARC (*)(CKQTreeEntry*);
using PFN_kqaDoPropertiesUI = KQARC (*)(CKQTreeEntry*);
using PFN_kqaRunTests = KQARC (*)(CKQTreeEntry*, int&);
using PFN_kqaRunATest = KQARC (*)(CKQTreeEntry*, CKQTreeEntry*, int&);
using PFN_kqaGenTips = KQARC (*)(CKQTreeEntry*);
using PFN_kqaGetText = KQARC (*)(CTip*, CString&);
using PFN_kqaGetAttrDesc = KQARC (*)(CAttr*, CString&);
