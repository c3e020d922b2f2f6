#include "analyzers/Analyzer.h"

CAnalyzerList::~CAnalyzerList() { DestroyAll(); }

void CAnalyzerList::Insert(CAnalyzer* analyzer) {
    auto pos = m_list.begin();
    while (pos != m_list.end() && (*pos)->GetID() <= analyzer->GetID()) ++pos;
    m_list.insert(pos, analyzer);
    m_byName[analyzer->GetName()] = analyzer;
    m_byID[analyzer->GetID()] = analyzer;
}

void CAnalyzerList::DestroyAll() {
    m_byName.clear();
    m_byID.clear();
    while (!m_list.empty()) {
        CAnalyzer* a = m_list.front();
        m_list.pop_front();
        delete a;
    }
}

CAnalyzer* CAnalyzerList::FindByID(KQAID id) const {
    auto it = m_byID.find(id);
    return it == m_byID.end() ? nullptr : it->second;
}

CAnalyzer* CAnalyzerList::FindByName(const std::string& name) const {
    auto it = m_byName.find(name);
    return it == m_byName.end() ? nullptr : it->second;
}

namespace {

// One analyzer's share of a run: the dialog shows it, a second's pause on each side of the
// call so the user can see what runs; the trailing pause is skipped once cancelled.
template <typename Call>
void RunWithProgress(IRunProgress* frame, bool progress, CAnalyzer& a, int& cancel, Call call) {
    if (progress && frame != nullptr) {
        frame->SetProgressAnalyzer(a.m_info.m_title, a.m_info.m_bitmap, a.GetName());
        frame->SetProgress(0);
        frame->Sleep(1000);
    }
    call();
    if (progress && frame != nullptr) {
        frame->SetProgress(100);
        if (cancel == 0) frame->Sleep(1000);
    }
}

}  // namespace

int CAnalyzerList::RunAll(IRunProgress* frame, bool progress, int& cancel) {
    for (CAnalyzer* a : m_list) {
        if (cancel != 0) break;
        RunWithProgress(frame, progress, *a, cancel, [&] { a->RunTests(cancel); });
    }
    return 1;
}

int CAnalyzerList::RunOne(IRunProgress* frame, bool progress, KQAID id, CKQTreeEntry* item,
                          int& cancel) {
    CAnalyzer* a = FindByID(id);
    if (a == nullptr) return 0;
    RunWithProgress(frame, progress, *a, cancel, [&] { a->RunATest(item, cancel); });
    return 1;
}

void CAnalyzerList::GenTipsAll() {
    for (CAnalyzer* a : m_list) a->GenTips();
}

bool CAnalyzerList::GenTipsOne(KQAID id) {
    CAnalyzer* a = FindByID(id);
    if (a == nullptr) return false;
    a->GenTips();
    return true;
}
