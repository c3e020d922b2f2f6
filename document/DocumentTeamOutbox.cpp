// The team database's outbox: changes wait on this computer until the server has them, a
// lost connection is told once, and a new one stores what waited.
#include "database/OutboxStore.h"
#include "document/Document.h"
#include "resources/Strings.h"
#include "server/ServerRecordStore.h"

std::unique_ptr<IRecordStore> CQuillo95Doc::WithOutbox(std::unique_ptr<IRecordStore> server,
                                                       const std::string& name) {
    auto outbox = std::make_unique<COutboxStore>(std::move(server));
    const std::string path = m_app.DataDirRefused() || m_app.DataDir().empty()
                                 ? std::string()
                                 : m_app.DataDir() + COutboxStore::OutboxFileName(name);
    if (path.empty() || !outbox->OpenOutbox(path)) {
        // Without a folder to keep it in, the server is written directly, as before.
        m_frame.LogLine(FormatKQString(
            IDS_WARN_TEAM_NO_OUTBOX, path,
            path.empty() ? LoadKQString(IDS_TEAM_NO_DATA_FOLDER) : outbox->LastError()));
        m_outbox = nullptr;
        return outbox->TakeServer();
    }
    int stored = 0;
    FlushOutbox(*outbox, stored);
    if (stored > 0)
        m_frame.LogLine(FormatKQString(IDS_TEAM_OUTBOX_STORED, name, std::to_string(stored)));
    m_outbox = outbox.get();
    return outbox;
}

void CQuillo95Doc::FlushOutbox(COutboxStore& outbox, int& stored) {
    std::vector<COutboxStore::Refused> refused;
    outbox.Flush(refused, stored);
    for (const COutboxStore::Refused& r : refused) {
        if (r.error == StoreError::Exists)
            m_frame.LogLine(FormatKQString(IDS_WARN_DUPLICATE_RECORD, r.sysid));
        else if (r.error == StoreError::Denied)
            ShowMessage(FormatKQString(IDS_ERR_TEAM_ROW_NOT_OURS, r.sysid));
        else if (r.error == StoreError::Conflict)
            ShowMessage(FormatKQString(IDS_ERR_TEAM_ROW_CHANGED, r.sysid));
        else
            m_frame.LogLine(FormatKQString(IDS_ERR_TEAM_STORE_FAILED, m_teamName,
                                           r.sysid + ": " + outbox.Describe(r.error)));
    }
}

int CQuillo95Doc::TeamChangesWaiting() const { return m_outbox ? m_outbox->Waiting() : 0; }

bool CQuillo95Doc::CheckTeamConnection() {
    if (!m_outbox || !m_outbox->Offline() || m_teamLostAt != 0) return false;
    m_teamLostAt = std::time(nullptr);
    const std::string text = FormatKQString(IDS_ERR_TEAM_CONNECTION_LOST, m_teamName,
                                            m_outbox->Describe(StoreError::Disconnected));
    if (!LogAndTellUnattended(text)) m_frame.ShowLog();
    return true;
}

void CQuillo95Doc::SaveTeamChanges() {
    if (!OnTeamDatabase() || !m_db.Save(m_db.Path())) return;
    m_modified = false;
    CheckTeamConnection();
}

bool CQuillo95Doc::ReconnectTeamDatabase(CPgConnection&& connection,
                                         const std::string& connectError, std::string& message) {
    // Nothing may be read again under a dialog or a run that holds records: later.
    if (!m_outbox || m_idleHold > 0 || m_running) return false;
    auto store = std::make_unique<CServerRecordStore>();
    if (const StoreError e = store->Open(std::move(connection), connectError, m_teamName);
        e != StoreError::None) {
        message = FormatKQString(IDS_ERR_SERVER_CONNECT, m_teamName, store->Describe(e));
        return false;
    }
    std::vector<std::string> others;
    bool mayStore = false;
    if (store->StoredByOthers(others) != StoreError::None ||
        store->MayStore(mayStore) != StoreError::None) {
        message =
            FormatKQString(IDS_ERR_SERVER_CONNECT, m_teamName, store->Describe(StoreError::IO));
        return false;
    }
    // Everything of this run into the outbox first: the list read again drops the cache.
    CIdleHold hold(*this);
    m_db.Save(m_db.Path());
    StopListening();  // the old connection's socket goes with it
    CServerRecordStore* const opened = store.get();
    m_outbox->Reconnect(std::move(store));
    int stored = 0;
    FlushOutbox(*m_outbox, stored);
    if (m_outbox->Offline() || !m_db.ListAgain()) {
        message = FormatKQString(IDS_ERR_SERVER_CONNECT, m_teamName, m_db.LastError());
        return false;
    }
    m_teamLostAt = 0;
    m_teamReadOnly = !mayStore;
    m_othersRecords = std::set<std::string, CaseLess>(others.begin(), others.end());
    m_modified = false;
    ListenToTeamDatabase(opened);
    const std::string back =
        FormatKQString(IDS_TEAM_RECONNECTED, m_teamName, std::to_string(stored));
    m_frame.LogLine(back);
    DatabaseSwitched();
    m_frame.SetStatusText(back);
    return true;
}

void CQuillo95Doc::TellChangesWaitingAtExit() {
    TellKeptRecordsAtExit();
    const int waiting = TeamChangesWaiting();
    if (waiting == 0) return;
    if (!WantsExportAtExit(
            FormatKQString(IDS_WARN_TEAM_CHANGES_KEPT, std::to_string(waiting), m_teamName),
            IDS_TEAM_EXPORT_WAITING))
        return;
    // The records as they wait, through the export of Database rows.
    std::vector<int32_t> keys;
    for (const RecordBytes& r : m_outbox->WaitingRecords())
        if (const int key = m_db.KeyForSysid(r.sysid); key >= 0) keys.push_back(key);
    ExportRecords(keys, std::string());
}

void CQuillo95Doc::TellKeptRecordsAtExit() {
    if (!m_teamStandby) return;
    // Saved while only a standby answered: in this program and nowhere else (this machine's
    // own record is measured again at the next run).
    std::vector<int32_t> keys;
    const std::vector<std::string>& directory = m_db.Directory();
    for (size_t pos = 1; pos < directory.size(); ++pos)
        if (!directory[pos].empty() && m_db.KeptInMemory(directory[pos]))
            keys.push_back(m_db.KeyForSysid(directory[pos]));
    if (!keys.empty() && WantsExportAtExit(FormatKQString(IDS_TEAM_KEPT_AT_EXIT, m_teamName,
                                                          std::to_string(keys.size())),
                                           IDS_TEAM_EXPORT_KEPT))
        ExportRecords(keys, std::string());
}

bool CQuillo95Doc::WantsExportAtExit(const std::string& text, KQStringId question) {
    // Unattended, standard error hears it and nobody is asked.
    if (LogAndTellUnattended(text)) return false;
    CIdleHold hold(*this);
    return m_frame.MessageBox(text + "\n\n" + LoadKQString(question), LoadKQString(IDS_APP_TITLE),
                              MsgIcon::Warning, MsgButtons::YesNo) == IDYES;
}
