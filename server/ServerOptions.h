// "--server VALUE" and "--init-server", taken off the command line before the options
// scanner sees it: that scanner reads every "-" as the start of an option, and a URI has many.
#pragma once

#include <string>
#include <vector>

struct ServerOptions {
    bool server = false;      // --server was given
    std::string conninfo;     // its value: a libpq connection string or URI
    bool initServer = false;  // --init-server was given
    std::string error;        // the user's message when they cannot be read
};

// Removes both options (and --server's value) from arguments, which hold the arguments after
// the program's name; everything else stays, in order. "--server=VALUE" is read too.
ServerOptions TakeServerOptions(std::vector<std::string>& arguments);

// Warning 1034 when the connection string names a password; empty otherwise.
std::string PasswordWarning(const std::string& conninfo);
