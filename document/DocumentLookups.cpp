// The lookups behind the Reports, Charts and Database panes: values of report items in
// stored systems, the item search of this machine's tree, record classification and the
// Database list's columns.
#include <charconv>
#include <set>

#include "reports/DetailItem.h"
#include "reports/ReportCompiler.h"
#include "reports/ReportDefs.h"
#include "document/Document.h"
#include "database/ItemPath.h"

namespace {

std::string Join(const std::string& prefix, const std::string& part) {
    return prefix.empty() ? part : prefix + "~" + part;
}

bool SubtreeLookup(CQuillo95Doc& doc, const CKQTree* tree, const std::string& path,
                   std::string& value) {
    if (!tree) return false;
    for (const CKQTreeEntry* e : *tree)
        if (doc.EntryLookup(e, path, value)) return true;
    return false;
}

bool DirectLookup(CQuillo95Doc& doc, const CKQTreeEntry& entry, const std::string& rest,
                  std::string& value) {
    int32_t id = 0, textID = 0, descID = 0;
    if (ReadItemTip(rest, id, textID, descID)) {
        if (!IsKqaidValue(id)) return false;
        CAnalyzer* analyzer = doc.Analyzers().FindByID(static_cast<KQAID>(id));
        if (!analyzer || !analyzer->IsLoaded()) return false;
        CTip tip(0, textID, descID);
        std::string text;
        if (!analyzer->GetTipText(&tip, text)) return false;
        value = text;
        return true;
    }
    std::string found = entry.GetAttrValue(rest);
    if (found.empty()) return false;
    value = found;
    return true;
}

// ---- item search ----

bool SearchList(CKQTree* tree, const std::string& text, uint16_t kqaid, CDetailItem& item);

bool ItemInEntry(CKQTreeEntry* entry, const std::string& rest, uint16_t kqaid, CDetailItem& item) {
    int32_t id = 0, textID = 0, descID = 0;
    if (ReadItemTip(rest, id, textID, descID)) {
        // An identifier beyond 16 bits names no analyzer; it must not wrap round to one.
        if (!IsKqaidValue(id)) return false;
        uint32_t index =
            static_cast<uint32_t>(descID) * 65536u + (static_cast<uint32_t>(textID) & 0xFFFFu);
        item =
            CDetailItem(entry, static_cast<uint16_t>(id), DETAIL_TIP, static_cast<int32_t>(index));
        return true;
    }
    if (rest == entry->m_key) {
        item = CDetailItem(entry, kqaid, DETAIL_ENTRY, 0);
        return true;
    }
    for (size_t i = 0; i < entry->m_attrs.size(); ++i) {
        if (entry->m_attrs[i].m_id == rest) {
            item = CDetailItem(entry, kqaid, DETAIL_ATTR, static_cast<int32_t>(i));
            return true;
        }
    }
    return false;
}

bool ItemStep(CKQTreeEntry* entry, const std::string& text, uint16_t kqaid, CDetailItem& item) {
    if (entry->m_kqaid != 0) kqaid = entry->m_kqaid;
    std::string rest = text;
    std::string node = SplitItemNode(rest);
    if (!node.empty() && node != entry->m_key)
        return SearchList(entry->GetSubtree(), text, kqaid, item);
    if (ItemInEntry(entry, rest, kqaid, item)) return true;
    return SearchList(entry->GetSubtree(), rest, kqaid, item);
}

bool SearchList(CKQTree* tree, const std::string& text, uint16_t kqaid, CDetailItem& item) {
    if (!tree) return false;
    for (CKQTreeEntry* e : *tree)
        if (ItemStep(e, text, kqaid, item)) return true;
    return false;
}

// ---- columns ----

void ScanColumns(CQuillo95Doc& doc, const CKQTreeEntry& entry, const std::string& keyPath,
                 const std::string& captionPath, CDbColumns& columns, std::set<std::string>& seen) {
    for (const CAttr& a : entry.m_attrs) {
        if ((a.m_data & DATA_HIGHLIGHT) == 0) continue;
        std::string key = Join(keyPath, a.m_id);
        if (!seen.insert(key).second) continue;
        columns.m_keys.push_back(key);
        columns.m_captions.push_back(Join(captionPath, a.m_id));
        columns.m_numeric.push_back(static_cast<uint8_t>((a.m_data & DATA_NUMERIC) != 0));
    }
    if (CKQTree* sub = entry.GetSubtree()) {
        for (const CKQTreeEntry* child : *sub) {
            // Analyzer branches are left out of captions: they name no part of the system.
            const CAnalyzer* a = doc.Analyzers().FindByName(child->m_key);
            std::string caption =
                (!a || a->GetID() == 0) ? Join(captionPath, child->m_key) : captionPath;
            ScanColumns(doc, *child, Join(keyPath, child->m_key), caption, columns, seen);
        }
    }
}

}  // namespace

bool CQuillo95Doc::EntryLookup(const CKQTreeEntry* entry, const std::string& path,
                               std::string& value) {
    if (!entry) return false;
    std::string rest = path;
    std::string node = SplitItemNode(rest);
    if (!node.empty() && node != entry->m_key)
        return SubtreeLookup(*this, entry->GetSubtree(), path, value);
    if (DirectLookup(*this, *entry, rest, value)) return true;
    return SubtreeLookup(*this, entry->GetSubtree(), rest, value);
}

bool CQuillo95Doc::LookupValue(const std::string& sysid, const std::string& itemText,
                               std::string& value) {
    value.clear();
    if (sysid.empty()) return false;
    // A cached record is read where it is; only a stored one is loaded into a copy.
    CRecordEntry* cached = m_db.LoadedRecord(sysid);
    if (cached && !cached->IsDeleted()) return EntryLookup(cached, itemText, value);
    CRecordEntry record;
    if (!LoadSystemTree(sysid, record)) return false;
    return EntryLookup(&record, itemText, value);
}

bool CQuillo95Doc::LookupValue(int key, const std::string& itemText, std::string& value) {
    return LookupValue(ResolveRecordKey(key), itemText, value);
}

bool CQuillo95Doc::SearchItem(const std::string& text, CDetailItem& item) {
    item = CDetailItem(nullptr, 0, DETAIL_ENTRY, -1, 0);
    return SearchList(&m_systemTree, text, 0, item);
}

bool CQuillo95Doc::StoredTipPriority(const CKQTreeEntry& system, const std::string& itemText,
                                     int32_t& priority) const {
    KQAID kqaid = 0;
    int32_t textID = 0, descID = 0;
    return ParseTipReference(itemText, kqaid, textID, descID) &&
           ::StoredTipPriority(m_analyzers, system, kqaid, textID, descID, priority);
}

bool CQuillo95Doc::TipReferenceText(const std::string& itemText, std::string& text) {
    KQAID kqaid = 0;
    int32_t textID = 0, descID = 0;
    if (!ParseTipReference(itemText, kqaid, textID, descID)) return false;
    CAnalyzer* analyzer = m_analyzers.FindByID(kqaid);
    if (!analyzer || !analyzer->IsLoaded()) return false;
    CTip tip(0, textID, descID);
    text.clear();
    return analyzer->GetTipText(&tip, text);
}

int CQuillo95Doc::QueryRecord(int key) const {
    const std::string sysid = ResolveRecordKey(key);
    if (sysid.empty()) return 0;
    // The running system's record has no stored tree of its own: it is never deleted.
    if (m_db.KeyPosition(key) == 0) return 2;
    // Nothing stored is changed from a standby; what it kept here may be.
    if (m_teamStandby && !m_db.KeptInMemory(sysid)) return 3;
    return m_othersRecords.count(sysid) ? 3 : 1;
}

bool CQuillo95Doc::RecordNotStored(int key) const {
    const std::string sysid = ResolveRecordKey(key);
    return !sysid.empty() && m_db.KeptInMemory(sysid);
}

void CQuillo95Doc::ChooseColumns(CDbColumns& columns) {
    columns = CDbColumns();
    std::set<std::string> seen;
    int counted = 0;
    const std::vector<std::string>& directory = m_db.Directory();
    for (size_t pos = 0; pos < directory.size() && counted < 10; ++pos) {
        std::string sysid = directory[pos];
        if (sysid.empty()) continue;
        const CRecordEntry* record = m_db.LoadedRecord(sysid);
        CRecordEntry loaded;
        if (!record) {
            if (!m_db.LoadRecord(loaded, sysid)) continue;
            record = &loaded;
        }
        if (record->IsDeleted()) continue;
        ++counted;
        try {
            ScanColumns(*this, *record, record->m_key, std::string(), columns, seen);
        } catch (const std::exception&) {
            return;  // the columns found so far stay
        }
    }
}

void CQuillo95Doc::QueueListing() { m_db.QueueListing(); }

void CQuillo95Doc::OnSelectionCaptured(const std::vector<int32_t>& selection) {
    BuildTipsAndDetailsReports(selection);
}

void CQuillo95Doc::OnPanesInitialised(const std::vector<int32_t>& selection) {
    BuildTipsAndDetailsReports(selection);
}

std::string CQuillo95Doc::FallbackAttributeID() const { return m_db.IdentifierAttributeID(); }

std::string CQuillo95Doc::SystemHeader(int key, const std::string& path) {
    std::string value;
    if (LookupValue(key, path, value)) return value;
    if (LookupValue(key, FallbackAttributeID(), value)) return value;
    return std::string();
}

std::string CQuillo95Doc::SystemDescription(const CKQTreeEntry& record) {
    std::string value;
    const CAnalyzer* a = m_analyzers.FindByID(KQAID_SYSTEM);
    if (!a || a->m_info.m_extra.empty() || !EntryLookup(&record, a->m_info.m_extra, value))
        value.clear();
    return value;
}

std::string CQuillo95Doc::SeriesTitle(int key) {
    std::string value;
    const CAnalyzer* a = m_analyzers.FindByID(KQAID_SYSTEM);
    if (a && LookupValue(key, a->m_info.m_extra, value) && !value.empty()) return value;
    if (LookupValue(key, FallbackAttributeID(), value)) return value;
    return std::string();
}

double CQuillo95Doc::LeadingNumber(const std::string& text) { return ::LeadingNumber(text); }

double CQuillo95Doc::ChartValue(int key, const std::string& line) {
    std::string value;
    return LookupValue(key, line, value) ? LeadingNumber(value) : 0.0;
}

bool CQuillo95Doc::ChartMeasurement(int key, const std::string& line, double& value) {
    value = 0;
    std::string text;
    if (!LookupValue(key, line, text)) return false;
    // Only a text that starts with a number is a measurement ("n/a", "Unknown" are not).
    size_t i = text.find_first_not_of(" \t\n\v\f\r");
    if (i == std::string::npos) return false;
    if (text[i] == '+' || text[i] == '-') ++i;
    if (i < text.size() && text[i] == '.') ++i;
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
    value = LeadingNumber(text);
    return true;
}

std::string CQuillo95Doc::ItemCaption(const std::string& text) {
    return CReportCompiler::Caption(text);
}

std::string CQuillo95Doc::GroupTitle(const std::string& line) { return ChartGroupTitle(line); }

std::string ChartGroupTitle(const std::string& line) {
    std::string title;
    title.reserve(line.size());
    for (char c : line)
        if (!(c == ' ' && !title.empty() && title.back() == ' ')) title.push_back(c);
    return ReplaceSepIDs(title, ' ');
}

bool CQuillo95Doc::ValueAtItemPath(CKQTree& tree, const std::string& path, std::string& text) {
    return ::ValueAtItemPath(tree, path, text,
                             [this](KQAID id, CTip* tip, CString& out) { TipText(id, tip, out); });
}
