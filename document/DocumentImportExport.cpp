// The document's import and export commands; the file format is CExchangeFile's.
#include "database/ExchangeFile.h"
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
std::string SuggestedExportName(const std::string& sysid) {
    if (sysid.empty()) return std::string();
    std::string name = sysid;
    for (char& c : name)
        if (c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '_';
    return name + "." + LoadKQString(IDS_EXCHANGE_EXT);
}

// Opens the export target: the path, or the one the save dialog answers for an empty path.
bool OpenExportTarget(CQuillo95Doc& doc, CExchangeFile& file, const std::string& path,
                      const std::string& sysid) {
    if (!path.empty()) return file.OpenForWrite(path);
    FileDialogRequest request = ExchangeDialog(IDS_EXPORT_TO, false);
    request.suggestedName = SuggestedExportName(sysid);
    std::optional<std::string> chosen = doc.m_frame.SaveFileDialog(request);
    if (!chosen || chosen->empty()) return false;
    return file.OpenForWrite(*chosen);
}

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

void CQuillo95Doc::ImportFiles(const std::vector<std::string>& paths) {
    // The reader holds the record it fills across its message boxes.
    CIdleHold hold(*this);
    CExchangeFile file(m_db, *this);
    for (const std::string& path : paths) file.m_fileList.push_back(CAppState::Unquote(path));
    file.ImportAll(&m_db.ImportTree());
    SetModifiedFlag(true);
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
    if (file.m_showLog) ShowLog();  // a value was cut to fit its line
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
    for (int32_t key : keys) {
        std::string sysid = m_db.RecordSysid(key);
        if (sysid.empty()) continue;
        // A cached record is written where it is (WriteEntry restores what it changes);
        // a stored one is loaded into a temporary entry first.
        CRecordEntry* cached = m_db.LoadedRecord(sysid);
        CRecordEntry loaded;
        CKQTreeEntry* record = nullptr;
        if (cached)
            record = cached;
        else if (m_db.LoadRecord(loaded, sysid))
            record = &loaded;
        if (!record) continue;  // left out without a message
        auto* held = record == &loaded ? nullptr : dynamic_cast<CRecordEntry*>(record);
        if (held) held->Hold();
        const bool written = file.WriteEntry(record, key, 0);
        if (held) held->Release();
        if (!written) return false;  // the file is closed
    }
    const bool ok = file.Close();
    if (file.m_showLog) ShowLog();  // a value was cut to fit its line
    return ok;
}
