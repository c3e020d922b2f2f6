// The Reports tab: a chooser of report definitions and the compiled table comparing this
// machine with the systems selected on the Database tab.
#pragma once

#include <QComboBox>
#include <QPointer>
#include <QString>
#include <string>
#include <vector>

#include "document/PaneSources.h"
#include "panes/list/OwnerDrawList.h"
#include "panes/Pane.h"
#include "reports/ReportCompiler.h"

class CReportsPane : public CPane {
public:
    // definitions: the report definitions offered; systems: what a compilation reads.
    CReportsPane(IDefinitionSource& definitions, IReportSource& systems)
        : m_definitions(definitions), m_systems(systems) {}
    // Out of date when the compared systems or this machine's tree may have changed.
    void OnDocumentEvent(const DocumentEvent& event) override;
    // Where the selection of record keys comes from (the Database pane).
    void SetSelectionSource(const CSelectionPane* source) { m_selectionSource = source; }

    void RefillChooser();
    void Compile();
    // Demo mode: choose the report at index and compile it.
    void SelectReport(int index);
    int ReportCount() const { return m_chooser ? m_chooser->count() : 0; }

    QComboBox* Chooser() const { return m_chooser; }
    enum { kListID = 21 };
    COwnerDrawList* List() const { return m_list; }
    // The compiled table the list shows, with the records behind its rows.
    const CReportTable& Table() const { return m_table; }
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

    IDefinitionSource& m_definitions;
    IReportSource& m_systems;
    const CSelectionPane* m_selectionSource = nullptr;
    QPointer<QComboBox> m_chooser;
    QPointer<COwnerDrawList> m_list;
    CReportTable m_table;
    QString m_printTitle;
    std::vector<std::string> m_lines;
    std::string m_reportName;
    bool m_history = false;  // the chosen report's columns are this machine over time
};
