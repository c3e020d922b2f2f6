// Auto-run: analyse, export the current system's record, and let the caller end.
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

bool CQuillo95Doc::AutoRun() {
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
    return ExportEntry(m_db.CurrentSystemRecord(), file);
}
