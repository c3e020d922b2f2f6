// Pane 2: every stored system in a list under the heading; its selection is what the Charts
// and Reports panes compare.
#pragma once

#include <QPointer>
#include <vector>

#include "document/PaneSources.h"
#include "panes/DatabaseList.h"
#include "panes/Pane.h"

class CDatabasePane : public CSelectionPane {
public:
    explicit CDatabasePane(IRecordListSource& source) : m_source(source) {}
    ~CDatabasePane() override;

    // The listing's records, rows of records added or changed, the order after a change of
    // the whole, and out of date when this machine's record was measured again.
    void OnDocumentEvent(const DocumentEvent& event) override;
    // Writes the record named by key into its row again (key 0: the running system's).
    void UpdateRow(int recordKey);
    void SortAgain();

    // Writes one record into its row (the running system's is always the first row).
    void RowContents(const CRecordEntry& record, int recordKey);
    // Rebuilds the selection array from the selected rows and hands it on.
    void CaptureSelection();

    CDatabaseList* List() const { return m_list; }
    ITableText* TableText() override;
    QString PrintTitle() const override;
    const CDbColumns& Columns() const { return m_columns; }

protected:
    void CreateWindows() override;
    void OnResize() override;
    void OnShow(bool show) override;
    void OnRefresh() override;
    void OnDraw(QPainter& painter) override;

private:
    QRect ListRect() const;
    void Relist();
    void AppendFillerRows();
    void ListingDone();

    IRecordListSource& m_source;
    QPointer<CDatabaseList> m_list;
    CDbColumns m_columns;
    std::vector<int> m_titleWidths;
    std::vector<int> m_widths;  // recorded widths, raised by the texts listed
};
