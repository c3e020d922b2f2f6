// Auto-run: analyse, export the current system's record, and let the caller end.
#include "document/AppState.h"
#include "document/Document.h"
#include "resources/Strings.h"

bool CQuillo95Doc::AutoRun() {
    std::string name = m_app.m_autoRunFile;
    if (name.empty()) {
        if (CKQTreeEntry* mirror = m_db.CurrentSystemRecord())
            name = CResultsDatabase::GetRecordSysid(*mirror);
    }
    std::string file = CAppState::MakeExportFileName(name);
    m_frame.LogLine(FormatKQString(IDS_AUTO_RUN_TO_FILE, file));
    RunAllTests();
    return ExportEntry(m_db.CurrentSystemRecord(), file);
}
