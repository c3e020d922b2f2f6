// The main window without a mouse: tab switching keys, the View menu's radio mark, and the
// names a screen reader announces.
#include <QAccessible>
#include <QAction>
#include <QActionGroup>
#include <QTest>

#include "panes/PaneTabCtrl.h"
#include "tests/view/ViewFixture.h"

namespace {

class KeyboardTest : public ViewTest {
protected:
    std::vector<std::string> Modules() const override { return {"Ten"}; }
    void Activate() {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void Press(Qt::Key key, Qt::KeyboardModifiers modifiers) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : view;
        QTest::keyClick(target, key, modifiers);
    }
    std::vector<int> CheckedPanes() {
        view->UpdateCommandUI();
        std::vector<int> checked;
        for (int pane = 1; pane <= 5; ++pane)
            if (view->FindAction(ID_VIEW_SUMMARY + pane - 1)->isChecked()) checked.push_back(pane);
        return checked;
    }
};

}  // namespace

TEST_F(KeyboardTest, CtrlTabAndCtrlPageKeysStepThroughTheTabsRoundTheEnds) {
    StartUp();
    Activate();
    ASSERT_EQ(view->CurrentPane(), 1);
    Press(Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(view->CurrentPane(), 2);
    Press(Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(view->CurrentPane(), 3);
    Press(Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(view->CurrentPane(), 2);
    // Shift+Tab arrives as Backtab on X11 and as Tab elsewhere.
    Press(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(view->CurrentPane(), 1);
    Press(Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(view->CurrentPane(), 5);
    EXPECT_EQ(view->TabCtrl()->GetCurSel(), 4);

    // On the Details pane the tree has the focus; the keys still switch.
    ASSERT_NE(view->m_detailsPane.Tree(), nullptr);
    view->m_detailsPane.Tree()->setFocus();
    Press(Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(view->CurrentPane(), 1);

    // From pane 6, which has no tab, forward lands on the first tab, backward on the last.
    view->OnCommand(ID_VIEW_OPTIONS);
    Press(Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(view->CurrentPane(), 1);
    view->OnCommand(ID_VIEW_OPTIONS);
    Press(Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(view->CurrentPane(), 5);

    // The strip is made again on every resize; the keys keep working.
    window->resize(700, 500);
    QApplication::processEvents();
    Press(Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(view->CurrentPane(), 1);
}

TEST_F(KeyboardTest, ViewMenuMarksTheCurrentPaneLikeARadioButtonAndNoneOnPaneSix) {
    StartUp();
    QActionGroup* group = view->FindAction(ID_VIEW_SUMMARY)->actionGroup();
    ASSERT_NE(group, nullptr);
    EXPECT_TRUE(group->isExclusive());
    for (int pane = 1; pane <= 5; ++pane)
        EXPECT_EQ(view->FindAction(ID_VIEW_SUMMARY + pane - 1)->actionGroup(), group);
    EXPECT_EQ(CheckedPanes(), std::vector<int>{1});
    view->SendMessage(UM_TABCHANGE, 3, 0);  // a click on the Reports tab
    EXPECT_EQ(CheckedPanes(), std::vector<int>{4});
    view->OnCommand(ID_VIEW_DATABASE);
    EXPECT_EQ(CheckedPanes(), std::vector<int>{2});
    view->OnCommand(ID_VIEW_OPTIONS);
    EXPECT_TRUE(CheckedPanes().empty());
    // Choosing the checked item again keeps its mark.
    view->FindAction(ID_VIEW_DETAILS)->trigger();
    view->FindAction(ID_VIEW_DETAILS)->trigger();
    EXPECT_EQ(CheckedPanes(), std::vector<int>{5});
}

TEST_F(KeyboardTest, TreeTabStripDescriptionAndButtonsHaveAccessibleNames) {
    StartUp();
    view->OnCommand(ID_VIEW_DETAILS);
    auto name = [](QWidget* w) {
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(w);
        return face ? face->text(QAccessible::Name) : QString();
    };
    // The strip has its own name; each tab is announced by its text.
    EXPECT_EQ(view->TabCtrl()->accessibleName(), "Panes");
    QAccessibleInterface* tabs = QAccessible::queryAccessibleInterface(view->TabCtrl());
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->childCount() >= 5, true);
    QStringList tabNames;
    for (int i = 0; i < tabs->childCount(); ++i)
        if (tabs->child(i)->role() == QAccessible::PageTab)
            tabNames << tabs->child(i)->text(QAccessible::Name);
    EXPECT_EQ(tabNames, (QStringList{"Summary", "Database", "Charts", "Reports", "Details"}));
    ASSERT_NE(view->m_detailsPane.Tree(), nullptr);
    EXPECT_EQ(name(view->m_detailsPane.Tree()), "System details");
    CRightPane* right = view->m_detailsPane.RightPane();
    ASSERT_NE(right, nullptr);
    EXPECT_EQ(name(right), "Description");
    EXPECT_EQ(name(right->Button()), "Tell Me More");
    // The painted description is readable too.
    right->SetText("The processor's clock.");
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(right);
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->text(QAccessible::Description), "The processor's clock.");
}
