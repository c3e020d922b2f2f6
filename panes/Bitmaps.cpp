#include "panes/Bitmaps.h"

#include <QBitmap>
#include <QFile>
#include <QImage>

// The resources live in a static library: the initialiser has to be referenced to be linked.
static void InitBitmapResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(bitmaps);
        return true;
    }();
    (void)done;
}

QPixmap LoadKQBitmap(unsigned id, const std::string& module) {
    InitBitmapResources();
    if (id == 0) return {};
    QPixmap pixmap;
    if (!module.empty()) {
        const QString path =
            QStringLiteral(":/kqa/%1/%2.png").arg(QString::fromStdString(module)).arg(id);
        if (QFile::exists(path) && pixmap.load(path)) return pixmap;
    }
    const QString path = QStringLiteral(":/bitmaps/%1.png").arg(id);
    if (QFile::exists(path)) pixmap.load(path);
    return pixmap;
}

QPixmap LoadKQBitmapMasked(unsigned id, const std::string& module) {
    QPixmap pixmap = LoadKQBitmap(id, module);
    if (pixmap.isNull()) return pixmap;
    QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    const QRgb mask = KQMaskColour().rgb();
    for (int y = 0; y < image.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((line[x] | 0xFF000000u) == mask && qAlpha(line[x]) == 255) line[x] = 0;
    }
    return QPixmap::fromImage(image);
}
