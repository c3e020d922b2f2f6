// A list printed as a ruled grid: a title, an optional caption box, a header row and the
// rows in pages between half-inch margins. Columns that do not fit the page's width continue
// on further pages, each band of columns led by the caption column (column 0) again; pages run
// down the rows, then across the bands, numbered in one sequence.
#pragma once

#include <QFont>
#include <QString>
#include <vector>

#include "panes/PrintJob.h"

class ITableText;

class CListPrinter : public IPrintSource {
public:
    // caption stands in when the list has no caption of its own (empty: no caption box).
    CListPrinter(const ITableText& list, QString title, QString caption = QString());

    void PreparePrinting() override;
    bool WantsLandscape(QPaintDevice& portrait) override;
    int BeginPrinting(QPaintDevice& device) override;
    void PrintPage(QPainter& painter, int page) override;

    // The layout, as computed by BeginPrinting.
    int RowCount() const { return m_rows; }
    int ColumnCount() const { return m_columns; }
    int RowsPerPage() const { return m_rowsPerPage; }
    int PageCount() const { return m_pages; }
    int LineHeight() const { return m_lineHeight; }
    int TitleHeight() const { return m_titleHeight; }
    int HeaderBlockHeight() const { return m_headerBlock; }
    // Every column's width; the widths drawn are those of the bands.
    const std::vector<int>& ColumnWidths() const { return m_widths; }
    // The column bands, one per page across: their columns (the caption column first).
    int BandCount() const { return static_cast<int>(m_bands.size()); }
    const std::vector<int>& BandColumns(int band) const { return m_bands[size_t(band)].columns; }
    // Width of the column marking selected rows (0: none).
    int MarkWidth() const { return m_markWidth; }
    // left, top, right, bottom of the first band's table
    int Left() const { return m_left; }
    int Top() const { return m_top; }
    int Right() const { return m_right; }
    int Bottom() const { return m_bottom; }
    const QString& Caption() const { return m_caption; }

private:
    struct Band {
        std::vector<int> columns;
        std::vector<int> widths;  // the last may be cut to the page
        int left = 0;
        int width = 0;
    };
    void MeasureColumns(QPaintDevice& device);
    void MakeBands();
    void DrawCell(QPainter& painter, int x, int y, int width, const QString& text) const;

    const ITableText& m_list;
    QString m_title;
    QString m_captionWhenNone;
    QString m_caption;
    QFont m_titleFont;
    QFont m_bodyFont;
    int m_rows = 0;
    int m_columns = 0;
    bool m_marks = false;
    int m_charHeight = 0;
    int m_aveCharWidth = 0;
    int m_lineHeight = 0;
    int m_titleHeight = 0;
    int m_headerBlock = 0;
    int m_rowsPerPage = 1;
    int m_rowPages = 1;
    int m_pages = 1;
    int m_left = 0, m_top = 0, m_right = 0, m_bottom = 0;
    int m_pageLeft = 0, m_pageRight = 0, m_pageBottom = 0;  // the page inside its margins
    int m_measuredDpiX = 0, m_measuredDpiY = 0;             // the widths' resolution
    int m_markWidth = 0;
    std::vector<int> m_widths;
    std::vector<Band> m_bands;
};
