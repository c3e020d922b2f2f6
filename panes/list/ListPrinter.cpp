#include "panes/list/ListPrinter.h"

#include <QFontMetrics>
#include <QPaintDevice>
#include <QPainter>
#include <algorithm>

#include "panes/list/TableText.h"
#include "resources/Strings.h"

namespace {

// Only the start of a long text is read for printing.
constexpr int kPrintedChars = 50;
constexpr int kWidthCapChars = 30;
const QColor kLightGrey(192, 192, 192);
// Written in the mark column beside each selected row.
const QString kSelectedMark = QStringLiteral("\u2713");

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
    m_marks = m_list.PrintMarksSelection();
    m_measuredDpiX = m_measuredDpiY = 0;
}

void CListPrinter::MeasureColumns(QPaintDevice& device) {
    const int dpiX = device.logicalDpiX();
    const int dpiY = device.logicalDpiY();
    if (dpiX == m_measuredDpiX && dpiY == m_measuredDpiY) return;  // asked before the dialog
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
    m_markWidth = m_marks ? body.horizontalAdvance(kSelectedMark) + 2 * m_aveCharWidth + 2 : 0;
    m_measuredDpiX = dpiX;
    m_measuredDpiY = dpiY;
}

bool CListPrinter::WantsLandscape(QPaintDevice& portrait) {
    MeasureColumns(portrait);
    long long sum = m_markWidth;
    for (int w : m_widths) sum += w;
    return sum > portrait.width() - portrait.logicalDpiX() / 2 * 2;
}

// Bands of columns as wide as the page: each starts with the caption column; a column too
// wide to share a page with it is cut to the room left, so that every column is printed.
// A page too narrow for the caption column itself prints no columns.
void CListPrinter::MakeBands() {
    m_bands.clear();
    const int room = m_pageRight - m_pageLeft;
    auto place = [&](Band& band) {
        band.width = m_markWidth;
        for (int w : band.widths) band.width += w;
        const int spare = room - band.width;
        band.left = m_pageLeft + (spare > 1 ? spare / 2 : 0);
        m_bands.push_back(std::move(band));
    };
    if (m_columns == 0 || m_markWidth + m_widths[0] > room) {
        Band none;
        place(none);
        return;
    }
    int next = 1;
    do {
        Band band;
        band.columns.push_back(0);
        band.widths.push_back(m_widths[0]);
        int used = m_markWidth + m_widths[0];
        while (next < m_columns && used + m_widths[size_t(next)] <= room) {
            band.columns.push_back(next);
            band.widths.push_back(m_widths[size_t(next)]);
            used += m_widths[size_t(next++)];
        }
        if (band.columns.size() == 1 && next < m_columns) {
            band.columns.push_back(next++);
            band.widths.push_back(room - used);
        }
        place(band);
    } while (next < m_columns);
}

int CListPrinter::BeginPrinting(QPaintDevice& device) {
    MeasureColumns(device);
    const int dpiX = device.logicalDpiX();
    const int dpiY = device.logicalDpiY();
    m_pageLeft = dpiX / 2;
    m_top = dpiY / 2;
    m_pageRight = device.width() - dpiX / 2;
    m_bottom = device.height() - dpiY / 2;
    m_pageBottom = device.height();
    MakeBands();
    m_left = m_bands.front().left;
    m_right = m_left + m_bands.front().width;

    m_caption = m_list.PrintCaption();
    if (m_caption.isEmpty()) m_caption = m_captionWhenNone;
    m_titleHeight = m_title.isEmpty() ? 0 : QFontMetrics(m_titleFont, &device).height();
    m_lineHeight = m_charHeight + 1;
    m_headerBlock = (m_caption.isEmpty() ? 1 : 2) * m_lineHeight;
    // A page too short for one row still prints one, so that the job ends.
    m_rowsPerPage = std::max(1, (m_bottom - m_top - m_titleHeight - m_headerBlock) / m_lineHeight);
    // An empty list still prints its title and headers on one page.
    m_rowPages = std::max(1, (m_rows + m_rowsPerPage - 1) / m_rowsPerPage);
    m_pages = m_rowPages * BandCount();
    return m_pages;
}

void CListPrinter::DrawCell(QPainter& painter, int x, int y, int width, const QString& text) const {
    const QRect inner(x + m_aveCharWidth + 1, y + 1, width - 2 * (m_aveCharWidth + 1),
                      m_charHeight);
    painter.drawText(inner, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     text.left(kPrintedChars));
}

void CListPrinter::PrintPage(QPainter& painter, int page) {
    if (page < 1 || page > m_pages) return;
    const Band& band = m_bands[size_t((page - 1) / m_rowPages)];
    const int rowPage = (page - 1) % m_rowPages;
    painter.save();
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.setPen(QPen(Qt::black, 0));
    int y = m_top;
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
        const int boxWidth = std::min(pageWidth, std::max(band.width, needed + 2 * dx));
        const int boxLeft = m_pageLeft + (pageWidth - boxWidth) / 2;
        Box(painter, boxLeft, y, boxWidth, m_lineHeight, kLightGrey);
        painter.drawText(QRect(boxLeft + dx, y + 1, boxWidth - 2 * dx, m_lineHeight - 2),
                         Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, m_caption);
        y += m_lineHeight;
    }

    const int first = rowPage * m_rowsPerPage;
    const int last = std::min(first + m_rowsPerPage, m_rows);
    const int cellHeight = m_charHeight + 2;
    int x = band.left;
    auto column = [&](int width, const QString& header, auto&& text) {
        Box(painter, x, y, width, cellHeight, kLightGrey);
        DrawCell(painter, x, y, width, header);
        int rowY = y;
        for (int r = first; r < last; ++r) {
            rowY += m_lineHeight;
            Box(painter, x, rowY, width, cellHeight, Qt::white);
            DrawCell(painter, x, rowY, width, text(r));
        }
        x += width;
    };
    if (m_markWidth > 0)
        column(m_markWidth, QString(),
               [this](int r) { return m_list.IsRowSelected(r) ? kSelectedMark : QString(); });
    for (size_t i = 0; i < band.columns.size(); ++i) {
        const int c = band.columns[i];
        column(band.widths[i], m_list.HeaderText(c),
               [this, c](int r) { return m_list.CellText(r, c); });
    }

    // The page number goes in the bottom margin, outside the table's layout.
    const QString number = QString::fromStdString(
        FormatKQString(IDS_PAGE_NUMBER_FMT, std::to_string(page), std::to_string(m_pages)));
    painter.drawText(QRect(m_pageLeft, m_bottom, pageWidth, m_pageBottom - m_bottom),
                     Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine, number);
    painter.restore();
}
