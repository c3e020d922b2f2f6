// The Summary pane after a real run of test modules: highlights, ranked tips, one selection
// across both lists, Tell Me More, filler rows, and the logo's layout.
#include <QMenu>
#include <QTest>
#include <QTreeView>
#include <map>

#include "panes/SummaryPane.h"
#include "tests/view/ViewFixture.h"

namespace {

class SummaryPaneTest : public ViewTest {
protected:
    std::vector<std::string> Modules() const override { return {"Five", "Ten"}; }
    void SetUp() override {
        ViewTest::SetUp();
        StartUp();
        view->OnCommand(ID_FILE_ANALYZE_NOW);
        QApplication::processEvents();
    }
    CSummaryList* Highlights() { return view->m_summaryPane.Highlights(); }
    CSummaryList* Tips() { return view->m_summaryPane.Tips(); }
    void Click(CSummaryList* list, int row, Qt::MouseButton button = Qt::LeftButton) {
        QTreeView* tree = list->View();
        const QRect r = tree->visualRect(list->Model()->index(row, 0));
        QTest::mouseClick(tree->viewport(), button, {}, r.center());
    }
    int RealRows(CSummaryList* list) {
        int n = 0;
        for (int r = 0; r < list->RowCount(); ++r) n += list->GetItemData(r) >= 0;
        return n;
    }
};

}  // namespace

TEST_F(SummaryPaneTest, HighlightsWithTheirValues) {
    CSummaryList* list = Highlights();
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->isVisible());
    EXPECT_EQ(list->WindowText(), QStringLiteral("Highlights of This System"));
    EXPECT_EQ(list->objectName(), QStringLiteral("10"));
    // Both modules flag Item~Speed (data word 5); nothing else is a highlight.
    ASSERT_EQ(RealRows(list), 2);
    for (int r = 0; r < 2; ++r) {
        EXPECT_EQ(list->GetCellText(r, 0), "Item Speed");
        EXPECT_EQ(list->GetCellText(r, 1), "100");
        EXPECT_EQ(list->ItemOfRow(r)->m_kind, DETAIL_ATTR);
    }
    EXPECT_NE(list->ItemOfRow(0)->m_kqaid, list->ItemOfRow(1)->m_kqaid);
    EXPECT_LE(list->GetColumnWidth(0), 30 * QFontMetrics(view->font()).averageCharWidth());
}

TEST_F(SummaryPaneTest, EveryTipRankedByPriorityWithIconAndPath) {
    CSummaryList* list = Tips();
    EXPECT_EQ(list->WindowText(), QStringLiteral("Performance Tuning Tips"));
    // A status note (below 0) is listed too, last, without an icon.
    ASSERT_FALSE(doc->SystemTree().IsEmpty());
    doc->SystemTree().GetHead()->AddTip(-1, 777, 778);
    view->m_summaryPane.m_upToDate = 0;
    view->SwitchToPane(1);

    const int n = RealRows(list);
    ASSERT_GE(n, 11);
    int previous = 1000;
    for (int r = 0; r < n; ++r) {
        const CDetailItem* item = list->ItemOfRow(r);
        ASSERT_NE(item, nullptr);
        EXPECT_LE(item->m_sortKey, previous) << r;
        previous = item->m_sortKey;
        EXPECT_EQ(list->GetItemImage(r), CSummaryPane::TipIcon(item->m_sortKey));
    }
    EXPECT_EQ(list->ItemOfRow(n - 1)->m_sortKey, -1);
    EXPECT_EQ(CSummaryPane::TipIcon(80), 3);
    EXPECT_EQ(CSummaryPane::TipIcon(79), 2);
    EXPECT_EQ(CSummaryPane::TipIcon(50), 2);
    EXPECT_EQ(CSummaryPane::TipIcon(49), 1);
    EXPECT_GE(CSummaryPane::TipIcon(0), list->ImageCount());
    EXPECT_GE(CSummaryPane::TipIcon(-1), list->ImageCount());
    // The tip of the entry "Item" carries its path.
    bool labelled = false;
    for (int r = 0; r < n; ++r)
        if (list->GetCellText(r, 0).ends_with(" (Item)")) labelled = true;
    EXPECT_TRUE(labelled);
    EXPECT_EQ(list->SelectedRows(), std::vector<int>{0});
}

TEST_F(SummaryPaneTest, TheTwoListsActAsOneSelection) {
    QApplication::processEvents();
    Click(Highlights(), 0);
    EXPECT_TRUE(Highlights()->IsRowSelected(0));
    EXPECT_EQ(Tips()->SelectedCount(), 0);
    const CDetailItem* item = view->m_summaryPane.CurrentItem();
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->m_kind, DETAIL_ATTR);
    const std::string attrText = view->m_summaryPane.Description()->GetText();

    Click(Tips(), 1);
    EXPECT_TRUE(Tips()->IsRowSelected(1));
    EXPECT_EQ(Highlights()->SelectedCount(), 0);
    ASSERT_NE(view->m_summaryPane.CurrentItem(), nullptr);
    EXPECT_EQ(view->m_summaryPane.CurrentItem()->m_kind, DETAIL_TIP);
    EXPECT_NE(view->m_summaryPane.Description()->GetText(), attrText);

    // Tell Me More on the Summary pane: help at the described tip's text resource.
    view->OnCommand(ID_TELL_ME_MORE);
    ASSERT_EQ(host.help.size(), 1u);
    const CDetailItem* tip = view->m_summaryPane.CurrentItem();
    EXPECT_EQ(host.help[0].context, tip->m_entry->GetTip(tip->m_index)->m_textID);
}

TEST_F(SummaryPaneTest, DoubleClickAndMenuAskForHelpButNotForAnalyzerZeroItems) {
    QApplication::processEvents();
    CSummaryList* tips = Tips();
    int menus = 0;
    tips->m_trackMenu = [&](QMenu*, const QPoint&) {
        ++menus;
        return 32792;
    };
    Click(tips, 0, Qt::RightButton);
    EXPECT_EQ(menus, 1);
    EXPECT_EQ(tips->LastClickedRow(), 0);
    EXPECT_EQ(host.help.size(), 1u);

    QTreeView* tree = tips->View();
    const QRect r = tree->visualRect(tips->Model()->index(2, 0));
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, r.center());
    EXPECT_EQ(host.help.size(), 2u);

    // A list whose only item has analyzer ID 0: no menu, no help.
    CWnd* owner = view;
    CSummaryList lone(11, view, owner);
    lone.resize(200, 200);
    lone.InsertColumn(0, QString(), 150);
    lone.AppendItem(CDetailItem(doc->SystemTree().GetHead(), 0, DETAIL_TIP, 0, 50), {"x"}, 1);
    lone.EnableMenu(true);
    lone.SetTellMeMoreCode(IA_SUMMARY_BOX);
    lone.m_trackMenu = tips->m_trackMenu;
    lone.OnRightClick(0, QPoint());
    lone.OnDoubleClick(0);
    EXPECT_EQ(menus, 1);
    EXPECT_EQ(host.help.size(), 2u);
}

TEST(SummaryList, FillerRowsOnlyForAListOfAtLeastAPageMinusOne) {
    CSummaryList list(10, nullptr, nullptr);
    list.resize(200, 200);
    list.InsertColumn(0, QString(), 150);
    const int page = list.RowsPerPage();
    ASSERT_GT(page, 3);
    for (int i = 0; i < page - 2; ++i) list.AppendItem(CDetailItem(), {"r"}, -1);
    list.AppendFillerRows();
    EXPECT_EQ(list.RowCount(), page - 2);

    list.AppendItem(CDetailItem(), {"r"}, -1);
    list.AppendFillerRows();
    ASSERT_EQ(list.RowCount(), page + 1);
    EXPECT_EQ(list.GetItemData(page), CSummaryList::kFiller);
    EXPECT_EQ(list.GetCellText(page, 0), "");

    // Clicking a filler row selects nothing.
    list.EnableNotify(true);
    list.SetFocusRow(page);
    list.SelectRow(page, true);
    EXPECT_FALSE(list.IsRowSelected(page));
}

TEST_F(SummaryPaneTest, ColumnsFollowTheListsWidthWhenTheWindowGrows) {
    // As maximising does: the lists widen, and a selected row is highlighted to their edge.
    window->resize(1400, 900);
    QApplication::processEvents();
    ASSERT_GT(Tips()->ClientWidth(), 600);
    EXPECT_EQ(Tips()->GetColumnWidth(0), Tips()->ClientWidth());
    EXPECT_EQ(Highlights()->GetColumnWidth(0) + Highlights()->GetColumnWidth(1),
              Highlights()->ClientWidth());
    window->resize(700, 500);
    QApplication::processEvents();
    EXPECT_EQ(Tips()->GetColumnWidth(0), Tips()->ClientWidth());
}

TEST_F(ViewTest, EmptyTreeGivesEmptyListsWithoutFillerRows) {
    StartUp();
    EXPECT_EQ(view->m_summaryPane.Highlights()->RowCount(), 0);
    EXPECT_EQ(view->m_summaryPane.Tips()->RowCount(), 0);
}

TEST_F(ViewTest, PanelButtonsAndLinkRunTheirCommands) {
    app.SetBrowserCommand("firefox %u");
    StartUp();
    CSummaryPanel* panel = view->m_summaryPane.Panel();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible());
    panel->HelpButton()->click();
    EXPECT_EQ(host.helpIndex, 1);
    panel->Link()->click();
    EXPECT_EQ(host.pages, std::vector<std::string>{"Quillon.html"});
    EXPECT_TRUE(panel->Link()->LinkEnabled());
    const int before = frame.progressCreated;
    panel->AnalyzeButton()->click();
    EXPECT_EQ(frame.progressCreated, before + 1);
    EXPECT_EQ(panel->AnalyzeButton()->text(), QStringLiteral("Analyze Now"));
}

TEST(LogoLayout, FitsThePanelAndScalesDownOnceWhenNarrower) {
    const QString title = QString::fromUtf8("Quillon\u00AE 97");
    const QString subtitle = QStringLiteral("Check & Care Kit");
    const QRect wide(0, 0, 400, 240);
    const CLogoLayout normal = CLogoLayout::Make(wide, title, subtitle);
    EXPECT_FALSE(normal.rescaled);
    EXPECT_EQ(normal.a, 80);
    EXPECT_EQ(normal.word, QString::fromUtf8("QUILLON\u00AE"));
    EXPECT_EQ(normal.suffix, QStringLiteral("97"));
    EXPECT_LE(normal.width, wide.width());
    EXPECT_TRUE(wide.contains(normal.box));
    EXPECT_EQ(normal.box.width(), 2 * (normal.p / 2) + normal.w1);
    EXPECT_GT(normal.d, 0);
    EXPECT_LE(normal.d, normal.s);

    // Narrower than the logo at a = height / 3: laid out again with a smaller a.
    const QRect narrow(0, 0, normal.width / 2, 240);
    const CLogoLayout small = CLogoLayout::Make(narrow, title, subtitle);
    EXPECT_TRUE(small.rescaled);
    EXPECT_EQ(small.a, 80 * narrow.width() / normal.width);
    EXPECT_LT(small.width, normal.width);
    EXPECT_LE(small.width, narrow.width() + small.w1 / 4);  // one rescale, not a fit loop

    // The panel's buttons are no wider than the logo.
    CSummaryPanel panel(nullptr, false, narrow, nullptr);
    const int pair = panel.HelpButton()->geometry().right() - panel.AnalyzeButton()->x() + 1;
    EXPECT_LE(pair, panel.Logo().width + 2);
    EXPECT_FALSE(panel.Link()->LinkEnabled());
}
