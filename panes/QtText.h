// A numbered string as the windows use it.
#pragma once

#include <QString>

#include "resources/Strings.h"

inline QString KQText(KQStringId id) { return QString::fromStdString(LoadKQString(id)); }
