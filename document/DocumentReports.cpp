// The report definitions the document keeps on the system tree's top entry.
#include "document/Document.h"
#include "reports/ReportCompiler.h"
#include "reports/ReportDefs.h"

void CQuillo95Doc::BuildHighlightsReport() {
    const int index = ::BuildHighlightsReport(m_systemTree, m_db.Cache().GetHead(),
                                              SystemNamingItem(m_systemTree, m_analyzers));
    if (index >= 0) m_highlightsIndex = index;
}

void CQuillo95Doc::BuildTipsAndDetailsReports(const std::vector<int32_t>& selection) {
    ::BuildTipsAndDetailsReports(
        m_systemTree, m_analyzers, selection,
        [this](int32_t key, CKQTreeEntry& system) {
            const std::string sysid = ResolveRecordKey(key);
            return !sysid.empty() && LoadSystemTree(sysid, system);
        },
        [this](KQAID id) { return AnalyzerName(id); });
}

void CQuillo95Doc::AddReportHeadings(CRepDef& def) {
    ::AddReportHeadings(def, [this](KQAID id) { return AnalyzerName(id); });
}

std::vector<CRepDef*> CQuillo95Doc::Definitions(RDTYPE type) {
    std::vector<CRepDef*> defs = ReportDefsOfType(m_analyzers, type);
    // The host's own come last.
    if (CKQTreeEntry* host = HostEntry())
        for (CRepDef& def : host->m_repDefs)
            if (def.m_type == type) defs.push_back(&def);
    return defs;
}
