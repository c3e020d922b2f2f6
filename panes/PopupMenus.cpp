#include "panes/PopupMenus.h"

#include <QAction>
#include <QMenu>

#include "resources/Strings.h"

namespace {

struct MenuItem {
    int command;
    unsigned text;
};

const MenuItem kDbPopup[] = {{32773, 944}, {32774, 945}, {32775, 946}, {0, 0}, {32778, 947},
                             {32779, 948}, {0, 0},       {32776, 949}, {0, 0}, {32777, 980}};
const MenuItem kDetailPopup[] = {{32792, 939}, {32787, 981}, {32794, 982}};
const MenuItem kSummaryPopup[] = {{32792, 939}};
const MenuItem kInternalPopup[] = {{32796, 943}};

template <size_t N>
void AddItems(QMenu* menu, const MenuItem (&items)[N]) {
    for (const MenuItem& item : items) {
        if (item.command == 0) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(QString::fromStdString(LoadKQString(item.text)));
        action->setData(item.command);
    }
}

}  // namespace

QMenu* LoadPopupMenu(KQPopup which, QWidget* parent) {
    QMenu* menu = new QMenu(parent);
    switch (which) {
        case POPUP_DB:
            AddItems(menu, kDbPopup);
            break;
        case POPUP_DETAIL:
            AddItems(menu, kDetailPopup);
            break;
        case POPUP_SUMMARY:
            AddItems(menu, kSummaryPopup);
            break;
        case POPUP_INTERNAL:
            menu->setTitle(QString::fromStdString(LoadKQString(IDS_MENU_INTERNAL)));
            AddItems(menu, kInternalPopup);
            break;
    }
    return menu;
}

QAction* FindMenuCommand(QMenu* menu, int id) {
    if (!menu) return nullptr;
    for (QAction* action : menu->actions())
        if (!action->isSeparator() && action->data().toInt() == id) return action;
    return nullptr;
}
