#include "panes/PopupMenus.h"

#include <QAction>
#include <QMenu>

#include "resources/Strings.h"

namespace {

struct MenuItem {
    int command;
    KQStringId text;  // nothing for a separator
};

const MenuItem kDbPopup[] = {{32773, IDS_MENU_SELECT},
                             {32774, IDS_MENU_DESELECT},
                             {32775, IDS_MENU_DESELECT_ALL},
                             {0, {}},
                             {32778, IDS_MENU_EXPORT},
                             {32779, IDS_MENU_EXPORT_ALL_SELECTED},
                             {0, {}},
                             {32776, IDS_MENU_DELETE_ALL_SELECTED},
                             {0, {}},
                             {32777, IDS_MENU_PROPERTIES}};
const MenuItem kDetailPopup[] = {{32792, IDS_MENU_TELL_ME_MORE},
                                 {32787, IDS_MENU_RUN_THIS_TEST},
                                 {32794, IDS_MENU_SYSTEM_PROPERTIES}};
const MenuItem kSummaryPopup[] = {{32792, IDS_MENU_TELL_ME_MORE}};
const MenuItem kInternalPopup[] = {{32796, IDS_MENU_REGEN_TIPS}};

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
