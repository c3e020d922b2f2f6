// The print loop the view runs for whatever its current tab shows, over a printer, a PDF
// file or the preview dialog alike.
#pragma once

#include <QRect>
#include <functional>

class QPaintDevice;
class QPainter;
class QPrinter;
class QWidget;

// The four steps of a print job.
class IPrintSource {
public:
    virtual ~IPrintSource() = default;
    // Before the print dialog: the counts are read.
    virtual void PreparePrinting() {}
    // Whether the job is better printed across the page: asked with the printer set to
    // portrait, before the dialogs, so that they offer landscape.
    virtual bool WantsLandscape(QPaintDevice& /*portrait*/) { return false; }
    // Layout for the device; answers the page count.
    virtual int BeginPrinting(QPaintDevice& device) = 0;
    // Page n, from 1.
    virtual void PrintPage(QPainter& painter, int page) = 0;
    virtual void EndPrinting() {}
};

// Before the dialogs: the counts are read and the page turned to the orientation the job
// wants.
void PreparePrintJob(QPrinter& printer, IPrintSource& source);

// Begin, the pages of the printer's range (all when none is set), end. Answers the number
// of pages printed, -1 when the printer cannot be painted on.
int RunPrintLoop(QPrinter& printer, IPrintSource& source);

// The print and preview dialogs. Without a display nobody can answer them: "cancelled".
bool ExecPrintDialog(QPrinter& printer, QWidget* parent);
bool ExecPrintPreview(QPrinter& printer, QWidget* parent, IPrintSource& source);

// Draws the chart into a rectangle of a paint device.
using ChartPainter = std::function<void(QPainter& painter, const QRect& area)>;

// One page holding the chart inside half-inch margins.
class CChartPrintSource : public IPrintSource {
public:
    explicit CChartPrintSource(ChartPainter draw) : m_draw(std::move(draw)) {}
    int BeginPrinting(QPaintDevice& device) override;
    void PrintPage(QPainter& painter, int page) override;
    const QRect& Area() const { return m_area; }

private:
    ChartPainter m_draw;
    QRect m_area;
};
