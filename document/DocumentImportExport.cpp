// The document's import and export commands: CExchangeParser reads, the database adds the
// records, and what the user sees of it is decided here.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>

#include "database/CsvWriter.h"
#include "database/ExchangeFile.h"
#include "database/JsonResults.h"
#include "database/RecordImport.h"
#include "database/ExchangeParser.h"
#include "document/Document.h"
#include "resources/Strings.h"

namespace {

FileDialogRequest ExchangeDialog(KQStringId title, bool multiSelect) {
    FileDialogRequest r;
    r.title = LoadKQString(title);
    r.defaultExt = LoadKQString(IDS_EXCHANGE_EXT);
    r.filter = LoadKQString(IDS_EXCHANGE_FILTER);
    r.multiSelect = multiSelect;
    return r;
}

// The file name the export dialog offers: the record's identifier + ".kqx". Imported
// identifiers may hold "/" or control characters, which cannot stand in a file name.
std::string ExportBaseName(const std::string& sysid) {
    std::string name = sysid;
    for (char& c : name)
        if (c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '_';
    return name;
}

std::string SuggestedExportName(const std::string& sysid) {
    if (sysid.empty()) return std::string();
    return ExportBaseName(sysid) + "." + LoadKQString(IDS_EXCHANGE_EXT);
}

// Opens the export target: the path, or the one the save dialog answers for an empty path.
bool OpenExportTarget(CQuillo95Doc& doc, CExchangeFile& file, const std::string& path,
                      const std::string& sysid) {
    if (!path.empty()) return file.OpenForWrite(path);
    FileDialogRequest request = ExchangeDialog(IDS_EXPORT_TO, false);
    request.suggestedName = SuggestedExportName(sysid);
    std::optional<std::string> chosen = doc.Frame().SaveFileDialog(request);
    if (!chosen || chosen->empty()) return false;
    return file.OpenForWrite(*chosen);
}

// path, or for "" what the save dialog answers for a file of that kind ("" when cancelled);
// the dialog offers the identifier as the file's name.
std::string ExportPath(IFrameServices& frame, const std::string& path, KQStringId ext,
                       KQStringId filter, const std::string& sysid) {
    if (!path.empty()) return path;
    FileDialogRequest r;
    r.title = LoadKQString(IDS_EXPORT_TO);
    r.defaultExt = LoadKQString(ext);
    r.filter = LoadKQString(filter);
    if (!sysid.empty()) r.suggestedName = ExportBaseName(sysid) + "." + r.defaultExt;
    return frame.SaveFileDialog(r).value_or(std::string());
}

// Each record keys name that loads, in order: a cached record where it is, a stored one
// loaded into a temporary entry. False as soon as write answers false.
bool ForEachRecord(CResultsDatabase& db, const std::vector<int32_t>& keys,
                   const std::function<bool(CKQTreeEntry&, int32_t)>& write) {
    for (int32_t key : keys) {
        std::string sysid = db.RecordSysid(key);
        if (sysid.empty()) continue;
        CRecordEntry* cached = db.LoadedRecord(sysid);
        CRecordEntry loaded;
        CKQTreeEntry* record = nullptr;
        if (cached)
            record = cached;
        else if (db.LoadRecord(loaded, sysid))
            record = &loaded;
        if (!record) continue;  // left out without a message
        auto* held = record == &loaded ? nullptr : dynamic_cast<CRecordEntry*>(record);
        if (held) held->Hold();
        const bool written = write(*record, key);
        if (held) held->Release();
        if (!written) return false;
    }
    return true;
}

// What the JSON writer asks of the analyzers.
class CDocJsonTexts : public IJsonTextSource {
public:
    explicit CDocJsonTexts(CQuillo95Doc& doc) : m_doc(doc) {}
    uint16_t AnalyzerOf(const CKQTreeEntry& entry) override {
        const CAnalyzer* a = m_doc.Analyzers().FindByName(entry.m_key);
        return a ? a->GetID() : 0;
    }
    std::string AnalyzerName(uint16_t kqaid) override { return m_doc.AnalyzerName(kqaid); }
    std::string TipText(uint16_t kqaid, const CTip& tip) override {
        CTip copy = tip;
        std::string text;
        m_doc.TipText(kqaid, &copy, text);
        return text;
    }
    std::string Description(const CKQTreeEntry& record) override {
        return m_doc.SystemDescription(record);
    }

private:
    CQuillo95Doc& m_doc;
};

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Records an import on a team database saves at a time before it says they were added.
constexpr int kTeamImportBatch = 200;

}  // namespace

void CQuillo95Doc::OnImport() {
    CIdleHold hold(*this);
    unsigned error = 0;
    std::vector<std::string> paths =
        m_frame.OpenFileDialog(ExchangeDialog(IDS_SELECT_FILES_TO_IMPORT, true), error);
    if (!paths.empty()) {
        ImportFiles(paths);
    } else if (error != 0) {
        m_frame.LogLine(KQFormat(LoadKQString(IDS_ERR_IMPORT_FAILED).c_str(), error));
        m_frame.ShowLog();
    }
    SetModifiedFlag(true);
}

void CQuillo95Doc::OnImportOne() {
    CIdleHold hold(*this);
    unsigned error = 0;
    std::vector<std::string> paths =
        m_frame.OpenFileDialog(ExchangeDialog(IDS_SELECT_FILE_TO_IMPORT, false), error);
    if (!paths.empty()) ImportFiles({paths.front()});
    SetModifiedFlag(true);
}

void CQuillo95Doc::ImportFile(const std::string& path) { ImportFiles({path}); }

void CQuillo95Doc::ImportCommandLineFiles() {
    const std::vector<std::string> files = m_app.TakeCommandLineImports();
    if (!files.empty()) ImportFiles(files);
}

void CQuillo95Doc::ImportFiles(const std::vector<std::string>& paths) {
    // The records read are held across the message boxes.
    CIdleHold hold(*this);
    if (!paths.empty()) {
        m_frame.BeginWaitCursor();
        ImportRun run;
        for (const std::string& quoted : paths) {
            const std::string path = CAppState::Unquote(quoted);
            if (path.empty()) continue;
            ImportOneFile(path, run);
            if (run.showLog) m_frame.ShowLog();
        }
        // What the import did, where the user looks: the status bar and the log.
        const std::string finished = LoadKQString(IDS_IMPORT_FINISHED) + ". " +
                                     FormatKQString(IDS_IMPORT_COUNTS, std::to_string(run.imported),
                                                    std::to_string(run.skipped));
        m_frame.SetStatusText(finished);
        m_frame.LogLine(finished);
        Announce(DocEvent::DatabaseChanged);
        m_frame.EndWaitCursor();
    }
    SetModifiedFlag(true);
}

void CQuillo95Doc::ImportOneFile(const std::string& path, ImportRun& run) {
    const std::string importing = LoadKQString(IDS_IMPORTING_FILE) + path;
    m_frame.LogLine(importing);
    m_frame.SetStatusText(importing);
    // Errors in a box captioned with the file. On a team database what is said of records
    // waits until they are saved (in the outbox at least), every so many records.
    const bool team = OnTeamDatabase();
    std::vector<CExchangeMessage> held;
    int sinceSave = 0;
    auto show = [&](const CExchangeMessage& m) {
        if (team)
            held.push_back(m);
        else
            ShowImportMessage(m, path, run);
    };
    auto saved = [&]() {
        if (held.empty()) return;
        SaveTeamChanges();
        for (const CExchangeMessage& m : held) ShowImportMessage(m, path, run);
        held.clear();
        sinceSave = 0;
    };
    struct SaveAtEnd {
        const std::function<void()> f;
        ~SaveAtEnd() { f(); }
    } atEnd{saved};
    CExchangeFile file(m_db, *this);
    if (!file.OpenForRead(path)) {
        show(CExchangeMessage{IDS_ERR_CANT_OPEN_FILE, {}, {}, 0, true, false});
        return;
    }
    CExchangeParser parser([&file](char* buffer, size_t size) { return file.Read(buffer, size); });
    // Adds the records one by one as they are read, with the messages in line order: those
    // before a record's identity, what the database made of it, those after. False when the
    // reading of this file ends early.
    auto readRecords = [&]() {
        CExchangeRecord record;
        while (parser.Next(record)) {
            std::vector<CExchangeMessage> messages = parser.TakeMessages();
            const auto after =
                std::find_if(messages.begin(), messages.end(),
                             [&](const CExchangeMessage& m) { return m.line >= record.sysidLine; });
            std::for_each(messages.begin(), after, show);
            const CRecordImport result = m_db.ImportRecord(record);
            if (!TellImported(record, result, run, show)) return false;
            std::for_each(after, messages.end(), show);
            if (!AnnounceImported(record, result, show)) return false;
            if (team && ++sinceSave >= kTeamImportBatch) saved();
        }
        return true;
    };
    try {
        const bool headerRead = parser.ReadHeader();
        for (const std::string& line : parser.HeaderLines()) m_frame.LogLine(line);
        if (!headerRead || readRecords())
            for (const CExchangeMessage& m : parser.TakeMessages()) show(m);
    } catch (const std::exception&) {
        // Memory ran out on a huge file: the records added so far stay.
        show({IDS_ERR_NOT_ENOUGH_MEMORY, {}, {}, parser.LineNumber(), true, false});
    }
    run.skipped += parser.Skipped();
}

void CQuillo95Doc::ShowImportMessage(const CExchangeMessage& message, const std::string& caption,
                                     ImportRun& run) {
    // Every message to the log; errors in a box, warnings show the log window at the end.
    const std::string text = ExchangeMessageText(message);
    m_frame.LogLine(text);
    if (message.box)
        m_frame.MessageBox(text, caption, MsgIcon::Information, MsgButtons::Ok);
    else if (message.markLog)
        run.showLog = true;
}

bool CQuillo95Doc::TellImported(const CExchangeRecord& record, const CRecordImport& result,
                                ImportRun& run,
                                const std::function<void(const CExchangeMessage&)>& show) {
    // What the database made of the record, at the line of its identity.
    auto atIdentity = [&](KQStringId id, const std::string& arg, const std::string& arg2, bool box,
                          bool markLog) {
        show(CExchangeMessage{id, arg, arg2, record.sysidLine, box, markLog});
    };
    switch (result.outcome) {
        case CRecordImport::Outcome::Added:
            atIdentity(IDS_ADDED_RECORD, result.sysid, {}, false, false);
            ++run.imported;
            return true;
        case CRecordImport::Outcome::Duplicate:
            atIdentity(IDS_WARN_DUPLICATE_RECORD, record.sysid, {}, false, true);
            ++run.skipped;
            return true;
        case CRecordImport::Outcome::Unstorable:
            atIdentity(IDS_WARN_RECORD_SKIPPED, record.entry.m_key, record.sysid, false, true);
            ++run.skipped;
            return true;
        case CRecordImport::Outcome::Refused:  // the database logged why
            ++run.skipped;
            return true;
        case CRecordImport::Outcome::Failed:
            // Busy or failing: whether the record is stored cannot be told.
            atIdentity(IDS_ERR_CANT_READ_DATABASE, m_db.Path(), m_db.LastError(), true, false);
            return false;
        case CRecordImport::Outcome::NoMemory:
            atIdentity(IDS_ERR_NOT_ENOUGH_MEMORY, {}, {}, true, false);
            return false;
    }
    return false;
}

bool CQuillo95Doc::AnnounceImported(const CExchangeRecord& record, const CRecordImport& result,
                                    const std::function<void(const CExchangeMessage&)>& show) {
    if (result.outcome != CRecordImport::Outcome::Added) return true;
    Announce(DocEvent::RecordAdded, result.key);
    if (!result.incomplete) return true;
    show(CExchangeMessage{IDS_ERR_NOT_ENOUGH_MEMORY, {}, {}, record.sysidLine, true, false});
    return false;
}

bool CQuillo95Doc::ExportCurrent() {
    return ExportEntry(m_db.CurrentSystemRecord(), std::string());
}

bool CQuillo95Doc::ExportEntry(CKQTreeEntry* entry, const std::string& path) {
    // The entry is held across the save dialog and any message box.
    CIdleHold hold(*this);
    auto* record = dynamic_cast<CRecordEntry*>(entry);
    if (record) record->Hold();
    struct Release {
        CRecordEntry* r;
        ~Release() {
            if (r) r->Release();
        }
    } release{record};
    CExchangeFile file(m_db, *this);
    const std::string sysid = entry ? CResultsDatabase::GetRecordSysid(*entry) : std::string();
    if (!OpenExportTarget(*this, file, path, sysid)) return false;
    // With no record (an empty database) the file holds the header lines only.
    if (entry && !file.WriteEntry(entry, 0, 0)) {
        file.Abandon();
        return false;
    }
    const bool ok = file.Close();
    if (file.LogMarked()) m_frame.ShowLog();  // a value was cut to fit its line
    return ok;
}

bool CQuillo95Doc::ExportRecords(const std::vector<int32_t>& keys, const std::string& path) {
    if (keys.empty()) return false;
    CIdleHold hold(*this);
    CExchangeFile file(m_db, *this);
    // Several records are offered under the first one's name.
    std::string first;
    for (int32_t key : keys)
        if (first.empty()) first = m_db.RecordSysid(key);
    if (!OpenExportTarget(*this, file, path, first)) return false;
    // WriteEntry restores what it changes in a cached record; a failed write closed the file.
    if (!ForEachRecord(m_db, keys, [&file](CKQTreeEntry& record, int32_t key) {
            return file.WriteEntry(&record, key, 0);
        }))
        return false;
    const bool ok = file.Close();
    if (file.LogMarked()) m_frame.ShowLog();  // a value was cut to fit its line
    return ok;
}

bool CQuillo95Doc::WriteJson(const std::vector<int32_t>& keys,
                             const std::function<bool(std::string_view)>& sink) {
    CIdleHold hold(*this);
    CDocJsonTexts texts(*this);
    CJsonResultsWriter writer(texts);
    if (!sink(writer.Head(LoadKQString(IDS_APP_TITLE) + " " + LoadKQString(IDS_VERSION_LINE))))
        return false;
    // Records gather into blocks of the size the file writes at once.
    constexpr size_t kChunk = 64 * 1024;
    std::string chunk;
    chunk.reserve(2 * kChunk);
    bool ok = true;
    if (keys.empty()) {
        // This machine's results, as the running program has them.
        if (CKQTreeEntry* current = m_db.CurrentSystemRecord())
            writer.Record(*current, true, chunk);
    } else {
        // The running machine's own record is the one at the directory's head (key 0 names
        // it too).
        const int32_t current = m_db.CurrentSystemKey();
        ok = ForEachRecord(m_db, keys, [&](CKQTreeEntry& record, int32_t key) {
            writer.Record(record, key == 0 || key == current, chunk);
            if (chunk.size() < kChunk) return true;
            const bool written = sink(chunk);
            chunk.clear();
            return written;
        });
    }
    chunk += writer.Tail();
    if (!ok || !sink(chunk)) return false;
    if (writer.ReplacedBytes() > 0) {
        m_frame.LogLine(
            FormatKQString(IDS_WARN_JSON_NOT_UTF8, std::to_string(writer.ReplacedBytes())));
        m_frame.ShowLog();
    }
    return true;
}

bool CQuillo95Doc::ExportJson(const std::vector<int32_t>& keys, const std::string& path) {
    CIdleHold hold(*this);
    CExchangeFile file(m_db, *this);
    const std::string sysid = keys.empty() ? MirrorSysid() : m_db.RecordSysid(keys.front());
    const std::string target = ExportPath(m_frame, path, IDS_JSON_EXT, IDS_JSON_FILTER, sysid);
    if (target.empty() || !file.OpenForData(target)) return false;
    if (!WriteJson(keys, [&file](std::string_view bytes) { return file.WriteData(bytes); })) {
        file.Abandon();
        return false;
    }
    return file.Close();
}

bool CQuillo95Doc::WriteJsonToDescriptor(const std::vector<int32_t>& keys, int fd) {
    return WriteJson(keys, [fd](std::string_view bytes) { return WriteAll(fd, bytes); });
}

bool CQuillo95Doc::ExportCsv(const std::vector<std::vector<std::string>>& rows,
                             const std::string& path) {
    CIdleHold hold(*this);
    const std::string target = ExportPath(m_frame, path, IDS_CSV_EXT, IDS_CSV_FILTER, "");
    CExchangeFile file(m_db, *this);
    if (target.empty() || !file.OpenForData(target)) return false;
    bool ok = file.WriteData(CsvWriter::kByteOrderMark);
    for (size_t i = 0; ok && i < rows.size(); ++i) ok = file.WriteData(CsvWriter::Row(rows[i]));
    if (!ok) {
        file.Abandon();
        return false;
    }
    return file.Close();
}
