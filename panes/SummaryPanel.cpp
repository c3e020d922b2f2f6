#include "panes/SummaryPanel.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "panes/PaneCommands.h"
#include "panes/QtText.h"
#include "resources/Strings.h"

namespace {

int Width(const QFont& font, const QString& text) {
    if (font.pixelSize() <= 0 || text.isEmpty()) return 0;
    return QFontMetrics(font).horizontalAdvance(text);
}

// The part of the cell above the characters (the font's internal leading).
int InternalLeading(const QFont& font) {
    const QFontMetrics fm(font);
    return std::max(0, fm.ascent() + fm.descent() - font.pixelSize());
}

}  // namespace

QFont LogoFont(const char* family, int px, int weight) {
    QFont font(QString::fromLatin1(family));
    font.setStyleHint(QString::fromLatin1(family) == QLatin1String("Arial") ? QFont::SansSerif
                                                                            : QFont::Serif);
    // A height of 0 or less has no glyphs; Qt needs a positive size.
    font.setPixelSize(std::max(1, px));
    font.setWeight(QFont::Weight(weight));
    return font;
}

CLogoLayout CLogoLayout::MakeOnce(const QRect& q, int a, const QString& title,
                                  const QString& subtitle) {
    CLogoLayout l;
    l.a = a;
    const int a2 = a * 22 / 38;
    l.s = a * 14 / 38;
    l.f1 = LogoFont("Times New Roman", a, 700);
    l.f2 = LogoFont("Times New Roman", a2, 700);
    l.f3 = LogoFont("Times New Roman", a2 / 4, 400);
    l.f4 = LogoFont("Times New Roman", l.s, 700);

    const qsizetype blank = title.indexOf(QLatin1Char(' '));
    l.word = (blank < 0 ? title : title.left(blank)).toUpper();
    l.suffix = blank < 0 ? QString() : title.mid(blank + 1);
    l.subtitle = subtitle;

    l.w1 = Width(l.f1, l.word.left(1));
    l.w2 = Width(l.f2, l.word.size() > 2 ? l.word.mid(1, l.word.size() - 2) : QString());
    l.w3 = Width(l.f3, l.word.size() > 1 ? l.word.right(1) : QString());
    l.w4 = Width(l.f4, l.suffix);
    const QFontMetrics tm1(l.f1), tm2(l.f2), tm4(l.f4);

    // The subtitle's height: as wide as the middle and last letters without the suffix.
    const int target = l.w2 + l.w3 - tm2.averageCharWidth() / 2 - l.w4;
    int lo = 0, hi = l.s;
    for (int i = 0; i < 21; ++i) {
        l.d = (lo + hi) / 2;
        const int w = l.d > 0 ? Width(LogoFont("Times New Roman", l.d, 400), subtitle) : 0;
        if (w == target) break;
        if (w > target)
            hi = l.d;
        else
            lo = l.d;
        if (lo >= hi) break;
    }
    l.subtitleFont = LogoFont("Times New Roman", l.d, 400);
    l.linkFont = LogoFont("Arial", (l.d * 8 + 5) / 10, 400);

    l.p = tm2.averageCharWidth() / 2;
    const int p = l.p;
    l.cap = tm1.ascent() - InternalLeading(l.f1);
    l.width = l.w1 + l.w2 + l.w3 + p + p / 2;
    l.height = p / 2 + 2 * p + (l.s * 7 + 2) / 4 + l.cap;

    const int left = q.left() + (q.width() - l.width) / 2;
    const int top = q.top() + (q.height() - l.height) / 2;
    l.box = QRect(QPoint(left, top),
                  QPoint(left + 2 * (p / 2) + l.w1 - 1, top + 2 * (p / 2) + l.cap - 1));

    l.first = QPoint(left + p / 2, top + p / 2 - InternalLeading(l.f1));
    const int midX = left + p / 2 + p + l.w1 - 1;
    l.middle = QPoint(midX, top + p / 2 - InternalLeading(l.f2));
    l.last = QPoint(midX + l.w2, l.middle.y());
    const int baseline = top + p / 2 + l.cap;
    l.suffixAt = QPoint(midX + l.w2 + l.w3 / 2 - l.w4, baseline - tm4.ascent());
    l.subtitleAt = QPoint(left + p / 2 + p + l.w1,
                          baseline - (l.d > 0 ? QFontMetrics(l.subtitleFont).ascent() : 0));
    return l;
}

CLogoLayout CLogoLayout::Make(const QRect& q, const QString& title, const QString& subtitle) {
    const int a = q.height() / 3;
    CLogoLayout l = MakeOnce(q, a, title, subtitle);
    if (q.width() < l.width && l.width > 0) {
        l = MakeOnce(q, a * q.width() / l.width, title, subtitle);
        l.rescaled = true;
    }
    return l;
}

// ---- web link ----

CWebLink::CWebLink(const QString& text, bool enabled, QWidget* parent)
    : QPushButton(text, parent), m_enabled(enabled) {
    setFlat(true);
    setCursor(enabled ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void CWebLink::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.save();
    const int w = width(), h = height();
    if (m_enabled) {
        const QColor green(0, 128, 0);
        painter.setPen(QPen(green, 2));
        painter.drawLine(0, h - 3, w, h - 3);
        painter.setPen(green);
    } else {
        painter.setPen(palette().color(QPalette::WindowText));
    }
    painter.setFont(font());
    painter.drawText(QRect(0, 0, w, h), Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine,
                     text());
    painter.restore();
}

// ---- panel ----

CSummaryPanel::CSummaryPanel(IPaneCommands* commands, bool browser, const QRect& rect,
                             QWidget* parent)
    : QWidget(parent), m_commands(commands) {
    setObjectName(QString::number(kPanelID));
    setGeometry(rect);
    Layout(browser);
}

void CSummaryPanel::Layout(bool browser) {
    const QRect q(0, 0, width(), height());
    m_logo = CLogoLayout::Make(q, KQText(IDS_LOGO_TITLE), KQText(IDS_LOGO_SUBTITLE));

    // Buttons side by side under the box, as wide as the logo at most.
    auto makeButtons = [&](int px) {
        m_buttonFont = LogoFont("Arial", px, 700);
        const QFontMetrics fm(m_buttonFont);
        const int ave = fm.averageCharWidth();
        const int h = (fm.height() * 7 + 2) / 4;
        const int wa = 2 * ave + fm.horizontalAdvance(KQText(IDS_ANALYZE_NOW));
        const int wh = 2 * ave + fm.horizontalAdvance(KQText(IDS_HELP));
        const int pair = wa + 2 * ave + wh;
        const int left = (q.width() - pair) / 2;
        const int top = m_logo.box.bottom() + 1 + m_logo.p;
        delete m_analyze.data();
        delete m_help.data();
        m_analyze = new QPushButton(KQText(IDS_ANALYZE_NOW), this);
        m_analyze->setObjectName(QString::number(ID_SUMMARY_ANALYZE_BUTTON));
        m_analyze->setGeometry(left, top, wa, h);
        m_help = new QPushButton(KQText(IDS_HELP), this);
        m_help->setObjectName(QString::number(ID_HELP_INDEX));
        m_help->setGeometry(left + wa + 2 * ave, top, wh, h);
        for (QPushButton* b : {m_analyze.data(), m_help.data()}) b->setFont(m_buttonFont);
        return pair;
    };
    const int pair = makeButtons(m_logo.s);
    if (pair > m_logo.width && pair > 0) makeButtons(m_logo.s * m_logo.width / pair);
    connect(m_analyze, &QPushButton::clicked, this, [this] {
        if (m_commands) m_commands->OnCommand(ID_SUMMARY_ANALYZE_BUTTON);
    });
    connect(m_help, &QPushButton::clicked, this, [this] {
        if (m_commands) m_commands->OnCommand(ID_HELP_INDEX);
    });

    const QString address = KQText(IDS_PUBLISHER_SITE);
    m_link = new CWebLink(address, browser, this);
    m_link->setObjectName(QString::number(ID_SUMMARY_WEB_LINK));
    m_link->setFont(m_logo.linkFont);
    const QFontMetrics lm(m_logo.linkFont);
    const int lw = lm.horizontalAdvance(address), lh = lm.height() + 4;
    const int areaTop = m_analyze->geometry().bottom() + 1;
    const int areaHeight = std::max(0, q.height() - areaTop);
    m_link->setGeometry((q.width() - lw) / 2, areaTop + (areaHeight - lh) / 2, lw, lh);
    connect(m_link, &QPushButton::clicked, this, [this] {
        if (m_commands && m_link->LinkEnabled()) m_commands->OnCommand(ID_SUMMARY_WEB_LINK);
    });
}

void CSummaryPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(Qt::black);
    painter.setBrush(QColor(192, 192, 192));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    const QColor red(255, 0, 0);
    painter.setPen(red);
    painter.setBrush(red);
    painter.drawRect(m_logo.box.adjusted(0, 0, -1, -1));

    painter.setBackgroundMode(Qt::TransparentMode);
    auto draw = [&](const QFont& font, const QColor& colour, const QPoint& at, const QString& t) {
        if (t.isEmpty()) return;
        painter.setFont(font);
        painter.setPen(colour);
        painter.drawText(at.x(), at.y() + QFontMetrics(font).ascent(), t);
    };
    const QString& word = m_logo.word;
    draw(m_logo.f1, Qt::white, m_logo.first, word.left(1));
    if (word.size() > 2) draw(m_logo.f2, red, m_logo.middle, word.mid(1, word.size() - 2));
    if (word.size() > 1) draw(m_logo.f3, red, m_logo.last, word.right(1));
    draw(m_logo.f4, red, m_logo.suffixAt, m_logo.suffix);
    if (m_logo.d > 0) draw(m_logo.subtitleFont, Qt::black, m_logo.subtitleAt, m_logo.subtitle);
}

void CSummaryPanel::mouseDoubleClickEvent(QMouseEvent*) {
    if (m_commands) m_commands->OnCommand(ID_HELP_INDEX);
}
