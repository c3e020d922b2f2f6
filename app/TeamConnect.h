// Connecting to a team database from the windows: the event loop goes on (the window
// repaints, its timers run) while a progress window offers Cancel.
#pragma once

#include <functional>
#include <memory>
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

class CQtSocketWatch;

// Connects in the background, with no window at all: done is called once, from the event
// loop, with what connecting gave. Dropping the object cancels it (done is not called).
class CTeamReconnect {
public:
    using Done = std::function<void(TeamConnection)>;
    CTeamReconnect();
    ~CTeamReconnect();
    CTeamReconnect(const CTeamReconnect&) = delete;
    CTeamReconnect& operator=(const CTeamReconnect&) = delete;
    void Start(const std::string& conninfo, int timeoutMs, Done done);
    bool Busy() const { return m_busy; }

private:
    std::unique_ptr<CQtSocketWatch> m_watch;
    std::unique_ptr<CPgConnector> m_connector;
    std::shared_ptr<bool> m_alive;
    bool m_busy = false;
};
