// Print, print preview and copy of what the current tab shows.
#include "app/Quillo95View.h"

#include <QGuiApplication>
#include <QPrinter>
#include <algorithm>

#include "document/Document.h"
#include "panes/list/ListClipboard.h"
#include "panes/list/ListPrinter.h"
#include "panes/QtText.h"
#include "resources/Strings.h"

// ---- printing and the clipboard ----

ITableText* CQuillo95View::PrintableList(int pane) const {
    if (pane != 1 && pane != 2 && pane != 4) return nullptr;
    CPane* object = const_cast<CQuillo95View*>(this)->PaneObject(pane);
    return object ? object->TableText() : nullptr;
}

bool CQuillo95View::CanPrint() const {
    switch (m_currentPane) {
        case 2:
        case 4:
            return PrintableList(m_currentPane) != nullptr;
        case 3:
            return bool(m_chartPainter);
        default:
            return false;
    }
}

bool CQuillo95View::CanCopy() const {
    // The Charts tab copies its chart as an image.
    if (m_currentPane == 3) return m_chartsPane.IsCreated();
    return (m_currentPane == 2 || m_currentPane == 4) && PrintableList(m_currentPane) != nullptr;
}

std::unique_ptr<IPrintSource> CQuillo95View::MakePrintSource() {
    if (m_currentPane == 3)
        return m_chartPainter ? std::make_unique<CChartPrintSource>(m_chartPainter) : nullptr;
    ITableText* list = PrintableList(m_currentPane);
    if (!list) return nullptr;
    QString title = PaneObject(m_currentPane)->PrintTitle();
    if (title.isEmpty()) title = KQText(IDS_APP_TITLE);
    // A list names what it prints (the Database list: how many systems, how many selected).
    return std::make_unique<CListPrinter>(*list, title);
}

int CQuillo95View::OnFilePrint(bool preview) {
    std::unique_ptr<IPrintSource> source = MakePrintSource();
    if (!source) return 0;
    QPrinter printer(QPrinter::HighResolution);
    PreparePrintJob(printer, *source);
    if (m_printDialogHook) {
        if (!m_printDialogHook(printer, preview)) return 0;
        return std::max(0, RunPrintLoop(printer, *source));
    }
    if (preview) return ExecPrintPreview(printer, this, *source) ? 1 : 0;
    if (!ExecPrintDialog(printer, this)) return 0;
    return std::max(0, RunPrintLoop(printer, *source));
}

void CQuillo95View::OnEditCopy() {
    if (!CanCopy()) return;
    if (m_currentPane == 3) {
        m_chartsPane.CopyToClipboard(QGuiApplication::clipboard());
        return;
    }
    CopyToClipboard(*PrintableList(m_currentPane), m_currentPane == 2,
                    m_clipboard ? *m_clipboard : SystemClipboard(), m_doc.Frame());
}
