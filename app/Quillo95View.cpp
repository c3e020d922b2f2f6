#include "app/Quillo95View.h"

#include <QPaintEvent>
#include <QPainter>
#include <QSettings>
#include <QWindow>
#include <algorithm>
#include <cstdlib>

#include "document/Document.h"
#include "panes/PaneTabCtrl.h"
#include "panes/PopupMenus.h"
#include "panes/QtText.h"
#include "resources/Strings.h"

namespace {

// The per-user application key, section "Settings".
std::unique_ptr<QSettings> OpenSettings() {
    auto settings = std::make_unique<QSettings>(KQText(IDS_REG_COMPANY), KQText(IDS_APP_TITLE));
    settings->beginGroup(KQText(IDS_REG_SETTINGS));
    return settings;
}

}  // namespace

CQuillo95View::CQuillo95View(CQuillo95Doc& doc, IViewHost& host, QWidget* parent)
    : QWidget(parent),
      m_reportSource(doc),
      m_summaryPane(doc),
      m_databasePane(doc),
      m_chartsPane(doc),
      m_reportsPane(doc, m_reportSource),
      m_detailsPane(doc),
      m_doc(doc),
      m_host(host) {
    setObjectName(QStringLiteral("view"));
    setAutoFillBackground(false);
    setBackgroundRole(QPalette::Base);
    m_timer1.setSingleShot(true);
    m_timer3.setSingleShot(true);
    connect(&m_timer1, &QTimer::timeout, this, [this] { OnTimer(TIMER_STARTUP); });
    connect(&m_timer2, &QTimer::timeout, this, [this] { OnTimer(TIMER_DEMO_STEP); });
    connect(&m_timer3, &QTimer::timeout, this, [this] { OnTimer(TIMER_CHART_LAYOUT); });
    connect(&m_teamTimer, &QTimer::timeout, this, [this] { OnTeamTick(); });
    connect(&m_timer4, &QTimer::timeout, this, [this] { OnTimer(TIMER_TEAM_REFRESH); });
}

CQuillo95View::~CQuillo95View() {
    m_timer1.stop();
    m_timer2.stop();
    m_timer3.stop();
    m_teamTimer.stop();
    m_reconnect.reset();
    m_timer4.stop();
    if (CPane* pane = PaneObject(m_currentPane)) pane->Show(false);
    // Before the first set-up nothing was restored: saving now would wipe the stored selection.
    if (m_currentPane != PANE_NONE) SaveSelection();
    m_doc.Unsubscribe(this);
    if (m_doc.GetView() == this) m_doc.SetView(nullptr);
}

IFrameServices& CQuillo95View::Frame() { return m_doc.Frame(); }

IDocumentEvents& CQuillo95View::DocumentEvents() { return m_doc; }

// ---- private messages ----

intptr_t CQuillo95View::SendMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
        case UM_TABCHANGE:
            if (m_tabCtrl) {
                const int pane = m_tabCtrl->GetItemData(int(wParam));
                if (pane >= PANE_SUMMARY && pane <= PANE_OPTIONS) SwitchToPane(pane);
            }
            return 0;
        case UM_EXPORTRECORD:
            if (RefusedDuringRun()) return 0;
            if (lParam)
                m_doc.ExportRecords(*reinterpret_cast<const std::vector<int32_t>*>(lParam), "");
            return 0;
        case UM_DELETERECORD: {
            // Non-zero: refused, the list keeps the row.
            if (RefusedDuringRun()) return 1;
            m_doc.DeleteRecord(int(lParam));
            return 0;
        }
        case UM_QUERYRECORD:
            return m_doc.QueryRecord(int(lParam));
        case UM_ITEMACTION:
            return OnItemAction(int(wParam), reinterpret_cast<const CDetailItem*>(lParam));
        case UM_SELCHANGE:
            m_doc.SelectionChanged();
            return 0;
        case UM_RECORDPROPS:
            if (!RefusedDuringRun()) OnRecordProps(int(lParam));
            return 0;
        case UM_ANALYZERLOG:
            m_doc.OnAnalyzerLog(wParam, lParam);
            return 1;
        case UM_ANALYZERREQUEST:
            return m_doc.OnAnalyzerRequest(wParam, lParam);
        case UM_ANALYZERPROGRESS:
            m_doc.OnAnalyzerProgress(wParam, lParam);
            return 1;
        default:
            return 0;
    }
}

bool CQuillo95View::RefusedDuringRun() {
    // A run pumps messages: the Database pane's commands arrive in the middle of it, when the
    // current record is half measured and the database must not be written.
    if (!m_doc.IsRunning()) return false;
    SetStatusText(LoadKQString(IDS_RECORDS_REFUSED_RUNNING));
    return true;
}

void CQuillo95View::OnRecordProps(int key) {
    const int kind = m_doc.QueryRecord(key);
    if (kind == 0) return;   // no such record
    if (kind == 2) key = 0;  // no stored tree: the current system's properties
    // The panes hear of the edit themselves; the current one, unless it is the list whose
    // row was just written, is rebuilt at once.
    if (!m_doc.EditRecordProperties(key)) return;
    if (m_currentPane != PANE_DATABASE) RefreshCurrentPane();
}

intptr_t CQuillo95View::OnItemAction(int code, const CDetailItem* item) {
    if (code == IA_SUMMARY_BOX) item = m_summaryPane.CurrentItem();
    if (code == IA_DETAILS_BOX) item = m_detailsPane.CurrentItem();
    if (code == IA_DEFAULT_HELP) {
        m_host.DefaultHelp();
        return 0;
    }
    if (!item) return 0;

    // Copied first: the actions below may rebuild the tree the item points into.
    const CDetailItem it = *item;
    CAttr attr;
    CTip tip;
    if (it.m_kind == DETAIL_ATTR && it.m_entry && it.m_index >= 0 &&
        it.m_index < it.m_entry->GetAttrCount())
        attr = *it.m_entry->GetAttr(it.m_index);
    if (it.m_kind == DETAIL_TIP && it.m_entry && it.m_index >= 0 &&
        it.m_index < it.m_entry->GetTipCount())
        tip = *it.m_entry->GetTip(it.m_index);

    auto help = [&](int context) {
        m_host.ShowAnalyzerHelp(m_doc.AnalyzerName(it.m_kqaid), context);
    };
    auto itemHelp = [&] {
        if (it.m_kind == DETAIL_ATTR) help(attr.m_type);
        if (it.m_kind == DETAIL_TIP) help(tip.m_textID);
    };

    switch (code) {
        case IA_SUMMARY_DESCRIBE:
            m_summaryPane.SetCurrentItem(item);
            if (it.m_kind == DETAIL_ATTR) m_summaryPane.DescribeAttr(it.m_kqaid, attr);
            if (it.m_kind == DETAIL_TIP) m_summaryPane.DescribeTip(it.m_kqaid, tip);
            break;
        case IA_SUMMARY_HELP:
        case IA_SUMMARY_BOX:
            itemHelp();
            break;
        case IA_HELP:
        case IA_TREE_HELP:
        case IA_DETAILS_BOX:
            if (it.m_kind == DETAIL_ENTRY) help(0);
            itemHelp();
            break;
        case IA_DETAILS_DESCRIBE:
            if (it.m_kind == DETAIL_ENTRY) m_detailsPane.DescribeAttr(0, CAttr());
            if (it.m_kind == DETAIL_ATTR) m_detailsPane.DescribeAttr(it.m_kqaid, attr);
            if (it.m_kind == DETAIL_TIP) m_detailsPane.DescribeTip(it.m_kqaid, tip);
            break;
        case IA_RUN_TEST:
            if (it.m_kind == DETAIL_ENTRY && !m_doc.IsRunning()) {
                m_doc.RunOneTest(it.m_kqaid, it.m_entry);
                ShowAgainAfterRun();
            }
            break;
        case IA_PROPERTIES:
            if (it.m_kind == DETAIL_ENTRY && !m_doc.IsRunning()) {
                m_doc.AnalyzerProperties(it.m_kqaid);
                SwitchToPane(PANE_NONE);
            }
            break;
        default:
            break;
    }
    return 0;
}

// ---- tab strip and font ----

int CQuillo95View::TextHeight() const { return QFontMetrics(font()).height(); }

void CQuillo95View::CreateViewFont() {
    m_viewFont = QFont(QStringLiteral("Arial"));
    m_viewFont.setStyleHint(QFont::SansSerif);
    m_viewFont.setPixelSize(std::max(1, TextHeight()));
    m_viewFont.setWeight(QFont::Black);
    m_viewFont.setItalic(true);
}

void CQuillo95View::CreateTabCtrl() {
    m_tabRect = QRect(0, 0, width(), 2 * TextHeight());
    delete m_tabCtrl.data();
    CPaneTabCtrl* tabs = new CPaneTabCtrl(this, this, m_tabRect);
    m_tabCtrl = tabs;
    const int count = std::atoi(LoadKQString(IDS_TAB_COUNT).c_str());
    for (int i = 0; i < count; ++i)
        tabs->InsertItem(i, KQText(KQStringId(IDS_TAB_SUMMARY + unsigned(i))), PANE_SUMMARY + i);
    // A re-created strip keeps showing the current pane's tab.
    if (m_currentPane != PANE_NONE) tabs->SetCurSel(m_currentPane - PANE_SUMMARY);
}

// ---- panes ----

CPane* CQuillo95View::PaneObject(int pane) {
    switch (pane) {
        case PANE_SUMMARY:
            return &m_summaryPane;
        case PANE_DATABASE:
            return &m_databasePane;
        case PANE_CHARTS:
            return &m_chartsPane;
        case PANE_REPORTS:
            return &m_reportsPane;
        case PANE_DETAILS:
            return &m_detailsPane;
        default:
            return nullptr;  // Options has no object
    }
}

void CQuillo95View::SwitchToPane(int pane) { SwitchToPane(pane, true); }

void CQuillo95View::SwitchToPane(int pane, bool idlePrompt) {
    if (pane < PANE_NONE || pane > PANE_OPTIONS) return;
    if (pane == PANE_NONE && m_currentPane == PANE_NONE) return;
    if (idlePrompt) m_doc.Frame().SetStatusText(LoadKQString(IDS_STATUS_READY_HELP));
    if (CPane* current = PaneObject(m_currentPane)) current->Show(false);
    if (pane != PANE_NONE) m_currentPane = pane;
    if (m_tabCtrl) m_tabCtrl->SetCurSel(m_currentPane - PANE_SUMMARY);
    if (CPane* current = PaneObject(m_currentPane)) current->Show(true);
    update();
}

void CQuillo95View::RefreshCurrentPane() {
    if (CPane* current = PaneObject(m_currentPane)) current->Refresh();
    update();
}

// ---- document changes ----

void CQuillo95View::OnDocumentEvent(const DocumentEvent& event) {
    if (event.kind == DocEvent::DatabaseRead) DatabaseRead();
}

// ---- record selection ----

std::unique_ptr<QSettings> CQuillo95View::ViewSettings() { return OpenSettings(); }

std::unique_ptr<QSettings> CQuillo95View::SelectionSettings() const {
    auto settings = OpenSettings();
    if (m_doc.OnTeamDatabase()) {
        // Keys are per database: a team database's selection never names the file's records.
        QString name = QString::fromStdString(m_doc.TeamDatabaseName());
        name.replace(QLatin1Char('/'), QLatin1Char('|'))
            .replace(QLatin1Char('\\'), QLatin1Char('|'));
        settings->beginGroup(QStringLiteral("Team ") + name);
    }
    return settings;
}

void CQuillo95View::RestoreSelection() {
    auto settings = SelectionSettings();
    int count = settings->value(KQText(IDS_REG_NUM_RECS_SELECTED), 0).toInt();
    // A damaged count cannot make start-up read more values than the section holds.
    count = std::min(count, int(settings->childKeys().size()));
    std::vector<int32_t>& selection = m_databasePane.m_selection;
    for (int i = 0; i < count; ++i) {
        const QString name = QString::fromStdString(
            KQFormat(LoadKQString(IDS_REG_REC_SELECTED_FMT).c_str(), unsigned(i)));
        const std::string sysid = settings->value(name, QString()).toString().toStdString();
        int key = sysid.empty() ? -1 : m_doc.KeyForSysid(sysid);
        if (key < 0) key = 0;  // gone since: the current system stands in
        // The same system twice would be compared with itself.
        if (std::find(selection.begin(), selection.end(), key) == selection.end())
            m_databasePane.AddToSelection(key);
    }
    if (selection.empty()) m_databasePane.AddToSelection(m_doc.CurrentSystemKey());
}

// The file was read late: every stored system is listed now, and the selection saved in the
// settings names them again.
void CQuillo95View::DatabaseRead() {
    m_host.ShowDatabaseName(m_doc.TeamDatabaseLabel());
    ArmTeamRefresh();
    if (m_currentPane == PANE_NONE) return;  // the first set-up restores and lists
    m_databasePane.m_selection.clear();
    RestoreSelection();
    m_doc.OnSelectionCaptured(m_databasePane.GetSelection());
    m_databasePane.Refresh();
    if (m_currentPane != PANE_DATABASE) RefreshCurrentPane();
}

void CQuillo95View::SaveSelection() {
    // Restored while the database was unread, it would only name this run's records.
    if (m_doc.DatabaseUnread()) return;
    auto settings = SelectionSettings();
    const std::vector<int32_t>& selection = m_databasePane.GetSelection();
    settings->setValue(KQText(IDS_REG_NUM_RECS_SELECTED), int(selection.size()));
    for (size_t i = 0; i < selection.size(); ++i) {
        const QString name = QString::fromStdString(
            KQFormat(LoadKQString(IDS_REG_REC_SELECTED_FMT).c_str(), unsigned(i)));
        settings->setValue(name, QString::fromStdString(m_doc.RecordSysid(selection[i])));
    }
    settings->sync();
}

// ---- painting and size ----

void CQuillo95View::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.save();
    painter.fillRect(rect(), palette().color(QPalette::Base));
    painter.setPen(palette().color(QPalette::Text));
    if (CPane* current = PaneObject(m_currentPane)) {
        current->Draw(painter);
    } else if (m_currentPane == PANE_OPTIONS) {
        const QString text = KQText(IDS_TAB_OPTIONS);
        const QFontMetrics metrics(font());
        const int x = m_tabRect.left() + m_tabRect.width() / 2;
        const int y = m_tabRect.y() + m_tabRect.height() + metrics.height();
        painter.drawText(x - metrics.horizontalAdvance(text) / 2, y + metrics.ascent(), text);
    }
    painter.restore();
}

void CQuillo95View::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    OnSize();
}

void CQuillo95View::OnSize() {
    if (m_currentPane == PANE_NONE) return;
    // Only restored and maximised sizes: a minimised window rebuilds nothing.
    if (window()->isMinimized() || size().isEmpty()) return;
    CreateTabCtrl();
    m_summaryPane.Resize(m_tabRect);
    m_databasePane.Resize(m_tabRect);
    m_reportsPane.Resize(m_tabRect);
    m_detailsPane.Resize(m_tabRect);
    m_timer3.start(100);
    if (m_currentPane != PANE_CHARTS) SwitchToPane(PANE_NONE);
}
