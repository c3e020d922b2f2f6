// What a pane asks of the view besides its private messages: running a command as its menu
// item or button would (ID_SUMMARY_ANALYZE_BUTTON, ID_HELP_INDEX, ID_SUMMARY_WEB_LINK).
#pragma once

#include "resources/ResourceIds.h"

class IPaneCommands {
public:
    virtual ~IPaneCommands() = default;
    // False when the command is not handled or is disabled.
    virtual bool OnCommand(int id) = 0;
};
