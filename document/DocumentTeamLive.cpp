// Other users' changes to the team database, followed as they happen: the server notifies
// every listening connection, the windows say when its socket is readable, and an idle step
// reads only the rows named and tells the panes through the change channel.
#include "database/OutboxStore.h"
#include "document/Document.h"
#include "resources/Strings.h"
#include "server/ServerRecordStore.h"

void CQuillo95Doc::ListenToTeamDatabase(CServerRecordStore* store) {
    m_teamStore = store;
    m_teamChanges.clear();
    m_listening = false;
    if (!m_changeWatch) return;
    if (const StoreError e = store->Listen(); e != StoreError::None) {
        m_frame.LogLine(FormatKQString(IDS_TEAM_NOT_LIVE, m_teamName, store->Describe(e)));
        return;
    }
    m_listening = true;
    m_changeWatch->Start(store->Socket(), [this] { TakeTeamChanges(true); });
}

void CQuillo95Doc::StopListening() {
    if (m_changeWatch) m_changeWatch->Stop();
    m_teamStore = nullptr;
    m_listening = false;
    m_teamChanges.clear();
}

void CQuillo95Doc::TakeTeamChanges(bool fromSocket) {
    if (!m_teamStore || !m_listening) return;
    std::vector<CServerRecordStore::Change> changes;
    const StoreError e = m_teamStore->TakeChanges(changes, fromSocket);
    // Heard in the order committed: the last change of a record is the one that stands.
    for (CServerRecordStore::Change& c : changes) m_teamChanges[c.sysid] = {c.version, c.removed};
    if (e == StoreError::Disconnected && m_outbox) {
        // The outbox tells the loss once and the reconnection listens again.
        StopListening();
        m_outbox->ConnectionLost();
        CheckTeamConnection();
        return;
    }
    // The connection is gone: its socket says nothing more (and would say so endlessly).
    if (e != StoreError::None) StopHearing(m_teamStore->Describe(e));
}

void CQuillo95Doc::StopHearing(const std::string& why) {
    if (m_changeWatch) m_changeWatch->Stop();
    m_listening = false;
    m_teamChanges.clear();
    m_frame.LogLine(FormatKQString(IDS_TEAM_NOT_LIVE, m_teamName, why));
}

namespace {
// Records followed in one idle step at most: another's large import is read a few hundred
// rows at a time, as the listing reads ahead, and the window stays alive in between.
constexpr size_t kFollowStep = 200;
}  // namespace

bool CQuillo95Doc::FollowTeamChanges() {
    if (m_teamChanges.empty() || !m_teamStore) return false;
    std::vector<StoredRecord> stored, removed;
    auto it = m_teamChanges.begin();
    for (size_t n = 0; it != m_teamChanges.end() && n < kFollowStep; ++it, ++n)
        (it->second.second ? removed : stored).push_back({it->first, 0, it->second.first});
    m_teamChanges.erase(m_teamChanges.begin(), it);
    CResultsDatabase::FollowedChanges followed;
    if (!m_db.FollowStore(stored, removed, followed)) {
        // What was heard cannot be read: the list would go on missing it unsaid.
        StopHearing(m_db.LastError());
        return true;
    }
    // Who stored the new rows decides whether this user may delete or edit them.
    std::vector<std::string> added, others;
    for (const int key : followed.added) added.push_back(m_db.RecordSysid(key));
    if (!added.empty() && m_teamStore->StoredByOthers(added, others) == StoreError::None)
        m_othersRecords.insert(others.begin(), others.end());
    for (const StoredRecord& r : removed)
        if (!m_db.IsKnownSysid(r.sysid)) m_othersRecords.erase(r.sysid);

    for (const int key : followed.removed) Announce(DocEvent::RecordRemoved, key);
    for (const int key : followed.changed) Announce(DocEvent::RecordChanged, key);
    for (const int key : followed.added) Announce(DocEvent::RecordAdded, key);
    if (!followed.added.empty() || !followed.removed.empty()) Announce(DocEvent::DatabaseChanged);
    for (const std::string& sysid : followed.keptHere)
        ShowMessage(FormatKQString(IDS_TEAM_REMOVED_KEPT_HERE, sysid));
    return true;
}
