#include "app/Quillo95View.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPaintEvent>
#include <QPainter>
#include <QPrinter>
#include <QSettings>
#include <QWindow>
#include <algorithm>
#include <cstdlib>

#include "document/Document.h"
#include "panes/AboutBox.h"
#include "panes/list/ListClipboard.h"
#include "panes/list/ListPrinter.h"
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
    : QWidget(parent), m_doc(doc), m_host(host) {
    setObjectName(QStringLiteral("view"));
    setAutoFillBackground(false);
    setBackgroundRole(QPalette::Base);
    m_timer1.setSingleShot(true);
    m_timer3.setSingleShot(true);
    connect(&m_timer1, &QTimer::timeout, this, [this] { OnTimer(TIMER_STARTUP); });
    connect(&m_timer2, &QTimer::timeout, this, [this] { OnTimer(TIMER_DEMO_STEP); });
    connect(&m_timer3, &QTimer::timeout, this, [this] { OnTimer(TIMER_CHART_LAYOUT); });
    m_chartsPane.SetHost(this);
}

CQuillo95View::~CQuillo95View() {
    m_timer1.stop();
    m_timer2.stop();
    m_timer3.stop();
    if (CPane* pane = PaneObject(m_currentPane)) pane->Show(false);
    // Before the first set-up nothing was restored: saving now would wipe the stored selection.
    if (m_currentPane != PANE_NONE) SaveSelection();
    if (m_doc.GetView() == this) m_doc.SetView(nullptr);
}

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
            // The list takes the row away after this message: a row that an undone delete
            // brings back must come after that.
            const bool nested = m_deleting;
            m_deleting = true;
            m_doc.DeleteRecord(int(lParam));
            m_deleting = nested;
            return 0;
        }
        case UM_QUERYRECORD:
            return m_doc.QueryRecord(int(lParam));
        case UM_ITEMACTION:
            return OnItemAction(int(wParam), reinterpret_cast<const CDetailItem*>(lParam));
        case UM_SELCHANGE:
            m_chartsPane.m_upToDate = 0;
            m_reportsPane.m_upToDate = 0;
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

// ---- Charts pane ----

const std::vector<int32_t>& CQuillo95View::ChartSelection() const {
    return m_databasePane.GetSelection();
}

void CQuillo95View::OnComboSelChange(int controlID) {
    if (controlID == CChartsPane::kChooserID || controlID == CChartsPane::kDimensionID)
        m_chartsPane.OnSelChange(controlID);
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
    if (!m_doc.EditRecordProperties(key)) return;
    m_databasePane.UpdateRow(key);
    m_summaryPane.m_upToDate = 0;
    m_chartsPane.m_upToDate = 0;
    m_reportsPane.m_upToDate = 0;
    m_detailsPane.m_upToDate = 0;
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
                MarkPanesNotUpToDate(true);
                SwitchToPane(PANE_NONE);
            }
            break;
        default:
            break;
    }
    return 0;
}

// ---- start-up ----

void CQuillo95View::OnInitialUpdate() {
    m_doc.SetView(this);
    m_timer1.start(500);
}

bool CQuillo95View::IsTimerActive(int id) const {
    if (id == TIMER_STARTUP) return m_timer1.isActive();
    if (id == TIMER_DEMO_STEP) return m_timer2.isActive();
    if (id == TIMER_CHART_LAYOUT) return m_timer3.isActive();
    return false;
}

void CQuillo95View::OnTimer(int id) {
    if (id == TIMER_STARTUP) {
        m_timer1.stop();
        if (m_currentPane == PANE_NONE && !m_autoRunDone) FirstSetUp();
    } else if (id == TIMER_DEMO_STEP) {
        if (m_demo.IsOn()) m_demo.Step();
    } else if (id == TIMER_CHART_LAYOUT) {
        m_timer3.stop();
        m_chartsPane.Resize(m_tabRect);
        if (m_currentPane == PANE_CHARTS) SwitchToPane(PANE_NONE);
    }
}

void CQuillo95View::FirstSetUp() {
    IFrameServices& frame = m_doc.Frame();
    frame.BeginWaitCursor();
    m_doc.LoadAnalyzers();

    if (m_doc.App().AutoRun()) {
        m_autoRunDone = true;
        const bool written = m_doc.AutoRun();
        frame.EndWaitCursor();
        // The host destroys the main window, and this view with it: nothing may follow.
        m_host.AutoRunFinished(written);
        return;
    }

    CreateViewFont();
    CreateTabCtrl();
    RestoreSelection();
    m_summaryPane.Create(this, &m_doc, m_tabRect, &m_viewFont);
    m_databasePane.Create(this, &m_doc, m_tabRect, &m_viewFont);
    m_chartsPane.Create(this, &m_doc, m_tabRect, &m_viewFont);
    // The printed chart is built afresh for the printer's page, not scaled from the screen.
    SetChartPainter([this](QPainter& painter, const QRect&) { m_chartsPane.PrintChart(painter); });
    m_reportsPane.SetSelectionSource(&m_databasePane);
    m_reportsPane.Create(this, &m_doc, m_tabRect, &m_viewFont);
    m_detailsPane.Create(this, &m_doc, m_tabRect, &m_viewFont);
    // Reports built on the selection restored above, before any pane shows.
    m_doc.OnPanesInitialised(m_databasePane.GetSelection());
    SwitchToPane(PANE_SUMMARY);

    m_doc.ImportCommandLineFiles();

    frame.EndWaitCursor();
    m_host.RemoveCover();
    if (m_doc.App().Demo() && !m_demo.IsOn()) m_demo.Toggle();
    UpdateCommandUI();
}

// ---- demo mode ----

void CQuillo95View::ShowPane(int pane) {
    SwitchToPane(pane);
    // Switching panes says "Ready"; while the demo runs the bar keeps saying so.
    if (m_demo.IsOn()) SetStatusText(LoadKQString(IDS_DEMO_IN_PROGRESS));
    UpdateCommandUI();
}

void CQuillo95View::RunAllTests() {
    if (m_currentPane != PANE_NONE && !m_doc.IsRunning()) AnalyzeNow();
}

void CQuillo95View::SelectNextSummaryTip() { m_summaryPane.SelectNextTip(); }

int CQuillo95View::ChartChoiceCount() { return m_chartsPane.ChartCount(); }

void CQuillo95View::SelectChart(int item, int dimension) {
    QComboBox* chooser = m_chartsPane.Chooser();
    QComboBox* dims = m_chartsPane.DimensionBox();
    if (!chooser || !dims) return;
    chooser->setCurrentIndex(item);
    dims->setCurrentIndex(dimension);
    m_chartsPane.OnSelChange(CChartsPane::kChooserID);
    m_chartsPane.OnSelChange(CChartsPane::kDimensionID);
}

int CQuillo95View::ReportChoiceCount() {
    // The chooser is filled when the pane shows; the demo asks before showing it.
    if (m_reportsPane.IsCreated() && !m_reportsPane.m_upToDate) m_reportsPane.RefillChooser();
    return m_reportsPane.ReportCount();
}

void CQuillo95View::SelectReport(int item) { m_reportsPane.SelectReport(item); }

void CQuillo95View::SelectNextDetail() {
    if (CMyTreeCtrl* tree = m_detailsPane.Tree()) tree->SelectNext();
}

void CQuillo95View::SetStatusText(const std::string& text) { m_doc.Frame().SetStatusText(text); }

void CQuillo95View::ArmDemoTimer(int milliseconds) { m_timer2.start(milliseconds); }

void CQuillo95View::StopDemoTimer() { m_timer2.stop(); }

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

void CQuillo95View::MarkPanesNotUpToDate(bool keepCharts) {
    m_summaryPane.m_upToDate = 0;
    m_databasePane.m_upToDate = 0;
    if (!keepCharts) m_chartsPane.m_upToDate = 0;
    m_reportsPane.m_upToDate = 0;
    m_detailsPane.m_upToDate = 0;
}

void CQuillo95View::TellMeMore() {
    int code = IA_DEFAULT_HELP;
    if (m_currentPane == PANE_SUMMARY) code = IA_SUMMARY_BOX;
    if (m_currentPane == PANE_DETAILS)
        code = m_detailsPane.RightPane() ? m_detailsPane.RightPane()->TellMeMoreCode()
                                         : int(IA_DEFAULT_HELP);
    OnItemAction(code, nullptr);
}

void CQuillo95View::AnalyzeNow() {
    m_doc.RunAllTests();
    ShowAgainAfterRun();
}

void CQuillo95View::ShowAgainAfterRun() {
    MarkPanesNotUpToDate();
    SwitchToPane(PANE_NONE, false);
}

void CQuillo95View::RegenTips() {
    m_doc.RegenTips();
    MarkPanesNotUpToDate();
    SwitchToPane(PANE_NONE);
}

// ---- document notifications ----

void CQuillo95View::OnUpdate(int hint, int recordKey) {
    if (hint == HINT_RECORD && m_deleting)
        QTimer::singleShot(0, this, [this, recordKey] { m_databasePane.UpdateRow(recordKey); });
    else if (hint == HINT_RECORD)
        m_databasePane.UpdateRow(recordKey);
    else if (hint == HINT_DATABASE)
        m_databasePane.SortAgain();
    else if (hint == HINT_DATABASE_READ)
        DatabaseRead();
    else
        update();
}

void CQuillo95View::ListRecord(CRecordEntry* record, int recordKey) {
    m_databasePane.ListRecord(record, recordKey);
}

void CQuillo95View::ListingRequest(int value) { m_databasePane.ListingRequest(value); }

// ---- record selection ----

void CQuillo95View::RestoreSelection() {
    auto settings = OpenSettings();
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
    if (m_currentPane == PANE_NONE) return;  // the first set-up restores and lists
    m_databasePane.m_selection.clear();
    RestoreSelection();
    m_doc.OnSelectionCaptured(m_databasePane.GetSelection());
    MarkPanesNotUpToDate();
    m_databasePane.Refresh();
    if (m_currentPane != PANE_DATABASE) RefreshCurrentPane();
}

void CQuillo95View::SaveSelection() {
    // Restored while the database was unread, it would only name this run's records.
    if (m_doc.DatabaseUnread()) return;
    auto settings = OpenSettings();
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

// ---- commands ----

QAction* CQuillo95View::AddCommand(QMenu* menu, int id, KQStringId textID,
                                   const QKeySequence& key) {
    QAction* action = new QAction(KQText(textID), this);
    action->setData(id);
    if (!key.isEmpty()) action->setShortcut(key);
    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    if (menu) menu->addAction(action);
    m_actions[id] = action;
    return action;
}

void CQuillo95View::BuildMenus(QMenuBar* bar) {
    QMenu* file = bar->addMenu(KQText(IDS_MENU_FILE));
    AddCommand(file, ID_FILE_SAVE_CURRENT, IDS_MENU_SAVE_CURRENT)
        ->setStatusTip(KQText(IDS_TIP_SAVE_CURRENT));
    file->addSeparator();
    AddCommand(file, ID_FILE_IMPORT, IDS_MENU_IMPORT)->setStatusTip(KQText(IDS_TIP_IMPORT));
    AddCommand(file, ID_FILE_IMPORT_ONE, IDS_MENU_IMPORT_ONE)
        ->setStatusTip(KQText(IDS_TIP_IMPORT_ONE));
    AddCommand(file, ID_FILE_EXPORT_CURRENT, IDS_MENU_EXPORT_CURRENT);
    file->addSeparator();
    AddCommand(file, ID_FILE_ANALYZE_NOW, IDS_MENU_ANALYZE_NOW);
    AddCommand(file, ID_RUN_DEMO, IDS_MENU_RUN_DEMO, QKeySequence(Qt::CTRL | Qt::Key_D))
        ->setCheckable(true);
    file->addSeparator();
    AddCommand(file, ID_FILE_PRINT, IDS_MENU_PRINT, QKeySequence(Qt::CTRL | Qt::Key_P));
    AddCommand(file, ID_FILE_PRINT_PREVIEW, IDS_MENU_PRINT_PREVIEW);
    file->addSeparator();
    AddCommand(file, ID_APP_EXIT, IDS_MENU_EXIT);

    QMenu* edit = bar->addMenu(KQText(IDS_MENU_EDIT));
    AddCommand(edit, ID_EDIT_COPY, IDS_MENU_COPY, QKeySequence(Qt::CTRL | Qt::Key_C));

    m_viewMenu = bar->addMenu(KQText(IDS_MENU_VIEW));
    // A radio mark on the current pane; pane 6 has no item, so none may be checked.
    auto* panes = new QActionGroup(this);
    panes->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (int pane = PANE_SUMMARY; pane <= PANE_DETAILS; ++pane) {
        QAction* a = AddCommand(m_viewMenu, ID_VIEW_SUMMARY + pane - PANE_SUMMARY,
                                KQStringId(IDS_MENU_SUMMARY + unsigned(pane - PANE_SUMMARY)));
        a->setCheckable(true);
        panes->addAction(a);
    }
    m_viewMenu->addSeparator();

    QMenu* help = bar->addMenu(KQText(IDS_MENU_HELP));
    AddCommand(help, ID_TELL_ME_MORE, IDS_MENU_TELL_ME_MORE);
    AddCommand(help, ID_HELP_INDEX, IDS_MENU_HELP_TOPICS, QKeySequence(Qt::Key_F1));
    help->addSeparator();
    AddCommand(help, ID_APP_ABOUT, IDS_MENU_ABOUT);

    // The "Internal" pop-up is never displayed; its command lives on the accelerator.
    QAction* regen = AddCommand(nullptr, ID_REGEN_TIPS, IDS_MENU_REGEN_TIPS,
                                QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::ALT | Qt::Key_T));
    regen->setShortcutContext(Qt::WindowShortcut);
    addAction(regen);

    for (QMenu* menu : {file, edit, m_viewMenu, help})
        connect(menu, &QMenu::aboutToShow, this, &CQuillo95View::UpdateCommandUI);
    UpdateCommandUI();
}

QAction* CQuillo95View::FindAction(int id) const {
    auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void CQuillo95View::UpdateCommandUI() {
    const bool ready = m_currentPane != PANE_NONE;
    const bool idle = ready && !m_doc.IsRunning();
    auto enable = [this](int id, bool on) {
        if (QAction* a = FindAction(id)) a->setEnabled(on);
    };
    enable(ID_FILE_SAVE_CURRENT, idle && m_doc.ResultsNotSaved());
    enable(ID_FILE_IMPORT, idle);
    enable(ID_FILE_EXPORT_CURRENT, idle);
    enable(ID_FILE_ANALYZE_NOW, idle);
    enable(ID_REGEN_TIPS, idle);
    enable(ID_TELL_ME_MORE, ready);
    enable(ID_HELP_INDEX, true);
    enable(ID_APP_ABOUT, true);
    enable(ID_APP_EXIT, true);
    enable(ID_RUN_DEMO, ready);
    if (QAction* demo = FindAction(ID_RUN_DEMO)) demo->setChecked(m_demo.IsOn());
    enable(ID_FILE_PRINT, CanPrint());
    enable(ID_FILE_PRINT_PREVIEW, CanPrint());
    enable(ID_EDIT_COPY, CanCopy());
    for (int pane = PANE_SUMMARY; pane <= PANE_DETAILS; ++pane) {
        enable(ID_VIEW_SUMMARY + pane - PANE_SUMMARY, ready);
        if (QAction* a = FindAction(ID_VIEW_SUMMARY + pane - PANE_SUMMARY))
            a->setChecked(m_currentPane == pane);
    }
    // On system versions from 4 on, Import One leaves the menu the first time it is updated.
    if (QAction* importOne = FindAction(ID_FILE_IMPORT_ONE)) {
        m_actions.erase(ID_FILE_IMPORT_ONE);
        delete importOne;
    }
}

bool CQuillo95View::OnCommand(int id) {
    UpdateCommandUI();
    if (id >= ID_VIEW_SUMMARY && id <= ID_VIEW_OPTIONS) {
        if (m_currentPane == PANE_NONE) return false;
        SwitchToPane(id - ID_VIEW_SUMMARY + PANE_SUMMARY);
        UpdateCommandUI();
        return true;
    }
    if (id == ID_SUMMARY_ANALYZE_BUTTON) id = ID_FILE_ANALYZE_NOW;
    QAction* action = FindAction(id);
    if (action && !action->isEnabled()) return false;
    bool handled = true;
    switch (id) {
        case ID_FILE_ANALYZE_NOW:
            AnalyzeNow();
            break;
        case ID_REGEN_TIPS:
            RegenTips();
            break;
        case ID_RUN_DEMO:
            m_demo.Toggle();
            break;
        case ID_FILE_EXPORT_CURRENT:
            m_doc.ExportCurrent();
            break;
        case ID_FILE_SAVE_CURRENT:
            m_doc.SaveCurrentResults();
            break;
        case ID_FILE_IMPORT:
            m_doc.OnImport();
            break;
        case ID_FILE_IMPORT_ONE:
            m_doc.OnImportOne();
            break;
        case ID_TELL_ME_MORE:
            if (m_currentPane == PANE_DETAILS && m_detailsPane.Tree() &&
                m_detailsPane.Tree()->hasFocus())
                m_detailsPane.Tree()->OnCommand(ID_TELL_ME_MORE);
            else
                TellMeMore();
            break;
        case ID_HELP_INDEX:
            m_host.HelpIndex();
            break;
        case ID_FILE_PRINT:
        case ID_FILE_PRINT_PREVIEW:
            OnFilePrint(id == ID_FILE_PRINT_PREVIEW);
            break;
        case ID_EDIT_COPY:
            OnEditCopy();
            break;
        case ID_SUMMARY_WEB_LINK:
            m_host.OpenPage(LoadKQString(IDS_PRODUCT_PAGE));
            break;
        case ID_APP_ABOUT: {
            CAboutDlg about(m_doc.App().AnalyzerLines(), window());
            about.exec();
            break;
        }
        case ID_APP_EXIT:
            window()->close();
            break;
        default:
            handled = false;
            break;
    }
    UpdateCommandUI();
    return handled;
}

// ---- printing and the clipboard ----

ITableText* CQuillo95View::PrintableList(int pane) const {
    if (pane != 1 && pane != 2 && pane != 4) return nullptr;
    CPane* object = const_cast<CQuillo95View*>(this)->PaneObject(pane);
    return object ? object->TableText() : nullptr;
}

bool CQuillo95View::CanPrint() const {
    switch (m_currentPane) {
        case 2:
        case 4:
            return PrintableList(m_currentPane) != nullptr;
        case 3:
            return bool(m_chartPainter);
        default:
            return false;
    }
}

bool CQuillo95View::CanCopy() const {
    // The Charts tab copies its chart as an image.
    if (m_currentPane == 3) return m_chartsPane.IsCreated();
    return (m_currentPane == 2 || m_currentPane == 4) && PrintableList(m_currentPane) != nullptr;
}

std::unique_ptr<IPrintSource> CQuillo95View::MakePrintSource() {
    if (m_currentPane == 3)
        return m_chartPainter ? std::make_unique<CChartPrintSource>(m_chartPainter) : nullptr;
    ITableText* list = PrintableList(m_currentPane);
    if (!list) return nullptr;
    QString title = PaneObject(m_currentPane)->PrintTitle();
    if (title.isEmpty()) title = KQText(IDS_APP_TITLE);
    // A list names what it prints (the Database list: how many systems, how many selected).
    return std::make_unique<CListPrinter>(*list, title);
}

int CQuillo95View::OnFilePrint(bool preview) {
    std::unique_ptr<IPrintSource> source = MakePrintSource();
    if (!source) return 0;
    QPrinter printer(QPrinter::HighResolution);
    PreparePrintJob(printer, *source);
    if (m_printDialogHook) {
        if (!m_printDialogHook(printer, preview)) return 0;
        return std::max(0, RunPrintLoop(printer, *source));
    }
    if (preview) return ExecPrintPreview(printer, this, *source) ? 1 : 0;
    if (!ExecPrintDialog(printer, this)) return 0;
    return std::max(0, RunPrintLoop(printer, *source));
}

void CQuillo95View::OnEditCopy() {
    if (!CanCopy()) return;
    if (m_currentPane == 3) {
        m_chartsPane.CopyToClipboard(QGuiApplication::clipboard());
        return;
    }
    CopyToClipboard(*PrintableList(m_currentPane), m_currentPane == 2,
                    m_clipboard ? *m_clipboard : SystemClipboard(), m_doc.Frame());
}
