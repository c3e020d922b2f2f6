// Discovery and loading of the analyzers, and the branches they own in the system tree.
#include <filesystem>
#include <memory>

#include "document/Document.h"
#include "resources/Strings.h"

namespace {

// dlopen searches the library path for a bare name, so modules are always named absolutely.
std::string ModulePath(const std::string& directory, const std::string& file) {
    std::filesystem::path p =
        directory.empty() ? std::filesystem::path(file) : std::filesystem::path(directory) / file;
    std::error_code ec;
    std::filesystem::path abs = std::filesystem::absolute(p, ec);
    return ec ? p.string() : abs.string();
}

}  // namespace

void CQuillo95Doc::LoadAnalyzers(IDirectoryLister& lister) {
    // A running analyzer is filling its branch: the tree must stay.
    if (m_running) return;
    m_systemTree.RemoveAll();
    // Loading again starts afresh: the old records' branches died with the tree.
    m_analyzers.DestroyAll();
    m_app.ClearAnalyzerLines();

    CWnd* view = GetView();
    if (view == nullptr) return;

    const std::string loading = LoadKQString(IDS_LOADING_ANALYZER);
    const std::string pattern = LoadKQString(IDS_ANALYZER_PATTERN);
    const std::vector<std::string> files = lister.List(m_app.ProgramDir(), pattern);

    for (const std::string& file : files) {
        m_frame.LogLine(loading + file);
        std::unique_ptr<CAnalyzer> analyzer(new (std::nothrow) CAnalyzer);
        if (analyzer && analyzer->Load(ModulePath(m_app.ProgramDir(), file), view)) {
            m_analyzers.Insert(analyzer.release());
            m_frame.LogLine(LoadKQString(IDS_LOADED_ANALYZER) + file);
        } else {
            m_frame.LogLine(LoadKQString(IDS_ANALYZER_LOAD_FAILED));
            // The loader's own words tell a module author what is missing.
            if (analyzer && !analyzer->m_loadError.empty()) m_frame.LogLine(analyzer->m_loadError);
        }
    }
    if (files.empty()) return;

    if (!BuildBranches()) {
        m_frame.LogLine(LoadKQString(IDS_ERR_NOT_ENOUGH_MEMORY));
        return;
    }
    SetStatusTip(false);
    const bool known = RefreshCurrentResults(false);
    if (!known && m_app.PromptProps()) {
        AnalyzerProperties(KQAID_SYSTEM);  // a new machine: let the user describe it
    }
    BuildHighlightsReport();
    BuildHistory();
    SetModifiedFlag();
}

bool CQuillo95Doc::BuildBranches() {
    CKQTree* tree = &m_systemTree;
    bool first = true;
    for (CAnalyzer* a : m_analyzers.Ordered()) {
        CKQTreeEntry* entry = tree->Add(a->GetName());
        if (entry == nullptr) return false;
        entry->m_kqaid = a->GetID();
        if (first) {
            entry->AddReportDef(LoadKQString(IDS_HIGHLIGHTS), RDTYPE_REPORT);
            entry->AddReportDef(LoadKQString(IDS_ALL_DETAILS), RDTYPE_REPORT);
            entry->m_flags |= ENTRY_SELECTED;
        }
        a->GetSystemInfo(entry);
        entry->m_flags |= ENTRY_EXPANDED;

        const unsigned version = a->m_info.m_version;
        m_app.AddAnalyzerLine(FormatKQString(
            IDS_ANALYZER_VERSION_FMT, a->GetName(),
            KQFormat(LoadKQString(IDS_FMT_VERSION_NUMBER).c_str(), version / 100, version % 100)));

        if (first) {
            first = false;
            tree = entry->AddSubtree();
            if (tree == nullptr) return false;
        }
    }
    return true;
}
