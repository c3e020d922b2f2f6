#include "platform/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QPointer>
#include <QStandardPaths>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

const char kShowLine[] = "show";
const char kOpenPrefix[] = "open ";
// A request is a few lines of paths: anything far larger is not one of ours.
constexpr qint64 kMaxRequest = 1 << 20;
constexpr int kMaxFiles = 1000;

QString UserName(uid_t uid) {
    if (const passwd* pw = getpwuid(uid); pw && pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    return QString::number(uid);
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
    QString name = title + QLatin1Char('-') + UserName(getuid());
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QDir(dir).filePath(name);
}

QByteArray CSingleInstance::Request(const QStringList& files) {
    QByteArray request;
    for (const QString& file : files)
        request += kOpenPrefix + QFile::encodeName(file).toPercentEncoding("/") + '\n';
    return request + kShowLine + '\n';
}

bool CSingleInstance::Acquire(const QStringList& files) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        QLocalSocket probe;
        probe.connectToServer(m_path);
        if (probe.waitForConnected(2000)) {
            probe.write(Request(files));
            probe.waitForBytesWritten(2000);
            // The answer tells us the request arrived; a silent server still counts as running
            // (a busy one reads what is waiting in the socket later).
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
        auto files = std::make_shared<QStringList>();
        connect(client, &QLocalSocket::readyRead, this, [this, client, files] {
            while (client->canReadLine()) {
                QByteArray line = client->readLine();
                line.chop(1);
                if (line.startsWith(kOpenPrefix)) {
                    if (files->size() < kMaxFiles)
                        *files << QFile::decodeName(
                            QByteArray::fromPercentEncoding(line.mid(int(sizeof kOpenPrefix) - 1)));
                } else if (line == kShowLine) {
                    client->write("ok\n");
                    client->flush();
                    const QStringList handed = std::exchange(*files, {});
                    const QPointer<QLocalSocket> alive(client);
                    if (m_show) m_show(handed);
                    if (!alive) return;
                }
            }
            if (client->bytesAvailable() > kMaxRequest) client->abort();
        });
    }
}

void EnsureRuntimeDirectory() {
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) return;
    const QByteArray dir =
        QFile::encodeName(QDir::tempPath() + QStringLiteral("/runtime-") + UserName(geteuid()));
    if (::mkdir(dir.constData(), 0700) != 0 && errno != EEXIST) return;
    // Checked and mended through a descriptor of the directory itself, never through a link.
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st {};
    const bool ours = ::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() &&
                      ((st.st_mode & 07777) == 0700 || ::fchmod(fd, 0700) == 0);
    ::close(fd);
    if (ours) qputenv("XDG_RUNTIME_DIR", dir);
}
