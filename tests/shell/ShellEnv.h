// Shared helpers of the shell tests.
#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
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
