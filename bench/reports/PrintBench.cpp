// Printing a list of 10,000 rows to PDF, against a floor measured in the same run: the same
// texts drawn at fixed places on the same pages, with no measuring, rules or boxes.
// Usage: print_bench [runs]
#include <QGuiApplication>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "bench/support/BenchTiming.h"
#include "panes/list/ListPrinter.h"
#include "panes/list/TableText.h"

namespace {

using bench::Clock;
using bench::Median;
using bench::Ms;

// Like the Database list: a system name and five values per row.
class BenchTable : public ITableText {
public:
    QString WindowText() const override { return QString(); }
    int RowCount() const override { return 10000; }
    int ColumnCount() const override { return 6; }
    QString HeaderText(int c) const override { return QStringLiteral("Column %1").arg(c); }
    QString CellText(int r, int c) const override {
        return c == 0 ? QStringLiteral("SYSTEM-%1").arg(r)
                      : QStringLiteral("%1 MB/s").arg(r * 7 + c);
    }
    bool IsRowSelected(int) const override { return false; }
};

void SetUp(QPrinter& printer, const QString& path) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setResolution(300);
    printer.setPageSize(QPageSize(QPageSize::A4));
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    QTemporaryDir dir;
    BenchTable table;
    std::vector<double> print, floor;
    int pages = 0;
    for (int r = 0; r < runs; ++r) {
        {
            QPrinter printer(QPrinter::HighResolution);
            SetUp(printer, dir.filePath(QStringLiteral("list.pdf")));
            auto t0 = Clock::now();
            CListPrinter list(table, QStringLiteral("Quillon 97"),
                              QStringLiteral("Stored systems"));
            list.PreparePrinting();
            pages = RunPrintLoop(printer, list);
            print.push_back(Ms(t0));
        }
        {
            QPrinter printer(QPrinter::HighResolution);
            SetUp(printer, dir.filePath(QStringLiteral("floor.pdf")));
            auto t0 = Clock::now();
            QPainter painter(&printer);
            QFont font(QStringLiteral("Times New Roman"));
            font.setPixelSize(50);
            painter.setFont(font);
            const int perPage = pages > 0 ? (table.RowCount() + pages - 1) / pages : 1;
            for (int row = 0; row < table.RowCount(); ++row) {
                if (row > 0 && row % perPage == 0) printer.newPage();
                const int y = 200 + (row % perPage) * 51;
                for (int c = 0; c < table.ColumnCount(); ++c)
                    painter.drawText(150 + c * 350, y, table.CellText(row, c));
            }
            painter.end();
            floor.push_back(Ms(t0));
        }
    }
    const double p = Median(print), f = Median(floor);
    std::printf("list of %d rows x %d columns to PDF at 300 dpi, %d pages, %d runs\n",
                table.RowCount(), table.ColumnCount(), pages, runs);
    std::printf("print (median)               %9.1f ms   target < 5000 ms\n", p);
    std::printf("floor: texts only, same pages %8.1f ms   print/floor %.2f\n", f, p / f);
    return 0;
}
