// The list's page layout, printed to PDF and read back.
#include <QImage>
#include <QPainter>
#include <cstdlib>

#include "panes/list/ListPrinter.h"
#include "tests/printing/PrintFixture.h"

namespace {

constexpr int kDpi = 144;  // two device pixels to the point

class ListPrinterTest : public ::testing::Test {
protected:
    // The layout on a page large enough for anything.
    void Measure(CListPrinter& printer) {
        QPrinter big;
        SetUpPdf(big, OutputPath(QStringLiteral("measure.pdf")), kDpi, 2000, 2000);
        printer.PreparePrinting();
        printer.BeginPrinting(big);
    }
    // Page height in points holding exactly rows rows under the title and header block.
    static double HeightFor(const CListPrinter& p, int rows) {
        const int px = kDpi + p.TitleHeight() + p.HeaderBlockHeight() + rows * p.LineHeight() +
                       p.LineHeight() / 2;
        return (px + 1) / 2;
    }
    int Print(CListPrinter& list, const QString& name, double widthPt, double heightPt) {
        QPrinter printer;
        path = OutputPath(name);
        SetUpPdf(printer, path, kDpi, widthPt, heightPt);
        list.PreparePrinting();
        return RunPrintLoop(printer, list);
    }
    QString path;
};

}  // namespace

TEST_F(ListPrinterTest, RowsAreSplitIntoPagesUnderTitleAndHeaders) {
    FakeTable table = FakeTable::Grid(25, 3);
    CListPrinter list(table, QStringLiteral("Quillon 97 System Comparison"));
    Measure(list);
    EXPECT_EQ(list.HeaderBlockHeight(), list.LineHeight());  // no caption: one line
    ASSERT_EQ(Print(list, QStringLiteral("rows-25.pdf"), 600, HeightFor(list, 10)), 3);
    EXPECT_EQ(list.RowsPerPage(), 10);
    EXPECT_EQ(list.PageCount(), 3);
    EXPECT_EQ(PdfPages(path), 3);

    const QString page1 = PdfText(path, 1);
    const QString page3 = PdfText(path, 3);
    for (const QString& page : {page1, page3}) {
        EXPECT_TRUE(page.contains(QLatin1String("Quillon 97 System Comparison")))
            << page.toStdString();
        EXPECT_TRUE(page.contains(QLatin1String("Head0")));
        EXPECT_TRUE(page.contains(QLatin1String("Head2")));
    }
    EXPECT_TRUE(page1.contains(QLatin1String("r0c0")));
    EXPECT_TRUE(page1.contains(QLatin1String("r9c2")));
    EXPECT_FALSE(page1.contains(QLatin1String("r10c0")));
    for (int r = 0; r < 25; ++r)
        EXPECT_EQ(page3.contains(QStringLiteral("r%1c1").arg(r)), r >= 20) << r;
    EXPECT_TRUE(page3.contains(QLatin1String("Page 3 of 3")));
}

TEST_F(ListPrinterTest, ACaptionTakesALineInAShadedBox) {
    FakeTable table = FakeTable::Grid(25, 2);
    CListPrinter plain(table, QStringLiteral("Title"));
    Measure(plain);
    const double height = HeightFor(plain, 10);

    table.caption = QStringLiteral("Stored systems");
    CListPrinter captioned(table, QStringLiteral("Title"));
    ASSERT_EQ(Print(captioned, QStringLiteral("caption.pdf"), 600, height), 3);
    EXPECT_EQ(captioned.HeaderBlockHeight(), 2 * captioned.LineHeight());
    EXPECT_EQ(captioned.RowsPerPage(), 9);
    EXPECT_TRUE(PdfText(path, 1).contains(QLatin1String("Stored systems")));

    // A caption given for a list without window text of its own.
    table.caption.clear();
    CListPrinter stand(table, QString(), QStringLiteral("Heading instead"));
    ASSERT_EQ(Print(stand, QStringLiteral("caption-given.pdf"), 600, height), 3);
    EXPECT_EQ(stand.TitleHeight(), 0);
    EXPECT_TRUE(PdfText(path, 1).contains(QLatin1String("Heading instead")));
}

TEST_F(ListPrinterTest, ColumnsThatDoNotFitContinueOnAPageLedByTheCaptionColumn) {
    FakeTable table = FakeTable::Grid(3, 3);
    table.cells[1][2] = QString(80, QLatin1Char('W'));
    CListPrinter list(table, QStringLiteral("Title"));
    Measure(list);
    const std::vector<int> w = list.ColumnWidths();
    ASSERT_EQ(w.size(), 3u);
    // Room for the first two columns and half of the third.
    const int widthPx = kDpi + w[0] + w[1] + w[2] / 2;
    ASSERT_EQ(Print(list, QStringLiteral("across.pdf"), (widthPx + 1) / 2, 400), 2);
    EXPECT_EQ(list.ColumnCount(), 3);
    ASSERT_EQ(list.BandCount(), 2);
    EXPECT_EQ(list.BandColumns(0), (std::vector<int>{0, 1}));
    EXPECT_EQ(list.BandColumns(1), (std::vector<int>{0, 2}));
    // Each band is centred on its page.
    EXPECT_EQ(list.Right() - list.Left(), w[0] + w[1]);
    const int leftSpace = list.Left() - kDpi / 2;
    const int rightSpace = (widthPx + 1) / 2 * 2 - kDpi / 2 - list.Right();
    EXPECT_LE(std::abs(leftSpace - rightSpace), 2);
    EXPECT_EQ(PdfPages(path), 2);

    // Cell by cell: every row on both pages, the caption column first on each.
    const QString page1 = PdfText(path, 1), page2 = PdfText(path, 2);
    EXPECT_TRUE(InOrder(LineWith(page1, QStringLiteral("Head0")), {"Head0", "Head1"}));
    EXPECT_FALSE(page1.contains(QLatin1String("Head2"))) << page1.toStdString();
    EXPECT_TRUE(InOrder(LineWith(page2, QStringLiteral("Head0")), {"Head0", "Head2"}));
    EXPECT_FALSE(page2.contains(QLatin1String("Head1"))) << page2.toStdString();
    for (int r = 0; r < 3; ++r) {
        const QString c0 = QStringLiteral("r%1c0").arg(r);
        EXPECT_TRUE(InOrder(LineWith(page1, c0), {c0, QStringLiteral("r%1c1").arg(r)})) << r;
        if (r == 1) {  // the long cell, cut by its column
            EXPECT_TRUE(LineWith(page2, c0).contains(QString(10, QLatin1Char('W'))));
        } else {
            EXPECT_TRUE(InOrder(LineWith(page2, c0), {c0, QStringLiteral("r%1c2").arg(r)})) << r;
        }
    }
    EXPECT_TRUE(page1.contains(QLatin1String("Page 1 of 2")));
    EXPECT_TRUE(page2.contains(QLatin1String("Page 2 of 2")));
}

// 25 rows of 6 columns, 10 rows and three columns to a page: pages run down the rows, then
// across the bands, numbered in one sequence; each cell is printed once, in its row.
TEST_F(ListPrinterTest, PagesRunDownThenAcrossNumberedInOneSequence) {
    FakeTable table = FakeTable::Grid(25, 6);
    CListPrinter list(table, QStringLiteral("Title"));
    Measure(list);
    const std::vector<int> w = list.ColumnWidths();
    const int widthPx = kDpi + w[0] + w[1] + w[2] + w[3] / 2;
    ASSERT_EQ(
        Print(list, QStringLiteral("down-across.pdf"), (widthPx + 1) / 2, HeightFor(list, 10)), 9);
    ASSERT_EQ(list.BandCount(), 3);
    const std::vector<std::vector<int>> bands{{0, 1, 2}, {0, 3, 4}, {0, 5}};
    for (int b = 0; b < 3; ++b) EXPECT_EQ(list.BandColumns(b), bands[size_t(b)]);
    EXPECT_EQ(PdfPages(path), 9);
    for (int page = 1; page <= 9; ++page) {
        const QString text = PdfText(path, page);
        const std::vector<int>& band = bands[size_t((page - 1) / 3)];
        const int first = (page - 1) % 3 * 10;
        EXPECT_TRUE(text.contains(QStringLiteral("Page %1 of 9").arg(page))) << page;
        QStringList heads;
        for (int c : band) heads << QStringLiteral("Head%1").arg(c);
        EXPECT_TRUE(InOrder(LineWith(text, QStringLiteral("Head0")), heads)) << page;
        for (int r = 0; r < 25; ++r) {
            const bool here = r >= first && r < first + 10;
            QStringList cells;
            for (int c : band) cells << QStringLiteral("r%1c%2").arg(r).arg(c);
            const QString line = LineWith(text, cells.front());
            EXPECT_EQ(!line.isEmpty(), here) << page << " row " << r;
            if (here) {
                EXPECT_TRUE(InOrder(line, cells)) << page << ": " << line.toStdString();
            }
            for (int c = 1; c < 6; ++c) {
                if (std::find(band.begin(), band.end(), c) != band.end()) continue;
                EXPECT_TRUE(LineWith(text, QStringLiteral("r%1c%2").arg(r).arg(c)).isEmpty());
            }
        }
    }
}

TEST_F(ListPrinterTest, APageTooNarrowForTheFirstColumnShowsOnlyTitleAndCaption) {
    FakeTable table = FakeTable::Grid(3, 2);
    table.caption = QStringLiteral("Caption");
    CListPrinter list(table, QStringLiteral("Title"));
    Measure(list);
    const int widthPx = kDpi + list.ColumnWidths()[0] / 2;
    ASSERT_EQ(Print(list, QStringLiteral("narrow.pdf"), (widthPx + 1) / 2, 400), 1);
    ASSERT_EQ(list.BandCount(), 1);
    EXPECT_TRUE(list.BandColumns(0).empty());
    const QString text = PdfText(path);
    EXPECT_TRUE(text.contains(QLatin1String("Title"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QLatin1String("Caption")));
    EXPECT_FALSE(text.contains(QLatin1String("Head0")));
    EXPECT_FALSE(text.contains(QLatin1String("r0c0")));

    // Room for the first column and part of the second: the second is cut, not lost.
    table.cells[0][1] = QString(40, QLatin1Char('W'));
    CListPrinter cut(table, QStringLiteral("Title"));
    Measure(cut);
    const std::vector<int> w = cut.ColumnWidths();
    const int cutPx = kDpi + w[0] + w[1] / 2;
    ASSERT_EQ(Print(cut, QStringLiteral("cut.pdf"), (cutPx + 1) / 2, 400), 1);
    ASSERT_EQ(cut.BandCount(), 1);
    EXPECT_EQ(cut.BandColumns(0), (std::vector<int>{0, 1}));
    EXPECT_LE(cut.Right() - cut.Left(), (cutPx + 1) / 2 * 2 - kDpi);
    EXPECT_TRUE(PdfText(path).contains(QLatin1String("Head1")));
}

// Selected rows carry a mark in a column of their own, on every page across.
TEST_F(ListPrinterTest, SelectedRowsAreMarkedWhenTheListAsks) {
    FakeTable table = FakeTable::Grid(4, 2);
    table.selected = {1, 3};
    table.marks = true;
    CListPrinter list(table, QStringLiteral("Title"));
    ASSERT_EQ(Print(list, QStringLiteral("marks.pdf"), 600, 400), 1);
    EXPECT_GT(list.MarkWidth(), 0);
    EXPECT_EQ(list.Right() - list.Left(),
              list.MarkWidth() + list.ColumnWidths()[0] + list.ColumnWidths()[1]);
    const QString text = PdfText(path);
    const QString mark = QStringLiteral("\u2713");
    for (int r = 0; r < 4; ++r) {
        const QString line = LineWith(text, QStringLiteral("r%1c0").arg(r));
        EXPECT_EQ(InOrder(line, {mark, QStringLiteral("r%1c0").arg(r)}), r % 2 == 1)
            << line.toStdString();
    }
    table.marks = false;
    CListPrinter plain(table, QStringLiteral("Title"));
    ASSERT_EQ(Print(plain, QStringLiteral("no-marks.pdf"), 600, 400), 1);
    EXPECT_EQ(plain.MarkWidth(), 0);
    EXPECT_FALSE(PdfText(path).contains(mark));
}

// A table wider than a portrait page turns the page before the dialogs open.
TEST_F(ListPrinterTest, AWideTableAsksForLandscapeBeforeTheDialogs) {
    FakeTable narrow = FakeTable::Grid(3, 2);
    FakeTable wide = FakeTable::Grid(3, 12);
    for (QStringList& row : wide.cells)
        for (QString& cell : row) cell += QStringLiteral(" MB/s measured");
    QPrinter printer(QPrinter::HighResolution);
    path = OutputPath(QStringLiteral("landscape.pdf"));
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Landscape);
    CListPrinter small(narrow, QStringLiteral("Title"));
    PreparePrintJob(printer, small);
    EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Portrait);
    CListPrinter big(wide, QStringLiteral("Title"));
    PreparePrintJob(printer, big);
    EXPECT_EQ(printer.pageLayout().orientation(), QPageLayout::Landscape);
    const int pages = RunPrintLoop(printer, big);
    EXPECT_EQ(pages, big.BandCount());
    EXPECT_GT(big.BandCount(), 1);  // still wider than the turned page
    const QString info = RunTool(QStringLiteral("pdfinfo"), {path});
    const QRegularExpressionMatch size =
        QRegularExpression(QStringLiteral("Page size:\\s+([0-9.]+) x ([0-9.]+)")).match(info);
    ASSERT_TRUE(size.hasMatch()) << info.toStdString();
    EXPECT_GT(size.captured(1).toDouble(), size.captured(2).toDouble());
    const QString text = PdfText(path);
    for (int c = 0; c < 12; ++c)
        EXPECT_FALSE(LineWith(text, QStringLiteral("Head%1").arg(c)).isEmpty()) << c;
}

TEST_F(ListPrinterTest, WidthsAreCappedAndEmptyListsStillPrintAPage) {
    FakeTable table = FakeTable::Grid(2, 3);
    table.cells[0][1] = QString(80, QLatin1Char('W'));
    table.cells[0][2] = QString(200, QLatin1Char('W'));
    table.cells[1][2] = QString();
    CListPrinter list(table, QStringLiteral("Title"));
    Measure(list);
    const std::vector<int> w = list.ColumnWidths();
    EXPECT_EQ(w[1], w[2]);  // both at the cap
    EXPECT_GT(w[1], 3 * w[0]);

    FakeTable empty = FakeTable::Grid(0, 2);
    CListPrinter none(empty, QStringLiteral("Nothing listed"));
    ASSERT_EQ(Print(none, QStringLiteral("empty.pdf"), 600, 400), 1);
    EXPECT_EQ(none.PageCount(), 1);
    const QString text = PdfText(path);
    EXPECT_TRUE(text.contains(QLatin1String("Nothing listed")));
    EXPECT_TRUE(text.contains(QLatin1String("Head1")));
}

TEST_F(ListPrinterTest, ThePrintersPageRangeIsHonoured) {
    FakeTable table = FakeTable::Grid(25, 2);
    CListPrinter list(table, QStringLiteral("Title"));
    Measure(list);
    QPrinter printer;
    path = OutputPath(QStringLiteral("range.pdf"));
    SetUpPdf(printer, path, kDpi, 600, HeightFor(list, 10));
    printer.setFromTo(2, 9);
    list.PreparePrinting();
    ASSERT_EQ(RunPrintLoop(printer, list), 2);
    EXPECT_EQ(PdfPages(path), 2);
    EXPECT_TRUE(PdfText(path, 1).contains(QLatin1String("r10c0")));
}

TEST_F(ListPrinterTest, ATitleWiderThanTheTableIsNotClippedToIt) {
    FakeTable table = FakeTable::Grid(2, 1);
    const QString title = QStringLiteral("A title far wider than the one narrow column below");
    CListPrinter list(table, title);
    QImage page(1200, 800, QImage::Format_RGB32);
    page.setDotsPerMeterX(int(kDpi / 0.0254 + 0.5));
    page.setDotsPerMeterY(int(kDpi / 0.0254 + 0.5));
    page.fill(Qt::white);
    list.PreparePrinting();
    ASSERT_EQ(list.BeginPrinting(page), 1);
    QPainter painter(&page);
    list.PrintPage(painter, 1);
    painter.end();
    // Ink in the title band left of the table's left edge.
    int ink = 0;
    for (int y = list.Top(); y < list.Top() + list.TitleHeight(); ++y)
        for (int x = 0; x < list.Left(); ++x) ink += qGray(page.pixel(x, y)) < 128;
    EXPECT_GT(ink, 20);
    page.save(OutputPath(QStringLiteral("wide-title.png")));
}
