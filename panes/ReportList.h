// The Reports pane's table: a report-style tree view over the compiled report. It stands in
// for the shared owner-drawn list class and offers the same texts to printing and copying.
#pragma once

#include <QAbstractTableModel>
#include <QTreeView>

#include "panes/TableText.h"
#include "reports/ReportCompiler.h"

class CReportTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    using QAbstractTableModel::QAbstractTableModel;
    void SetTable(CReportTable table);
    const CReportTable& Table() const { return m_table; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    CReportTable m_table;
};

class CReportList : public QTreeView, public ITableText {
    Q_OBJECT

public:
    explicit CReportList(QWidget* parent);

    // Shows a compiled table; column widths are the table's, plus the cell margins.
    void SetTable(CReportTable table);
    const CReportTable& Table() const { return m_model.Table(); }
    // Rows that fit in the list's area below its header.
    int VisibleRows() const;
    int RowHeight() const;
    void SetWindowText(const QString& text) { m_windowText = text; }

    // ITableText
    QString WindowText() const override { return m_windowText; }
    int RowCount() const override { return m_model.rowCount(); }
    int ColumnCount() const override { return m_model.columnCount(); }
    QString HeaderText(int column) const override;
    QString CellText(int row, int column) const override;
    bool IsRowSelected(int row) const override;

private:
    CReportTableModel m_model;
    QString m_windowText;
};
