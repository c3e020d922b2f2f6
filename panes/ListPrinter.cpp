#include "panes/ListPrinter.h"

#include <QFontMetrics>
#include <QPaintDevice>
#include <QPainter>
#include <algorithm>

#include "panes/TableText.h"
#include "resources/Strings.h"

namespace {

// Only the start of a long text is read for printing.
constexpr int kPrintedChars = 50;
constexpr int kWidthCapChars = 30;
const QColor kLightGrey(192, 192, 192);

// Roman family without a face name: the face such a request gets is Times New Roman (matched
// by fontconfig), at a height in device pixels.
QFont PrinterFont(int pixelHeight, bool bold) {
    QFont font(QStringLiteral("Times New Roman"));
    font.setStyleHint(QFont::Serif);
    font.setPixelSize(std::max(1, pixelHeight));
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    return font;
}

// A GDI-style rectangle: right and bottom edges exclusive.
void Box(QPainter& painter, int x, int y, int width, int height, const QBrush& brush) {
    painter.setBrush(brush);
    painter.drawRect(QRect(x, y, std::max(0, width - 1), std::max(0, height - 1)));
}

}  // namespace

CListPrinter::CListPrinter(const ITableText& list, QString title, QString caption)
    : m_list(list), m_title(std::move(title)), m_captionWhenNone(std::move(caption)) {}

void CListPrinter::PreparePrinting() {
    m_rows = m_list.RowCount();
    m_columns = m_list.ColumnCount();
}

int CListPrinter::BeginPrinting(QPaintDevice& device) {
    const int dpiX = device.logicalDpiX();
    const int dpiY = device.logicalDpiY();
    m_titleFont = PrinterFont((dpiY * 14 + 36) / 72, true);
    m_bodyFont = PrinterFont((dpiY * 12 + 36) / 72, false);
    const QFontMetrics body(m_bodyFont, &device);
    m_charHeight = body.height();
    m_aveCharWidth = body.averageCharWidth();

    m_widths.assign(std::max(0, m_columns), 0);
    for (int c = 0; c < m_columns; ++c) {
        int width = body.horizontalAdvance(m_list.HeaderText(c).left(kPrintedChars));
        for (int r = 0; r < m_rows; ++r)
            width =
                std::max(width, body.horizontalAdvance(m_list.CellText(r, c).left(kPrintedChars)));
        m_widths[c] = std::min(width, kWidthCapChars * m_aveCharWidth) + 2 * m_aveCharWidth + 2;
    }

    m_left = dpiX / 2;
    m_top = dpiY / 2;
    m_right = device.width() - dpiX / 2;
    m_bottom = device.height() - dpiY / 2;
    m_pageBottom = device.height();

    long long sum = 0;
    for (int w : m_widths) sum += w;
    while (m_columns > 0 && sum > m_right - m_left) sum -= m_widths[--m_columns];
    const long long spare = (m_right - m_left) - sum;
    m_pageLeft = m_left;
    m_pageRight = m_right;
    if (spare > 1) {
        m_left += int(spare / 2);
        m_right -= int(spare / 2);
    }

    m_caption = m_list.WindowText();
    if (m_caption.isEmpty()) m_caption = m_captionWhenNone;
    m_titleHeight = m_title.isEmpty() ? 0 : QFontMetrics(m_titleFont, &device).height();
    m_lineHeight = m_charHeight + 1;
    m_headerBlock = (m_caption.isEmpty() ? 1 : 2) * m_lineHeight;
    // A page too short for one row still prints one, so that the job ends.
    m_rowsPerPage = std::max(1, (m_bottom - m_top - m_titleHeight - m_headerBlock) / m_lineHeight);
    // An empty list still prints its title and headers on one page.
    m_pages = std::max(1, (m_rows + m_rowsPerPage - 1) / m_rowsPerPage);
    return m_pages;
}

void CListPrinter::DrawCell(QPainter& painter, int x, int y, int width, const QString& text) const {
    const QRect inner(x + m_aveCharWidth + 1, y + 1, width - 2 * (m_aveCharWidth + 1),
                      m_charHeight);
    painter.drawText(inner, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     text.left(kPrintedChars));
}

void CListPrinter::PrintPage(QPainter& painter, int page) {
    painter.save();
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.setPen(QPen(Qt::black, 0));
    int y = m_top;
    const int width = m_right - m_left;
    // Title and caption are centred over the table but may be wider than a narrow one:
    // they use the page's width rather than be clipped to the table's.
    const int pageWidth = m_pageRight - m_pageLeft;
    if (!m_title.isEmpty()) {
        painter.setFont(m_titleFont);
        painter.drawText(QRect(m_pageLeft, y, pageWidth, m_titleHeight),
                         Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, m_title);
        y += m_titleHeight;
    }
    painter.setFont(m_bodyFont);
    if (!m_caption.isEmpty()) {
        const int dx = m_aveCharWidth + 1;
        const int needed = QFontMetrics(m_bodyFont, painter.device()).horizontalAdvance(m_caption);
        const int boxWidth = std::min(pageWidth, std::max(width, needed + 2 * dx));
        const int boxLeft = m_pageLeft + (pageWidth - boxWidth) / 2;
        Box(painter, boxLeft, y, boxWidth, m_lineHeight, kLightGrey);
        painter.drawText(QRect(boxLeft + dx, y + 1, boxWidth - 2 * dx, m_lineHeight - 2),
                         Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, m_caption);
        y += m_lineHeight;
    }

    const int first = (page - 1) * m_rowsPerPage;
    const int last = std::min(page * m_rowsPerPage, m_rows);
    const int cellHeight = m_charHeight + 2;
    int x = m_left;
    for (int c = 0; c < m_columns; ++c) {
        const int w = m_widths[c];
        Box(painter, x, y, w, cellHeight, kLightGrey);
        DrawCell(painter, x, y, w, m_list.HeaderText(c));
        int rowY = y;
        for (int r = first; r < last; ++r) {
            rowY += m_lineHeight;
            Box(painter, x, rowY, w, cellHeight, Qt::white);
            DrawCell(painter, x, rowY, w, m_list.CellText(r, c));
        }
        x += w;
    }

    // The page number goes in the bottom margin, outside the table's layout.
    const QString number = QString::fromStdString(
        FormatKQString(IDS_PAGE_NUMBER_FMT, std::to_string(page), std::to_string(m_pages)));
    painter.drawText(QRect(m_pageLeft, m_bottom, pageWidth, m_pageBottom - m_bottom),
                     Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine, number);
    painter.restore();
}
