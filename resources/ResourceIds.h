// Names of the program's command, bitmap and timer ids, for every floor; like the string ids,
// the numbers are part of the program (menus, accelerators, object names) and never change.
#pragma once

// Commands of the menus, accelerators, pop-up menus and the panes' buttons.
enum KQCommandId : int {
    ID_SUMMARY_ANALYZE_BUTTON = 14,  // the Summary pane's Analyze Now button
    ID_SUMMARY_WEB_LINK = 15,        // the Summary pane's web link
    ID_VIEW_LOG = 32771,
    ID_DB_SELECT = 32773,
    ID_DB_DESELECT = 32774,
    ID_DB_DESELECT_ALL = 32775,
    ID_DB_DELETE_SELECTED = 32776,
    ID_DB_PROPERTIES = 32777,
    ID_DB_EXPORT = 32778,
    ID_DB_EXPORT_SELECTED = 32779,
    ID_VIEW_SUMMARY = 32780,
    ID_VIEW_DATABASE = 32781,
    ID_VIEW_CHARTS = 32782,
    ID_VIEW_REPORTS = 32783,
    ID_VIEW_DETAILS = 32784,
    ID_VIEW_OPTIONS = 32785,
    ID_RUN_THIS_TEST = 32787,
    ID_FILE_IMPORT_ONE = 32789,
    ID_FILE_EXPORT_CURRENT = 32790,
    ID_FILE_ANALYZE_NOW = 32791,
    ID_TELL_ME_MORE = 32792,
    ID_FILE_SAVE_CURRENT = 32793,
    ID_SYSTEM_PROPERTIES = 32794,
    ID_RUN_DEMO = 32795,
    ID_REGEN_TIPS = 32796,
    ID_FILE_OPEN_TEAM = 32797,     // "Open Team Database..."
    ID_FILE_USE_LOCAL = 32798,     // "Use Local Database"
    ID_FILE_COPY_TO_TEAM = 32805,  // "Copy to Team Database..."
    ID_FILE_EXPORT_JSON = 32850,   // "Export as JSON..."
    ID_FILE_EXPORT_LIST = 32851,   // "Export List..."
    ID_FILE_IMPORT = 57601,
    ID_FILE_EXPORT_ALL = 57604,
    ID_FILE_PRINT = 57607,
    ID_FILE_PRINT_PREVIEW = 57608,
    ID_EDIT_COPY = 57634,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_HELP_INDEX = 57666,
    ID_DEFAULT_HELP = 57670,
};

// The program's bitmaps (:/bitmaps/<id>.png); a module's own come with their own ids.
enum KQBitmapId : unsigned {
    IDB_STARTUP_COVER = 130,
    IDB_ITEM_IMAGES = 144,    // the strip of the details tree and the Summary lists
    IDB_RECORD_IMAGES = 146,  // the strip of the Database list
    IDB_ABOUT = 166,
};

// The view's timers.
enum KQTimerId : int {
    TIMER_STARTUP = 1,       // the second stage of start-up
    TIMER_DEMO_STEP = 2,     // one step of the demo
    TIMER_CHART_LAYOUT = 3,  // the Charts pane laid out again after a resize
    TIMER_TEAM_REFRESH = 4,  // the team database's list read again (a standby tells nothing)
};
