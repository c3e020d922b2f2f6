// The list's page layout, printed to PDF and read back.
#include <QImage>
#include <QPainter>
#include <cstdlib>

#include "panes/ListPrinter.h"
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

TEST_F(ListPrinterTest, ColumnsThatDoNotFitAreDroppedAndTheTableIsCentred) {
    FakeTable table = FakeTable::Grid(3, 3);
    table.cells[1][2] = QString(80, QLatin1Char('W'));
    CListPrinter list(table, QStringLiteral("Title"));
    Measure(list);
    const std::vector<int> w = list.ColumnWidths();
    ASSERT_EQ(w.size(), 3u);
    // Room for the first two columns and half of the third.
    const int widthPx = kDpi + w[0] + w[1] + w[2] / 2;
    ASSERT_EQ(Print(list, QStringLiteral("dropped.pdf"), (widthPx + 1) / 2, 400), 1);
    EXPECT_EQ(list.ColumnCount(), 2);
    EXPECT_EQ(list.Right() - list.Left(), w[0] + w[1]);
    const int leftSpace = list.Left() - kDpi / 2;
    const int rightSpace = (widthPx + 1) / 2 * 2 - kDpi / 2 - list.Right();
    EXPECT_LE(std::abs(leftSpace - rightSpace), 2);
    const QString text = PdfText(path);
    EXPECT_TRUE(text.contains(QLatin1String("Head1")));
    EXPECT_FALSE(text.contains(QLatin1String("Head2")));
}

TEST_F(ListPrinterTest, APageTooNarrowForTheFirstColumnShowsOnlyTitleAndCaption) {
    FakeTable table = FakeTable::Grid(3, 2);
    table.caption = QStringLiteral("Caption");
    CListPrinter list(table, QStringLiteral("Title"));
    Measure(list);
    const int widthPx = kDpi + list.ColumnWidths()[0] / 2;
    ASSERT_EQ(Print(list, QStringLiteral("narrow.pdf"), (widthPx + 1) / 2, 400), 1);
    EXPECT_EQ(list.ColumnCount(), 0);
    const QString text = PdfText(path);
    EXPECT_TRUE(text.contains(QLatin1String("Title"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QLatin1String("Caption")));
    EXPECT_FALSE(text.contains(QLatin1String("Head0")));
    EXPECT_FALSE(text.contains(QLatin1String("r0c0")));
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
