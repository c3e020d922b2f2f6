#include "app/StartupCover.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>
#include <QScreen>

#include "panes/Bitmaps.h"
#include "resources/Strings.h"

CStartupCover::CStartupCover(QWidget* owner, const QRect& rect)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Base));  // the system's window colour
    setPalette(pal);

    const QScreen* s = screen();
    const int dpiX = s ? qRound(s->logicalDotsPerInchX()) : 96;
    const int dpiY = s ? qRound(s->logicalDotsPerInchY()) : 96;
    m_mx = dpiX / 10;
    m_my = dpiY / 10;
    m_font = QFont(QStringLiteral("Times New Roman"));
    m_font.setStyleHint(QFont::Serif);
    m_font.setWeight(QFont::Bold);
    m_font.setPixelSize((dpiY * 20 + 36) / 72);
    m_h = QFontMetrics(m_font).height();
    m_bitmap = LoadKQBitmap(IDB_STARTUP_COVER);

    // In device-independent pixels: the doubled picture of a high-DPI screen takes the same room.
    const QSize bitmapSize = m_bitmap.deviceIndependentSize().toSize();
    const int bw = bitmapSize.width(), bh = bitmapSize.height();
    const int w = bw + 2 * (kBorder + m_mx + m_h + 2 * m_mx);
    const int h = bh + 2 * (kBorder + m_my + 2 * m_my + m_h);
    QRect r(0, 0, w, h);
    r.moveCenter(rect.center());
    setGeometry(r);
}

void CStartupCover::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // The thin border, then the card inside it.
    p.setPen(Qt::black);
    p.drawRect(0, 0, width() - 1, height() - 1);
    p.translate(kBorder, kBorder);
    const int R = width() - 2 * kBorder, B = height() - 2 * kBorder;
    const int mx = m_mx, my = m_my;

    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygon({QPoint(0, B), QPoint(0, 0), QPoint(R, 0), QPoint(R - mx, my),
                            QPoint(mx, my), QPoint(mx, B - my)}));
    p.setBrush(Qt::gray);
    p.drawPolygon(QPolygon({QPoint(0, B), QPoint(R, B), QPoint(R, 0), QPoint(R - mx, my),
                            QPoint(R - mx, B - my), QPoint(mx, B - my)}));
    p.setPen(QColor(192, 192, 192));
    p.drawLine(mx, my, 0, 0);
    p.setPen(Qt::black);
    p.drawLine(mx, B - my, 0, B);
    p.drawLine(R - mx, B - my, R, B);
    p.drawLine(R - mx, my, R, 0);
    p.fillRect(QRect(QPoint(mx, my), QPoint(R - mx - 1, B - my - 1)), QColor(192, 192, 192));

    if (!m_bitmap.isNull())
        p.drawPixmap((R - int(m_bitmap.deviceIndependentSize().width())) / 2, m_h + 3 * my,
                     m_bitmap);
    p.setFont(m_font);
    p.setPen(Qt::black);
    p.setBackgroundMode(Qt::TransparentMode);
    const QString welcome = QString::fromStdString(LoadKQString(IDS_WELCOME_TO));
    const int tw = QFontMetrics(m_font).horizontalAdvance(welcome);
    p.drawText(QRect(R / 2 - tw / 2, 2 * my, tw + 1, m_h), Qt::AlignLeft | Qt::AlignTop, welcome);
}
