#include "platform/BrowserDiscovery.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {

QString Unquoted(const QString& s) {
    if (s.size() > 1 && s.startsWith(QLatin1Char('"')) && s.endsWith(QLatin1Char('"')))
        return s.mid(1, s.size() - 2);
    return s;
}

QStringList MimeappsFiles(const XdgPaths& xdg) {
    QStringList files;
    auto addDir = [&](const QString& dir) {
        for (const QString& desktop : xdg.desktops)
            files << dir + QLatin1Char('/') + desktop + QStringLiteral("-mimeapps.list");
        files << dir + QStringLiteral("/mimeapps.list");
    };
    addDir(xdg.configHome);
    for (const QString& d : xdg.configDirs) addDir(d);
    addDir(xdg.dataHome + QStringLiteral("/applications"));
    for (const QString& d : xdg.dataDirs) addDir(d + QStringLiteral("/applications"));
    return files;
}

}  // namespace

BrowserCommand ParseOpenCommand(const QString& command, const QString& pathEnv) {
    BrowserCommand result;
    QString exe, rest;
    if (command.startsWith(QLatin1Char('"'))) {
        const int close = command.indexOf(QLatin1Char('"'), 1);
        if (close < 0) {
            exe = command.mid(1);
        } else {
            exe = command.mid(1, close - 1);
            rest = command.mid(close + 1);
        }
    } else {
        const int blank = command.indexOf(QLatin1Char(' '));
        exe = blank < 0 ? command : command.left(blank);
        rest = blank < 0 ? QString() : command.mid(blank + 1);
    }
    if (exe.isEmpty()) return result;
    if (!exe.contains(QLatin1Char('/'))) {
        const QStringList dirs = pathEnv.split(QLatin1Char(':'), Qt::SkipEmptyParts);
        exe = QStandardPaths::findExecutable(exe, dirs);
        if (exe.isEmpty()) return result;
    }
    const QFileInfo info(exe);
    if (!info.isFile() || !info.isExecutable()) return result;

    QStringList kept;
    for (const QString& piece : rest.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (piece.startsWith(QLatin1Char('%')) || piece.startsWith(QStringLiteral("\"%"))) continue;
        kept << piece;
    }
    result.program = info.absoluteFilePath();
    std::string cmd = exe.toStdString() + " ";
    if (!kept.isEmpty()) cmd += kept.join(QLatin1Char(' ')).toStdString() + " ";
    result.command = cmd;
    for (const QString& piece : kept) result.args << Unquoted(piece);
    return result;
}

QString DefaultHtmlHandler(const XdgPaths& xdg) {
    // ".html" first, then the other name HTML pages go by.
    for (const QString& mime :
         {QStringLiteral("text/html"), QStringLiteral("application/xhtml+xml")}) {
        for (const QString& file : MimeappsFiles(xdg)) {
            const QString value =
                ReadKeyFileValue(file, QStringLiteral("Default Applications"), mime);
            for (const QString& id : value.split(QLatin1Char(';'), Qt::SkipEmptyParts))
                if (!xdg.FindDesktopEntry(id.trimmed()).isEmpty()) return id.trimmed();
        }
    }
    return {};
}

BrowserCommand DiscoverBrowser(const XdgPaths& xdg) {
    const QString id = DefaultHtmlHandler(xdg);
    if (id.isEmpty()) return {};
    const QString exec = ReadKeyFileValue(xdg.FindDesktopEntry(id), QStringLiteral("Desktop Entry"),
                                          QStringLiteral("Exec"));
    if (exec.isEmpty()) return {};
    return ParseOpenCommand(exec, xdg.path);
}

bool LaunchBrowser(const BrowserCommand& browser, const QString& page) {
    if (!browser.IsValid()) return false;
    return QProcess::startDetached(browser.program, browser.args + QStringList{page});
}
