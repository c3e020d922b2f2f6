#include "server/ServerOptions.h"

#include "resources/Strings.h"
#include "server/PgConnection.h"

ServerOptions TakeServerOptions(std::vector<std::string>& arguments) {
    ServerOptions options;
    std::vector<std::string> rest;
    static const std::string kServerIs = "--server=";
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (a == "--init-server") {
            options.initServer = true;
        } else if (a == "--server" || a.rfind(kServerIs, 0) == 0) {
            const bool joined = a != "--server";
            if (!joined && i + 1 >= arguments.size()) {
                options.error = LoadKQString(IDS_ERR_SERVER_OPTION);
                continue;
            }
            options.server = true;
            options.conninfo = joined ? a.substr(kServerIs.size()) : arguments[++i];
        } else {
            rest.push_back(a);
        }
    }
    arguments = std::move(rest);
    return options;
}

std::string PasswordWarning(const std::string& conninfo) {
    return ConnectionHasPassword(conninfo) ? LoadKQString(IDS_WARN_SERVER_PASSWORD) : std::string();
}
