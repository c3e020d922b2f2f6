// Auto-run: analyse, export the current system's record, and let the caller end.
#include "app/AppState.h"
#include "app/Document.h"
#include "resources/Strings.h"

bool CQuillo95Doc::AutoRun() {
    std::string name = m_app.m_autoRunFile;
    if (name.empty()) {
        if (CKQTreeEntry* mirror = m_db.m_cache.GetHead())
            name = CResultsDatabase::GetRecordSysid(*mirror);
    }
    std::string file = CAppState::MakeExportFileName(name);
    m_frame.LogLine(FormatKQString(66, file));
    RunAllTests();
    return ExportEntry(m_db.m_cache.GetHead(), file);
}
