// This machine over time: its stored results (snapshots of its record), the "History" report
// and chart, and the host's own regression tips, kept on an entry of the live tree only.
#include <algorithm>

#include "document/Document.h"
#include "reports/ReportCompiler.h"
#include "resources/Strings.h"

std::vector<CQuillo95Doc::HistoryRecord> CQuillo95Doc::ThisMachineHistory(bool withTrees) {
    std::vector<HistoryRecord> history;
    const std::string mirror = MirrorSysid();
    if (mirror.empty()) return history;
    const std::string separator = LoadKQString(IDS_OPTION_PREFIX_PLUS);
    m_db.ForEachWithPrefix(mirror + separator,
                           [&](const std::string& sysid, const CKQTreeEntry& record) {
                               if (!IsSnapshotOf(mirror, separator, sysid)) return;
                               HistoryRecord r;
                               r.key = m_db.KeyForSysid(sysid);
                               r.sysid = sysid;
                               r.time = HistoryTimeOf(record, separator, sysid);
                               if (withTrees) {
                                   r.tree = std::make_unique<CKQTreeEntry>();
                                   CResultsDatabase::CopyEntry(*r.tree, record);
                               }
                               history.push_back(std::move(r));
                           });
    std::sort(history.begin(), history.end(), [](const HistoryRecord& a, const HistoryRecord& b) {
        return a.time.when != b.time.when ? a.time.when < b.time.when : a.sysid < b.sysid;
    });
    return history;
}

std::vector<CHistoryColumn> CQuillo95Doc::HistoryColumns() {
    const CRecordEntry* mirror = m_db.CurrentSystemRecord();
    const std::string sysid = mirror ? CResultsDatabase::GetRecordSysid(*mirror) : std::string();
    const CHistoryTime now = mirror ? HistoryTimeOf(*mirror, std::string(), sysid) : CHistoryTime();
    std::vector<CHistoryColumn> columns;
    for (const HistoryRecord& r : ThisMachineHistory(false)) {
        // The snapshot an unattended run or Save Current Results kept of the current results
        // is the current column itself.
        if (!now.label.empty() && r.time.label == now.label) continue;
        columns.push_back({r.key, r.time.label.empty() ? r.sysid : r.time.label});
    }
    // Results measured within the same minute are numbered in time order.
    for (size_t i = 0; i < columns.size();) {
        size_t j = i + 1;
        while (j < columns.size() && columns[j].header == columns[i].header) ++j;
        if (j - i > 1)
            for (size_t k = i; k < j; ++k)
                columns[k].header = FormatKQString(IDS_HISTORY_NUMBERED, columns[k].header,
                                                   std::to_string(k - i + 1));
        i = j;
    }
    if (mirror)
        columns.push_back(
            {m_db.KeyForSysid(sysid),
             FormatKQString(IDS_HISTORY_CURRENT, now.label.empty() ? sysid : now.label)});
    return columns;
}

CKQTreeEntry* CQuillo95Doc::HostEntry() const {
    for (CKQTreeEntry* e : m_systemTree)
        if (e && e->m_kqaid == KQAID_HOST) return e;
    return nullptr;
}

void CQuillo95Doc::BuildHistory() {
    CKQTreeEntry* top = m_systemTree.GetHead();
    if (!top) return;
    // Beside the top entry, not below it: what is copied into records starts at the top.
    CKQTreeEntry* host = HostEntry();
    if (!host) {
        host = m_systemTree.Add(LoadKQString(IDS_HISTORY));
        if (!host) return;
        host->m_kqaid = KQAID_HOST;
    }
    const CRecordEntry* mirror = m_db.CurrentSystemRecord();
    BuildHistoryDefinitions(*host, top, mirror, kMeasuredAttribute);

    host->RemoveAllTips();
    m_regressions.clear();
    if (!mirror) return;
    std::vector<HistoryRecord> history = ThisMachineHistory(true);
    std::vector<CHistoryResult> earlier;
    for (const HistoryRecord& r : history) earlier.push_back({r.tree.get(), r.time});
    m_regressions = FindRegressions(*mirror, earlier);
    for (size_t i = 0; i < m_regressions.size(); ++i) {
        const int32_t id = static_cast<int32_t>(i + 1);
        host->AddTip(m_regressions[i].priority, id, id);
    }
}
