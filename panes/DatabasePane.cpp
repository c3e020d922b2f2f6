#include "panes/DatabasePane.h"

#include <QApplication>
#include <QPainter>
#include <QTimer>
#include <algorithm>

#include "database/RecordEntry.h"
#include "document/FrameServices.h"
#include "panes/Bitmaps.h"
#include "panes/QtText.h"
#include "resources/Strings.h"

namespace {

// The columns of the record's top entry name the record (its description, the time it was
// measured): they lead, whichever of the scanned records brought them in.
void NamingColumnsFirst(CDbColumns& columns) {
    std::vector<size_t> order(columns.m_keys.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_partition(order.begin(), order.end(), [&](size_t i) {
        return std::count(columns.m_keys[i].begin(), columns.m_keys[i].end(), '~') == 1;
    });
    CDbColumns sorted;
    for (size_t i : order) {
        sorted.m_keys.push_back(columns.m_keys[i]);
        sorted.m_captions.push_back(columns.m_captions[i]);
        sorted.m_numeric.push_back(columns.m_numeric[i]);
    }
    columns = std::move(sorted);
}

}  // namespace

CDatabasePane::~CDatabasePane() { delete m_list.data(); }

QRect CDatabasePane::ListRect() const {
    QRect r = PaneRect();
    r.setTop(r.top() + QFontMetrics(*m_font).height());  // the heading's strip
    return r;
}

void CDatabasePane::CreateWindows() {
    IRecordListSource* source = &m_source;
    m_list = new CDatabaseList(ViewWidget(), Owner(), Frame(),
                               [source](int32_t key) { return source->RecordPosition(key); });
    m_list->SetRect(ListRect());
    m_list->hide();

    m_source.ChooseColumns(m_columns);
    NamingColumnsFirst(m_columns);
    m_titleWidths.clear();
    for (int i = 0; i < m_columns.GetCount(); ++i) {
        const std::string title = ReplaceSepIDs(m_columns.m_captions[size_t(i)], ' ');
        m_list->InsertColumn(i, QString::fromStdString(title), 10 * m_aveCharWidth);
        m_titleWidths.push_back(m_list->TextWidth(title));
    }
    m_list->SetColumnFlags(m_columns.m_numeric);

    m_list->SetImageList(SplitImageStrip(LoadKQBitmapMasked(IDB_RECORD_IMAGES), 2));
    Relist();
}

void CDatabasePane::Relist() {
    if (!m_list) return;
    IFrameServices& frame = Frame();
    frame.BeginWaitCursor();
    m_list->DeleteAllRows();
    m_widths = m_titleWidths;
    frame.ShowListing(true);
    m_source.QueueListing();
    m_upToDate = 1;
    for (size_t i = 0; i < m_widths.size(); ++i)
        m_list->SetColumnWidth(int(i), std::min(m_widths[i], 30 * m_aveCharWidth));
    AppendFillerRows();
    frame.EndWaitCursor();
}

void CDatabasePane::AppendFillerRows() {
    if (m_list->RowCount() < m_list->RowsPerPage() - 1) return;
    for (int i = 0; i < 2; ++i) m_list->AppendRow({}, -1, 0);
}

void CDatabasePane::OnRefresh() {
    Relist();
    if (m_list) m_list->show();
}

void CDatabasePane::OnResize() {
    if (m_list) m_list->SetRect(ListRect());
}

void CDatabasePane::OnShow(bool show) {
    if (!m_list) return;
    if (!show) {
        CaptureSelection();
    } else if (!m_upToDate) {
        // Tests or properties changed this machine's record: its row is written again.
        UpdateRow(0);
        m_upToDate = 1;
    }
    m_list->setVisible(show);
}

ITableText* CDatabasePane::TableText() { return m_list; }

QString CDatabasePane::PrintTitle() const { return KQText(IDS_APP_TITLE); }

void CDatabasePane::OnDraw(QPainter& painter) {
    const QString heading = KQText(IDS_DATABASE_HEADING);
    painter.setFont(*m_font);
    const QFontMetrics fm(*m_font);
    const int x = m_tabRect.left() + (m_tabRect.width() - fm.horizontalAdvance(heading)) / 2;
    const int top = m_tabRect.top() + m_tabRect.height();
    painter.drawText(x, top + fm.ascent(), heading);
}

// ---- rows ----

void CDatabasePane::OnDocumentEvent(const DocumentEvent& event) {
    if (TreeRebuilt(event.kind)) m_upToDate = 0;
    switch (event.kind) {
        case DocEvent::RecordListed:
            if (event.record && m_list) RowContents(*event.record, event.recordKey);
            break;
        case DocEvent::ListingDone:
            ListingDone();
            break;
        case DocEvent::RecordAdded:
        case DocEvent::RecordChanged:
            UpdateRow(event.recordKey);
            break;
        case DocEvent::RecordKept:
            // The list takes the row away once the delete returns: it comes back after that.
            if (m_list)
                QTimer::singleShot(0, m_list, [this, key = event.recordKey] { UpdateRow(key); });
            break;
        case DocEvent::RecordRemoved:
            // Deleted here or elsewhere: the row goes (the list's own delete looks first).
            if (m_list && event.recordKey > 0)
                if (const int row = m_list->FindRow(event.recordKey); row >= 0)
                    m_list->DeleteRow(row);
            break;
        case DocEvent::DatabaseChanged:
            SortAgain();
            break;
        default:
            break;
    }
}

void CDatabasePane::ListingDone() {
    if (m_list) m_list->Flush();
    Frame().ShowListing(false);
}

void CDatabasePane::RowContents(const CRecordEntry& record, int recordKey) {
    if (!m_list) return;
    const int columns = m_columns.GetCount();
    std::vector<std::string> cells(static_cast<size_t>(columns));
    for (int i = 0; i < columns; ++i) {
        std::string value;
        if (m_source.EntryLookup(&record, m_columns.m_keys[size_t(i)], value))
            cells[size_t(i)] = value;
    }
    if (columns > 0 && m_source.RecordNotStored(recordKey))
        cells[0] = FormatKQString(IDS_LIST_NOT_STORED, cells[0]);
    for (int i = 0; i < columns && size_t(i) < m_widths.size(); ++i) {
        const int w = m_list->TextWidth(cells[size_t(i)]) + m_aveCharWidth;
        if (w > m_widths[size_t(i)]) {
            m_widths[size_t(i)] = w;
            if (w > m_list->GetColumnWidth(i)) m_list->SetColumnWidth(i, w);
        }
    }

    const bool running = record.IsCurrent() || m_source.RecordPosition(recordKey) == 0;
    // A record's row is found by its key wherever sorting put it. The running system's record
    // without a row goes first; it never takes over another record's row.
    int row = m_list->FindRow(recordKey);
    if (row >= 0) {
        for (int i = 0; i < columns; ++i) m_list->SetCellText(row, i, cells[size_t(i)]);
    } else if (running) {
        row = m_list->InsertRow(0, std::move(cells), 0, recordKey);
    } else {
        // A listing appends in batches: the view relays out once per batch, not per row.
        row = m_list->AppendRow(std::move(cells), 0, recordKey, true);
    }
    // Key 0 in the selection names the running system (a restored system that is gone).
    const auto& sel = m_selection;
    const bool selected = std::find(sel.begin(), sel.end(), recordKey) != sel.end() ||
                          (running && std::find(sel.begin(), sel.end(), 0) != sel.end());
    if (selected && !m_list->IsRowSelected(row)) m_list->SelectRow(row, true);
}

void CDatabasePane::UpdateRow(int recordKey) {
    if (!m_list) return;
    CRecordEntry record;
    const int key = recordKey == 0 ? m_source.CurrentSystemKey() : recordKey;
    if (key != 0 && m_source.LoadRecordByKey(key, record)) RowContents(record, key);
}

void CDatabasePane::SortAgain() {
    if (m_list) m_list->Sort();
}

void CDatabasePane::CaptureSelection() {
    if (!m_list) return;
    m_selection = m_list->SelectedKeys();
    m_source.OnSelectionCaptured(m_selection);
}
