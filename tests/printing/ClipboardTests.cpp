// Lists copied to the clipboard as tab-separated text.
#include "panes/list/ListClipboard.h"
#include "resources/Strings.h"
#include "tests/printing/PrintFixture.h"
#include "tests/support/FakeFrame.h"

namespace {

class FakeClipboard : public ITextClipboard {
public:
    bool IsAvailable() const override { return available; }
    void Clear() override {
        ++clears;
        text.clear();
    }
    void SetText(const QString& t) override { text = keepsText ? t : QStringLiteral("other"); }
    QString Text() const override { return text; }
    bool available = true;
    bool keepsText = true;
    int clears = 0;
    QString text = QStringLiteral("before");
};

FakeTable Report() {
    FakeTable t;
    t.headers = {QStringLiteral("Item"), QStringLiteral("Box A"), QStringLiteral("Box B")};
    t.cells = {{QStringLiteral("CPU Clock"), QStringLiteral("100"), QStringLiteral("200")},
               {QString(), QString(), QStringLiteral("only B")},
               {QStringLiteral("Disk"), QString(), QStringLiteral("x")},
               {QString(), QString(), QString()},  // filler
               {QString(), QString(), QString()}};
    return t;
}

}  // namespace

// Every value stays under its header when pasted: empty leading cells keep their tabs.
TEST(ClipboardText, EveryCellKeepsItsColumnAndFillerRowsAreEmptyLines) {
    FakeTable t = Report();
    EXPECT_EQ(ClipboardText(t, false).toStdString(),
              "Item\tBox A\tBox B\r\n"
              "CPU Clock\t100\t200\r\n"
              "\t\tonly B\r\n"
              "Disk\t\tx\r\n"
              "\r\n"
              "\r\n");
    // Cell by cell: each line split at its tabs gives the row's cells in their columns.
    t.cells.append({QString(), QStringLiteral("only A"), QString()});
    const QStringList lines = ClipboardText(t, false).split(QStringLiteral("\r\n"));
    for (int r = 0; r < t.RowCount(); ++r) {
        const QStringList cells = lines[r + 1].split(QLatin1Char('\t'));
        if (t.cells[r].join(QString()).isEmpty()) {
            EXPECT_EQ(lines[r + 1], QString()) << r;
            continue;
        }
        ASSERT_EQ(cells.size(), t.ColumnCount()) << r;
        for (int c = 0; c < t.ColumnCount(); ++c) EXPECT_EQ(cells[c], t.CellText(r, c)) << r;
    }
}

TEST(ClipboardText, SelectedRowsOnlyWithTheWindowTextFirst) {
    FakeTable t = Report();
    t.caption = QStringLiteral("Systems");
    EXPECT_EQ(ClipboardText(t, true).toStdString(), "Systems\r\nItem\tBox A\tBox B\r\n");
    t.selected = {2, 0};
    EXPECT_EQ(ClipboardText(t, true).toStdString(),
              "Systems\r\nItem\tBox A\tBox B\r\nCPU Clock\t100\t200\r\nDisk\t\tx\r\n");
    // Long cells are cut at 1000 characters.
    t.cells[0][0] = QString(1500, QLatin1Char('a'));
    EXPECT_TRUE(
        ClipboardText(t, true).contains(QString(1000, QLatin1Char('a')) + QLatin1Char('\t')));
    EXPECT_FALSE(ClipboardText(t, true).contains(QString(1001, QLatin1Char('a'))));
}

TEST(ClipboardCopy, FailuresAreReportedWithTheProgramsMessages) {
    FakeTable t = Report();
    FakeFrame frame;
    FakeClipboard board;
    EXPECT_EQ(CopyToClipboard(t, false, board, frame), CopyResult::Copied);
    EXPECT_TRUE(board.text.startsWith(QLatin1String("Item\t")));
    EXPECT_TRUE(frame.boxes.empty());

    board.available = false;
    board.text = QStringLiteral("kept");
    EXPECT_EQ(CopyToClipboard(t, false, board, frame), CopyResult::ClipboardInUse);
    ASSERT_EQ(frame.boxes.size(), 1u);
    EXPECT_EQ(frame.boxes[0].text, "The Clipboard is in use by someone else.");
    EXPECT_EQ(frame.boxes[0].icon, MsgIcon::Information);
    EXPECT_EQ(board.text, QStringLiteral("kept"));  // nothing copied

    board.available = true;
    board.keepsText = false;  // someone else's text comes back
    EXPECT_EQ(CopyToClipboard(t, false, board, frame), CopyResult::ClipboardInUse);
    ASSERT_EQ(frame.boxes.size(), 2u);
    EXPECT_EQ(frame.boxes[1].text, LoadKQString(IDS_CLIPBOARD_IN_USE));

    board.keepsText = true;
    t.throwAtRow = 2;  // memory runs out while the text is built
    EXPECT_EQ(CopyToClipboard(t, false, board, frame), CopyResult::OutOfMemory);
    ASSERT_EQ(frame.boxes.size(), 3u);
    EXPECT_EQ(frame.boxes[2].text, "Error 10: Not enough memory");
    EXPECT_TRUE(board.text.isEmpty());  // emptied before the text was built
}

TEST(ClipboardCopy, TheSystemClipboardReadsBack) {
    const FakeTable t = Report();
    FakeFrame frame;
    ASSERT_TRUE(SystemClipboard().IsAvailable());
    EXPECT_EQ(CopyToClipboard(t, false, SystemClipboard(), frame), CopyResult::Copied);
    EXPECT_EQ(SystemClipboard().Text(), ClipboardText(t, false));
    EXPECT_TRUE(frame.boxes.empty());
}
