// A list of texts made by hand, PDF printers of a known resolution and page, and the
// printed file read back with pdftotext.
#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <new>
#include <set>

#include "panes/list/TableText.h"

class FakeTable : public ITableText {
public:
    QString WindowText() const override { return caption; }
    int RowCount() const override { return int(cells.size()); }
    int ColumnCount() const override { return int(headers.size()); }
    QString HeaderText(int column) const override { return headers.value(column); }
    QString CellText(int row, int column) const override {
        if (row == throwAtRow) throw std::bad_alloc();
        return cells.value(row).value(column);
    }
    bool IsRowSelected(int row) const override { return selected.count(row) != 0; }
    bool PrintMarksSelection() const override { return marks; }

    // rows x columns of "r<row>c<column>".
    static FakeTable Grid(int rows, int columns) {
        FakeTable t;
        for (int c = 0; c < columns; ++c) t.headers << QStringLiteral("Head%1").arg(c);
        for (int r = 0; r < rows; ++r) {
            QStringList row;
            for (int c = 0; c < columns; ++c) row << QStringLiteral("r%1c%2").arg(r).arg(c);
            t.cells << row;
        }
        return t;
    }

    QString caption;
    QStringList headers;
    QList<QStringList> cells;
    std::set<int> selected;
    bool marks = false;
    int throwAtRow = -1;
};

inline QString OutputPath(const QString& name) {
    QDir().mkpath(QStringLiteral(QUILLON_PRINT_OUTPUT_DIR));
    return QStringLiteral(QUILLON_PRINT_OUTPUT_DIR "/%1").arg(name);
}

// A PDF printer whose device is the whole page: dpi dots per inch, a page of the given size
// in points (72 to the inch).
inline void SetUpPdf(QPrinter& printer, const QString& path, int dpi, double widthPt,
                     double heightPt) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setResolution(dpi);
    printer.setFullPage(true);
    printer.setPageLayout(QPageLayout(QPageSize(QSizeF(widthPt, heightPt), QPageSize::Point),
                                      QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
}

inline QString RunTool(const QString& tool, const QStringList& args) {
    QProcess p;
    p.start(tool, args);
    if (!p.waitForFinished(30000)) return QStringLiteral("<%1 failed>").arg(tool);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The text of one page (from 1), or of all pages when page is 0.
inline QString PdfText(const QString& path, int page = 0) {
    QStringList args{QStringLiteral("-layout")};
    if (page > 0)
        args << QStringLiteral("-f") << QString::number(page) << QStringLiteral("-l")
             << QString::number(page);
    args << path << QStringLiteral("-");
    return RunTool(QStringLiteral("pdftotext"), args);
}

inline int PdfPages(const QString& path) {
    const QString info = RunTool(QStringLiteral("pdfinfo"), {path});
    for (const QString& line : info.split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("Pages:"))) return line.mid(6).trimmed().toInt();
    return -1;
}

// The line of a pdftotext -layout page that holds a whole word ("" when none).
inline QString LineWith(const QString& page, const QString& word) {
    const QRegularExpression re(
        QStringLiteral("(^|\\s)%1(\\s|$)").arg(QRegularExpression::escape(word)));
    for (const QString& line : page.split(QLatin1Char('\n')))
        if (re.match(line).hasMatch()) return line;
    return QString();
}

// Whether the words stand on the line as whole words, left to right.
inline bool InOrder(const QString& line, const QStringList& words) {
    qsizetype from = 0;
    for (const QString& word : words) {
        const QRegularExpression re(
            QStringLiteral("(^|\\s)%1(\\s|$)").arg(QRegularExpression::escape(word)));
        const QRegularExpressionMatch m = re.match(line, from);
        if (!m.hasMatch()) return false;
        from = m.capturedEnd(0) - (m.captured(2).isEmpty() ? 0 : 1);
    }
    return true;
}
