#include "panes/Bitmaps.h"

#include <QBitmap>
#include <QFile>
#include <QGuiApplication>
#include <QImage>

// The resources live in a static library: the initialiser has to be referenced to be linked.
static void InitBitmapResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(bitmaps);
        return true;
    }();
    (void)done;
}

namespace {

// base: the path without ".png".
bool LoadVariant(QPixmap& pixmap, const QString& base, bool doubled) {
    if (doubled) {
        const QString path = base + QStringLiteral("@2x.png");
        if (QFile::exists(path) && pixmap.load(path)) {
            pixmap.setDevicePixelRatio(2);
            return true;
        }
    }
    const QString path = base + QStringLiteral(".png");
    return QFile::exists(path) && pixmap.load(path);
}

}  // namespace

QPixmap LoadKQBitmap(unsigned id, const std::string& module, qreal dpr) {
    InitBitmapResources();
    if (id == 0) return {};
    if (dpr <= 0) dpr = qApp ? qApp->devicePixelRatio() : 1.0;
    const bool doubled = dpr > 1.0;
    QPixmap pixmap;
    if (!module.empty() &&
        LoadVariant(pixmap,
                    QStringLiteral(":/kqa/%1/%2").arg(QString::fromStdString(module)).arg(id),
                    doubled))
        return pixmap;
    if (!LoadVariant(pixmap, QStringLiteral(":/bitmaps/%1").arg(id), doubled)) return QPixmap();
    return pixmap;
}

QPixmap LoadKQBitmapMasked(unsigned id, const std::string& module, qreal dpr) {
    QPixmap pixmap = LoadKQBitmap(id, module, dpr);
    if (pixmap.isNull()) return pixmap;
    QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    const QRgb mask = KQMaskColour().rgb();
    for (int y = 0; y < image.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((line[x] | 0xFF000000u) == mask && qAlpha(line[x]) == 255) line[x] = 0;
    }
    QPixmap masked = QPixmap::fromImage(image);
    masked.setDevicePixelRatio(pixmap.devicePixelRatio());
    return masked;
}

std::vector<QPixmap> SplitImageStrip(const QPixmap& strip, int count, int size) {
    std::vector<QPixmap> images;
    const qreal ratio = strip.devicePixelRatio();
    const int unit = qRound(size * ratio);
    for (int i = 0; i < count && (i + 1) * unit <= strip.width(); ++i) {
        QPixmap image = strip.copy(i * unit, 0, unit, std::min(unit, strip.height()));
        image.setDevicePixelRatio(ratio);
        images.push_back(image);
    }
    return images;
}
