#include "platform/XdgPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace {

QStringList SplitDirs(const QByteArray& value, const QStringList& fallback) {
    QStringList dirs;
    for (const QString& d :
         QString::fromLocal8Bit(value).split(QLatin1Char(':'), Qt::SkipEmptyParts))
        if (QDir::isAbsolutePath(d)) dirs << d;
    return dirs.isEmpty() ? fallback : dirs;
}

QString DirOr(const QByteArray& value, const QString& fallback) {
    const QString v = QString::fromLocal8Bit(value);
    return QDir::isAbsolutePath(v) ? v : fallback;
}

}  // namespace

XdgPaths XdgPaths::FromEnvironment() {
    XdgPaths p;
    const QString home = QDir::homePath();
    p.configHome = DirOr(qgetenv("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    p.configDirs = SplitDirs(qgetenv("XDG_CONFIG_DIRS"), {QStringLiteral("/etc/xdg")});
    p.dataHome = DirOr(qgetenv("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    p.dataDirs = SplitDirs(qgetenv("XDG_DATA_DIRS"),
                           {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")});
    for (const QString& d : QString::fromLocal8Bit(qgetenv("XDG_CURRENT_DESKTOP"))
                                .split(QLatin1Char(':'), Qt::SkipEmptyParts))
        p.desktops << d.toLower();
    p.path = QString::fromLocal8Bit(qgetenv("PATH"));
    return p;
}

QString XdgPaths::FindDesktopEntry(const QString& id) const {
    if (id.isEmpty() || id.contains(QLatin1Char('/'))) return {};
    QStringList dirs{dataHome};
    dirs += dataDirs;
    for (const QString& dir : dirs) {
        const QString base = dir + QStringLiteral("/applications/");
        if (QFileInfo(base + id).isFile()) return base + id;
        // "vendor-name.desktop" may lie at vendor/name.desktop.
        QString nested = id;
        for (int i = nested.indexOf(QLatin1Char('-')); i >= 0;
             i = nested.indexOf(QLatin1Char('-'), i + 1)) {
            QString candidate = nested;
            candidate[i] = QLatin1Char('/');
            if (QFileInfo(base + candidate).isFile()) return base + candidate;
        }
    }
    return {};
}

QString ReadKeyFileValue(const QString& file, const QString& group, const QString& key) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
    QTextStream in(&f);
    bool inGroup = false;
    const QString header = QLatin1Char('[') + group + QLatin1Char(']');
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == header;
            continue;
        }
        if (!inGroup || line.startsWith(QLatin1Char('#'))) continue;
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq > 0 && line.left(eq).trimmed() == key) return line.mid(eq + 1).trimmed();
    }
    return {};
}
