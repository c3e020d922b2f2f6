#include "panes/PaneTabCtrl.h"

#include <QAction>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyleOptionTab>
#include <QStylePainter>

#include "analyzers/KQAnalyzer.h"
#include "resources/Strings.h"

CPaneTabCtrl::CPaneTabCtrl(CWnd* owner, QWidget* parent, const QRect& rect)
    : QTabBar(parent), m_owner(owner) {
    setObjectName(QStringLiteral("tab%1").arg(int(kControlID)));
    setDrawBase(true);
    setExpanding(false);
    setGeometry(rect);
    connect(this, &QTabBar::currentChanged, this, [this](int index) {
        if (m_programmatic) return;
        OnSelChange(index);
    });
    // A click on the tab that is current in the bar but not selected (after pane 6).
    connect(this, &QTabBar::tabBarClicked, this, [this](int index) {
        if (index >= 0 && index == currentIndex() && m_curSel < 0) OnSelChange(index);
    });
    setAccessibleName(QString::fromStdString(LoadKQString(IDS_ACC_PANE_TABS)));

    // Anywhere in the window, as in other tabbed programs.
    auto addShortcuts = [this](const QList<QKeySequence>& keys, int step) {
        auto* action = new QAction(this);
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, [this, step] { SelectAdjacent(step); });
        addAction(action);
    };
    addShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)},
                 1);
    addShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab),
                  QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
                  QKeySequence(Qt::CTRL | Qt::Key_PageUp)},
                 -1);
    show();
}

void CPaneTabCtrl::SelectAdjacent(int step) {
    const int n = count();
    if (n == 0) return;
    // With no tab selected (pane 6) the first step lands on the first or the last tab.
    const int next = m_curSel < 0 ? (step > 0 ? 0 : n - 1) : ((m_curSel + step) % n + n) % n;
    m_programmatic = true;
    setCurrentIndex(next);
    m_programmatic = false;
    OnSelChange(next);
}

int CPaneTabCtrl::InsertItem(int index, const QString& text, int itemData) {
    const QSignalBlocker blocker(this);
    const int at = insertTab(index, text);
    setTabData(at, itemData);
    if (m_curSel < 0 && count() == 1) m_curSel = currentIndex();
    return at;
}

int CPaneTabCtrl::GetItemData(int index) const {
    const QVariant data = tabData(index);
    return data.isValid() ? data.toInt() : 0;
}

void CPaneTabCtrl::SetCurSel(int index) {
    m_programmatic = true;
    if (index >= 0 && index < count()) {
        setCurrentIndex(index);
        m_curSel = index;
    } else {
        m_curSel = -1;
    }
    m_programmatic = false;
    update();
}

void CPaneTabCtrl::OnSelChange(int index) {
    m_curSel = index;
    update();
    if (index >= 0 && m_owner) m_owner->SendMessage(UM_TABCHANGE, uintptr_t(index), 0);
}

void CPaneTabCtrl::paintEvent(QPaintEvent* event) {
    if (m_curSel >= 0) {
        QTabBar::paintEvent(event);
        return;
    }
    // No selection: every tab is drawn as an unselected one.
    QStylePainter painter(this);
    QStyleOptionTabBarBase base;
    base.initFrom(this);
    base.shape = shape();
    base.documentMode = documentMode();
    base.rect = rect();
    base.rect.setTop(base.rect.bottom() - 1);
    if (drawBase()) painter.drawPrimitive(QStyle::PE_FrameTabBarBase, base);
    for (int i = 0; i < count(); ++i) {
        QStyleOptionTab tab;
        initStyleOption(&tab, i);
        tab.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
        tab.position = QStyleOptionTab::Middle;
        painter.drawControl(QStyle::CE_TabBarTab, tab);
    }
}
