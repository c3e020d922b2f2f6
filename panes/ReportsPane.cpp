#include "panes/ReportsPane.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QWidget>
#include <algorithm>
#include <exception>

#include "document/FrameServices.h"
#include "resources/Strings.h"
#include "panes/QtText.h"

void CReportsPane::CreateWindows() {
    QWidget* view = ViewWidget();
    m_chooser = new QComboBox(view);
    m_chooser->setObjectName(QStringLiteral("reportChooser"));
    m_chooser->setFont(view->font());
    m_chooser->hide();
    // Only the user's choice compiles; refilling the chooser does not.
    QObject::connect(m_chooser, &QComboBox::activated, m_chooser, [this](int) { Compile(); });

    // No caption: the report's name is in the chooser above the list.
    m_list = new COwnerDrawList(kListID, view);
    m_list->SetScrollBarAlwaysOn(true);
    m_list->hide();
    m_printTitle = Q(LoadKQString(IDS_COMPARISON_TITLE));
    Layout();
}

void CReportsPane::Layout() {
    if (!m_chooser || !m_list) return;
    const QRect area = PaneRect();
    m_chooser->setGeometry(area.left(), area.top(), 40 * m_aveCharWidth,
                           m_chooser->sizeHint().height());
    const int top = m_chooser->geometry().bottom() + 1;
    m_list->SetRect(QRect(area.left(), top, area.width(), std::max(0, area.bottom() + 1 - top)));
}

void CReportsPane::OnResize() { Layout(); }

void CReportsPane::OnDocumentEvent(const DocumentEvent& event) {
    if (TreeRebuilt(event.kind) || event.kind == DocEvent::SelectionChanged ||
        event.kind == DocEvent::RecordChanged)
        m_upToDate = 0;
}

void CReportsPane::OnShow(bool show) {
    if (!m_chooser || !m_list) return;
    if (show && m_upToDate == 0) {
        RefillChooser();
        Compile();
    }
    m_chooser->setVisible(show);
    m_list->setVisible(show);
}

void CReportsPane::RefillChooser() {
    if (!m_chooser) return;
    const QString remembered =
        m_chooser->currentIndex() >= 0 ? m_chooser->currentText() : QString();
    m_chooser->clear();
    for (const CRepDef* def : m_definitions.Definitions(RDTYPE_REPORT))
        m_chooser->addItem(Q(def->GetName()));
    m_chooser->setMaxVisibleItems(std::max(1, m_chooser->count()));
    m_chooser->setCurrentIndex(m_chooser->count() > 0 ? 0 : -1);
    if (!remembered.isEmpty()) {
        const int found =
            m_chooser->findText(remembered, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (found > 0) m_chooser->setCurrentIndex(found);
    }
}

void CReportsPane::SelectReport(int index) {
    if (!m_chooser) return;
    m_chooser->setCurrentIndex(index);
    Compile();
}

void CReportsPane::Compile() {
    if (!m_chooser || !m_list) return;
    IFrameServices& frame = Frame();
    frame.BeginWaitCursor();
    frame.SetStatusText(LoadKQString(IDS_COMPILING_REPORT));
    m_lines.clear();
    m_history = false;
    try {
        const int index = m_chooser->currentIndex();
        if (index >= 0) {
            m_reportName = m_chooser->currentText().toStdString();
            // The definition is found again by position and name, never through a pointer
            // kept since the chooser was filled: the tree may have changed under it.
            const std::vector<CRepDef*> defs = m_definitions.Definitions(RDTYPE_REPORT);
            if (size_t(index) < defs.size() && defs[size_t(index)]->GetName() == m_reportName) {
                m_history = IsHistoryDefinition(*defs[size_t(index)]);
                for (const CRepItem& item : defs[size_t(index)]->m_items)
                    m_lines.push_back(item.m_text);
            }
        }
    } catch (const std::exception&) {
        // The lines gathered so far are compiled.
    }
    const bool shown = !m_list->isHidden();
    m_list->hide();
    Fill();
    if (shown) m_list->show();
    // The newest results, the ones History is read for, are the last columns.
    if (m_history) m_list->ShowLastColumn();
    frame.SetStatusText(LoadKQString(IDS_STATUS_READY_HELP));
    frame.EndWaitCursor();
}

void CReportsPane::Fill() {
    if (m_lines.empty()) {
        // Nothing to compile: an empty list, never the previous report's table (on screen, in
        // print or copied) under the name now chosen.
        m_table = CReportTable();
        m_list->DeleteAllColumns();
        return;
    }
    CReportCompiler compiler(m_systems);
    const COwnerDrawList* list = m_list;
    compiler.SetMeasure([list](const std::string& text) { return list->TextWidth(text); },
                        30 * m_aveCharWidth);
    static const std::vector<int32_t> kNone;
    CReportTable table;
    if (m_history) {
        // This machine over time: its results are the columns, headed by when they were measured.
        std::vector<int32_t> keys;
        std::vector<std::string> headers;
        for (const CHistoryColumn& c : m_systems.HistoryColumns()) {
            keys.push_back(c.key);
            headers.push_back(c.header);
        }
        compiler.Compile(m_lines, keys, table, &headers);
    } else {
        compiler.Compile(m_lines, m_selectionSource ? m_selectionSource->GetSelection() : kNone,
                         table);
    }
    CReportCompiler::AppendFillerRows(table, m_list->RowsPerPage());
    m_table = std::move(table);
    m_list->DeleteAllColumns();
    for (int c = 0; c < m_table.ColumnCount(); ++c) {
        const int width = size_t(c) < m_table.m_widths.size() ? m_table.m_widths[size_t(c)] : 0;
        m_list->InsertColumn(c, Q(m_table.m_headers[size_t(c)]), width + m_aveCharWidth);
    }
    for (int r = 0; r < m_table.RowCount(); ++r)
        m_list->AppendRow(m_table.m_cells[size_t(r)], -1, m_table.m_itemData[size_t(r)]);
    m_upToDate = 1;
}

ITableText* CReportsPane::TableText() { return m_list; }
