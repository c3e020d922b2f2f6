// Auto-run: analyse, export the current system's record, and let the caller end.
#include <unistd.h>

#include "database/ExchangeFile.h"
#include "document/AppState.h"
#include "document/Document.h"
#include "resources/Strings.h"

std::string CQuillo95Doc::AutoRunTarget() const {
    std::string name = m_app.AutoRunFile();
    if (name.empty()) name = MirrorSysid();
    // Relative names (and the identifier alone) go where the user started the program.
    return m_app.FromStartDir(CAppState::MakeExportFileName(name));
}

bool CQuillo95Doc::AutoRunExport(const std::string& file) {
    if (CAppState::IsJsonName(file)) return ExportJson({}, file);
    return ExportEntry(m_db.CurrentSystemRecord(), file);
}

bool CQuillo95Doc::AutoRun() {
    if (OnTeamDatabase()) return AutoRunToTeamDatabase();
    if (m_app.AutoRunToStandardOutput()) {
        RunAllTests();
        return WriteJsonToDescriptor({}, STDOUT_FILENO);
    }
    const std::string file = AutoRunTarget();
    // Nobody is there to answer a file dialog.
    if (file.empty()) {
        m_frame.LogLine(LoadKQString(IDS_AUTO_RUN_NO_NAME));
        return false;
    }
    m_frame.LogLine(FormatKQString(IDS_AUTO_RUN_TO_FILE, file));
    // A target that will be refused is refused before the tests take their time.
    {
        CExchangeFile check(m_db, *this);
        if (!check.CheckTarget(file)) return false;
    }
    RunAllTests();
    return AutoRunExport(file);
}

bool CQuillo95Doc::AutoRunToTeamDatabase() {
    // The team database is where the results go: an exchange file only when one is named.
    const bool toStdout = m_app.AutoRunToStandardOutput();
    const std::string file =
        m_app.AutoRunFile().empty() || toStdout ? std::string() : AutoRunTarget();
    if (!file.empty()) {
        m_frame.LogLine(FormatKQString(IDS_AUTO_RUN_TO_FILE, file));
        CExchangeFile check(m_db, *this);
        if (!check.CheckTarget(file)) return false;
    }
    RunAllTests();
    // This machine's own row and a snapshot beside it, so that a history builds up.
    m_teamStoreFailure.clear();
    if (AddSnapshot() < 0 || !m_db.Save(m_db.Path()))
        m_teamStoreFailure =
            FormatKQString(IDS_ERR_TEAM_STORE_FAILED, m_teamName, m_db.LastError());
    if (!m_teamStoreFailure.empty()) return false;
    // Kept in the outbox when the server went away: said (1045 now, 1046 at exit), not failed.
    CheckTeamConnection();
    m_teamStored = TeamChangesWaiting() == 0;
    if (toStdout) return WriteJsonToDescriptor({}, STDOUT_FILENO);
    return file.empty() || AutoRunExport(file);
}
