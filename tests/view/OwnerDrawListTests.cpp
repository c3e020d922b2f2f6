// The list class the tables share: row height, "…" fitting, the key-to-row map, the
// selection flags that printing and the panes read, deferred rows and the right button.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHelpEvent>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>
#include <QTreeView>

#include "panes/list/ListRowDelegate.h"
#include "panes/list/OwnerDrawList.h"

namespace {

QFont FontOfTextHeight(int height) {
    for (int px = 4; px < 40; ++px) {
        QFont f(QStringLiteral("Arial"));
        f.setPixelSize(px);
        if (QFontMetrics(f).height() == height) return f;
    }
    return QFont();
}

class ListTest : public ::testing::Test {
protected:
    void SetUp() override {
        list = std::make_unique<COwnerDrawList>(16, nullptr);
        list->resize(300, 200);
        list->InsertColumn(0, QStringLiteral("Name"), 100);
        list->InsertColumn(1, QStringLiteral("Value"), 100);
        list->SetMultipleSelection(true);
        list->show();
    }
    void Fill(int n) {
        for (int i = 0; i < n; ++i)
            list->AppendRow({"row" + std::to_string(i), std::to_string(i)}, 0, 100 + i);
    }
    std::unique_ptr<COwnerDrawList> list;
};

}  // namespace

TEST(ListRowDelegate, RowHeightIsTextHeightPlusOneButAtLeast17) {
    const QFont small = FontOfTextHeight(12);
    ASSERT_EQ(QFontMetrics(small).height(), 12);
    EXPECT_EQ(CListRowDelegate::RowHeight(QFontMetrics(small)), 17);
    const QFont large = FontOfTextHeight(20);
    ASSERT_EQ(QFontMetrics(large).height(), 20);
    EXPECT_EQ(CListRowDelegate::RowHeight(QFontMetrics(large)), 21);

    COwnerDrawList list(10, nullptr);
    list.SetListFont(small);
    EXPECT_EQ(list.RowHeight(), 17);
}

TEST(ListRowDelegate, CellTextFittedWithEllipsis) {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(13);
    const QFontMetrics fm(font);
    const QString text = QStringLiteral("Pentium Processor 133 MHz");
    const int exact = fm.horizontalAdvance(text) + 4;

    // Exactly as wide as the rectangle minus 4: drawn whole.
    EXPECT_EQ(CListRowDelegate::FitCellText(fm, text, exact), text);
    // One pixel too wide: shortened, and the shortened form fits.
    const QString cut = CListRowDelegate::FitCellText(fm, text, exact - 1);
    const QString ellipsis(QChar(0x2026));
    EXPECT_TRUE(cut.endsWith(ellipsis));
    EXPECT_LE(fm.horizontalAdvance(cut), exact - 1 - 4);
    EXPECT_TRUE(text.startsWith(cut.chopped(1)));
    // The longest prefix that fits: one more character would not.
    const QString longer = text.left(cut.size()) + ellipsis;
    EXPECT_GT(fm.horizontalAdvance(longer), exact - 1 - 4);
    // Not even the first character with the ellipsis: the whole text (drawn clipped).
    const int tiny = fm.horizontalAdvance(QStringLiteral("P") + ellipsis) + 4 - 1;
    EXPECT_EQ(CListRowDelegate::FitCellText(fm, text, tiny), text);
    EXPECT_EQ(CListRowDelegate::FitCellText(fm, text, 0), text);
    // At most 255 characters are used.
    const QString huge(400, QLatin1Char('x'));
    EXPECT_EQ(CListRowDelegate::FitCellText(fm, huge, 100000).size(), 255);
}

TEST_F(ListTest, RowsAsTextForPrintingAndTheClipboard) {
    list->SetCaption(QStringLiteral("Highlights of This System"));
    Fill(3);
    list->SetCellText(1, 1, "ümlaut");
    EXPECT_EQ(list->WindowText(), QStringLiteral("Highlights of This System"));
    EXPECT_EQ(list->windowTitle(), list->WindowText());
    const ITableText& table = *list;
    EXPECT_EQ(table.RowCount(), 3);
    EXPECT_EQ(table.ColumnCount(), 2);
    EXPECT_EQ(table.HeaderText(1), QStringLiteral("Value"));
    EXPECT_EQ(table.CellText(1, 1), QString::fromUtf8("ümlaut"));
    EXPECT_EQ(table.CellText(7, 0), QString());  // past the end: empty, no crash
    EXPECT_GT(list->TitleHeight(), 0);
    EXPECT_EQ(list->objectName(), QStringLiteral("16"));
}

TEST_F(ListTest, KeyToRowMapFollowsInsertsDeletesAndSorts) {
    Fill(5);  // data 100..104
    EXPECT_EQ(list->FindRow(103), 3);
    EXPECT_EQ(list->FindRow(99), -1);
    list->DeleteRow(1);
    EXPECT_EQ(list->FindRow(103), 2);
    EXPECT_EQ(list->FindRow(101), -1);
    list->InsertRow(0, {"first"}, 0, 7);
    EXPECT_EQ(list->FindRow(7), 0);
    EXPECT_EQ(list->FindRow(104), 4);
    list->SortRows([&](int a, int b) { return list->GetItemData(a) > list->GetItemData(b); });
    EXPECT_EQ(list->FindRow(104), 0);
    EXPECT_EQ(list->FindRow(7), 4);
    list->SetItemData(0, 55);
    EXPECT_EQ(list->FindRow(55), 0);
    EXPECT_EQ(list->FindRow(104), -1);
    list->DeleteAllRows();
    EXPECT_EQ(list->FindRow(55), -1);
}

TEST_F(ListTest, SelectionFlagsStayWithTheirRows) {
    Fill(6);
    QSignalSpy changes(list.get(), &COwnerDrawList::RowStateChanged);
    list->SelectRow(4, true);
    list->SelectRow(1, true);
    EXPECT_EQ(changes.count(), 2);
    EXPECT_EQ(list->SelectedRows(), (std::vector<int>{1, 4}));  // list order, not click order
    EXPECT_TRUE(list->View()->selectionModel()->isRowSelected(4, {}));

    // Deleting a row above moves the flag with the row below it.
    list->DeleteRow(0);
    EXPECT_EQ(list->SelectedRows(), (std::vector<int>{0, 3}));
    EXPECT_EQ(list->GetItemData(3), 104);

    // A sort carries selection (flags and the view's) along: 105 104 103 102 101.
    list->SortRows([&](int a, int b) { return list->GetItemData(a) > list->GetItemData(b); });
    EXPECT_EQ(list->SelectedRows(), (std::vector<int>{1, 4}));
    EXPECT_EQ(list->GetItemData(1), 104);
    EXPECT_EQ(list->GetItemData(4), 101);
    EXPECT_TRUE(list->View()->selectionModel()->isRowSelected(4, {}));
    EXPECT_FALSE(list->View()->selectionModel()->isRowSelected(0, {}));

    list->DeselectAll();
    EXPECT_EQ(list->SelectedCount(), 0);
    EXPECT_FALSE(list->IsRowSelected(0));
}

TEST_F(ListTest, DeferredRowsReachTheViewOnFlush) {
    for (int i = 0; i < 10; ++i) list->AppendRow({"r"}, 0, i + 1, true);
    EXPECT_EQ(list->RowCount(), 10);
    EXPECT_EQ(list->Model()->rowCount(), 0);
    EXPECT_EQ(list->FindRow(7), 6);
    // Selecting a pending row brings the batch in first.
    list->SelectRow(8, true);
    EXPECT_EQ(list->Model()->rowCount(), 10);
    EXPECT_TRUE(list->IsRowSelected(8));
}

TEST_F(ListTest, RightButtonReportsOnReleaseWithoutSelecting) {
    list->SetRightPressSelects(false);
    Fill(3);
    QApplication::processEvents();
    QSignalSpy ups(list.get(), &COwnerDrawList::RightButtonUp);
    const QRect r = list->View()->visualRect(list->Model()->index(2, 0));
    QTest::mousePress(list->View()->viewport(), Qt::RightButton, {}, r.center());
    EXPECT_EQ(list->SelectedCount(), 0);
    EXPECT_EQ(ups.count(), 0);
    QTest::mouseRelease(list->View()->viewport(), Qt::RightButton, {}, r.center());
    ASSERT_EQ(ups.count(), 1);
    EXPECT_EQ(ups.at(0).at(0).toInt(), 2);
    EXPECT_EQ(list->SelectedCount(), 0);
    EXPECT_EQ(list->HitTest(list->View()->viewport()->mapTo(list.get(), r.center())), 2);
}

TEST_F(ListTest, ClickSelectsAndReportsTheFocusedRow) {
    Fill(3);
    QApplication::processEvents();
    QSignalSpy changes(list.get(), &COwnerDrawList::RowStateChanged);
    const QRect r = list->View()->visualRect(list->Model()->index(1, 0));
    QTest::mouseClick(list->View()->viewport(), Qt::LeftButton, {}, r.center());
    EXPECT_EQ(list->FocusRow(), 1);
    EXPECT_TRUE(list->IsRowSelected(1));
    int selectedAndFocused = 0;
    for (const auto& args : changes)
        if (args.at(0).toInt() == 1 && args.at(1).toBool() && args.at(2).toBool())
            ++selectedAndFocused;
    EXPECT_EQ(selectedAndFocused, 1);  // announced once, not once per signal Qt sends
}

TEST_F(ListTest, ShortenedCellShowsItsWholeTextAsToolTip) {
    list->SetColumnWidth(0, 40);
    list->AppendRow({"A rather long processor name", "x"}, 0, 1);
    list->AppendRow({"ab", "x"}, 0, 2);
    QApplication::processEvents();
    QTreeView* view = list->View();
    auto tipAt = [&](int row) {
        QToolTip::hideText();
        const QRect r = view->visualRect(list->Model()->index(row, 0));
        QHelpEvent event(QEvent::ToolTip, r.center(), view->viewport()->mapToGlobal(r.center()));
        QApplication::sendEvent(view->viewport(), &event);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    EXPECT_EQ(tipAt(1), QString());
    EXPECT_EQ(tipAt(0), QStringLiteral("A rather long processor name"));
}

TEST_F(ListTest, TextWidthFollowsTheListFont) {
    QFont small(QStringLiteral("Arial"));
    small.setPixelSize(10);
    list->SetListFont(small);
    const int narrow = list->TextWidth("1234 MB/s");
    EXPECT_NEAR(narrow, QFontMetrics(small).horizontalAdvance(QStringLiteral("1234 MB/s")), 2);
    QFont large = small;
    large.setPixelSize(20);
    list->SetListFont(large);  // the cached advances must not outlive the font
    EXPECT_GT(list->TextWidth("1234 MB/s"), narrow + narrow / 2);
    EXPECT_GT(list->TextWidth("\xC3\xBC"), 0);  // beyond ASCII: measured as a whole
    EXPECT_EQ(list->TextWidth(""), 0);
}
