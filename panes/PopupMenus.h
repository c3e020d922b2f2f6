// Menu resource 132: the pop-up menus of the panes, lists and trees.
#pragma once

#include "resources/ResourceIds.h"

class QMenu;
class QWidget;

enum KQPopup {
    POPUP_DB = 0,        // "DB Popup": the Database list
    POPUP_DETAIL = 1,    // "Detail Popup": the details tree
    POPUP_SUMMARY = 2,   // "Summary Popup": right panes and the Summary lists
    POPUP_INTERNAL = 3,  // "Internal": never displayed
};

// A new menu owned by parent; every action carries its command id as data.
QMenu* LoadPopupMenu(KQPopup which, QWidget* parent);
// The action of a command in a menu, or null.
class QAction;
QAction* FindMenuCommand(QMenu* menu, int id);
