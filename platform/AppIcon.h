// The program's identity on the desktop: one id names the desktop entry, the metainfo, the
// icon and the bus name.
#pragma once

#include <QIcon>

extern const char kApplicationId[];  // org.orcharddesk.Quillon97

// Every size of the hicolor icon the program carries.
QIcon ApplicationIcon();
// Resource path of the scalable icon (written beside a per-user desktop entry).
QString ApplicationIconSvgResource();
