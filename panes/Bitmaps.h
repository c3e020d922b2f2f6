// Bitmap resources: PNG files compiled in, a module's own looked up before the program's.
#pragma once

#include <QColor>
#include <QPixmap>
#include <string>
#include <vector>

#include "resources/ResourceIds.h"

// The mask colour of the program's image strips (red 0, green 0, blue 128).
inline QColor KQMaskColour() { return QColor(0, 0, 128); }

// ":/kqa/<module>/<id>.png" first when a module is named, then ":/bitmaps/<id>.png";
// a null pixmap when neither exists. On a screen with a device pixel ratio above 1 the
// "<id>@2x.png" variant is taken where there is one (its size in device-independent pixels is
// the normal one). dpr 0 means the application's ratio.
QPixmap LoadKQBitmap(unsigned id, const std::string& module = std::string(), qreal dpr = 0);
// The same with every pixel of the mask colour made transparent.
QPixmap LoadKQBitmapMasked(unsigned id, const std::string& module = std::string(), qreal dpr = 0);
// The first `count` square images of a strip, each `size` device-independent pixels wide,
// cut at the strip's own ratio (a doubled strip gives doubled images of the same size).
std::vector<QPixmap> SplitImageStrip(const QPixmap& strip, int count, int size = 16);
