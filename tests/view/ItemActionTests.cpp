// UM_ITEMACTION: the actions by code and item kind, with real loaded test modules.
#include "tests/view/ViewFixture.h"

namespace {

class ItemActionTest : public ViewTest {
protected:
    std::vector<std::string> Modules() const override { return {"Five", "Ten"}; }

    void SetUp() override {
        ViewTest::SetUp();
        StartUp();
        five = Branch("Five");
        ten = Branch("Ten");
        ASSERT_NE(five, nullptr);
        ASSERT_NE(ten, nullptr);
        five->AddTip(60, 1234, 5678);
        tipIndex = five->GetTipCount() - 1;
        model = five->FindAttr("Model");
        ASSERT_GE(model, 0);
    }
    // The first analyzer's branch heads the tree; the others lie in its subtree.
    CKQTreeEntry* Branch(const std::string& name) {
        CKQTreeEntry* head = doc->SystemTree().GetHead();
        if (!head || head->GetKey() == name) return head;
        return head->GetSubtree() ? head->GetSubtree()->Find(name) : nullptr;
    }
    intptr_t Act(int code, const CDetailItem* item) {
        return view->SendMessage(UM_ITEMACTION, uintptr_t(code), reinterpret_cast<intptr_t>(item));
    }
    CDetailItem Entry(CKQTreeEntry* e, KQAID id) { return CDetailItem(e, id, DETAIL_ENTRY, 0); }
    CDetailItem Attr(int index) { return CDetailItem(five, 5, DETAIL_ATTR, index); }
    CDetailItem Tip(int index) { return CDetailItem(five, 5, DETAIL_TIP, index); }
    std::string RightText() { return view->m_detailsPane.RightPane()->GetText(); }
    CPane* Pane(int i) {
        CPane* panes[5] = {&view->m_summaryPane, &view->m_databasePane, &view->m_chartsPane,
                           &view->m_reportsPane, &view->m_detailsPane};
        return panes[i];
    }

    CKQTreeEntry* five = nullptr;
    CKQTreeEntry* ten = nullptr;
    int tipIndex = 0;
    int model = 0;
};

using Help = FakeHost::Help;

}  // namespace

TEST_F(ItemActionTest, HelpCodesOpenTheAnalyzersHelpAtTheItemsContext) {
    for (int code : {IA_HELP, IA_TREE_HELP}) {
        host.help.clear();
        const CDetailItem entry = Entry(five, 5), attr = Attr(model), tip = Tip(tipIndex);
        EXPECT_EQ(Act(code, &entry), 0);
        EXPECT_EQ(Act(code, &attr), 0);
        EXPECT_EQ(Act(code, &tip), 0);
        EXPECT_EQ(host.help, (std::vector<Help>{{"Five", 0}, {"Five", 7}, {"Five", 1234}})) << code;
    }
}

TEST_F(ItemActionTest, SummaryHelpCodeTwoIgnoresEntries) {
    const CDetailItem entry = Entry(five, 5), attr = Attr(model), tip = Tip(tipIndex);
    Act(IA_SUMMARY_HELP, &entry);
    Act(IA_SUMMARY_HELP, &attr);
    Act(IA_SUMMARY_HELP, &tip);
    EXPECT_EQ(host.help, (std::vector<Help>{{"Five", 7}, {"Five", 1234}}));
}

TEST_F(ItemActionTest, CodeThreeTakesTheSummaryItemNotTheOneSent) {
    // The Summary pane has described nothing, so there is no item to act on.
    const CDetailItem attr = Attr(model);
    Act(IA_SUMMARY_BOX, &attr);
    EXPECT_TRUE(host.help.empty());
}

TEST_F(ItemActionTest, CodeNineTakesTheTreesSelectedItem) {
    view->OnCommand(ID_VIEW_DETAILS);
    CMyTreeCtrl* tree = view->m_detailsPane.Tree();
    ASSERT_NE(tree, nullptr);
    // Select the "Model" attribute row of the Five branch.
    QTreeWidgetItem* row = nullptr;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        const CDetailItem* d = tree->ItemData(*it);
        if (d && d->m_entry == five && d->m_kind == DETAIL_ATTR && d->m_index == model) row = *it;
    }
    ASSERT_NE(row, nullptr);
    tree->setCurrentItem(row);
    const CDetailItem other = Entry(ten, 10);
    Act(IA_DETAILS_BOX, &other);
    EXPECT_EQ(host.help, (std::vector<Help>{{"Five", 7}}));
    // Tell Me More on the Details pane goes the same way.
    view->OnCommand(ID_TELL_ME_MORE);
    EXPECT_EQ(host.help.size(), 2u);
    EXPECT_EQ(host.defaultHelp, 0);
}

TEST_F(ItemActionTest, CodeTenOpensDefaultHelpWithOrWithoutAnItem) {
    const CDetailItem attr = Attr(model);
    Act(IA_DEFAULT_HELP, &attr);
    Act(IA_DEFAULT_HELP, nullptr);
    EXPECT_EQ(host.defaultHelp, 2);
    EXPECT_TRUE(host.help.empty());
}

TEST_F(ItemActionTest, WithoutAnItemNothingHappens) {
    // Codes 3 and 9 bring their own item from the panes; the others need one sent.
    for (int code : {1, 2, 4, 5, 6, 7, 8}) EXPECT_EQ(Act(code, nullptr), 0);
    EXPECT_TRUE(host.help.empty());
    EXPECT_EQ(host.defaultHelp, 0);
}

TEST_F(ItemActionTest, OutOfRangeIndexesActOnEmptyData) {
    const CDetailItem tip = Tip(five->GetTipCount() + 3), attr = Attr(500);
    const CDetailItem noEntry(nullptr, 5, DETAIL_ATTR, 0);
    Act(IA_HELP, &tip);
    Act(IA_HELP, &attr);
    Act(IA_HELP, &noEntry);
    EXPECT_EQ(host.help, (std::vector<Help>{{"Five", 0}, {"Five", 0}, {"Five", 0}}));
}

TEST_F(ItemActionTest, HelpForAnUnknownAnalyzerHasNoName) {
    const CDetailItem entry = Entry(five, 77);
    Act(IA_HELP, &entry);
    EXPECT_EQ(host.help, (std::vector<Help>{{"", 0}}));
}

TEST_F(ItemActionTest, CodeFiveDescribesInTheDetailsRightPane) {
    const CDetailItem attr = Attr(model), tip = Tip(tipIndex), entry = Entry(five, 5);
    Act(IA_DETAILS_DESCRIBE, &attr);
    EXPECT_EQ(RightText(), "Five attr Model");
    // The analyzer scribbles on what it is given; the tree's attribute stays as it was.
    EXPECT_EQ(five->GetAttrValue(model), "Model Five");
    Act(IA_DETAILS_DESCRIBE, &tip);
    EXPECT_EQ(RightText(), "Five desc 1234 5678");
    Act(IA_DETAILS_DESCRIBE, &entry);
    EXPECT_EQ(RightText(), "");
}

TEST_F(ItemActionTest, RunThisTestRunsTheEntrysTestAndMarksEveryPane) {
    view->OnCommand(ID_VIEW_DATABASE);
    CKQTreeEntry* item = five->GetSubtree()->Find("Item");
    ASSERT_NE(item, nullptr);
    for (int i = 0; i < 5; ++i) Pane(i)->m_upToDate = 1;
    frame.status.clear();
    const CDetailItem attr = Attr(model);
    Act(IA_RUN_TEST, &attr);  // not for an attribute
    EXPECT_EQ(item->GetAttrValue("Tested"), "");
    EXPECT_TRUE(frame.status.empty());

    const CDetailItem entry(item, 5, DETAIL_ENTRY, 0);
    Act(IA_RUN_TEST, &entry);
    EXPECT_EQ(item->GetAttrValue("Tested"), "1");
    // Every pane marked; the current one (Database) was shown again, which rebuilt it.
    for (int i = 0; i < 5; ++i) EXPECT_EQ(Pane(i)->m_upToDate, i == 1 ? 1 : 0) << i;
    EXPECT_FALSE(frame.status.empty());
    EXPECT_EQ(view->CurrentPane(), 2);
}

TEST_F(ItemActionTest, SystemPropertiesKeepTheChartsFlag) {
    for (int i = 0; i < 5; ++i) Pane(i)->m_upToDate = 1;
    const CDetailItem tip = Tip(tipIndex);
    Act(IA_PROPERTIES, &tip);  // not for a tip
    EXPECT_EQ(ten->GetAttrValue("Properties"), "");
    EXPECT_EQ(Pane(2)->m_upToDate, 1);

    const CDetailItem entry = Entry(ten, 10);
    Act(IA_PROPERTIES, &entry);
    EXPECT_EQ(ten->GetAttrValue("Properties"), "1");
    // The Summary pane is current: shown again, it rebuilt itself.
    const int expected[5] = {1, 0, 1, 0, 0};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(Pane(i)->m_upToDate, expected[i]) << i;
}

TEST_F(ItemActionTest, UnknownCodeDoesNothing) {
    const CDetailItem entry = Entry(five, 5);
    EXPECT_EQ(Act(42, &entry), 0);
    EXPECT_EQ(Act(0, &entry), 0);
    EXPECT_TRUE(host.help.empty());
    EXPECT_EQ(host.defaultHelp, 0);
}
