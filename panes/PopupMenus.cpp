#include "panes/PopupMenus.h"

#include <QAction>
#include <QMenu>

#include "resources/Strings.h"

namespace {

struct MenuItem {
    int command;
    KQStringId text;  // nothing for a separator
};

const MenuItem kDbPopup[] = {{ID_DB_SELECT, IDS_MENU_SELECT},
                             {ID_DB_DESELECT, IDS_MENU_DESELECT},
                             {ID_DB_DESELECT_ALL, IDS_MENU_DESELECT_ALL},
                             {0, {}},
                             {ID_DB_EXPORT, IDS_MENU_EXPORT},
                             {ID_DB_EXPORT_SELECTED, IDS_MENU_EXPORT_ALL_SELECTED},
                             {0, {}},
                             {ID_DB_DELETE_SELECTED, IDS_MENU_DELETE_ALL_SELECTED},
                             {0, {}},
                             {ID_DB_PROPERTIES, IDS_MENU_PROPERTIES}};
const MenuItem kDetailPopup[] = {{ID_TELL_ME_MORE, IDS_MENU_TELL_ME_MORE},
                                 {ID_RUN_THIS_TEST, IDS_MENU_RUN_THIS_TEST},
                                 {ID_SYSTEM_PROPERTIES, IDS_MENU_SYSTEM_PROPERTIES}};
const MenuItem kSummaryPopup[] = {{ID_TELL_ME_MORE, IDS_MENU_TELL_ME_MORE}};
const MenuItem kInternalPopup[] = {{ID_REGEN_TIPS, IDS_MENU_REGEN_TIPS}};

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
