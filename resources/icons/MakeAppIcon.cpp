// Draws the application icon: one list of shapes written both as the scalable SVG and as the
// PNG sizes of the hicolor theme, so the two never drift apart. Run when the picture changes:
//   make_app_icon <resources/icons directory>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPolygonF>
#include <cstdio>
#include <vector>

namespace {

constexpr const char* kId = "org.orcharddesk.Quillon97";
constexpr int kCanvas = 256;

struct Shape {
    enum Kind { RoundRect, Polygon, Line } kind;
    std::vector<QPointF> points;  // RoundRect: top-left and bottom-right; Line: two ends
    double radius;                // RoundRect corner
    const char* fill;             // empty: none
    const char* stroke;           // empty: none
    double strokeWidth;
};

// A results panel with three bars of rising speed, and the quill the program is named after.
const std::vector<Shape>& Shapes() {
    static const std::vector<Shape> shapes = {
        {Shape::RoundRect, {{16, 16}, {240, 240}}, 44, "#1f4e8c", "#0e2a52", 8},
        {Shape::RoundRect, {{44, 60}, {196, 200}}, 14, "#f4f6fa", "", 0},
        {Shape::RoundRect, {{62, 142}, {94, 182}}, 3, "#2e9e4f", "", 0},
        {Shape::RoundRect, {{104, 112}, {136, 182}}, 3, "#e69a1a", "", 0},
        {Shape::RoundRect, {{146, 84}, {178, 182}}, 3, "#c8322b", "", 0},
        {Shape::Line, {{56, 186}, {184, 186}}, 0, "", "#30343c", 8},
        {Shape::Polygon,
         {{226, 30}, {236, 46}, {214, 96}, {172, 150}, {150, 170}, {160, 140}, {186, 88}},
         0,
         "#fdfdfd",
         "#0e2a52",
         6},
        {Shape::Line, {{214, 52}, {156, 160}}, 0, "", "#8aa4c8", 5},
        {Shape::Line, {{150, 170}, {128, 214}}, 0, "", "#fdfdfd", 7},
    };
    return shapes;
}

QByteArray Svg() {
    QByteArray out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" "
        "viewBox=\"0 0 256 256\">\n";
    for (const Shape& s : Shapes()) {
        QByteArray paint;
        paint += QByteArray(" fill=\"") + (*s.fill ? s.fill : "none") + "\"";
        if (*s.stroke)
            paint += QByteArray(" stroke=\"") + s.stroke + "\" stroke-width=\"" +
                     QByteArray::number(s.strokeWidth) +
                     "\" stroke-linejoin=\"round\" stroke-linecap=\"round\"";
        switch (s.kind) {
            case Shape::RoundRect: {
                const QPointF a = s.points[0], b = s.points[1];
                out += "  <rect x=\"" + QByteArray::number(a.x()) + "\" y=\"" +
                       QByteArray::number(a.y()) + "\" width=\"" +
                       QByteArray::number(b.x() - a.x()) + "\" height=\"" +
                       QByteArray::number(b.y() - a.y()) + "\" rx=\"" +
                       QByteArray::number(s.radius) + "\"" + paint + "/>\n";
                break;
            }
            case Shape::Polygon: {
                QByteArray pts;
                for (const QPointF& p : s.points)
                    pts += QByteArray::number(p.x()) + "," + QByteArray::number(p.y()) + " ";
                out += "  <polygon points=\"" + pts.trimmed() + "\"" + paint + "/>\n";
                break;
            }
            case Shape::Line:
                out += "  <line x1=\"" + QByteArray::number(s.points[0].x()) + "\" y1=\"" +
                       QByteArray::number(s.points[0].y()) + "\" x2=\"" +
                       QByteArray::number(s.points[1].x()) + "\" y2=\"" +
                       QByteArray::number(s.points[1].y()) + "\"" + paint + "/>\n";
                break;
        }
    }
    return out + "</svg>\n";
}

QImage Png(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(double(size) / kCanvas, double(size) / kCanvas);
    for (const Shape& s : Shapes()) {
        QPen pen(Qt::NoPen);
        if (*s.stroke) {
            pen = QPen(QColor(QLatin1String(s.stroke)), s.strokeWidth, Qt::SolidLine, Qt::RoundCap,
                       Qt::RoundJoin);
        }
        p.setPen(pen);
        p.setBrush(*s.fill ? QBrush(QColor(QLatin1String(s.fill))) : QBrush(Qt::NoBrush));
        switch (s.kind) {
            case Shape::RoundRect:
                p.drawRoundedRect(QRectF(s.points[0], s.points[1]), s.radius, s.radius);
                break;
            case Shape::Polygon:
                p.drawPolygon(QPolygonF(QList<QPointF>(s.points.begin(), s.points.end())));
                break;
            case Shape::Line:
                p.drawLine(s.points[0], s.points[1]);
                break;
        }
    }
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_app_icon <output directory>\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    bool ok = QDir().mkpath(dir + "/scalable");
    QFile svg(dir + "/scalable/" + kId + ".svg");
    ok = ok && svg.open(QIODevice::WriteOnly) && svg.write(Svg()) > 0;
    svg.close();
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString sub = dir + QStringLiteral("/%1x%1").arg(size);
        ok = ok && QDir().mkpath(sub) && Png(size).save(sub + "/" + kId + ".png");
    }
    return ok ? 0 : 1;
}
