// The class registry on the freedesktop files: our MIME types for exchange files and
// databases, a desktop entry that opens them with this program, and the association listed
// among the added ones (never over a default the user chose).
#pragma once

#include <QString>

#include "platform/XdgPaths.h"

extern const char kMimeExchange[];  // application/x-quillo95-exchange (*.kqx)
extern const char kMimeDatabase[];  // application/x-quillo95-document (*.kqd)
extern const char kDesktopId[];     // quillon97.desktop

struct ClassRegistryResult {
    bool mimeWritten = false;
    bool desktopWritten = false;
    bool associationsWritten = false;
    bool mimeDatabaseUpdated = false;
    bool ok = true;  // false when a file could not be written
};

QString MimePackageText();
QString DesktopEntryText(const QString& programPath);
// The Exec value that starts the program on one file, quoted for the desktop entry format.
QString DesktopExecLine(const QString& programPath);
// mimeapps.list text with our id added to [Added Associations] for both types; the rest of
// the text is kept as it was.
QString AddAssociations(const QString& mimeappsText, const QString& desktopId);

// Writes what is missing or names another program; runs update-mime-database when present.
ClassRegistryResult EnsureClassRegistry(const XdgPaths& xdg, const QString& programPath);
