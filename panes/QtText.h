// Text between the core and the windows: the core's UTF-8 strings and numbered strings as
// Qt text.
#pragma once

#include <QString>
#include <string>

#include "resources/Strings.h"

inline QString KQText(KQStringId id) { return QString::fromStdString(LoadKQString(id)); }

inline QString Q(const std::string& s) { return QString::fromStdString(s); }
