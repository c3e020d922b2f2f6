#include "document/Document.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "database/ItemPath.h"
#include "server/ServerRecordStore.h"
#include "resources/Strings.h"

namespace {

constexpr int kMaxIdleSteps = 100000;
// An unread database file: how often idle time tries it again, and how long each try and
// the try before a save wait for another program's lock.
constexpr uint32_t kRetrySeconds = 2;
constexpr int kIdleBusyMs = 50;
constexpr int kSaveBusyMs = 2000;

CKQTreeEntry* FindByKey(CKQTreeEntry* entry, const std::string& key) {
    if (entry->GetKey() == key) return entry;
    if (CKQTree* sub = entry->GetSubtree()) {
        for (CKQTreeEntry* child : *sub) {
            if (child == nullptr) break;
            if (CKQTreeEntry* found = FindByKey(child, key)) return found;
        }
    }
    return nullptr;
}

}  // namespace

CQuillo95Doc::CQuillo95Doc(CAppState& app, IFrameServices& frame)
    : m_app(app), m_frame(frame), m_db(*this) {}

CQuillo95Doc::~CQuillo95Doc() {
    StopListening();
    // Records first, then this machine's tree, then the modules that filled it.
    m_db.Close();
    m_outbox = nullptr;
    m_systemTree.RemoveAll();
    m_analyzers.DestroyAll();
    if (m_progressOpen) m_frame.DestroyProgress();
    m_progressOpen = false;
}

bool CQuillo95Doc::OnOpenDocument(const std::string& path) {
    if (CAppState::IsExchangeFileName(path)) {
        // The database stays as it is; the file's records join it.
        ImportFile(path);
        return false;
    }
    if (!m_db.Open(path)) {
        m_frame.LogLine(LoadKQString(IDS_WARN_CANT_OPEN_DATABASE) + " " + path);
        const CStreamStorage::OpenResult why = m_db.LastOpenResult();
        if (why == CStreamStorage::OpenResult::Missing) return false;
        std::string text;
        if (why == CStreamStorage::OpenResult::Error) {
            // Busy or a passing read error: read again later, so only the log hears of it.
            text = FormatKQString(IDS_WARN_DATABASE_BUSY, path, m_db.LastError());
        } else {
            text = FormatKQString(IDS_ERR_DATABASE_NOT_OPENED, path, m_db.LastError()) + " " +
                   LoadKQString(why == CStreamStorage::OpenResult::NotADatabase
                                    ? IDS_DATABASE_SET_ASIDE_NEXT
                                    : IDS_DATABASE_LEFT_ALONE);
        }
        m_frame.LogLine(text);
        if (m_app.AutoRun()) {
            std::fprintf(stderr, "%s\n", text.c_str());
            std::fflush(stderr);
        } else if (why != CStreamStorage::OpenResult::Error) {
            // Stored results are at stake: the user hears of it, not only the log.
            CIdleHold hold(*this);
            m_frame.MessageBox(text, LoadKQString(IDS_APP_TITLE), MsgIcon::Warning, MsgButtons::Ok);
        }
        return false;
    }
    m_pathName = path;
    m_modified = false;
    return true;
}

bool CQuillo95Doc::OpenTeamDatabase(const std::string& conninfo, std::string& message) {
    CPgConnection connection;
    std::string error;
    ConnectWaiting(conninfo, CServerRecordStore::kConnectTimeoutMs, connection, error);
    return OpenTeamDatabase(std::move(connection), error, ConnectionDisplayName(conninfo), message);
}

bool CQuillo95Doc::OpenTeamDatabase(CPgConnection&& connection, const std::string& connectError,
                                    const std::string& name, std::string& message) {
    auto store = std::make_unique<CServerRecordStore>();
    COutboxStore* const outboxBefore = m_outbox;
    CServerRecordStore* const opened = store.get();
    bool mayStore = false;
    const StoreError e = store->Open(std::move(connection), connectError, name);
    const bool standby = e == StoreError::None && store->ReadOnly();
    if (e != StoreError::None) {
        const SchemaCheck& schema = store->Schema();
        const bool schemaRefused =
            schema.state != SchemaState::Current && schema.state != SchemaState::Unknown;
        message = schemaRefused ? SchemaMessage(schema, name)
                                : FormatKQString(IDS_ERR_SERVER_CONNECT, name, store->Describe(e));
    } else if (std::vector<std::string> others;
               store->StoredByOthers(others) != StoreError::None ||
               store->MayStore(mayStore) != StoreError::None ||
               !m_db.UseStore(WithOutbox(std::move(store), name))) {
        message = FormatKQString(IDS_ERR_SERVER_CONNECT, name, m_db.LastError());
        m_outbox = outboxBefore;  // the database stands where it stood
    } else {
        m_teamName = name;
        m_teamLostAt = 0;
        m_teamReadOnly = !mayStore || standby;
        m_teamStandby = standby;
        m_teamUnreadable = false;
        m_othersRecords = std::set<std::string, CaseLess>(others.begin(), others.end());
        m_pathName.clear();
        // Records kept while only a standby answered came along, still to be stored.
        const int carried = m_db.CarriedOver();
        m_modified = carried > 0;
        m_frame.LogLine(FormatKQString(IDS_STATUS_TEAM_DATABASE, name));
        if (standby) {
            m_db.KeepAllInMemory();
            ShowMessage(FormatKQString(IDS_WARN_TEAM_STANDBY, name));
        } else {
            ListenToTeamDatabase(opened);  // a standby cannot LISTEN: its list is read again
            if (carried > 0)
                ShowMessage(FormatKQString(IDS_TEAM_PRIMARY_BACK, name, std::to_string(carried)));
        }
        return true;
    }
    m_frame.LogLine(message);
    return false;
}

bool CQuillo95Doc::SwitchToTeamDatabase(CPgConnection&& connection, const std::string& connectError,
                                        const std::string& name, std::string& message) {
    SaveModified();
    if (!OpenTeamDatabase(std::move(connection), connectError, name, message)) return false;
    DatabaseSwitched();
    return true;
}

void CQuillo95Doc::SwitchToLocalDatabase() {
    if (!OnTeamDatabase()) return;
    SaveModified();
    // What was saved while only a standby answered is stored nowhere yet: it comes along.
    const std::vector<std::string> kept = m_db.KeptOnly();
    const std::string team = m_teamName;
    StopListening();
    m_db.Close();  // lets the team database go; the file store is back
    m_outbox = nullptr;
    m_teamLostAt = 0;
    m_teamName.clear();
    m_othersRecords.clear();
    m_teamReadOnly = m_teamStandby = false;
    if (!m_app.DataDirRefused() && !OnOpenDocument(m_app.DatabasePath())) OnNewDocument();
    if (const int carried = m_db.TakeIn(kept); carried > 0) {
        m_modified = true;
        ShowMessage(FormatKQString(IDS_TEAM_KEPT_TO_LOCAL, team, std::to_string(carried)));
    }
    DatabaseSwitched();
}

std::string CQuillo95Doc::TeamDatabaseLabel() const {
    return m_teamStandby ? FormatKQString(IDS_STATUS_TEAM_READ_ONLY, m_teamName) : m_teamName;
}

bool CQuillo95Doc::RefreshTeamListing() {
    // Not while a run, a dialog or a listing in progress holds the records: the next time.
    if (!OnTeamDatabase() || m_running || m_idleHold > 0 || !m_db.Requests().empty()) return true;
    CResultsDatabase::Relisted changes;
    if (!m_db.Relist(changes)) {
        // Said once: the next refresh tries again quietly.
        const std::string text =
            FormatKQString(IDS_ERR_TEAM_UNREADABLE, m_teamName, m_db.LastError());
        if (!std::exchange(m_teamUnreadable, true)) ShowMessage(text);
        return false;
    }
    m_teamUnreadable = false;
    for (const int key : changes.removed) Announce(DocEvent::RecordRemoved, key);
    for (const int key : changes.added) Announce(DocEvent::RecordAdded, key);
    for (const int key : changes.changed) Announce(DocEvent::RecordChanged, key);
    return true;
}

void CQuillo95Doc::DatabaseSwitched() {
    // This machine's record joins the other database (and is stored there with the next save).
    if (m_systemTree.GetHead()) RefreshCurrentResults(true);
    BuildHistory();
    Announce(DocEvent::DatabaseRead);
}

bool CQuillo95Doc::LogAndTellUnattended(const std::string& text) {
    m_frame.LogLine(text);
    if (!m_app.AutoRun()) return false;
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
    return true;
}

void CQuillo95Doc::ShowMessage(const std::string& text) {
    if (LogAndTellUnattended(text)) return;
    CIdleHold hold(*this);
    m_frame.MessageBox(text, LoadKQString(IDS_APP_TITLE), MsgIcon::Warning, MsgButtons::Ok);
}

void CQuillo95Doc::OnNewDocument() {
    m_pathName.clear();
    m_modified = false;
}

bool CQuillo95Doc::SaveModified() {
    if (!m_modified) return true;
    // The user was told at start-up; a team database is no file of that folder.
    if (m_app.DataDirRefused() && !OnTeamDatabase()) return false;
    if (m_pathName.empty()) m_pathName = m_app.DatabasePath();
    // The database logs a failed save with its path; closing goes on regardless and the
    // caller tells the user that the results were not kept.
    return OnSaveDocument(m_pathName);
}

bool CQuillo95Doc::OnSaveDocument(const std::string& path) {
    // Unread still: one more try, waiting for a lock as an open does. The save refuses a
    // file it has not read.
    if (m_db.OpenPending()) RetryPendingOpen(kSaveBusyMs);
    const bool ok = m_db.Save(path);
    if (ok) {
        m_pathName = path;
        m_modified = false;
    }
    return ok;
}

bool CQuillo95Doc::IdleStep() {
    // A run pumps messages: the database must not be touched until it is over.
    assert(m_idleHold >= 0);
    assert(m_runCancel == nullptr || m_running);
    if (m_running || m_idleHold > 0) return false;
    if (m_listening) TakeTeamChanges(false);
    if (FollowTeamChanges()) return true;
    if (m_db.OpenPending()) {
        // A short wait each time, and not on every idle call: the window stays alive.
        const uint32_t now = m_frame.Now();
        if (now - m_lastOpenRetry >= kRetrySeconds || now < m_lastOpenRetry) {
            m_lastOpenRetry = now;
            if (RetryPendingOpen(kIdleBusyMs)) return true;
        }
    }
    return m_db.IdleStep();
}

bool CQuillo95Doc::RetryPendingOpen(int busyMs) {
    std::string storedMirror;
    switch (m_db.RetryOpen(busyMs, storedMirror)) {
        case CResultsDatabase::RetryResult::NotPending:
        case CResultsDatabase::RetryResult::StillUnread:
            return false;
        case CResultsDatabase::RetryResult::NotRead:
            return true;
        case CResultsDatabase::RetryResult::Read:
            break;
    }
    m_pathName = m_db.Path();
    if (!storedMirror.empty()) KeepStoredMirror(storedMirror);
    BuildHistory();
    m_frame.LogLine(FormatKQString(IDS_DATABASE_READ_LATE, m_pathName));
    Announce(DocEvent::DatabaseRead);
    return true;
}

void CQuillo95Doc::FinishIdleWork() {
    for (int i = 0; i < kMaxIdleSteps && IdleStep(); ++i) {}
}

std::string CQuillo95Doc::AnalyzerName(KQAID id) const {
    CAnalyzer* a = m_analyzers.FindByID(id);
    return a == nullptr ? std::string() : a->GetName();
}

bool CQuillo95Doc::AnalyzerProperties(KQAID id) {
    // Not while a run is inside the modules: the dialog would re-enter the running analyzer.
    if (m_running) return false;
    CAnalyzer* a = m_analyzers.FindByID(id);
    if (a == nullptr) return false;
    CIdleHold hold(*this);
    const bool changed = a->DoPropertiesUI(nullptr);
    if (changed) {
        RefreshCurrentResults(true);
        BuildHighlightsReport();
        Announce(DocEvent::PropertiesChanged);
    }
    return changed;
}

intptr_t CQuillo95Doc::OnAnalyzerLog(uintptr_t wParam, intptr_t lParam) {
    const char* text = reinterpret_cast<const char*>(lParam);
    if (text == nullptr || wParam > 0xFFFF) return 1;
    if (CAnalyzer* a = m_analyzers.FindByID(static_cast<KQAID>(wParam)))
        m_frame.LogLine(a->m_info.m_title + ": " + text);
    return 1;
}

bool CQuillo95Doc::AnswerItemPath(CKQTreeEntry* entry, std::string path, std::string& answer) {
    while (entry != nullptr) {
        if (!path.empty() && path[0] == '^') {
            int32_t kqaid = 0, textID = 0, descID = 0;
            if (!ReadItemTip(path, kqaid, textID, descID) || !IsKqaidValue(kqaid)) return false;
            CTip tip(0, textID, descID);
            std::string text;
            TipText(static_cast<KQAID>(kqaid), &tip, text);
            if (text.empty()) return false;
            answer = text;
            return true;
        }
        const std::string id = GetNodeID(path);
        if (path.empty()) {
            const int index = entry->FindAttr(id);
            if (index < 0) return false;
            answer = entry->GetAttrValue(index);
            return true;
        }
        CKQTree* sub = entry->GetSubtree();
        entry = sub == nullptr ? nullptr : sub->Find(id);
    }
    return false;
}

intptr_t CQuillo95Doc::OnAnalyzerRequest(uintptr_t, intptr_t lParam) {
    KQAREQUEST* request = reinterpret_cast<KQAREQUEST*>(lParam);
    if (request == nullptr) return 0;
    CAnalyzer* a = m_analyzers.FindByID(request->m_id);
    if (a == nullptr) return 0;
    if (request->m_sysid.empty())
        return AnswerItemPath(a->m_branch, request->m_path, request->m_answer) ? 1 : 0;

    // Stored records keep no KQAID: the analyzer's part is the entry keyed by its name.
    CKQTreeEntry record;
    if (!m_db.LoadRecord(record, request->m_sysid)) return 0;
    CKQTreeEntry* branch = FindByKey(&record, a->GetName());
    return AnswerItemPath(branch, request->m_path, request->m_answer) ? 1 : 0;
}

intptr_t CQuillo95Doc::OnAnalyzerProgress(uintptr_t, intptr_t lParam) {
    if (m_progressOpen) {
        const intptr_t position = lParam < 0 ? 0 : lParam > 100 ? 100 : lParam;
        m_frame.SetProgress(static_cast<int>(position));
    }
    return 1;
}

std::string CQuillo95Doc::CurrentSysid() const {
    const CKQTreeEntry* head = m_systemTree.GetHead();
    return head ? CResultsDatabase::GetRecordSysid(*head) : std::string();
}

std::string CQuillo95Doc::MirrorSysid() const {
    const CKQTreeEntry* mirror = m_db.Cache().GetHead();
    return mirror ? CResultsDatabase::GetRecordSysid(*mirror) : std::string();
}

bool CQuillo95Doc::OffersProperties(KQAID id) const {
    const CAnalyzer* a = m_analyzers.FindByID(id);
    return a && a->IsLoaded() && a->HasEntryPoint(KQA_DOPROPERTIESUI) &&
           (a->m_info.m_flags[0] & KQA_FLAG_PROPERTIES);
}

bool CQuillo95Doc::RecordPropertiesUI(CRecordEntry* record) {
    // No idle save may write or free the record while its dialog is open.
    CIdleHold hold(*this);
    CAnalyzer* a = m_analyzers.FindByID(KQAID_SYSTEM);
    return a && a->DoPropertiesUI(record);
}

// The same text the About box lists; the exchange writer puts one header line per analyzer.
std::vector<std::string> CQuillo95Doc::AnalyzerVersionLines() const {
    std::vector<std::string> lines;
    for (const CAnalyzer* a : m_analyzers.Ordered()) {
        const unsigned v = a->m_info.m_version;
        lines.push_back(FormatKQString(IDS_ANALYZER_VERSION_FMT, a->GetName(),
                                       KQFormat("%u.%u", v / 100, v % 100)));
    }
    return lines;
}

// ---- the Database pane's rows ----

bool CQuillo95Doc::DeleteRecord(int key) {
    if (QueryRecord(key) == 3) {
        Announce(DocEvent::RecordKept, key);
        return false;
    }
    bool undone = false;
    const bool destroyed = m_db.DeleteRecord(key, &undone);
    Announce(undone ? DocEvent::RecordKept : DocEvent::RecordRemoved, key);
    return destroyed;
}

bool CQuillo95Doc::EditRecordProperties(int key) {
    // Another team database user's record is not changed from here.
    if (QueryRecord(key) == 3) return false;
    if (!m_db.EditRecordProperties(key)) return false;
    SaveTeamChanges();
    Announce(DocEvent::RecordChanged, key);
    return true;
}

// ---- the change channel ----

void CQuillo95Doc::Subscribe(IDocumentObserver* observer) {
    if (observer &&
        std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end())
        m_observers.push_back(observer);
}

void CQuillo95Doc::Unsubscribe(IDocumentObserver* observer) {
    auto it = std::find(m_observers.begin(), m_observers.end(), observer);
    if (it == m_observers.end()) return;
    // While a change is being told the list keeps its length: the hole is skipped and
    // swept away once the telling is over.
    if (m_announcing > 0)
        *it = nullptr;
    else
        m_observers.erase(it);
}

void CQuillo95Doc::Announce(const DocumentEvent& event) {
    ++m_announcing;
    // By index: an observer may subscribe another one while it is told.
    for (size_t i = 0; i < m_observers.size(); ++i)
        if (IDocumentObserver* observer = m_observers[i]) observer->OnDocumentEvent(event);
    if (--m_announcing == 0)
        m_observers.erase(std::remove(m_observers.begin(), m_observers.end(), nullptr),
                          m_observers.end());
}

int CQuillo95Doc::RecordPosition(int key) const { return key == 0 ? -1 : m_db.KeyPosition(key); }

bool CQuillo95Doc::LoadRecordByKey(int key, CRecordEntry& entry) {
    return LoadSystemTree(ResolveRecordKey(key), entry);
}
