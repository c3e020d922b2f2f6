// Test runs: every analyzer's tests, or one test of one analyzer, under the progress dialog.
#include <malloc.h>

#include "document/Document.h"
#include "resources/Strings.h"

namespace {

CKQTreeEntry* FindByUniqueID(const CKQTree& tree, const std::string& uid) {
    for (CKQTreeEntry* e : tree) {
        if (e == nullptr) break;
        if (e->GetUniqueID() == uid) return e;
        if (e->GetSubtree() != nullptr)
            if (CKQTreeEntry* found = FindByUniqueID(*e->GetSubtree(), uid)) return found;
    }
    return nullptr;
}

}  // namespace

// Steps common to both runs: busy, heap compacted, status text, progress dialog.
void CQuillo95Doc::BeginRun(int& cancel) {
    assert(!m_running && m_runCancel == nullptr);
    m_running = true;
    malloc_trim(0);
    m_frame.SetStatusText(LoadKQString(IDS_TESTING_IN_PROGRESS));
    cancel = 0;
    m_runCancel = &cancel;
    m_progressOpen = m_frame.CreateProgress(&cancel);
}

void CQuillo95Doc::EndRun(bool completed) {
    assert(m_running && m_runCancel != nullptr);
    if (m_progressOpen) m_frame.DestroyProgress();
    m_progressOpen = false;
    m_runCancel = nullptr;
    if (completed) {
        m_frame.SetStatusText(LoadKQString(IDS_TESTING_COMPLETE));
        SetStatusTip(true);
        RefreshCurrentResults(true);
        m_resultsNotSaved = true;
        m_testsRun = true;
    } else {
        m_frame.SetStatusText(LoadKQString(IDS_TESTING_CANCELLED));
    }
    BuildHighlightsReport();
    BuildHistory();
    m_running = false;
    Announce(DocEvent::ResultsChanged);
}

void CQuillo95Doc::RunAllTests() {
    // Messages are processed during a run, so a second request can arrive: never nest runs.
    if (m_running) return;
    int cancel = 0;
    BeginRun(cancel);
    m_analyzers.RunAll(&m_frame, m_progressOpen, cancel);
    if (m_progressOpen) m_frame.SetProgress(100);
    if (cancel == 0) GenerateTipsAll();
    EndRun(cancel == 0);
}

int CQuillo95Doc::RunOneTest(KQAID id, CKQTreeEntry* item) {
    if (m_running || item == nullptr) return 0;
    // The item may come from a tree that was rebuilt since: find its twin by unique ID.
    const std::string uid = item->GetUniqueID();
    CKQTreeEntry* found = uid.empty() ? nullptr : FindByUniqueID(m_systemTree, uid);
    if (found == nullptr) return 0;

    int cancel = 0;
    BeginRun(cancel);
    const int result = m_analyzers.RunOne(&m_frame, m_progressOpen, id, found, cancel);
    if (m_progressOpen) m_frame.SetProgress(100);
    if (cancel == 0) GenerateTipsOne(id);
    EndRun(result == 1 && cancel == 0);
    return result == 1 && cancel == 0 ? 1 : 0;
}

bool CQuillo95Doc::RequestClose() {
    if (!m_running) return false;
    if (m_runCancel != nullptr) *m_runCancel = 1;
    m_closePending = true;
    return true;
}
