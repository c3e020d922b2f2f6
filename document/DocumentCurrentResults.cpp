// The current system's results in the database: the mirror record at directory position 0,
// refreshed from the system tree, and snapshots saved by "Save Current Results".
#include <map>

#include "document/Document.h"
#include "resources/Strings.h"

namespace {

void AssignUniqueIDs(CKQTree* tree, const std::string& parentID) {
    if (!tree) return;
    for (CKQTreeEntry* e : *tree) {
        if (!e) break;
        e->SetUniqueID(parentID + "." + e->m_key);
        AssignUniqueIDs(e->GetSubtree(), e->GetUniqueID());
    }
}

// The attribute an item path names below entry (the first found depth first); null if none.
CAttr* AttrAtPath(CKQTreeEntry* entry, const std::string& path) {
    if (!entry || path.empty()) return nullptr;
    const size_t cut = path.find('~');
    if (cut == std::string::npos) {
        const int index = entry->FindAttr(path);
        if (index >= 0) return entry->GetAttr(index);
    } else if (path.compare(0, cut, entry->m_key) == 0 && cut == entry->m_key.size()) {
        if (CAttr* a = AttrAtPath(entry, path.substr(cut + 1))) return a;
    }
    if (CKQTree* sub = entry->GetSubtree())
        for (CKQTreeEntry* child : *sub)
            if (CAttr* a = child ? AttrAtPath(child, path) : nullptr) return a;
    return nullptr;
}

}  // namespace

void CQuillo95Doc::KeepStoredMirror(const std::string& sysid) {
    CRecordEntry* rec = m_db.GetRecord(sysid);
    if (!rec) return;  // not readable now: left alone, as at start-up
    // The description the user gave this machine is the stored one, in the tree as well.
    const CAnalyzer* a = m_analyzers.FindByID(KQAID_SYSTEM);
    CKQTreeEntry* head = m_systemTree.GetHead();
    if (a && head && !a->m_info.m_extra.empty()) {
        const CAttr* stored = AttrAtPath(rec, a->m_info.m_extra);
        if (CAttr* mine = stored ? AttrAtPath(head, a->m_info.m_extra) : nullptr)
            mine->m_value = stored->m_value;
    }
    if (rec->InUse() == 0) rec->Hold();
    rec->SetCurrent();
    // Measured results are this run's only when it measured any.
    if (m_testsRun) RefreshCurrentResults(true);
}

void CQuillo95Doc::DeepCopy(CKQTreeEntry& dest, const CKQTreeEntry& source, bool withTips) {
    dest.SetUniqueID(source.GetUniqueID());
    for (const CAttr& a : source.m_attrs) dest.SetAttr(a.m_id, a.m_value, a.m_type, a.m_data);
    if (withTips) {
        dest.RemoveAllTips();
        for (const CTip& t : source.m_tips) dest.AddTip(t.m_priority, t.m_textID, t.m_descID);
    }
    const CKQTree* sub = source.GetSubtree();
    if (!sub) return;
    CKQTree* dsub = dest.AddSubtree();
    if (!dsub) return;
    // Children are matched by key; the n-th source child of a key goes to the n-th destination
    // child of that key, so siblings that share a key are not merged into one.
    std::map<std::string, int> seen;
    for (const CKQTreeEntry* child : *sub) {
        if (!child) break;
        int wanted = seen[child->m_key]++;
        CKQTreeEntry* target = nullptr;
        for (CKQTreeEntry* d : *dsub)
            if (d && d->m_key == child->m_key && wanted-- == 0) {
                target = d;
                break;
            }
        if (!target) target = dsub->Add(child->m_key);
        if (target) DeepCopy(*target, *child, withTips);
    }
}

bool CQuillo95Doc::RefreshCurrentResults(bool withTips) {
    AssignUniqueIDs(&m_systemTree, std::string());
    CKQTreeEntry* source = m_systemTree.GetHead();
    if (!source) return false;
    const std::string sysid = CurrentSysid();
    const bool known = m_db.IsKnownSysid(sysid);
    CRecordEntry* rec =
        known ? m_db.GetRecord(sysid) : m_db.AddCurrentSystemRecord(source->m_key, sysid);
    if (!rec && known && m_db.LastReadFailed()) {
        // Busy or an I/O error: the stored record may be whole, with figures, tips and the
        // user's description. It is left as it is.
        m_frame.LogLine(FormatKQString(IDS_RECORD_LEFT_ALONE, sysid, m_db.LastError()));
        return known;
    }
    if (!rec && known) {
        // Its stream is damaged or gone: start it again from this machine's tree, in place,
        // so that the next save stores the current results again.
        m_frame.LogLine(FormatKQString(IDS_WARN_MIRROR_REBUILT, sysid));
        rec = m_db.RebuildRecord(source->m_key, sysid);
    }
    if (!rec) return known;
    KeepMirrorHereIfNotOurs(sysid);
    if (rec->InUse() == 0) rec->Hold();
    rec->m_key = source->m_key;
    rec->SetCurrent();
    DeepCopy(*rec, *source, withTips);
    rec->SetChanged();
    SetModifiedFlag();
    return known;
}

void CQuillo95Doc::KeepMirrorHereIfNotOurs(const std::string& sysid) {
    if (!OnTeamDatabase() || m_db.KeptInMemory(sysid)) return;
    // Said once per opening: no later analysis tries the store again.
    if (m_teamReadOnly) {
        m_db.KeepInMemory(sysid);
        // On a standby, Warning 1048 said so already.
        if (!m_teamStandby) m_frame.LogLine(FormatKQString(IDS_WARN_TEAM_READ_ONLY, sysid));
    } else if (m_othersRecords.count(sysid)) {
        m_db.KeepInMemory(sysid);
        ShowMessage(FormatKQString(IDS_ERR_TEAM_ROW_NOT_OURS, sysid));
    }
}

bool CQuillo95Doc::PropertiesStep() {
    CAnalyzer* a = m_analyzers.FindByID(KQAID_SYSTEM);
    if (!a) return false;
    CIdleHold hold(*this);
    if (!a->DoPropertiesUI(nullptr)) return false;
    RefreshCurrentResults(true);
    BuildHighlightsReport();
    return true;
}

void CQuillo95Doc::SaveCurrentResults() {
    if (!PropertiesStep()) return;
    if (AddSnapshot() < 0) return;
    SaveTeamChanges();
    m_resultsNotSaved = false;
}

int CQuillo95Doc::AddSnapshot() {
    const std::string sysid = MakeNewSysid();
    if (sysid.empty()) return -1;
    CKQTreeEntry* source = m_systemTree.GetHead();
    if (!source) return -1;
    CRecordEntry* rec = m_db.NewRecord(source->m_key);
    if (!rec) return -1;
    DeepCopy(*rec, *source, true);
    m_db.SetRecordSysid(*rec, sysid);
    const int key =
        CResultsDatabase::GetRecordSysid(*rec) == sysid ? m_db.AddSavedRecord(rec, sysid) : -1;
    if (key < 0) {
        // No index entry: do not leave a record behind that would be written under a name
        // the directory does not know.
        m_db.DiscardRecord(rec);
        return -1;
    }
    rec->SetChanged();
    Announce(DocEvent::RecordAdded, key);
    Announce(DocEvent::DatabaseChanged);
    SetModifiedFlag();
    return key;
}

std::string CQuillo95Doc::ResolveRecordKey(int key) const {
    if (key == 0) return std::string();
    return m_db.RecordSysid(key);
}

bool CQuillo95Doc::LoadSystemTree(const std::string& sysid, CKQTreeEntry& entry) {
    if (sysid.empty()) return false;
    return m_db.LoadRecord(entry, sysid);
}
