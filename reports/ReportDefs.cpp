// The three report definitions the document keeps on the top entry: "Highlights", "Tips"
// and "All Details".
#include "reports/ReportDefs.h"

#include <exception>
#include <set>
#include <tuple>
#include <vector>

#include "analyzers/Analyzer.h"
#include "database/ItemPath.h"
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

bool ParseTipReference(const std::string& text, KQAID& kqaid, int32_t& textID, int32_t& descID) {
    const size_t caret = text.find('^');
    if (caret == std::string::npos) return false;
    int32_t id = 0;
    if (!ReadItemTip(text.substr(caret), id, textID, descID) || !IsKqaidValue(id)) return false;
    kqaid = static_cast<KQAID>(id);
    return true;
}

namespace {

struct Highlight {
    std::string text;   // the item's text
    KQAID kqaid;        // the item's identifier
    std::string where;  // entry names below the root and the attribute identifier
    std::string value;
};

// What follows a value's leading number: its unit ("MB/s" of "12345 MB/s").
std::string UnitOf(const std::string& value) {
    size_t i = value.find_first_not_of(" \t");
    if (i == std::string::npos) return std::string();
    i = value.find_first_not_of("+-0123456789.eE", i);
    if (i == std::string::npos) return std::string();
    i = value.find_first_not_of(" \t", i);
    return i == std::string::npos ? std::string() : value.substr(i);
}

// Depth first: every highlighted attribute becomes an item, named by its path below the
// nearest entry that carries an analyzer identifier.
void GatherHighlights(const CKQTreeEntry* source, KQAID kqaid, const std::string& prefix,
                      const std::string& where, std::vector<Highlight>& out,
                      uint32_t bit = DATA_HIGHLIGHT) {
    if (source == nullptr) return;
    std::string path(prefix);
    if (source->m_kqaid != 0)
        kqaid = source->m_kqaid;
    else
        path = JoinItemPath(path, source->m_key);
    for (const CAttr& attr : source->m_attrs)
        if (attr.m_data & bit)
            out.push_back({JoinItemPath(path, attr.m_id), kqaid, JoinItemPath(where, attr.m_id),
                           attr.m_value});
    if (source->m_subtree)
        for (const CKQTreeEntry* child : *source->m_subtree)
            GatherHighlights(child, kqaid, path, JoinItemPath(where, child->m_key), out, bit);
}

// The stored tips of a system as "Tips" reads them: stored records keep no analyzer
// identifiers, so an entry named like a loaded analyzer takes that analyzer's, and the others
// their parent's. fn (entry, identifier, tip) returns true to stop the walk.
template <class Fn>
bool WalkStoredTips(const CAnalyzerList& analyzers, const CKQTreeEntry* source, KQAID kqaid,
                    Fn& fn) {
    if (source == nullptr) return false;
    if (source->m_kqaid != 0) kqaid = source->m_kqaid;
    if (const CAnalyzer* a = analyzers.FindByName(source->m_key))
        kqaid = a->m_branch ? a->m_branch->m_kqaid : a->GetID();
    const int count = source->GetTipCount();
    for (int i = 0; i < count; ++i) {
        if (source->GetTipPriority(i) <= 0 || kqaid == 0) continue;
        if (fn(*source, kqaid, *source->GetTip(i))) return true;
    }
    if (source->m_subtree)
        for (const CKQTreeEntry* child : *source->m_subtree)
            if (WalkStoredTips(analyzers, child, kqaid, fn)) return true;
    return false;
}

}  // namespace

std::string SystemNamingItem(const CKQTree& systemTree, const CAnalyzerList& analyzers) {
    const CKQTreeEntry* top = systemTree.GetHead();
    const CAnalyzer* namer = analyzers.FindByID(KQAID_SYSTEM);
    std::string item = namer ? namer->m_info.m_extra : std::string();
    if (top != nullptr && top->m_kqaid == 0) item = top->m_key + kPathSeparator + item;
    return item;
}

int BuildHighlightsReport(CKQTree& systemTree, const CKQTreeEntry* mirror,
                          const std::string& namingItem) {
    CKQTreeEntry* top = systemTree.GetHead();
    if (top == nullptr) return -1;
    const std::string name = LoadKQString(IDS_HIGHLIGHTS);
    const int index = top->AddReportDef(name, RDTYPE_REPORT);
    if (index < 0) return -1;
    top->EmptyReportDef(name, RDTYPE_REPORT);

    // The mirror record is this machine's stored copy: an item the tree holds as well is
    // listed once, where the tree has it. Paths are compared below the record and the top
    // entry, whose names may differ.
    std::vector<Highlight> stored, live;
    if (mirror != nullptr) GatherHighlights(mirror, 0, std::string(), std::string(), stored);
    GatherHighlights(top, 0, std::string(), std::string(), live);
    std::set<std::string> inTree;
    for (const Highlight& h : live) inTree.insert(h.where);
    const std::string namingBelowTop =
        top->m_kqaid == 0 && namingItem.starts_with(top->m_key + kPathSeparator)
            ? namingItem.substr(top->m_key.size() + 1)
            : namingItem;

    top->AddReportItem(namingItem, 10);
    for (const Highlight& h : stored)
        if (h.where != namingBelowTop && inTree.count(h.where) == 0)
            top->AddReportItem(h.where, h.kqaid);
    for (const Highlight& h : live)
        if (h.text != namingItem) top->AddReportItem(h.text, h.kqaid);
    return index;
}

std::string HistoryUnitsAttribute(const std::string& line) { return "Units~" + line; }

bool IsHistoryDefinition(const CRepDef& def) {
    return def.GetAttrValue(kColumnsAttribute) == kHistoryColumns;
}

void BuildHistoryDefinitions(CKQTreeEntry& host, const CKQTreeEntry* top,
                             const CKQTreeEntry* mirror, const std::string& firstLine) {
    // The figures of the mirror record (the latest results kept) that the tree does not hold,
    // then the tree's, as "Highlights" gathers them.
    std::vector<Highlight> stored, live;
    if (mirror != nullptr)
        GatherHighlights(mirror, 0, std::string(), std::string(), stored, DATA_MEASURED);
    if (top != nullptr) GatherHighlights(top, 0, std::string(), std::string(), live, DATA_MEASURED);
    std::set<std::string> inTree;
    for (const Highlight& h : live) inTree.insert(h.where);
    const std::string name = LoadKQString(IDS_HISTORY);
    for (const RDTYPE type : {RDTYPE_REPORT, RDTYPE_CHART}) {
        const int index = host.AddReportDef(name, type);
        if (index < 0) continue;
        host.EmptyReportDef(name, type);
        CRepDef* def = host.GetRepDefPtr(index);
        def->SetAttrValue(kColumnsAttribute, kHistoryColumns);
        // A report's first line names its first column; a chart's lines are all figures.
        if (type == RDTYPE_REPORT) host.AddReportItem(firstLine, KQAID_SYSTEM);
        // A chart labels its value axis with the unit of the figure it shows.
        auto add = [&](const std::string& text, const Highlight& h) {
            host.AddReportItem(text, h.kqaid);
            if (type == RDTYPE_CHART)
                def->SetAttrValue(HistoryUnitsAttribute(text), UnitOf(h.value));
        };
        for (const Highlight& h : stored)
            if (inTree.count(h.where) == 0) add(h.where, h);
        for (const Highlight& h : live) add(h.text, h);
    }
}

// Tips of one stored system, each distinct tip once over all systems gathered.
static void GatherTips(const CAnalyzerList& analyzers, const CKQTreeEntry* source,
                       CKQTreeEntry* target, std::set<std::tuple<KQAID, int32_t, int32_t>>& seen) {
    if (target == nullptr) return;
    auto add = [&](const CKQTreeEntry& entry, KQAID kqaid, const CTip& tip) {
        if (seen.emplace(kqaid, tip.m_textID, tip.m_descID).second) {
            const std::string path = entry.m_kqaid != 0 ? std::string() : entry.m_key;
            target->AddReportItem(
                JoinItemPath(path, MakeTipReference(kqaid, tip.m_textID, tip.m_descID)), kqaid);
        }
        return false;
    };
    WalkStoredTips(analyzers, source, 0, add);
}

bool StoredTipPriority(const CAnalyzerList& analyzers, const CKQTreeEntry& system, KQAID kqaid,
                       int32_t textID, int32_t descID, int32_t& priority) {
    auto match = [&](const CKQTreeEntry&, KQAID id, const CTip& tip) {
        if (id != kqaid || tip.m_textID != textID || tip.m_descID != descID) return false;
        priority = tip.m_priority;
        return true;
    };
    return WalkStoredTips(analyzers, &system, 0, match);
}

std::string PriorityLabel(int32_t priority) {
    KQStringId id;
    switch (TipBand(priority)) {
        case 3:
            id = IDS_PRIORITY_HIGH;
            break;
        case 2:
            id = IDS_PRIORITY_MEDIUM;
            break;
        case 1:
            id = IDS_PRIORITY_LOW;
            break;
        default:
            return std::string();
    }
    return FormatKQString(id, std::to_string(priority));
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
    const std::string first = SystemNamingItem(systemTree, analyzers);
    top->AddReportItem(first, 10);

    // One row per distinct tip; the cells tell which system holds it.
    std::set<std::tuple<KQAID, int32_t, int32_t>> seen;
    for (int32_t key : selection) {
        CKQTreeEntry system;
        if (!load(key, system)) continue;
        GatherTips(analyzers, &system, top, seen);
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
    // Every definition starts with the naming item (modules write the bare path): it heads
    // the columns once, as the first line, and is no row.
    const CAnalyzer* namer = analyzers.FindByID(KQAID_SYSTEM);
    const std::string bare = namer ? namer->m_info.m_extra : std::string();
    top->AddReportItem(first, 10);
    for (const CRepDef* def : sources)
        for (const CRepItem& item : def->m_items)
            if (item.m_text != first && item.m_text != bare)
                top->AddReportItem(item.m_text, item.m_kqaid);

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
