// Windows that belong to the main window (log, help): transient for it, and opened beside it
// or over it rather than wherever the window manager puts a new window.
#pragma once

#include <QRect>
#include <QSize>

class QWidget;

// Where a window of the given frame size goes next to an owner's frame: to its right, else to
// its left, else over its right part; always inside the available area.
QRect PlaceBesideOwner(const QRect& ownerFrame, const QSize& size, const QRect& available);

// Moves a top-level window with an owner beside that owner on the owner's screen. Without an
// owner, or where the platform cannot place windows (Wayland), nothing moves (false).
bool MoveBesideOwner(QWidget* window);

// Makes the owner's native window first, so that a window shown before its owner is still
// transient for it (the window manager then keeps it above the owner).
void EnsureTransientFor(QWidget* window);
