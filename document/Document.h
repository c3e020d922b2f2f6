// The program's one document: the system data tree of this machine, the analyzers,
// the results database and the state of a test run. A facade: the windows call its
// operations, it hands the work to the subsystems. No windows here: it reaches them
// through the frame services, and answers what the database and the exchange files ask.
#pragma once

#include <cassert>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "analyzers/Analyzer.h"
#include "database/Database.h"
#include "database/DatabaseHost.h"
#include "database/ExchangeHost.h"
#include "document/AppState.h"
#include "document/DocumentEvents.h"
#include "document/FrameServices.h"
#include "document/PaneSources.h"
#include "resources/StringIds.h"

class CDetailItem;
class COutboxStore;
class CPgConnection;
class CServerRecordStore;
class IReadableWatch;
struct CExchangeMessage;

class CQuillo95Doc : public IDatabaseHost,
                     public IExchangeHost,
                     public IDocumentEvents,
                     public ISystemSource,
                     public IRecordListSource,
                     public IChartSource {
public:
    CQuillo95Doc(CAppState& app, IFrameServices& frame);
    ~CQuillo95Doc() override;
    CQuillo95Doc(const CQuillo95Doc&) = delete;
    CQuillo95Doc& operator=(const CQuillo95Doc&) = delete;

    // ---- document level ----
    // The first view: the window handed to every kqaInitialize.
    void SetView(CWnd* view) { m_view = view; }
    CWnd* GetView() const { return m_view; }
    void SetModifiedFlag(bool modified = true) override { m_modified = modified; }
    bool IsModified() const { return m_modified; }
    const std::string& GetPathName() const { return m_pathName; }

    // Open: an exchange file name is imported (false returned); else the database file.
    bool OnOpenDocument(const std::string& path);
    void OnNewDocument();
    // Stands on the team database conninfo names (connect, schema check) instead of the
    // file. False leaves the database as it was, with the user's message (no password).
    bool OpenTeamDatabase(const std::string& conninfo, std::string& message);
    // The same on a connection made beforehand without blocking, or on none and why not;
    // name: the database as the user may see it.
    bool OpenTeamDatabase(CPgConnection&& connection, const std::string& connectError,
                          const std::string& name, std::string& message);
    bool OnTeamDatabase() const { return !m_db.UsesFile(); }
    // While the program runs: what this run changed is saved where it belongs first, then
    // the other database is read, this machine's record joins it and the panes list it.
    bool SwitchToTeamDatabase(CPgConnection&& connection, const std::string& connectError,
                              const std::string& name, std::string& message);
    void SwitchToLocalDatabase();
    // The open team database as the user may see it (user@host/database); empty on the file.
    const std::string& TeamDatabaseName() const { return m_teamName; }
    // ---- the team database's outbox and connection (DocumentTeamOutbox.cpp) ----
    // Changes to the team database still waiting in its outbox on this computer.
    int TeamChangesWaiting() const;
    // When (local time) the connection to the team database was found lost; 0 while it stands.
    std::time_t TeamDatabaseLostAt() const { return m_teamLostAt; }
    // Notices a lost connection: the first time, Error 1045 goes to the log (shown, never
    // in a box that would stop the work) and true is answered.
    bool CheckTeamConnection();
    // A new connection after a loss: what waits in the outbox is stored (conflicts told),
    // the list read again, this machine's record joins it. False (message) while it fails.
    bool ReconnectTeamDatabase(CPgConnection&& connection, const std::string& connectError,
                               std::string& message);
    // At exit: what still waits stays in the outbox for the next start; the user hears how
    // many (unattended: standard error) and may export them to an exchange file.
    void TellChangesWaitingAtExit();
    // ---- other users' changes to the team database (DocumentTeamLive.cpp) ----
    // The windows' watch on the team database's socket: with one, an open team database is
    // listened to, and what other clients store, change or delete follows in idle steps.
    // Without one (unattended runs), nothing listens.
    void SetChangeWatch(IReadableWatch* watch) { m_changeWatch = watch; }
    bool ListeningToTeamDatabase() const { return m_listening; }
    // The team database's store, for the tests that count what it read; null on the file.
    const CServerRecordStore* TeamStore() const { return m_teamStore; }
    // Only a standby server of the team database answered: it is read, nothing is stored
    // (what a save would store stays in memory), and its list is read again now and then.
    bool OnTeamStandby() const { return m_teamStandby; }
    // The open database as the title and status bar name it: the team database's name, said
    // read-only on a standby; empty on the file.
    std::string TeamDatabaseLabel() const;
    // Reads the team database's list again and announces only the records that were
    // stored, changed or deleted there meanwhile. False when it cannot be read (said once,
    // until it can again); the records listed stay.
    bool RefreshTeamListing();
    // Save modified: saves without asking when modified. Returns the save's success
    // (true when nothing needed saving); closing always goes on.
    bool SaveModified() override;
    bool OnSaveDocument(const std::string& path);

    // Refresh current results: unique IDs, then the mirror record. Returns whether the
    // current system's identifier was known before this refresh.
    bool RefreshCurrentResults(bool withTips);
    bool IdleStep();
    void FinishIdleWork();
    // The database file was busy or failed to read when opened: it is read again before
    // anything is written there (idle retries wait busyMs at most). True when it was read
    // now, or turned out to be no file to read.
    bool RetryPendingOpen(int busyMs);
    bool DatabaseUnread() const { return m_db.OpenPending(); }

    std::string AnalyzerName(KQAID id) const override;
    bool AnalyzerProperties(KQAID id);

    // The analyzers' messages (UM_ANALYZERLOG, UM_ANALYZERREQUEST, UM_ANALYZERPROGRESS).
    intptr_t OnAnalyzerLog(uintptr_t wParam, intptr_t lParam);
    intptr_t OnAnalyzerRequest(uintptr_t wParam, intptr_t lParam);
    intptr_t OnAnalyzerProgress(uintptr_t wParam, intptr_t lParam);

    // ---- analyzers: loading, runs, tips ----
    void LoadAnalyzers(IDirectoryLister& lister);
    void LoadAnalyzers() { LoadAnalyzers(DefaultDirectoryLister()); }
    bool BuildBranches();
    void RunAllTests();
    int RunOneTest(KQAID id, CKQTreeEntry* item);
    // A request to close during a run: cancels it; true when the close must wait.
    bool RequestClose();
    bool IsRunning() const { return m_running; }
    int SetStatusTip(bool analysed);
    void GenerateTipsAll();
    bool GenerateTipsOne(KQAID id);
    void RegenTips();
    void TipText(KQAID id, CTip* tip, CString& text) override;
    void TipDesc(KQAID id, CTip* tip, CString& text) override;
    void AttrDesc(KQAID id, CAttr* attr, CString& text) override;

    // ---- current results ----
    bool PropertiesStep() override;
    void SaveCurrentResults();
    // This machine's tree as a new record under a new identifier; its key, or -1.
    int AddSnapshot();
    static void DeepCopy(CKQTreeEntry& dest, const CKQTreeEntry& source, bool withTips);
    std::string MakeNewSysid() override { return m_db.MakeNewSysid(); }
    std::string CurrentSysid() const;  // attribute 0 of the system tree's first entry

    // ---- report definitions ----
    void BuildHighlightsReport();
    void BuildTipsAndDetailsReports(const std::vector<int32_t>& selection);
    void AddReportHeadings(CRepDef& def);
    // Resolve a record key and load that system's tree into entry.
    std::string ResolveRecordKey(int key) const override;
    bool LoadSystemTree(const std::string& sysid, CKQTreeEntry& entry);

    // ---- this machine over time (DocumentHistory.cpp) ----
    // The stored results of this machine (snapshots of its record, found by their identifiers'
    // prefix), oldest first; with trees, a copy of each record's tree.
    struct HistoryRecord {
        int32_t key = 0;
        std::string sysid;
        CHistoryTime time;
        std::unique_ptr<CKQTreeEntry> tree;
    };
    std::vector<HistoryRecord> ThisMachineHistory(bool withTrees);
    std::vector<CHistoryColumn> HistoryColumns() override;
    // The host's own entry after the analyzers' branches (live only: never a record's), with
    // the "History" report and chart and the regression tips; made anew.
    void BuildHistory();
    CKQTreeEntry* HostEntry() const;
    const std::vector<CRegression>& Regressions() const { return m_regressions; }

    // ---- exchange files, import and export ----
    void OnImport();     // 57601
    void OnImportOne();  // 32789
    void ImportFile(const std::string& path);
    void ImportFiles(const std::vector<std::string>& paths);
    // Every exchange file named on the command line, in order, in one import.
    void ImportCommandLineFiles();
    bool ExportCurrent();  // 32790
    bool ExportEntry(CKQTreeEntry* entry, const std::string& path);
    bool ExportRecords(const std::vector<int32_t>& keys, const std::string& path);
    // ---- copying local records into the team database (DocumentTeamCopy.cpp) ----
    struct LocalRecord {
        std::string sysid;
        std::string description;  // analyzer 10's description of the system, or ""
    };
    // The local database's records in its order, read from its file without writing it.
    // False, with the user's message, when there is no such file or it cannot be read.
    bool ListLocalRecords(std::vector<LocalRecord>& records, std::string& message);
    // Copies the named local records into the open team database as an import of them
    // would ("Added %1", "Warning 1008" for a known identifier), in one save. The counts go
    // to the status bar and the log; failed: records added that the save did not store
    // (they wait for the next save).
    struct TeamCopy {
        int copied = 0;
        int skipped = 0;
        int failed = 0;
    };
    TeamCopy CopyToTeamDatabase(const std::vector<std::string>& sysids);

    // Results as JSON for scripts: the records keys name, or with none this machine's
    // results; to path (the save dialog asks for "") or to an open descriptor (standard
    // output). Bytes that are not UTF-8 are counted in Warning 1050. True when written.
    bool ExportJson(const std::vector<int32_t>& keys, const std::string& path);
    bool WriteJsonToDescriptor(const std::vector<int32_t>& keys, int fd);
    // A table (the header line first) as CSV to path, or where the save dialog says for "".
    bool ExportCsv(const std::vector<std::vector<std::string>>& rows, const std::string& path);
    // Auto-run: name, export file name, log line, run all tests, export. True when written.
    bool AutoRun();
    // The file it writes: the option's name, else the current system's identifier, as an
    // exchange file name where the program was started; "" when there is neither.
    std::string AutoRunTarget() const;
    // Why the auto-run's store into the team database failed; empty when it did not.
    const std::string& TeamStoreFailure() const { return m_teamStoreFailure; }
    bool TeamStored() const { return m_teamStored; }

    // ---- lookups behind the panes ----
    // Value of a report item in the stored system named by sysid (Reports, Charts, Database).
    bool LookupValue(const std::string& sysid, const std::string& itemText, std::string& value);
    bool ValueAtItemPath(CKQTree& tree, const std::string& path, std::string& text);
    // 0 no record, 1 stored, 2 the running system's, 3 stored by another team database user.
    int QueryRecord(int key) const;
    // ---- records, for the views ----
    // A delete that could not be written is undone: the record's row comes back (RecordKept).
    bool DeleteRecord(int key);
    // Analyzer 10's properties dialog on a record (key 0 or the mirror: the current system);
    // an edit is announced as RecordChanged.
    bool EditRecordProperties(int key);
    std::string RecordSysid(int key) const { return m_db.RecordSysid(key); }
    int KeyForSysid(const std::string& sysid) const { return m_db.KeyForSysid(sysid); }
    int CurrentSystemKey() const override { return m_db.CurrentSystemKey(); }
    // The identifier of the record that mirrors the current system ("" when none).
    std::string MirrorSysid() const;
    // Whether the analyzer is loaded and offers a properties dialog.
    bool OffersProperties(KQAID id) const override;
    // The same lookup for a record key (key 0 names no stored system).
    bool LookupValue(int key, const std::string& itemText, std::string& value);
    // Entry lookup: depth first, the first non-empty value; tips answered by their analyzer.
    bool EntryLookup(const CKQTreeEntry* entry, const std::string& path,
                     std::string& value) override;
    // Item search of the current system's tree; item is reset first and stays so when not found.
    bool SearchItem(const std::string& text, CDetailItem& item);
    // The tip an item text names: its priority in a stored system's tree (false when that
    // system does not hold it), and its one-line text from its analyzer.
    bool StoredTipPriority(const CKQTreeEntry& system, const std::string& itemText,
                           int32_t& priority) const;
    bool TipReferenceText(const std::string& itemText, std::string& text);
    void ChooseColumns(CDbColumns& columns) override;
    // ---- the Database pane's rows ----
    // Position of the record in the record table (the document's order); -1 when none.
    int RecordPosition(int key) const override;
    bool RecordNotStored(int key) const override;
    // Copies the record named by key into entry (markers included); false when none loads.
    bool LoadRecordByKey(int key, CRecordEntry& entry) override;
    // Queues the Database pane's listing (one request per record, then the end request).
    void QueueListing() override;
    // The Database pane captured its selection / the view first set up its panes.
    void OnSelectionCaptured(const std::vector<int32_t>& selection) override;
    void OnPanesInitialised(const std::vector<int32_t>& selection);
    // Identifier of the first attribute of the first cached record ("" when none).
    std::string FallbackAttributeID() const;
    // Column header of a system: the value at path, else the fallback attribute's, else "".
    std::string SystemHeader(int key, const std::string& path);
    // Chart series title: analyzer 10's extra path, else the fallback attribute's value.
    // The system's description in a record (the system analyzer's path); "" without one.
    std::string SystemDescription(const CKQTreeEntry& record);
    std::string SeriesTitle(int key) override;
    // Charted value: the leading decimal number of the looked-up text, 0 when none or not found.
    double ChartValue(int key, const std::string& line);
    // The same, but false when the system has no such value or its text starts with no number.
    bool ChartMeasurement(int key, const std::string& line, double& value) override;
    static double LeadingNumber(const std::string& text);
    // Display forms: a report row's caption and a chart group's title.
    static std::string ItemCaption(const std::string& text);
    static std::string GroupTitle(const std::string& line);

    // ---- the change channel and what the panes read ----
    void Subscribe(IDocumentObserver* observer) override;
    void Unsubscribe(IDocumentObserver* observer) override;
    // The Database pane's selected rows changed (captured later, when it hides).
    void SelectionChanged() { Announce(DocEvent::SelectionChanged); }
    CKQTree& CurrentTree() override { return m_systemTree; }
    bool HasBrowser() const override { return !m_app.BrowserCommand().empty(); }
    std::vector<CRepDef*> Definitions(RDTYPE type) override;

    // ---- state of a run and of the current results ----
    // Results of a completed run not yet saved as a record (enables Save Current Results).
    bool ResultsNotSaved() const { return m_resultsNotSaved; }
    // Index of the "Highlights" report definition on the system tree's top entry.
    int HighlightsIndex() const { return m_highlightsIndex; }
    // The running test's cancel flag, held by the progress dialog; null between runs.
    const int* RunCancelFlag() const { return m_runCancel; }
    // A close arrived during a run and waits for it to return.
    bool ClosePending() const { return m_closePending; }
    bool ProgressOpen() const { return m_progressOpen; }

    // ---- the parts, for the application and the tests that inspect them (panes read sources) ----
    CKQTree& SystemTree() { return m_systemTree; }
    const CKQTree& SystemTree() const { return m_systemTree; }
    CAnalyzerList& Analyzers() { return m_analyzers; }
    const CAnalyzerList& Analyzers() const { return m_analyzers; }
    CResultsDatabase& Database() { return m_db; }
    const CResultsDatabase& Database() const { return m_db; }
    IFrameServices& Frame() { return m_frame; }
    const CAppState& App() const { return m_app; }

    std::vector<std::string> AnalyzerVersionLines() const override;

private:
    // What the database and the exchange files ask of their owner, passed on to the frame.
    bool RecordPropertiesUI(CRecordEntry* record) override;
    void LogLine(const std::string& text) override { m_frame.LogLine(text); }
    void ShowMessage(const std::string& text) override;
    void SetStatusText(const std::string& text) override { m_frame.SetStatusText(text); }
    void ListRecord(CRecordEntry* record, int recordKey) override {
        Announce({DocEvent::RecordListed, recordKey, record});
    }
    void ListingRequest(int) override { Announce(DocEvent::ListingDone); }
    uint32_t Now() override { return m_frame.Now(); }
    void ReportBox(const std::string& text, const std::string& caption) override {
        m_frame.MessageBox(text, caption, MsgIcon::Information, MsgButtons::Ok);
    }

    // The auto-run's file: JSON or an exchange file, as its name says.
    bool AutoRunExport(const std::string& file);
    bool WriteJson(const std::vector<int32_t>& keys,
                   const std::function<bool(std::string_view)>& sink);
    // Import (DocumentImportExport.cpp): what one run keeps from file to file, the counts for
    // its last line and whether a warning asked for the log window; one file of it; one
    // message of it (errors in a box with the caption); what the database made of one
    // record, told at its identity, and an added record announced (false: the run stops).
    struct ImportRun {
        int imported = 0;
        int skipped = 0;
        bool showLog = false;
    };
    void ImportOneFile(const std::string& path, ImportRun& run);
    void ShowImportMessage(const CExchangeMessage& message, const std::string& caption,
                           ImportRun& run);
    bool TellImported(const CExchangeRecord& record, const CRecordImport& result, ImportRun& run,
                      const std::function<void(const CExchangeMessage&)>& show);
    bool AnnounceImported(const CExchangeRecord& record, const CRecordImport& result,
                          const std::function<void(const CExchangeMessage&)>& show);
    // The named local records (all: null) as the local file stores them; the file is
    // opened for reading only. A failure comes with the user's message.
    StoreError ReadLocalRecords(const std::vector<std::string>* sysids,
                                std::vector<RecordBytes>& read, std::string& message) const;

    // Every change goes out here, to the subscribers in their order.
    void Announce(const DocumentEvent& event);
    void Announce(DocEvent kind, int recordKey = 0) { Announce(DocumentEvent{kind, recordKey}); }
    std::vector<IDocumentObserver*> m_observers;
    int m_announcing = 0;  // depth of Announce: unsubscribing then leaves a hole

    // The steps a run of all tests and a run of one test share.
    void BeginRun(int& cancel);
    void EndRun(bool completed);
    // A request's item path, walked from entry (UM_ANALYZERREQUEST).
    bool AnswerItemPath(CKQTreeEntry* entry, std::string path, std::string& answer);

    CWnd* m_view = nullptr;
    bool m_modified = false;
    bool m_testsRun = false;       // a test run completed in this run
    uint32_t m_lastOpenRetry = 0;  // when an idle step last tried the unread database
    void KeepStoredMirror(const std::string& sysid);

public:
    // Open while an operation shows a dialog or message box, or otherwise holds records
    // between calls: idle work waits, so nothing it holds is written and freed under it.
    class CIdleHold {
    public:
        explicit CIdleHold(CQuillo95Doc& doc) : m_doc(doc) { ++m_doc.m_idleHold; }
        ~CIdleHold() {
            assert(m_doc.m_idleHold > 0);
            --m_doc.m_idleHold;
        }
        CIdleHold(const CIdleHold&) = delete;
        CIdleHold& operator=(const CIdleHold&) = delete;

    private:
        CQuillo95Doc& m_doc;
    };

private:
    bool AutoRunToTeamDatabase();
    // This machine's record stays in memory on a team database it may not store into.
    void KeepMirrorHereIfNotOurs(const std::string& sysid);
    void DatabaseSwitched();
    // Stands the server's store behind the team database's outbox, storing what waits there
    // from earlier runs; the store as the database should take it.
    std::unique_ptr<IRecordStore> WithOutbox(std::unique_ptr<IRecordStore> server,
                                             const std::string& name);
    // Stores what waits in the outbox; conflicts are told as a save tells them.
    void FlushOutbox(COutboxStore& outbox, int& stored);
    // On a team database, what this run changed goes to the outbox (and the server) now,
    // before it is reported done.
    void SaveTeamChanges();
    // The line goes to the log, and under option A to standard error as well (true then).
    bool LogAndTellUnattended(const std::string& text);
    // At exit on a standby: the records saved here, stored nowhere, may be exported.
    void TellKeptRecordsAtExit();
    // Says text at exit and asks question (an export): true when the user wants it.
    bool WantsExportAtExit(const std::string& text, KQStringId question);
    // Listening to the team database's changes: begun on the store just opened, ended before
    // its connection closes. Notifications are taken when the socket is readable (or, in an
    // idle step, those a statement's answer brought along) and followed in an idle step.
    void ListenToTeamDatabase(CServerRecordStore* store);
    void StopListening();
    void TakeTeamChanges(bool fromSocket);
    bool FollowTeamChanges();
    // Nothing more is heard until the database is opened again; the log says why.
    void StopHearing(const std::string& why);

    friend struct CDocTestPeer;  // tests stage a run's state without running one

    CAppState& m_app;
    IFrameServices& m_frame;
    CKQTree m_systemTree;
    bool m_running = false;  // a test run is in progress: idle work and new runs wait
    int m_highlightsIndex = 0;
    CAnalyzerList m_analyzers;
    CResultsDatabase m_db;
    bool m_progressOpen = false;
    bool m_resultsNotSaved = false;
    int* m_runCancel = nullptr;   // the running test's cancel flag; set only while running
    bool m_closePending = false;  // a close arrived during a run
    int m_idleHold = 0;           // open idle holds; never negative
    std::string m_pathName;
    std::string m_teamName;
    // Records of the team database another database user stored: not deleted or edited here.
    std::set<std::string, CaseLess> m_othersRecords;
    bool m_teamReadOnly = false;    // this database user may only read the team database
    bool m_teamStandby = false;     // the server reached is a standby
    bool m_teamUnreadable = false;  // the last listing failed, and the user was told
    std::string m_teamStoreFailure;
    COutboxStore* m_outbox = nullptr;  // the team database's, owned by m_db; null without one
    std::time_t m_teamLostAt = 0;
    bool m_teamStored = false;
    IReadableWatch* m_changeWatch = nullptr;
    CServerRecordStore* m_teamStore = nullptr;  // the database's, while it stands on it
    bool m_listening = false;
    // Changes heard and not followed yet, the last of each record: version, removed.
    std::map<std::string, std::pair<int64_t, bool>, CaseLess> m_teamChanges;
    std::vector<CRegression> m_regressions;  // the host's tips: text ID n is element n - 1
};
