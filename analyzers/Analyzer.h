// The host's record of one loaded analyzer module, and the ordered list of them.
#pragma once

#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "analyzers/KQAnalyzer.h"
#include "analyzers/RunProgress.h"

// Decorated (Itanium ABI) names of the nine entry points, in the host's order.
enum KQAEntry {
    KQA_INITIALIZE,
    KQA_GETSYSTEMINFO,
    KQA_DOPROPERTIESUI,
    KQA_RUNTESTS,
    KQA_RUNATEST,
    KQA_GENTIPS,
    KQA_GETTIPTEXT,
    KQA_GETTIPDESC,
    KQA_GETATTRDESC,
    KQA_ENTRYCOUNT
};
extern const char* const kqaEntryPointNames[KQA_ENTRYCOUNT];

class CAnalyzer {
public:
    CAnalyzer();
    ~CAnalyzer();  // frees the module
    CAnalyzer(const CAnalyzer&) = delete;
    CAnalyzer& operator=(const CAnalyzer&) = delete;

    // Loads the module by path, calls kqaInitialize, looks up the other eight.
    bool Load(const std::string& path, CWnd* view);
    void Unload();
    bool IsLoaded() const { return m_module != nullptr; }

    // The nine wrappers: 0 recorded when not loaded or not exported; true only for 1.
    bool Initialize(CWnd* view);
    bool GetSystemInfo(CKQTreeEntry* branch);  // remembers the branch
    bool DoPropertiesUI(CKQTreeEntry* entry);  // null: the remembered branch
    bool RunTests(int& cancel);
    bool RunATest(CKQTreeEntry* item, int& cancel);
    bool GenTips();
    bool GetTipText(CTip* tip, CString& text);
    bool GetTipDesc(CTip* tip, CString& text);
    bool GetAttrDesc(CAttr* attr, CString& text);

    bool HasEntryPoint(KQAEntry which) const { return m_entry[which] != nullptr; }
    KQAID GetID() const { return m_info.m_id; }
    const std::string& GetName() const { return m_info.m_name; }

    void* m_module = nullptr;
    void* m_entry[KQA_ENTRYCOUNT] = {};
    int32_t m_lastRC = 0;
    // Why the loader refused the module (a missing file, symbol or run path); empty when it
    // loaded, or when kqaInitialize itself declined.
    std::string m_loadError;
    CKQTreeEntry* m_branch = nullptr;
    CAnalyzerInfo m_info;

private:
    void LoaderError();
};

class CAnalyzerList {
public:
    CAnalyzerList() = default;
    ~CAnalyzerList();  // destroys the records from the head, unloading their modules
    CAnalyzerList(const CAnalyzerList&) = delete;
    CAnalyzerList& operator=(const CAnalyzerList&) = delete;

    // Inserted before the first record whose identifier is greater; the identifier map takes
    // the later record of an equal identifier.
    void Insert(CAnalyzer* analyzer);
    void DestroyAll();

    CAnalyzer* FindByID(KQAID id) const;
    CAnalyzer* FindByName(const std::string& name) const;
    const std::list<CAnalyzer*>& Ordered() const { return m_list; }
    int GetCount() const { return static_cast<int>(m_list.size()); }
    bool IsEmpty() const { return m_list.empty(); }

    // Run all: walks the list, stopping before an analyzer when cancel is set. Always 1.
    // progress is true when a progress dialog is shown (progressUI draws it).
    int RunAll(IRunProgress* progressUI, bool progress, int& cancel);
    // Run one: 0 when no analyzer has the identifier, else 1.
    int RunOne(IRunProgress* progressUI, bool progress, KQAID id, CKQTreeEntry* item, int& cancel);
    void GenTipsAll();
    bool GenTipsOne(KQAID id);

private:
    std::list<CAnalyzer*> m_list;
    std::map<std::string, CAnalyzer*> m_byName;
    std::map<KQAID, CAnalyzer*> m_byID;
};

// The directory listing behind analyzer discovery: names matching "*.kqa" in the order the
// file system returns them. Tests replace it to fix that order.
class IDirectoryLister {
public:
    virtual ~IDirectoryLister() = default;
    virtual std::vector<std::string> List(const std::string& directory,
                                          const std::string& pattern) = 0;
};
IDirectoryLister& DefaultDirectoryLister();

// Tip priority bands: 3 high (80 and above), 2 medium (50-79), 1 low (1-49), 0 informational,
// -1 for a status note (below 0), which is never counted or listed as a tip.
int TipBand(int32_t priority);
// Tips counted on an entry: those of priority 0 or more.
int CountTips(const CKQTreeEntry& entry);
