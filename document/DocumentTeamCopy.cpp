// Copying records of the local database into the open team database. The local file is
// read through a store of its own, opened for reading only; the records join the team
// database as an import of them would, and are saved with it.
#include <algorithm>

#include "database/ExchangeParser.h"
#include "database/FileRecordStore.h"
#include "database/RecordImport.h"
#include "database/RecordStream.h"
#include "document/Document.h"
#include "resources/Strings.h"

StoreError CQuillo95Doc::ReadLocalRecords(const std::vector<std::string>* sysids,
                                          std::vector<RecordBytes>& read,
                                          std::string& message) const {
    read.clear();
    const std::string path = m_app.DatabasePath();
    // A refused data folder is no place to read records from either.
    if (m_app.DataDirRefused()) {
        message = FormatKQString(IDS_NO_LOCAL_DATABASE, path);
        return StoreError::NotFound;
    }
    CFileRecordStore local;
    std::vector<std::string> all;
    StoreError e = local.OpenToRead(path);
    if (e == StoreError::None && !sysids) {
        std::vector<StoredRecord> rows;
        e = local.List(rows);
        for (StoredRecord& r : rows) all.push_back(std::move(r.sysid));
    }
    if (e == StoreError::None) e = local.ReadSeveral(sysids ? *sysids : all, read);
    if (e == StoreError::NotFound)
        message = FormatKQString(IDS_NO_LOCAL_DATABASE, path);
    else if (e != StoreError::None)
        message = FormatKQString(IDS_ERR_DATABASE_NOT_OPENED, path, local.Describe(e));
    return e;
}

bool CQuillo95Doc::ListLocalRecords(std::vector<LocalRecord>& records, std::string& message) {
    records.clear();
    std::vector<RecordBytes> read;
    if (ReadLocalRecords(nullptr, read, message) != StoreError::None) return false;
    for (const RecordBytes& r : read) {
        LocalRecord row{r.sysid, std::string()};
        CKQTreeEntry entry;
        if (DeserializeRecord(r.bytes, entry)) row.description = SystemDescription(entry);
        records.push_back(std::move(row));
    }
    return true;
}

CQuillo95Doc::TeamCopy CQuillo95Doc::CopyToTeamDatabase(const std::vector<std::string>& sysids) {
    TeamCopy copy;
    if (!OnTeamDatabase() || sysids.empty()) return copy;
    // The records added are held across the message boxes and the save.
    CIdleHold hold(*this);
    const std::string title = LoadKQString(IDS_APP_TITLE);
    ImportRun run;
    auto show = [&](const CExchangeMessage& m) { ShowImportMessage(m, title, run); };
    std::vector<RecordBytes> read;
    if (std::string text; ReadLocalRecords(&sysids, read, text) != StoreError::None) {
        m_frame.LogLine(text);
        m_frame.MessageBox(text, title, MsgIcon::Warning, MsgButtons::Ok);
        return copy;
    }
    m_frame.BeginWaitCursor();
    // Records gone from the local file since they were listed are not copied.
    run.skipped = static_cast<int>(sysids.size() - read.size());
    std::vector<std::string> added;
    for (const RecordBytes& r : read) {
        // The record as the import reads it from a file: its tree, named by its attribute 0.
        CExchangeRecord record;
        if (!DeserializeRecord(r.bytes, record.entry)) {
            m_frame.LogLine(FormatKQString(IDS_LOCAL_RECORD_DAMAGED, r.sysid));
            run.showLog = true;
            ++run.skipped;
            continue;
        }
        record.sysid = CResultsDatabase::GetRecordSysid(record.entry);
        const CRecordImport result = m_db.ImportRecord(record);
        if (!TellImported(record, result, run, show)) break;
        if (result.outcome == CRecordImport::Outcome::Added) added.push_back(result.sysid);
        if (!AnnounceImported(record, result, show)) break;
    }
    if (!added.empty()) {
        SetModifiedFlag(true);
        SaveModified();
    }
    // What the save did with each: stored, found stored meanwhile by another writer (a
    // duplicate after all, now read as stored), or still waiting to be stored.
    const std::vector<std::string>& meanwhile = m_db.StoredMeanwhile();
    for (const std::string& sysid : added) {
        const bool lost = std::any_of(meanwhile.begin(), meanwhile.end(),
                                      [&](const auto& s) { return EqualsNoCase(s, sysid); });
        const CRecordEntry* rec = m_db.LoadedRecord(sysid);
        if (lost) {
            ++copy.skipped;
            run.showLog = true;
            Announce(DocEvent::RecordChanged, m_db.KeyForSysid(sysid));
        } else if (rec && rec->IsChanged()) {
            ++copy.failed;
        } else {
            ++copy.copied;
        }
    }
    copy.skipped += run.skipped;
    const std::string counts = FormatKQString(IDS_TEAM_COPY_COUNTS, std::to_string(copy.copied),
                                              std::to_string(copy.skipped));
    m_frame.SetStatusText(counts);
    m_frame.LogLine(counts);
    Announce(DocEvent::DatabaseChanged);
    m_frame.EndWaitCursor();
    if (run.showLog) m_frame.ShowLog();
    if (copy.failed > 0)
        m_frame.MessageBox(
            FormatKQString(IDS_TEAM_COPY_NOT_STORED, std::to_string(copy.failed), m_db.LastError()),
            title, MsgIcon::Warning, MsgButtons::Ok);
    return copy;
}
