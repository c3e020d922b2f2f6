#include "panes/PrintJob.h"

#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <algorithm>

#include "platform/MessageBoxes.h"

void PreparePrintJob(QPrinter& printer, IPrintSource& source) {
    source.PreparePrinting();
    printer.setPageOrientation(QPageLayout::Portrait);
    if (source.WantsLandscape(printer)) printer.setPageOrientation(QPageLayout::Landscape);
}

int RunPrintLoop(QPrinter& printer, IPrintSource& source) {
    QPainter painter;
    if (!painter.begin(&printer)) return -1;
    const int pages = source.BeginPrinting(printer);
    int from = printer.fromPage();
    int to = printer.toPage();
    if (from <= 0 || to <= 0) {
        from = 1;
        to = pages;
    }
    to = std::min(to, pages);
    int printed = 0;
    for (int page = from; page <= to; ++page) {
        if (printed > 0) printer.newPage();
        painter.save();
        source.PrintPage(painter, page);
        painter.restore();
        ++printed;
    }
    painter.end();
    source.EndPrinting();
    return printed;
}

bool ExecPrintDialog(QPrinter& printer, QWidget* parent) {
    if (IsOffscreenPlatform()) return false;
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

bool ExecPrintPreview(QPrinter& printer, QWidget* parent, IPrintSource& source) {
    if (IsOffscreenPlatform()) return false;
    QPrintPreviewDialog dialog(&printer, parent);
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested,
                     [&source](QPrinter* target) { RunPrintLoop(*target, source); });
    return dialog.exec() == QDialog::Accepted;
}

int CChartPrintSource::BeginPrinting(QPaintDevice& device) {
    const int mx = device.logicalDpiX() / 2;
    const int my = device.logicalDpiY() / 2;
    m_area = QRect(0, 0, device.width(), device.height()).adjusted(mx, my, -mx, -my);
    return 1;
}

void CChartPrintSource::PrintPage(QPainter& painter, int /*page*/) {
    if (m_draw && m_area.isValid()) m_draw(painter, m_area);
}
