#include "platform/SingleInstance.h"

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <pwd.h>
#include <unistd.h>

namespace {

const char kShowRequest[] = "show\n";

QString UserName() {
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    return QString::number(getuid());
}

}  // namespace

CSingleInstance::CSingleInstance(const QString& title, QObject* parent)
    : QObject(parent), m_path(SocketPathFor(title)) {}

CSingleInstance::~CSingleInstance() {
    if (m_server) m_server->close();  // removes the socket file
}

QString CSingleInstance::SocketPathFor(const QString& title) {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    QString name = title + QLatin1Char('-') + UserName();
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QDir(dir).filePath(name);
}

bool CSingleInstance::Acquire() {
    for (int attempt = 0; attempt < 2; ++attempt) {
        QLocalSocket probe;
        probe.connectToServer(m_path);
        if (probe.waitForConnected(2000)) {
            probe.write(kShowRequest);
            probe.waitForBytesWritten(2000);
            // The answer tells us the request arrived; a silent server still counts as running.
            probe.waitForReadyRead(2000);
            probe.disconnectFromServer();
            return false;
        }
        // A socket left by a crashed instance refuses connections: remove it and serve.
        if (probe.error() == QLocalSocket::ConnectionRefusedError)
            QLocalServer::removeServer(m_path);

        auto* server = new QLocalServer(this);
        server->setSocketOptions(QLocalServer::UserAccessOption);
        if (server->listen(m_path)) {
            m_server = server;
            connect(m_server, &QLocalServer::newConnection, this,
                    &CSingleInstance::OnNewConnection);
            return true;
        }
        delete server;
        // Somebody else started listening in between: try talking to it once more.
    }
    // Neither reachable nor free: run without the guard rather than not at all.
    return true;
}

void CSingleInstance::OnNewConnection() {
    while (QLocalSocket* client = m_server->nextPendingConnection()) {
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        connect(client, &QLocalSocket::readyRead, this, [this, client] {
            const QByteArray request = client->readAll();
            if (request.contains("show")) {
                client->write("ok\n");
                client->flush();
                if (m_show) m_show();
            }
        });
    }
}
