// The three report definitions the document keeps on the top entry: "Highlights", "Tips"
// and "All Details".
#include "reports/ReportDefs.h"

#include <exception>
#include <vector>

#include "analyzers/Analyzer.h"
#include "resources/Strings.h"

std::string JoinItemPath(const std::string& prefix, const std::string& part) {
    if (prefix.empty()) return part;
    std::string path;
    path.reserve(prefix.size() + 1 + part.size());
    path += prefix;
    path += kPathSeparator;
    path += part;
    return path;
}

std::string MakeTipReference(uint16_t kqaid, int32_t textID, int32_t descID) {
    return KQFormat(LoadKQString(IDS_FMT_TIP_REFERENCE).c_str(), static_cast<unsigned>(kqaid),
                    textID, descID);
}

std::string MakeHeading(const std::string& caption) {
    std::string text(1, kPathSeparator);
    text += ' ';
    text += caption;
    return text;
}

bool IsTipReference(const std::string& text) { return text.find('^') != std::string::npos; }

bool IsHeading(const std::string& text) { return !text.empty() && text[0] == kPathSeparator; }

namespace {

// Depth first: every highlighted attribute becomes an item, named by its path below the
// nearest entry that carries an analyzer identifier.
void GatherHighlights(const CKQTreeEntry* source, CKQTreeEntry* target, KQAID kqaid,
                      const std::string& prefix) {
    if (source == nullptr || target == nullptr) return;
    std::string path(prefix);
    if (source->m_kqaid != 0)
        kqaid = source->m_kqaid;
    else
        path = JoinItemPath(path, source->m_key);
    for (const CAttr& attr : source->m_attrs)
        if (attr.m_data & 4u) target->AddReportItem(JoinItemPath(path, attr.m_id), kqaid);
    if (source->m_subtree)
        for (const CKQTreeEntry* child : *source->m_subtree)
            GatherHighlights(child, target, kqaid, path);
}

}  // namespace

int BuildHighlightsReport(CKQTree& systemTree, const CKQTreeEntry* mirror) {
    CKQTreeEntry* top = systemTree.GetHead();
    if (top == nullptr) return -1;
    const std::string name = LoadKQString(IDS_HIGHLIGHTS);
    const int index = top->AddReportDef(name, RDTYPE_REPORT);
    if (index < 0) return -1;
    top->EmptyReportDef(name, RDTYPE_REPORT);
    GatherHighlights(mirror, top, 0, std::string());
    GatherHighlights(top, top, 0, std::string());
    return index;
}

// Tips of one stored system. Stored records keep no analyzer identifiers, so an entry named
// like a loaded analyzer takes that analyzer's; tips met before any identifier are left out.
static void GatherTips(const CAnalyzerList& analyzers, const CKQTreeEntry* source,
                       CKQTreeEntry* target, KQAID kqaid, const std::string& prefix) {
    if (source == nullptr || target == nullptr) return;
    std::string path;
    if (source->m_kqaid != 0)
        kqaid = source->m_kqaid;
    else
        path = source->m_key;
    if (const CAnalyzer* a = analyzers.FindByName(source->m_key))
        kqaid = a->m_branch ? a->m_branch->m_kqaid : a->GetID();
    const int count = source->GetTipCount();
    for (int i = 0; i < count; ++i) {
        if (source->GetTipPriority(i) <= 0 || kqaid == 0) continue;
        int32_t textID = 0, descID = 0;
        if (!source->GetTipResIDs(i, textID, descID)) continue;
        target->AddReportItem(JoinItemPath(path, MakeTipReference(kqaid, textID, descID)), kqaid);
    }
    if (source->m_subtree)
        for (const CKQTreeEntry* child : *source->m_subtree)
            GatherTips(analyzers, child, target, kqaid, prefix);
}

void BuildTipsAndDetailsReports(CKQTree& systemTree, const CAnalyzerList& analyzers,
                                const std::vector<int32_t>& selection, const SystemLoader& load,
                                const AnalyzerNameFn& analyzerName) {
    CKQTreeEntry* top = systemTree.GetHead();
    if (top == nullptr) return;

    const std::string tipsName = LoadKQString(IDS_TIPS_REPORT);
    top->AddReportDef(tipsName, RDTYPE_REPORT);
    top->EmptyReportDef(tipsName, RDTYPE_REPORT);
    // First item: the path of the attribute that names a system (column captions).
    const CAnalyzer* namer = analyzers.FindByID(10);
    std::string first = namer ? namer->m_info.m_extra : std::string();
    if (top->m_kqaid == 0) first = top->m_key + kPathSeparator + first;
    top->AddReportItem(first, 10);

    for (int32_t key : selection) {
        CKQTreeEntry system;
        if (!load(key, system)) continue;
        GatherTips(analyzers, &system, top, 0, std::string());
    }

    const std::string allName = LoadKQString(IDS_ALL_DETAILS);
    const int allIndex = top->AddReportDef(allName, RDTYPE_REPORT);
    top->EmptyReportDef(allName, RDTYPE_REPORT);

    // Every type-1 definition of every analyzer, in list order, without "Highlights" and
    // "All Details" themselves. They are told by identity, not by position: positions in this
    // list equal the top entry's indexes only while no chart precedes them there.
    const CRepDef* highlights =
        top->GetRepDefPtr(top->FindReportDef(LoadKQString(IDS_HIGHLIGHTS), RDTYPE_REPORT));
    const CRepDef* all = top->GetRepDefPtr(allIndex);
    std::vector<const CRepDef*> sources;
    for (const CAnalyzer* a : analyzers.Ordered()) {
        if (a == nullptr || a->m_branch == nullptr) continue;
        for (const CRepDef& def : a->m_branch->m_repDefs)
            if (def.m_type == RDTYPE_REPORT && &def != highlights && &def != all)
                sources.push_back(&def);
    }
    for (const CRepDef* def : sources)
        for (const CRepItem& item : def->m_items) top->AddReportItem(item.m_text, item.m_kqaid);

    if (CRepDef* allDef = top->GetRepDefPtr(allIndex)) AddReportHeadings(*allDef, analyzerName);
}

void AddReportHeadings(CRepDef& def, const AnalyzerNameFn& analyzerName) {
    KQAID lastGroup = 0;
    bool inTips = false;
    try {
        // The count is read at each step: every heading inserted raises it, and the item just
        // examined moves up one place to be examined again.
        for (int pos = 0; pos < def.GetItemCount(); ++pos) {
            const CRepItem& item = def.m_items[static_cast<size_t>(pos)];
            const KQAID kqaid = item.m_kqaid;
            if (IsTipReference(item.m_text)) {
                if (!inTips)
                    def.InsertReportItem(pos, kqaid, MakeHeading(LoadKQString(IDS_TIPS_HEADING)));
                inTips = true;
            } else {
                inTips = false;
                if (kqaid != lastGroup) {
                    if (lastGroup != 0)
                        def.InsertReportItem(pos, kqaid, MakeHeading(analyzerName(kqaid)));
                    lastGroup = kqaid;
                }
            }
        }
    } catch (const std::exception&) {
        // Out of memory while inserting: keep the headings made so far.
    }
}
