// Auto-run: analyse, export the current system's record, and let the caller end.
#include "document/AppState.h"
#include "document/Document.h"
#include "resources/Strings.h"

bool CQuillo95Doc::AutoRun() {
    std::string name = m_app.m_autoRunFile;
    if (name.empty()) name = MirrorSysid();
    // Relative names (and the identifier alone) go where the user started the program.
    std::string file = m_app.FromStartDir(CAppState::MakeExportFileName(name));
    m_frame.LogLine(FormatKQString(IDS_AUTO_RUN_TO_FILE, file));
    RunAllTests();
    return ExportEntry(m_db.CurrentSystemRecord(), file);
}
