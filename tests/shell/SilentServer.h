// A team database server that never answers, for the tests of connecting without blocking.
#pragma once

#include <QLocalServer>
#include <QTemporaryDir>
#include <string>

#include "tests/shell/ShellEnv.h"

// A team database server that takes the connection and never says a word: a Unix socket where
// libpq looks for one (host=<folder> port=<n>), listening in the test's event loop.
class CSilentServer {
public:
    CSilentServer() : m_dir(ShellHome() + QStringLiteral("/silent-XXXXXX")) {
        m_server.listen(m_dir.path() + QStringLiteral("/.s.PGSQL.5499"));
    }
    bool Listening() const { return m_server.isListening(); }
    std::string Conninfo() const {
        return "host='" + m_dir.path().toStdString() + "' port=5499 dbname=team user=nobody";
    }

private:
    QTemporaryDir m_dir;
    QLocalServer m_server;
};
