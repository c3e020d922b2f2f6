// Connecting to a team database from the windows: the event loop goes on (the window
// repaints, its timers run) while a progress window offers Cancel.
#pragma once

#include <string>

#include "server/PgConnection.h"

class QWidget;

struct TeamConnection {
    CPgConnection connection;  // empty when it failed or was cancelled
    std::string error;         // why not, never with the password
    std::string name;          // the database as the user may see it
    bool cancelled = false;
};

// "Connecting to <name>..." with Cancel shows once it takes longer than a moment; it gives
// up timeoutMs after it began. The primary when one answers, else a standby (read-only).
TeamConnection ConnectToTeamDatabase(QWidget* parent, const std::string& conninfo, int timeoutMs);
