// Adding records read from exchange files to the database.
#include "database/RecordImport.h"

#include "database/Database.h"
#include "database/ExchangeParser.h"

namespace {

// Moves what source holds into dest, whose tree makes record entries at every depth; each
// entry is marked changed, so that the next save writes the record.
bool MoveInto(CRecordEntry& dest, CKQTreeEntry& source) {
    dest.m_attrs = std::move(source.m_attrs);
    dest.m_tips = std::move(source.m_tips);
    dest.SetChanged();
    CKQTree* from = source.GetSubtree();
    if (!from) return true;
    CKQTree* to = dest.AddSubtree();
    if (!to) return false;
    for (CKQTreeEntry* child : *from) {
        auto* made = dynamic_cast<CRecordEntry*>(to->Add(child->m_key));
        if (!made || !MoveInto(*made, *child)) return false;
    }
    return true;
}

}  // namespace

CRecordImport CResultsDatabase::ImportRecord(CExchangeRecord& record) {
    using Outcome = CRecordImport::Outcome;
    CRecordImport result;
    const ImportState state = StateForImport(record.sysid);
    if (state == ImportState::Error) {
        result.outcome = Outcome::Failed;
        return result;
    }
    if (state == ImportState::Present) {
        result.outcome = Outcome::Duplicate;
        return result;
    }
    // The identifier names the record's stream: one that cannot be stored would be lost (or
    // overwrite the directory) at the next save.
    if (record.sysidIsTip || !IsStorableSysid(record.sysid)) {
        result.outcome = Outcome::Unstorable;
        return result;
    }
    CKQTreeEntry* e = m_cache.Add(record.entry.m_key);
    auto* added = dynamic_cast<CRecordEntry*>(e);
    if (!added) {
        if (e) m_cache.Remove(e);
        result.outcome = Outcome::NoMemory;
        return result;
    }
    // A directory entry without a readable stream is taken over in place.
    const int key = state == ImportState::Dangling ? AdoptDanglingRecord(added, record.sysid)
                                                   : AddImportedRecord(added, record.sysid);
    if (key < 0) {  // nothing may point at it
        m_cache.Remove(added);
        result.outcome = Outcome::Refused;
        return result;
    }
    // Registered: what could not be moved in for lack of memory is left out, the rest kept.
    result.outcome = Outcome::Added;
    result.incomplete = !MoveInto(*added, record.entry);
    result.key = key;
    // The directory keeps its spelling of a name taken over: the stream and the record's
    // identifier attribute are named by it.
    result.sysid = record.sysid;
    if (state == ImportState::Dangling) {
        result.sysid = RecordSysid(key);
        if (added->GetAttrCount() > 0) added->m_attrs[0].m_value = result.sysid;
    }
    return result;
}
