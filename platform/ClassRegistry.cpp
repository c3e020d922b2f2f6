#include "platform/ClassRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>

#include "platform/AppIcon.h"
#include "resources/Strings.h"

const char kMimeExchange[] = "application/x-quillo95-exchange";
const char kMimeDatabase[] = "application/x-quillo95-document";
const char kDesktopId[] = "org.orcharddesk.Quillon97.desktop";
const char kOldDesktopId[] = "quillon97.desktop";

namespace {

QString Xml(const std::string& s) { return QString::fromStdString(s).toHtmlEscaped(); }

QString ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll());
}

bool WriteAll(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    f.write(bytes);
    return f.commit();
}

bool WriteAll(const QString& path, const QString& text) { return WriteAll(path, text.toUtf8()); }

QByteArray ReadBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A desktop entry is ours when it opens our exchange files; a user's own launcher of
// another name is never touched.
bool IsOurDesktopEntry(const QString& path) {
    return ReadKeyFileValue(path, QStringLiteral("Desktop Entry"), QStringLiteral("MimeType"))
        .split(QLatin1Char(';'))
        .contains(QLatin1String(kMimeExchange));
}

bool RemoveOurs(const QString& path, bool desktopEntry, int& removed) {
    if (!QFileInfo(path).isFile()) return false;
    if (desktopEntry && !IsOurDesktopEntry(path)) return false;
    if (!QFile::remove(path)) return false;
    ++removed;
    return true;
}

bool UpdateMimeDatabase(const XdgPaths& xdg, const QString& mimeDir) {
    const QString tool =
        QStandardPaths::findExecutable(QStringLiteral("update-mime-database"),
                                       xdg.path.split(QLatin1Char(':'), Qt::SkipEmptyParts));
    if (tool.isEmpty()) return false;
    QProcess p;
    p.setStandardErrorFile(QProcess::nullDevice());
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(tool, {mimeDir});
    const bool ok =
        p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (p.state() != QProcess::NotRunning) p.kill(), p.waitForFinished(1000);
    return ok;
}

}  // namespace

QString MimePackageText() {
    return QStringLiteral(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
               "  <mime-type type=\"%1\">\n"
               "    <comment>%3</comment>\n"
               "    <glob pattern=\"*.kqx\"/>\n"
               "  </mime-type>\n"
               "  <mime-type type=\"%2\">\n"
               "    <comment>%4</comment>\n"
               "    <glob pattern=\"*.kqd\"/>\n"
               "  </mime-type>\n"
               "</mime-info>\n")
        .arg(QLatin1String(kMimeExchange), QLatin1String(kMimeDatabase),
             Xml(LoadKQString(IDS_MIME_EXCHANGE_COMMENT)),
             Xml(LoadKQString(IDS_MIME_DATABASE_COMMENT)));
}

QString DesktopExecLine(const QString& programPath) {
    // Inside quotes the desktop entry format escapes ", `, $ and \ with a backslash, and the
    // backslash itself is escaped once more as a string value.
    QString quoted;
    for (QChar c : programPath) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$'))
            quoted += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\\'))
            quoted += QStringLiteral("\\\\\\");
        quoted += c;
    }
    return QLatin1Char('"') + quoted + QStringLiteral("\" %F");
}

QString DesktopEntryText(const QString& programPath) {
    return QStringLiteral(
               "[Desktop Entry]\n"
               "Type=Application\n"
               "Name=%1\n"
               "Comment=%2\n"
               "Exec=%3\n"
               "MimeType=%4;%5;\n"
               "Icon=%6\n"
               "Terminal=false\n"
               "Categories=System;Monitor;\n")
        .arg(QString::fromStdString(LoadKQString(IDS_APP_TITLE)),
             QString::fromStdString(LoadKQString(IDS_DESKTOP_COMMENT)),
             DesktopExecLine(programPath), QLatin1String(kMimeExchange),
             QLatin1String(kMimeDatabase), QLatin1String(kApplicationId));
}

QString AddAssociations(const QString& text, const QString& desktopId) {
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    const QString header = QStringLiteral("[Added Associations]");
    int start = -1;
    for (int i = 0; i < lines.size(); ++i)
        if (lines[i].trimmed() == header) {
            start = i;
            break;
        }
    if (start < 0) {
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty()) lines << QString();
        lines << header;
        start = lines.size() - 1;
    }
    int end = start + 1;  // one past the group's last line
    while (end < lines.size() && !lines[end].trimmed().startsWith(QLatin1Char('['))) ++end;
    int insertAt = end;
    while (insertAt > start + 1 && lines[insertAt - 1].trimmed().isEmpty()) --insertAt;

    for (const char* mime : {kMimeExchange, kMimeDatabase}) {
        const QString key = QLatin1String(mime);
        bool found = false;
        for (int i = start + 1; i < insertAt; ++i) {
            const int eq = lines[i].indexOf(QLatin1Char('='));
            if (eq <= 0 || lines[i].left(eq).trimmed() != key) continue;
            found = true;
            QStringList ids =
                lines[i].mid(eq + 1).trimmed().split(QLatin1Char(';'), Qt::SkipEmptyParts);
            if (!ids.contains(desktopId)) {
                ids << desktopId;
                lines[i] = key + QLatin1Char('=') + ids.join(QLatin1Char(';')) + QLatin1Char(';');
            }
            break;
        }
        if (!found) lines.insert(insertAt++, key + QLatin1Char('=') + desktopId + QLatin1Char(';'));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString FindInstalledDesktopEntry(const XdgPaths& xdg) {
    for (const QString& dir : xdg.dataDirs) {
        const QString path = dir + QStringLiteral("/applications/") + QLatin1String(kDesktopId);
        if (QFileInfo(path).isFile()) return path;
    }
    return {};
}

ClassRegistryResult EnsureClassRegistry(const XdgPaths& xdg, const QString& programPath) {
    ClassRegistryResult r;
    const QString id = QLatin1String(kApplicationId);
    const QString mimeDir = xdg.dataHome + QStringLiteral("/mime");
    const QString packages = mimeDir + QStringLiteral("/packages/");
    const QString package = packages + id + QStringLiteral(".xml");
    const QString applications = xdg.dataHome + QStringLiteral("/applications/");
    const QString desktop = applications + QLatin1String(kDesktopId);
    const QString icon = xdg.dataHome + QStringLiteral("/icons/hicolor/scalable/apps/") + id +
                         QStringLiteral(".svg");
    bool packagesChanged = false;

    // Earlier versions wrote these under other names.
    RemoveOurs(applications + QLatin1String(kOldDesktopId), true, r.removed);
    packagesChanged |= RemoveOurs(packages + QStringLiteral("quillon97.xml"), false, r.removed);

    r.installedEntry = !FindInstalledDesktopEntry(xdg).isEmpty();
    if (r.installedEntry) {
        // A per-user entry of the same id would hide the installed one's program path.
        RemoveOurs(desktop, true, r.removed);
        packagesChanged |= RemoveOurs(package, false, r.removed);
        RemoveOurs(icon, false, r.removed);
    } else {
        const QString mimeText = MimePackageText();
        if (ReadAll(package) != mimeText) {
            r.mimeWritten = WriteAll(package, mimeText);
            r.ok &= r.mimeWritten;
            packagesChanged |= r.mimeWritten;
        }
        const QString desktopText = DesktopEntryText(programPath);
        if (ReadAll(desktop) != desktopText) {
            r.desktopWritten = WriteAll(desktop, desktopText);
            r.ok &= r.desktopWritten;
        }
        const QByteArray svg = ReadBytes(ApplicationIconSvgResource());
        if (!svg.isEmpty() && ReadBytes(icon) != svg) r.ok &= WriteAll(icon, svg);
    }
    // The association names the id, which the installed entry and ours share.
    const QString mimeapps = xdg.configHome + QStringLiteral("/mimeapps.list");
    const QString oldText = ReadAll(mimeapps);
    const QString newText = AddAssociations(oldText, QLatin1String(kDesktopId));
    if (newText != oldText) {
        r.associationsWritten = WriteAll(mimeapps, newText);
        r.ok &= r.associationsWritten;
    }
    if (packagesChanged) r.mimeDatabaseUpdated = UpdateMimeDatabase(xdg, mimeDir);
    return r;
}
