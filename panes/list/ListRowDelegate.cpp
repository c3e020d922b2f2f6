#include "panes/list/ListRowDelegate.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>

#include "panes/list/ListModel.h"

namespace {

constexpr int kMaxCellChars = 255;
// One character, as cut texts end everywhere else on the desktop.
const QString kEllipsis = QString(QChar(0x2026));

}  // namespace

CListRowDelegate::CListRowDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

void CListRowDelegate::SetImageList(std::vector<QPixmap> images) { m_images = std::move(images); }

int CListRowDelegate::ImageWidth() const {
    // In the list's pixels: a doubled image takes the room of a normal one.
    return m_images.empty() ? 0 : qRound(m_images.front().deviceIndependentSize().width());
}

int CListRowDelegate::RowHeight(const QFontMetrics& metrics) {
    return std::max(17, metrics.height() + 1);
}

QString CListRowDelegate::FitCellText(const QFontMetrics& metrics, const QString& text, int width) {
    const QString whole = text.left(kMaxCellChars);
    const int room = width - 4;
    if (metrics.horizontalAdvance(whole) <= room) return whole;
    // Longest prefix that still fits with the ellipsis; widths grow with the prefix, so bisect.
    auto fits = [&](qsizetype n) {
        return metrics.horizontalAdvance(whole.left(n) + kEllipsis) <= room;
    };
    qsizetype lo = 0, hi = whole.size() - 1;  // lo: fits (or 0 = none), hi: longest candidate
    if (hi < 1 || !fits(1)) return whole;
    lo = 1;
    while (lo < hi) {
        const qsizetype mid = (lo + hi + 1) / 2;
        if (fits(mid))
            lo = mid;
        else
            hi = mid - 1;
    }
    return whole.left(lo) + kEllipsis;
}

QRect CListRowDelegate::TextRect(const QRect& cellRect, int column) const {
    QRect r = cellRect;
    if (column == 0) r.setLeft(std::min(r.right() + 1, r.left() + ImageWidth()));
    return r;
}

void CListRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette& pal = option.palette;
    painter->save();
    painter->fillRect(option.rect,
                      selected ? pal.color(QPalette::Highlight) : pal.color(QPalette::Base));
    if (index.column() == 0 && !m_images.empty()) {
        const int image = index.data(CListModel::ImageRole).toInt();
        if (image >= 0 && size_t(image) < m_images.size()) {
            QPixmap pixmap = m_images[size_t(image)];
            if (selected) {
                // Blended with the highlight colour, as a selected image is shown.
                QPainter blend(&pixmap);
                blend.setCompositionMode(QPainter::CompositionMode_SourceAtop);
                QColor tint = pal.color(QPalette::Highlight);
                tint.setAlpha(128);
                blend.fillRect(pixmap.rect(), tint);
            }
            painter->drawPixmap(option.rect.topLeft(), pixmap);
        }
    }
    const QRect textRect = TextRect(option.rect, index.column());
    const QString text =
        FitCellText(option.fontMetrics, index.data(Qt::DisplayRole).toString(), textRect.width());
    painter->setClipRect(textRect);
    painter->setFont(option.font);
    painter->setPen(selected ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::Text));
    painter->drawText(textRect.adjusted(2, 1, 0, 0),
                      Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    painter->restore();
}

QSize CListRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return QSize(option.rect.width(), RowHeight(option.fontMetrics));
}

bool CListRowDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                 const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (!event || !view || event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString text = index.data(Qt::DisplayRole).toString();
    const QRect textRect = TextRect(option.rect, index.column());
    if (FitCellText(option.fontMetrics, text, textRect.width()) != text.left(kMaxCellChars) ||
        text.size() > kMaxCellChars) {
        QToolTip::showText(event->globalPos(), text, view, option.rect);
        return true;
    }
    QToolTip::hideText();
    event->ignore();
    return true;
}
