#include "platform/OwnedWindows.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace {

// A little of the owner stays visible when the window has to go over it.
constexpr int kOverlapInset = 32;

}  // namespace

QRect PlaceBesideOwner(const QRect& ownerFrame, const QSize& size, const QRect& available) {
    const int w = std::min(size.width(), available.width());
    const int h = std::min(size.height(), available.height());
    int x = ownerFrame.right() + 1;
    int y = ownerFrame.top();
    if (x + w > available.right() + 1) {
        x = ownerFrame.left() - w;
        if (x < available.left()) {
            x = ownerFrame.right() + 1 - w - kOverlapInset;
            y += kOverlapInset;
        }
    }
    x = std::clamp(x, available.left(), available.right() + 1 - w);
    y = std::clamp(y, available.top(), available.bottom() + 1 - h);
    return QRect(x, y, w, h);
}

bool MoveBesideOwner(QWidget* window) {
    if (!window) return false;
    QWidget* owner = window->parentWidget() ? window->parentWidget()->window() : nullptr;
    if (!owner || !owner->isVisible()) return false;
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) return false;
    const QScreen* screen = owner->screen();
    const QRect available = screen ? screen->availableGeometry() : QRect();
    if (!available.isValid()) return false;
    const QRect place =
        PlaceBesideOwner(owner->frameGeometry(), window->frameGeometry().size(), available);
    window->move(place.topLeft());
    return true;
}

void EnsureTransientFor(QWidget* window) {
    if (!window || !window->parentWidget()) return;
    QWidget* owner = window->parentWidget()->window();
    owner->winId();
    window->winId();
    if (QWindow* handle = window->windowHandle())
        if (!handle->transientParent()) handle->setTransientParent(owner->windowHandle());
}
