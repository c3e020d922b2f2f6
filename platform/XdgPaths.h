// The freedesktop base directories, read once from the environment so that tests can point
// them anywhere.
#pragma once

#include <QString>
#include <QStringList>

struct XdgPaths {
    QString configHome;
    QStringList configDirs;
    QString dataHome;
    QStringList dataDirs;
    QStringList desktops;  // XDG_CURRENT_DESKTOP, lower case, in order
    QString path;          // PATH

    static XdgPaths FromEnvironment();
    // Full path of a desktop entry by its id; empty when no data directory holds it.
    QString FindDesktopEntry(const QString& id) const;
};

// Minimal reader of the freedesktop key files (desktop entries, mimeapps.list).
QString ReadKeyFileValue(const QString& file, const QString& group, const QString& key);
