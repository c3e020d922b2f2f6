// The class registry on the freedesktop files: our MIME types for exchange files and
// databases, a desktop entry that opens them with this program, and the association listed
// among the added ones (never over a default the user chose). An installed copy brings its
// own entry and package; the per-user ones are then left out, so the menu shows one launcher.
#pragma once

#include <QString>

#include "platform/XdgPaths.h"

extern const char kMimeExchange[];  // application/x-quillo95-exchange (*.kqx)
extern const char kMimeDatabase[];  // application/x-quillo95-document (*.kqd)
extern const char kDesktopId[];     // org.orcharddesk.Quillon97.desktop
extern const char kOldDesktopId[];  // quillon97.desktop, the per-user name of earlier versions

struct ClassRegistryResult {
    bool mimeWritten = false;
    bool desktopWritten = false;
    bool associationsWritten = false;
    bool mimeDatabaseUpdated = false;
    bool installedEntry = false;  // an installed desktop entry exists: no per-user copies
    int removed = 0;              // our own per-user files taken away
    bool ok = true;               // false when a file could not be written
};

QString MimePackageText();
QString DesktopEntryText(const QString& programPath);
// The Exec value that starts the program on one file, quoted for the desktop entry format.
QString DesktopExecLine(const QString& programPath);
// mimeapps.list text with our id added to [Added Associations] for both types; the rest of
// the text is kept as it was.
QString AddAssociations(const QString& mimeappsText, const QString& desktopId);

// The installed desktop entry of this program in the system data directories; empty if none.
QString FindInstalledDesktopEntry(const XdgPaths& xdg);
// Writes what is missing or names another program, unless an installed entry exists; removes
// our per-user copies that would show a second launcher; runs update-mime-database when a
// package changed and the tool is present.
ClassRegistryResult EnsureClassRegistry(const XdgPaths& xdg, const QString& programPath);
