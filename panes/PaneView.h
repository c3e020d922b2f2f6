// What a pane needs of the main view: the window its private messages go to, the widget it
// lays itself out on and parents its child windows to, the frame services it reports through
// and the document's change channel it subscribes to. The view implements it.
#pragma once

#include "analyzers/KQAnalyzer.h"
#include "panes/PaneCommands.h"

class QWidget;
class IFrameServices;
class IDocumentEvents;

// The view's panes by number, in tab order; a tab's item data is its pane's number.
// PANE_NONE: no pane shown yet, and for SwitchToPane "show the current pane again".
enum PaneNumber : int {
    PANE_NONE = 0,
    PANE_SUMMARY = 1,
    PANE_DATABASE = 2,
    PANE_CHARTS = 3,
    PANE_REPORTS = 4,
    PANE_DETAILS = 5,
    PANE_OPTIONS = 6,  // a placeholder without a tab or pane object
};

class IPaneView : public CWnd, public IPaneCommands {
public:
    // The view's own widget; never null once the view exists.
    QWidget* Widget() override = 0;
    virtual IFrameServices& Frame() = 0;
    virtual IDocumentEvents& DocumentEvents() = 0;
};
