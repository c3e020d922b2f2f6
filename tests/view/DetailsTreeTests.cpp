// The details tree: what it shows, in which order, with which icon; the state it keeps in
// the entries' flags; selection, select next and the context menu.
#include <QAction>
#include <QMenu>
#include <QHelpEvent>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include "panes/MyTreeCtrl.h"
#include "tests/view/ViewFixture.h"

namespace {

class TreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        doc = std::make_unique<CQuillo95Doc>(app, frame);
        parent.resize(400, 400);
        parent.show();
    }
    void TearDown() override {
        delete tree;
        doc.reset();
    }
    CMyTreeCtrl* Make() {
        delete tree;
        tree = new CMyTreeCtrl(doc.get(), &wnd);
        tree->Create(QRect(0, 0, 400, 400), &parent, 22);
        tree->show();
        return tree;
    }
    // A: tips 50, -1, 0; attributes x (alternative icon), y; child C (analyzer 0) with D (9).
    void Sample() {
        a = doc->SystemTree().Add("A");
        b = doc->SystemTree().Add("B");
        a->m_kqaid = 7;
        a->AddTip(50, 11, 12);
        a->AddTip(-1, 13, 14);
        a->AddTip(0, 15, 16);
        a->SetAttr("x", "1", 3, 8);
        a->SetAttr("y", "2", 4, 1);
        c = a->AddSubtree()->Add("C");
        c->SetAttr("z", "3", 0, 0);
        d = c->AddSubtree()->Add("D");
        d->m_kqaid = 9;
        b->SetAttr("never", "shown", 0, 0);
    }
    QStringList Texts(QTreeWidgetItem* item) {
        QStringList texts;
        for (int i = 0; i < item->childCount(); ++i) texts << item->child(i)->text(0);
        return texts;
    }
    QTreeWidgetItem* Find(const QString& text) {
        const auto found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.first();
    }

    CAppState app;
    FakeFrame frame;
    std::unique_ptr<CQuillo95Doc> doc;
    QWidget parent;
    FakeView wnd;
    CMyTreeCtrl* tree = nullptr;
    CKQTreeEntry *a = nullptr, *b = nullptr, *c = nullptr, *d = nullptr;
};

}  // namespace

TEST_F(TreeTest, OnlyTheFirstRootEntryIsShown) {
    Sample();
    Make();
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), QStringLiteral("A"));
    EXPECT_EQ(Find("never = shown"), nullptr);
}

TEST_F(TreeTest, TipsThenAttributesThenChildEntriesWithoutStatusNotes) {
    Sample();
    Make();
    QTreeWidgetItem* top = tree->topLevelItem(0);
    // No analyzer answers for the tips' texts, so their rows are empty.
    EXPECT_EQ(Texts(top), (QStringList{"", "", "x = 1", "y = 2", "C"}));
    std::vector<int> kinds, indexes;
    for (int i = 0; i < top->childCount(); ++i) {
        kinds.push_back(tree->ItemData(top->child(i))->m_kind);
        indexes.push_back(tree->ItemData(top->child(i))->m_index);
    }
    EXPECT_EQ(kinds,
              (std::vector<int>{DETAIL_TIP, DETAIL_TIP, DETAIL_ATTR, DETAIL_ATTR, DETAIL_ENTRY}));
    // The status note (index 1) is skipped, not renumbered.
    EXPECT_EQ(indexes[0], 0);
    EXPECT_EQ(indexes[1], 2);
    // Children counted: one child entry, two attributes, two listed tips.
    EXPECT_EQ(top->data(0, Qt::UserRole + 1).toInt(), 5);
    EXPECT_EQ(top->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    QTreeWidgetItem* leaf = top->child(4)->child(1);  // D under C, after C's attribute
    EXPECT_EQ(leaf->text(0), QStringLiteral("D"));
    EXPECT_EQ(leaf->data(0, Qt::UserRole + 1).toInt(), 0);
}

TEST_F(TreeTest, IconsByPriorityAttributeWordAndEntryBitmap) {
    EXPECT_EQ(CMyTreeCtrl::TipImage(0), 0);
    EXPECT_EQ(CMyTreeCtrl::TipImage(1), 1);
    EXPECT_EQ(CMyTreeCtrl::TipImage(49), 1);
    EXPECT_EQ(CMyTreeCtrl::TipImage(50), 2);
    EXPECT_EQ(CMyTreeCtrl::TipImage(79), 2);
    EXPECT_EQ(CMyTreeCtrl::TipImage(80), 3);

    Sample();
    c->m_bitmap = 146;   // a bitmap the program has
    d->m_bitmap = 4321;  // one nobody has
    CKQTreeEntry* e = d->AddSubtree()->Add("E");
    e->m_bitmap = 146;
    Make();
    QTreeWidgetItem* top = tree->topLevelItem(0);
    EXPECT_EQ(tree->ItemImage(top), 5);
    EXPECT_EQ(tree->ItemImage(top->child(0)), 2);  // priority 50
    EXPECT_EQ(tree->ItemImage(top->child(1)), 0);  // priority 0
    EXPECT_EQ(tree->ItemImage(top->child(2)), 6);  // data word bit 3
    EXPECT_EQ(tree->ItemImage(top->child(3)), 4);
    EXPECT_EQ(tree->ItemImage(Find("C")), 7);
    EXPECT_EQ(tree->ItemImage(Find("D")), 5);  // failed to load: the plain entry icon
    EXPECT_EQ(tree->ItemImage(Find("E")), 7);  // one image per distinct bitmap
    ASSERT_EQ(tree->Images().size(), 8u);
    for (const QPixmap& image : tree->Images()) EXPECT_EQ(image.size(), QSize(16, 16));
    // The strip's mask colour is transparent.
    const QImage entry = tree->Images()[5].toImage();
    EXPECT_EQ(qAlpha(entry.pixel(0, 0)), 0);
}

TEST_F(TreeTest, AnalyzerIdIsInheritedByEntriesWithoutOne) {
    Sample();
    Make();
    EXPECT_EQ(tree->ItemData(Find("C"))->m_kqaid, 7);
    EXPECT_EQ(tree->ItemData(Find("z = 3"))->m_kqaid, 7);
    EXPECT_EQ(tree->ItemData(Find("D"))->m_kqaid, 9);
}

TEST_F(TreeTest, ExpansionAndSelectionLiveInTheEntryFlags) {
    Sample();
    a->m_flags = 1;
    c->m_flags = 2;
    Make();
    EXPECT_TRUE(tree->topLevelItem(0)->isExpanded());
    EXPECT_FALSE(Find("C")->isExpanded());
    ASSERT_EQ(tree->currentItem(), Find("C"));
    ASSERT_EQ(wnd.itemCodes, std::vector<int>{IA_DETAILS_DESCRIBE});
    EXPECT_EQ(wnd.items[0].m_entry, c);

    tree->setCurrentItem(Find("y = 2"));
    EXPECT_EQ(c->m_flags & 2u, 0u);
    EXPECT_EQ(a->m_flags & 2u, 2u);  // the attribute's entry
    ASSERT_EQ(wnd.items.size(), 2u);
    EXPECT_EQ(wnd.items[1].m_kind, DETAIL_ATTR);
    EXPECT_EQ(wnd.items[1].m_index, 1);

    tree->topLevelItem(0)->setExpanded(false);
    EXPECT_EQ(a->m_flags & 1u, 0u);
    tree->topLevelItem(0)->setExpanded(true);
    Find("C")->setExpanded(true);
    EXPECT_EQ(c->m_flags & 1u, 1u);

    // A refill and a new tree both come back to the same state.
    for (int round = 0; round < 2; ++round) {
        if (round == 0)
            tree->Fill();
        else
            Make();
        EXPECT_TRUE(tree->topLevelItem(0)->isExpanded()) << round;
        EXPECT_TRUE(Find("C")->isExpanded()) << round;
        EXPECT_EQ(tree->currentItem(), tree->topLevelItem(0)) << round;
    }
}

TEST_F(TreeTest, FillingRaisesOnlyTheFinalSelection) {
    Sample();
    c->m_flags = 2;
    Make();
    tree->setCurrentItem(Find("D"));
    wnd.itemCodes.clear();
    wnd.items.clear();
    tree->Fill();
    ASSERT_EQ(wnd.itemCodes.size(), 1u);
    EXPECT_EQ(wnd.items[0].m_entry, d);
    EXPECT_EQ(d->m_flags & 2u, 2u);
}

TEST_F(TreeTest, NoSelectionGivesNoItem) {
    Sample();
    Make();
    EXPECT_EQ(tree->GetSelectedItem(), nullptr);
    tree->OnCommand(32792);
    tree->OnCommand(32787);
    EXPECT_TRUE(wnd.itemCodes.empty());
}

TEST_F(TreeTest, SelectNextWalksDepthFirstAndWrapsToTheRoot) {
    Sample();
    Make();
    QStringList order;
    tree->setCurrentItem(nullptr);
    for (int i = 0; i < 10; ++i) {
        tree->SelectNext();
        order << tree->currentItem()->text(0);
    }
    EXPECT_EQ(order, (QStringList{"A", "", "", "x = 1", "y = 2", "C", "z = 3", "D", "A", ""}));
}

TEST_F(TreeTest, CommandsAndDoubleClickSendTheirCodesWithTheSelection) {
    Sample();
    Make();
    tree->setCurrentItem(Find("C"));
    wnd.itemCodes.clear();
    tree->OnCommand(32792);
    tree->OnCommand(32787);
    tree->OnCommand(32794);
    EXPECT_EQ(wnd.itemCodes, (std::vector<int>{IA_TREE_HELP, IA_RUN_TEST, IA_PROPERTIES}));
    wnd.itemCodes.clear();
    const QRect row = tree->visualItemRect(Find("C"));
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, row.center());
    ASSERT_FALSE(wnd.itemCodes.empty());
    EXPECT_EQ(wnd.itemCodes.back(), IA_TREE_HELP);
    EXPECT_EQ(wnd.items.back().m_entry, c);
}

TEST_F(TreeTest, ContextMenuOnEmptySpaceShowsNothingAndKeepsTheSelection) {
    Sample();
    c->m_flags = 2;
    a->m_flags = 1;
    Make();
    QTreeWidgetItem* selected = tree->currentItem();
    ASSERT_NE(selected, nullptr);
    EXPECT_EQ(tree->PrepareContextMenu(QPoint(5, tree->viewport()->height() - 3)), nullptr);
    EXPECT_EQ(tree->currentItem(), selected);
}

TEST_F(TreeTest, ContextMenuSelectsTheRowAndEnablesRunOnlyForEntries) {
    Sample();
    a->m_flags = 1;
    Make();
    QTreeWidgetItem* attr = Find("x = 1");
    QMenu* menu = tree->PrepareContextMenu(tree->visualItemRect(attr).center());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(tree->currentItem(), attr);
    QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), 2);  // no analyzer offers properties here
    EXPECT_EQ(actions[0]->data().toInt(), 32792);
    EXPECT_EQ(actions[1]->data().toInt(), 32787);
    EXPECT_FALSE(actions[1]->isEnabled());

    menu = tree->PrepareContextMenu(tree->visualItemRect(Find("C")).center());
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->actions()[1]->isEnabled());
}

// ---- with loaded modules, inside the view ----

class TreeInViewTest : public ViewTest {
protected:
    std::vector<std::string> Modules() const override { return {"Five", "Ten"}; }
    QTreeWidgetItem* Find(CMyTreeCtrl* tree, const QString& text) {
        const auto found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.first();
    }
};

TEST_F(TreeInViewTest, PropertiesOnlyForAnAnalyzerThatOffersThem) {
    StartUp();
    view->OnCommand(ID_VIEW_DETAILS);
    CMyTreeCtrl* tree = view->m_detailsPane.Tree();
    QTreeWidgetItem* ten = Find(tree, "Ten");
    QTreeWidgetItem* five = Find(tree, "Five");
    ASSERT_NE(ten, nullptr);
    ASSERT_NE(five, nullptr);
    tree->scrollToItem(ten);
    QMenu* menu = tree->PrepareContextMenu(tree->visualItemRect(ten).center());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->actions().size(), 3);
    EXPECT_EQ(menu->actions()[2]->data().toInt(), 32794);
    EXPECT_EQ(menu->actions()[2]->text().toStdString(), LoadKQString(IDS_MENU_SYSTEM_PROPERTIES));

    tree->scrollToItem(five);
    menu = tree->PrepareContextMenu(tree->visualItemRect(five).center());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->actions().size(), 2);

    // An attribute of Ten: an entry is needed.
    tree->expandAll();
    QTreeWidgetItem* attr = nullptr;
    for (int i = 0; i < ten->childCount(); ++i)
        if (tree->ItemData(ten->child(i))->m_kind == DETAIL_ATTR) attr = ten->child(i);
    ASSERT_NE(attr, nullptr);
    tree->scrollToItem(attr);
    menu = tree->PrepareContextMenu(tree->visualItemRect(attr).center());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->actions().size(), 2);
}

TEST_F(TreeInViewTest, TipTextsComeFromTheInheritedAnalyzer) {
    StartUp();
    view->OnCommand(ID_FILE_ANALYZE_NOW);
    view->OnCommand(ID_VIEW_DETAILS);
    CMyTreeCtrl* tree = view->m_detailsPane.Tree();
    // Item has no analyzer ID of its own: its tip is Five's.
    EXPECT_NE(Find(tree, "Five tip 5005 5105"), nullptr);
    EXPECT_NE(Find(tree, "Ten tip 10001 10101"), nullptr);
}

TEST_F(TreeInViewTest, SelectionDescribesAndSurvivesAResize) {
    StartUp();
    view->OnCommand(ID_VIEW_DETAILS);
    CMyTreeCtrl* tree = view->m_detailsPane.Tree();
    QTreeWidgetItem* model = Find(tree, "Model = Model Five");
    ASSERT_NE(model, nullptr);
    tree->setCurrentItem(model);
    EXPECT_EQ(view->m_detailsPane.RightPane()->GetText(), "Five attr Model");
    QTreeWidgetItem* item = Find(tree, "Item");
    ASSERT_NE(item, nullptr);
    tree->expandItem(item);

    window->resize(700, 450);
    QApplication::processEvents();
    CMyTreeCtrl* again = view->m_detailsPane.Tree();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->geometry().width(), view->width() / 2);
    // The entry of the selected attribute is selected again; the opened branch stays open.
    ASSERT_NE(again->currentItem(), nullptr);
    EXPECT_EQ(again->currentItem()->text(0), QStringLiteral("Five"));
    EXPECT_TRUE(Find(again, "Item")->isExpanded());
    EXPECT_TRUE(Find(again, "Five")->isExpanded());
    EXPECT_TRUE(again->isVisible());
}

namespace {

// Records the texts and enabled states of the pop-up menu the next key press opens, then
// closes it (choosing the command named by choose, when given).
struct PopupProbe {
    QStringList texts;
    std::vector<bool> enabled;
    bool seen = false;
    void Arm(const QString& choose = QString()) {
        QTimer::singleShot(0, [this, choose] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu) return;
            seen = true;
            QAction* chosen = nullptr;
            for (QAction* a : menu->actions()) {
                texts << a->text();
                enabled.push_back(a->isEnabled());
                if (a->text() == choose) chosen = a;
            }
            if (chosen) {
                // As the user chooses it: the menu closes and its exec answers the command.
                menu->setActiveAction(chosen);
                QTest::keyClick(menu, Qt::Key_Return);
            } else {
                menu->close();
            }
        });
    }
};

}  // namespace

TEST_F(TreeTest, ReturnActsAsDoubleClickAndShiftF10OrMenuKeyOpenTheCaretItemsMenu) {
    Sample();
    Make();
    tree->expandAll();
    tree->setFocus();
    tree->setCurrentItem(Find("x = 1"));
    wnd.itemCodes.clear();
    wnd.items.clear();
    QTest::keyClick(tree, Qt::Key_Return);
    QTest::keyClick(tree, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClick(tree, Qt::Key_Return, Qt::ControlModifier);  // not this one
    EXPECT_EQ(wnd.itemCodes, (std::vector<int>{IA_TREE_HELP, IA_TREE_HELP}));
    ASSERT_EQ(wnd.items.size(), 2u);
    EXPECT_EQ(wnd.items[0].m_kind, DETAIL_ATTR);
    EXPECT_EQ(wnd.items[0].m_index, 0);

    PopupProbe attrMenu;
    attrMenu.Arm();
    QTest::keyClick(tree, Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_TRUE(attrMenu.seen);
    EXPECT_EQ(attrMenu.texts, (QStringList{"&Tell Me More", "&Run This Test"}));
    EXPECT_EQ(attrMenu.enabled, (std::vector<bool>{true, false}));  // not an entry
    EXPECT_EQ(tree->currentItem(), Find("x = 1"));

    // The Menu key on an entry, choosing Run This Test.
    tree->setCurrentItem(Find("C"));
    wnd.itemCodes.clear();
    PopupProbe entryMenu;
    entryMenu.Arm("&Run This Test");
    QTest::keyClick(tree, Qt::Key_Menu);
    ASSERT_TRUE(entryMenu.seen);
    EXPECT_EQ(entryMenu.enabled, (std::vector<bool>{true, true}));
    EXPECT_EQ(wnd.itemCodes, (std::vector<int>{IA_RUN_TEST}));
    EXPECT_FALSE(tree->IsMenuShowing());

    // Nothing focused: no menu.
    tree->setCurrentItem(nullptr);
    PopupProbe none;
    none.Arm();
    QTest::keyClick(tree, Qt::Key_F10, Qt::ShiftModifier);
    QApplication::processEvents();
    EXPECT_FALSE(none.seen);
}

TEST_F(TreeTest, ItemsCutOffShowTheirWholeTextAsToolTip) {
    Sample();
    const QString longText =
        QStringLiteral("Processor = a name far too long to be shown in a narrow details tree");
    a->SetAttr("Processor", "a name far too long to be shown in a narrow details tree", 0, 0);
    Make();
    tree->expandAll();
    tree->setGeometry(0, 0, 160, 300);
    QApplication::processEvents();
    QTreeWidgetItem* cut = Find(longText);
    QTreeWidgetItem* whole = Find("x = 1");
    ASSERT_NE(cut, nullptr);
    EXPECT_TRUE(tree->IsTextCutOff(cut));
    EXPECT_FALSE(tree->IsTextCutOff(whole));

    auto help = [&](QTreeWidgetItem* item) {
        const QPoint at = tree->visualItemRect(item).center();
        QHelpEvent event(QEvent::ToolTip, at, tree->viewport()->mapToGlobal(at));
        QApplication::sendEvent(tree->viewport(), &event);
        return event.isAccepted();
    };
    EXPECT_TRUE(help(cut));
    EXPECT_EQ(QToolTip::text(), longText);
    EXPECT_FALSE(help(whole));

    // Wide enough: nothing is cut, no tip.
    tree->setGeometry(0, 0, 800, 300);
    QApplication::processEvents();
    EXPECT_FALSE(tree->IsTextCutOff(cut));
    EXPECT_FALSE(help(cut));
    QToolTip::hideText();
}
