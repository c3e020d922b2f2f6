// Tips: the status note on analyzer 10's branch, tip generation and the routing of texts
// back to the analyzer that made a tip or attribute.
#include "document/Document.h"

namespace {
constexpr int32_t kNoteNotAnalysed = 1101;
constexpr int32_t kNoteAnalysed = 1102;
constexpr int32_t kDescOffset = 100;
}  // namespace

int CQuillo95Doc::SetStatusTip(bool analysed) {
    CAnalyzer* a = m_analyzers.FindByID(KQAID_SYSTEM);
    if (a == nullptr || a->m_branch == nullptr) return 0;
    if (analysed) {
        a->m_branch->RemoveTip(kNoteNotAnalysed);
        return a->m_branch->AddTip(-1, kNoteAnalysed, kNoteAnalysed + kDescOffset);
    }
    return a->m_branch->AddTip(-1, kNoteNotAnalysed, kNoteNotAnalysed + kDescOffset);
}

void CQuillo95Doc::GenerateTipsAll() { m_analyzers.GenTipsAll(); }

bool CQuillo95Doc::GenerateTipsOne(KQAID id) { return m_analyzers.GenTipsOne(id); }

void CQuillo95Doc::RegenTips() {
    // Not while a test fills the branches: the modules would be entered a second time.
    if (m_running) return;
    GenerateTipsAll();
    SetStatusTip(true);
    RefreshCurrentResults(true);
    BuildHighlightsReport();
    BuildHistory();
    Announce(DocEvent::TipsRebuilt);
}

// Modules get copies, so that they cannot change the tree's own tips and attributes.
// The host's own tips are answered here, from what it found when it raised them.
static const CRegression* HostTip(const std::vector<CRegression>& found, KQAID id,
                                  const CTip* tip) {
    if (id != KQAID_HOST || tip == nullptr || tip->m_textID < 1) return nullptr;
    const size_t index = static_cast<size_t>(tip->m_textID) - 1;
    return index < found.size() ? &found[index] : nullptr;
}

void CQuillo95Doc::TipText(KQAID id, CTip* tip, CString& text) {
    if (id == KQAID_HOST) {
        if (const CRegression* r = HostTip(m_regressions, id, tip)) text = RegressionText(*r);
        return;
    }
    CAnalyzer* a = m_analyzers.FindByID(id);
    if (a == nullptr || tip == nullptr) return;
    CTip copy = *tip;
    a->GetTipText(&copy, text);
}

void CQuillo95Doc::TipDesc(KQAID id, CTip* tip, CString& text) {
    if (id == KQAID_HOST) {
        if (const CRegression* r = HostTip(m_regressions, id, tip))
            text = RegressionDescription(*r);
        return;
    }
    CAnalyzer* a = m_analyzers.FindByID(id);
    if (a == nullptr || tip == nullptr) return;
    CTip copy = *tip;
    a->GetTipDesc(&copy, text);
}

void CQuillo95Doc::AttrDesc(KQAID id, CAttr* attr, CString& text) {
    CAnalyzer* a = m_analyzers.FindByID(id);
    if (a == nullptr || attr == nullptr) return;
    CAttr copy = *attr;
    a->GetAttrDesc(&copy, text);
}
