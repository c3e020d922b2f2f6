// Draws the rows of an owner-drawn list: the row's small image at its left, each cell's text
// fitted to its rectangle with "…", selected rows in the highlight colours.
#pragma once

#include <QPixmap>
#include <QStyledItemDelegate>
#include <vector>

class QFontMetrics;

class CListRowDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    explicit CListRowDelegate(QObject* parent = nullptr);

    void SetImageList(std::vector<QPixmap> images);
    const std::vector<QPixmap>& Images() const { return m_images; }
    // Width reserved for the image at the left of column 0 (0 without an image list).
    int ImageWidth() const;

    // Text height of the font + 1, at least 17.
    static int RowHeight(const QFontMetrics& metrics);
    // The text drawn in a rectangle `width` wide: whole when it fits in width - 4, else cut
    // from its end and followed by "…"; whole (and clipped) when not even one character
    // with "…" fits. At most 255 characters are used.
    static QString FitCellText(const QFontMetrics& metrics, const QString& text, int width);
    // The rectangle a cell's text goes into (column 0 starts after the image).
    QRect TextRect(const QRect& cellRect, int column) const;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // A shortened cell shows its whole text as a tool tip.
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

private:
    std::vector<QPixmap> m_images;
};
