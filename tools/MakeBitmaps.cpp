// Draws the program's bitmaps (130 start-up picture, 144 details icons, 146 selection icons,
// 166 about picture) into PNG files, each also at twice the size for screens with a device
// pixel ratio of 2 (<id>@2x.png). Run once when a picture changes:
//   make_bitmaps <output directory>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <cstdio>

namespace {

const QColor kMask(0, 0, 128);  // transparent in the icon strips

// Every picture is drawn in the units of its normal size; scale 2 draws the @2x one.
QImage Strip(int count, int scale) {
    QImage image(16 * count * scale, 16 * scale, QImage::Format_RGB32);
    image.fill(kMask);
    return image;
}

// A light bulb: glass in the priority's colour, a grey screw base.
void Bulb(QPainter& p, int x, QColor glass, QColor mark) {
    p.setPen(QColor(40, 40, 40));
    p.setBrush(glass);
    p.drawEllipse(x + 3, 1, 9, 9);
    p.fillRect(x + 5, 9, 6, 2, glass);
    p.setPen(QColor(40, 40, 40));
    p.drawLine(x + 5, 9, x + 5, 11);
    p.drawLine(x + 10, 9, x + 10, 11);
    p.setBrush(QColor(150, 150, 150));
    p.drawRect(x + 5, 11, 5, 3);
    p.drawLine(x + 6, 15, x + 9, 15);
    p.setPen(Qt::white);
    p.drawPoint(x + 6, 3);
    p.drawPoint(x + 5, 4);
    if (mark.isValid()) {
        p.setPen(mark);
        p.drawLine(x + 8, 3, x + 8, 6);
        p.drawPoint(x + 8, 8);
    }
}

void Page(QPainter& p, int x) {
    p.setPen(QColor(60, 60, 60));
    p.setBrush(Qt::white);
    p.drawRect(x + 3, 1, 10, 14);
    p.setPen(QColor(0, 90, 200));
    for (int y = 4; y <= 12; y += 3) p.drawLine(x + 5, y, x + 11, y);
}

void Folder(QPainter& p, int x) {
    p.setPen(QColor(120, 90, 0));
    p.setBrush(QColor(250, 210, 80));
    p.drawRect(x + 1, 3, 5, 2);
    p.drawRect(x + 1, 5, 14, 9);
    p.setPen(QColor(255, 240, 170));
    p.drawLine(x + 2, 6, x + 14, 6);
}

void Gauge(QPainter& p, int x) {
    p.setPen(QColor(60, 60, 60));
    p.setBrush(Qt::white);
    p.drawRect(x + 1, 1, 14, 14);
    p.fillRect(x + 3, 9, 2, 5, QColor(0, 150, 60));
    p.fillRect(x + 7, 6, 2, 8, QColor(230, 150, 0));
    p.fillRect(x + 11, 3, 2, 11, QColor(200, 30, 30));
}

QImage Details(int scale) {
    QImage image = Strip(7, scale);
    QPainter p(&image);
    p.scale(scale, scale);
    // Priority 0: information, a blue "i" in a white bulb.
    Bulb(p, 0, QColor(235, 235, 235), QColor());
    p.setPen(QColor(0, 70, 200));
    p.drawPoint(8, 3);
    p.drawLine(8, 5, 8, 8);
    Bulb(p, 16, QColor(60, 200, 80), QColor());            // 1..49
    Bulb(p, 32, QColor(255, 200, 0), QColor(120, 60, 0));  // 50..79
    Bulb(p, 48, QColor(230, 40, 40), Qt::white);           // 80 and more
    Page(p, 64);                                           // attribute
    Folder(p, 80);                                         // entry without a picture of its own
    Gauge(p, 96);                                          // attribute with the alternative icon
    return image;
}

QImage Selection(int scale) {
    QImage image = Strip(2, scale);
    QPainter p(&image);
    p.scale(scale, scale);
    for (int i = 0; i < 2; ++i) {
        p.setPen(QColor(60, 60, 60));
        p.setBrush(Qt::white);
        p.drawRect(16 * i + 2, 2, 11, 11);
    }
    p.setPen(QPen(QColor(0, 130, 40), 2));
    p.drawPolyline(QPolygon({QPoint(20, 7), QPoint(23, 10), QPoint(28, 4)}));
    return image;
}

// The product mark: a quill over three rising bars.
void Mark(QPainter& p, QRectF box) {
    const double w = box.width(), h = box.height();
    const QColor bars[3] = {QColor(0, 140, 70), QColor(240, 160, 0), QColor(200, 30, 30)};
    for (int i = 0; i < 3; ++i) {
        const double bh = h * (0.35 + 0.2 * i);
        p.fillRect(QRectF(box.left() + w * (0.1 + 0.27 * i), box.bottom() - bh, w * 0.2, bh),
                   bars[i]);
    }
    QPainterPath quill;
    quill.moveTo(box.left() + w * 0.05, box.bottom());
    quill.cubicTo(box.left() + w * 0.4, box.top() + h * 0.6, box.left() + w * 0.6,
                  box.top() + h * 0.2, box.right(), box.top());
    quill.cubicTo(box.left() + w * 0.75, box.top() + h * 0.45, box.left() + w * 0.45,
                  box.top() + h * 0.75, box.left() + w * 0.05, box.bottom());
    p.setPen(QPen(QColor(20, 20, 60), 1.5));
    p.setBrush(QColor(255, 255, 255, 230));
    p.drawPath(quill);
}

QImage Picture(int width, int height, bool withSubtitle, int scale) {
    QImage image(width * scale, height * scale, QImage::Format_RGB32);
    QPainter p(&image);
    p.scale(scale, scale);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, QColor(20, 40, 120));
    sky.setColorAt(1, QColor(70, 120, 200));
    p.fillRect(image.rect(), sky);
    const double markSize = height * 0.8;
    Mark(p, QRectF(height * 0.1, height * 0.1, markSize, markSize));
    QFont title(QStringLiteral("Times New Roman"));
    title.setBold(true);
    title.setPixelSize(int(height * (withSubtitle ? 0.36 : 0.42)));
    const QRectF text(markSize + height * 0.2, 0, width - markSize - height * 0.25, height * 0.62);
    while (title.pixelSize() > 8 &&
           QFontMetrics(title).horizontalAdvance(QStringLiteral("Quillon 97")) > text.width())
        title.setPixelSize(title.pixelSize() - 1);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(text, Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("Quillon 97"));
    QFont small(QStringLiteral("Arial"));
    small.setPixelSize(std::max(9, int(height * 0.14)));
    p.setFont(small);
    p.setPen(QColor(255, 230, 140));
    p.drawText(QRectF(text.left(), height * 0.64, text.width(), height * 0.3),
               Qt::AlignLeft | Qt::AlignTop,
               withSubtitle ? QStringLiteral("System analysis workbench")
                            : QStringLiteral("Orchard Desk"));
    return image;
}

bool Save(const QImage& image, const QString& dir, int id, int scale) {
    const QString path = scale == 1 ? QStringLiteral("%1/%2.png").arg(dir).arg(id)
                                    : QStringLiteral("%1/%2@%3x.png").arg(dir).arg(id).arg(scale);
    if (!image.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    bool ok = true;
    for (int scale : {1, 2}) {
        ok = Save(Picture(300, 96, true, scale), dir, 130, scale) && ok;
        ok = Save(Details(scale), dir, 144, scale) && ok;
        ok = Save(Selection(scale), dir, 146, scale) && ok;
        // 256 colours, as the about box's picture always was.
        QImage about = Picture(156, 84, false, scale).convertToFormat(QImage::Format_Indexed8);
        ok = Save(about, dir, 166, scale) && ok;
    }
    return ok ? 0 : 1;
}
