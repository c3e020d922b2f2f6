// The tab strip's notification and the description box with its button.
#include <QMouseEvent>
#include <QTest>

#include "panes/PaneTabCtrl.h"
#include "panes/RightPane.h"
#include "tests/view/ViewFixture.h"

namespace {

int DarkPixels(const QImage& image, const QRect& rect) {
    int n = 0;
    for (int y = std::max(0, rect.top()); y <= std::min(image.height() - 1, rect.bottom()); ++y)
        for (int x = std::max(0, rect.left()); x <= std::min(image.width() - 1, rect.right()); ++x)
            if (qGray(image.pixel(x, y)) < 128) ++n;
    return n;
}

class RightPaneTest : public ::testing::Test {
protected:
    void SetUp() override {
        parent.resize(400, 300);
        parent.show();
    }
    CRightPane* Make(bool visible, QRect rect = QRect(10, 10, 300, 200)) {
        auto* pane = new CRightPane(&owner);
        pane->Create(rect, &parent, 23, false, visible);
        pane->SetTellMeMoreCode(IA_DETAILS_BOX);
        return pane;
    }
    QImage Grab(CRightPane* pane) {
        return pane->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    QWidget parent;
    FakeView owner;
};

}  // namespace

TEST(PaneTabCtrlTest, NoSelectionSendsNothing) {
    QWidget parent;
    FakeView owner;
    CPaneTabCtrl tabs(&owner, &parent, QRect(0, 0, 300, 30));
    tabs.InsertItem(0, "A", 1);
    tabs.InsertItem(1, "B", 2);
    EXPECT_TRUE(owner.messages.empty());  // filling raises nothing
    tabs.OnSelChange(-1);
    EXPECT_TRUE(owner.messages.empty());
    tabs.OnSelChange(1);
    ASSERT_EQ(owner.messages.size(), 1u);
    EXPECT_EQ(owner.messages[0].message, uint32_t(UM_TABCHANGE));
    EXPECT_EQ(owner.messages[0].wParam, 1u);
    // A selection set by the program raises no notification either.
    tabs.SetCurSel(0);
    tabs.SetCurSel(7);
    EXPECT_EQ(owner.messages.size(), 1u);
    EXPECT_EQ(tabs.GetCurSel(), -1);
    EXPECT_EQ(tabs.GetItemData(1), 2);
}

TEST_F(RightPaneTest, ButtonIsMeasuredFromTheParentsFontAndSitsCentredAtTheBottom) {
    CRightPane* pane = Make(true);
    const QFontMetrics metrics(parent.font());
    const int w = metrics.horizontalAdvance(QString::fromStdString(LoadKQString(IDS_TELL_ME_MORE)));
    EXPECT_EQ(pane->ButtonHeight(), (metrics.height() * 7 + 2) / 4);
    EXPECT_EQ(pane->ButtonWidth(), 2 * metrics.averageCharWidth() + w);
    QPushButton* button = pane->Button();
    EXPECT_EQ(button->text().toStdString(), LoadKQString(IDS_TELL_ME_MORE));
    EXPECT_EQ(button->size(), QSize(pane->ButtonWidth(), pane->ButtonHeight()));
    EXPECT_EQ(button->x(), (300 - pane->ButtonWidth()) / 2);
    EXPECT_EQ(button->y() + button->height(), 200);

    // Resizing moves the button, never resizes it.
    pane->resize(500, 120);
    EXPECT_EQ(button->size(), QSize(pane->ButtonWidth(), pane->ButtonHeight()));
    EXPECT_EQ(button->x(), (500 - pane->ButtonWidth()) / 2);
    EXPECT_EQ(button->y() + button->height(), 120);
}

TEST_F(RightPaneTest, CreatedHiddenTheButtonIsHiddenAndShowsWithThePane) {
    CRightPane* pane = Make(false);
    EXPECT_TRUE(pane->isHidden());
    EXPECT_TRUE(pane->Button()->isHidden());
    pane->Show(true);
    EXPECT_TRUE(pane->isVisible());
    EXPECT_TRUE(pane->Button()->isVisible());
    pane->Show(false);
    EXPECT_TRUE(pane->Button()->isHidden());
}

TEST_F(RightPaneTest, ButtonAndContextCommandSendTheOwnersCode) {
    CRightPane* pane = Make(true);
    QTest::mouseClick(pane->Button(), Qt::LeftButton);
    ASSERT_EQ(owner.messages.size(), 1u);
    EXPECT_EQ(owner.messages[0].message, uint32_t(UM_ITEMACTION));
    EXPECT_EQ(owner.messages[0].wParam, uintptr_t(IA_DETAILS_BOX));
    EXPECT_EQ(owner.messages[0].lParam, 0);
}

TEST_F(RightPaneTest, DoubleClickOpensDefaultHelpEvenWithAnItemShown) {
    CRightPane* pane = Make(true);
    pane->SetText("Processor speed");
    QTest::mouseDClick(pane, Qt::LeftButton, {}, QPoint(20, 20));
    ASSERT_FALSE(owner.messages.empty());
    EXPECT_EQ(owner.messages.back().message, uint32_t(UM_ITEMACTION));
    EXPECT_EQ(owner.messages.back().wParam, uintptr_t(IA_DEFAULT_HELP));
    EXPECT_EQ(owner.messages.back().lParam, 0);
}

TEST_F(RightPaneTest, EmptyTextShowsAnEmptyBoxWithTheButton) {
    CRightPane* pane = Make(true);
    const QImage image = Grab(pane);
    EXPECT_EQ(DarkPixels(image, pane->TextRect()), 0);
    EXPECT_TRUE(pane->Button()->isVisible());
}

TEST_F(RightPaneTest, AmpersandIsShownAsItIs) {
    CRightPane* pane = Make(true);
    pane->SetText("&");
    EXPECT_GT(DarkPixels(Grab(pane), pane->TextRect()), 0);
}

TEST_F(RightPaneTest, LongTextWrapsAndIsCutAboveTheButton) {
    CRightPane* pane = Make(true, QRect(0, 0, 200, 120));
    std::string text;
    for (int i = 0; i < 200; ++i) text += "word ";
    pane->SetText(text);
    const QImage image = Grab(pane);
    const QRect box = pane->TextRect();
    // Wrapped: the text reaches the lowest line of the box, not only the first.
    EXPECT_GT(DarkPixels(image, QRect(0, box.bottom() - 20, 200, 20)), 0);
    // Nothing is drawn beside the button below the box.
    const QRect left(0, box.bottom() + 1, pane->Button()->x() - 1, 120 - box.bottom() - 1);
    EXPECT_EQ(DarkPixels(image, left), 0);
    EXPECT_EQ(box.bottom(), 120 - pane->ButtonHeight() - 1);
}
