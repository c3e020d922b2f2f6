// One running instance per user: a local server in the run-time directory. A second start
// asks the first to come forward and ends.
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <functional>

class CSingleInstance : public QObject {
    Q_OBJECT
public:
    // title: the application title; the user name is added to it.
    explicit CSingleInstance(const QString& title, QObject* parent = nullptr);
    ~CSingleInstance() override;

    // True when this process now serves as the running instance; false when another one
    // runs (it has been asked to show itself).
    bool Acquire();
    // Called in the running instance when a later start asks it to show itself.
    void SetShowHandler(std::function<void()> handler) { m_show = std::move(handler); }

    QString SocketPath() const { return m_path; }
    static QString SocketPathFor(const QString& title);

private:
    void OnNewConnection();

    QString m_path;
    QLocalServer* m_server = nullptr;
    std::function<void()> m_show;
};
