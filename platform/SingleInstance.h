// One running instance per user: a local server in the run-time directory. A second start
// hands its files to the first, asks it to come forward, and ends.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class CSingleInstance : public QObject {
    Q_OBJECT
public:
    // title: the application title; the user name is added to it.
    explicit CSingleInstance(const QString& title, QObject* parent = nullptr);
    ~CSingleInstance() override;

    // True when this process now serves as the running instance; false when another one
    // runs (it has been handed the files, absolute paths, and asked to show itself).
    bool Acquire(const QStringList& files = {});
    // Called in the running instance when a later start asks it to show itself, with the
    // files that start was given (often none).
    void SetShowHandler(std::function<void(const QStringList& files)> handler) {
        m_show = std::move(handler);
    }

    QString SocketPath() const { return m_path; }
    static QString SocketPathFor(const QString& title);

    // The request a later start sends: one "open" line per file (its bytes percent-encoded,
    // so any name fits on a line), then "show". An older running instance reads only "show".
    static QByteArray Request(const QStringList& files);

private:
    void OnNewConnection();

    QString m_path;
    QLocalServer* m_server = nullptr;
    std::function<void(const QStringList&)> m_show;
};

// Without XDG_RUNTIME_DIR (root on a server, a cron job), Qt warns on every look-up of the
// run-time directory and then uses <temp>/runtime-<user>. That same directory is made here,
// private to the user, and named in the environment, so that the single-instance socket
// lives in one safe place and nothing is printed. A directory there that is not the user's
// own, or is a link, is left alone: Qt's warning then tells of a real problem.
void EnsureRuntimeDirectory();
