// Shared helpers of the shell tests.
#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QString>
#include <QTemporaryDir>
#include <string>

// The private home every test of the process shares (set up by the test main).
extern std::string g_shellHome;

inline QString ShellHome() { return QString::fromStdString(g_shellHome); }

inline bool WriteText(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return f.write(text) == text.size();
}

inline QByteArray ReadText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A scratch directory below the private home.
inline QString MakeScratch(const QString& name) {
    QString dir = ShellHome() + QStringLiteral("/scratch/") + name;
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    return dir;
}

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
