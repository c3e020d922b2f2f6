// Finds the web browser: the default handler of HTML pages in mimeapps.list, the Exec line
// of its desktop entry, split into the executable and its fixed arguments.
#pragma once

#include <QString>
#include <QStringList>
#include <string>

#include "platform/XdgPaths.h"

struct BrowserCommand {
    QString program;      // absolute path; empty when there is no browser
    QStringList args;     // the kept pieces, enclosing quotes removed
    std::string command;  // program + " " + kept pieces joined by blanks + " "
    bool IsValid() const { return !program.isEmpty(); }
};

// The steps applied to an open command: executable (quoted or up to the first blank), looked
// up on path when it is a bare name and required to exist; the rest split at blanks with
// every piece beginning with "%" or "\"%" dropped.
BrowserCommand ParseOpenCommand(const QString& command, const QString& pathEnv);
// The desktop entry id of the default HTML handler; empty when none is configured.
QString DefaultHtmlHandler(const XdgPaths& xdg);
BrowserCommand DiscoverBrowser(const XdgPaths& xdg);
// Starts the browser on a page: program and argument list, never through a shell.
bool LaunchBrowser(const BrowserCommand& browser, const QString& page);
