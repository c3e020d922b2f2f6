// The Reports tab: a chooser of report definitions and the compiled table comparing this
// machine with the systems selected on the Database tab.
#pragma once

#include <QComboBox>
#include <QPointer>
#include <QString>
#include <string>
#include <vector>

#include "panes/Pane.h"
#include "panes/ReportList.h"

class CReportsPane : public CPane {
public:
    // Where the selection of record keys comes from (the Database pane).
    void SetSelectionSource(const CSelectionPane* source) { m_selectionSource = source; }

    void RefillChooser();
    void Compile();
    // Demo mode: choose the report at index and compile it.
    void SelectReport(int index);

    QComboBox* Chooser() const { return m_chooser; }
    CReportList* List() const { return m_list; }
    ITableText* TableText() override;
    QString PrintTitle() const override { return m_printTitle; }
    const std::string& ReportName() const { return m_reportName; }
    const std::vector<std::string>& Lines() const { return m_lines; }

protected:
    void CreateWindows() override;
    void OnResize() override;
    void OnShow(bool show) override;

private:
    void Layout();
    void Fill();

    const CSelectionPane* m_selectionSource = nullptr;
    QPointer<QComboBox> m_chooser;
    QPointer<CReportList> m_list;
    QString m_printTitle;
    std::vector<std::string> m_lines;
    std::string m_reportName;
};
