#include "document/InfoOptions.h"

#include "resources/Strings.h"

std::string InfoOptionText(const std::vector<std::string>& arguments) {
    for (const std::string& arg : arguments) {
        if (arg == "--help") return LoadKQString(IDS_USAGE);
        if (arg == "--version")
            return FormatKQString(IDS_VERSION_OUTPUT, LoadKQString(IDS_APP_TITLE),
                                  LoadKQString(IDS_VERSION_LINE)) +
                   "\n";
    }
    return {};
}
