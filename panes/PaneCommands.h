// What a pane asks of the view besides its private messages: running a command as its menu
// item or button would (14 Analyze Now, 57666 help index, 15 the web link).
#pragma once

class IPaneCommands {
public:
    virtual ~IPaneCommands() = default;
    // False when the command is not handled or is disabled.
    virtual bool OnCommand(int id) = 0;
};
