// The view's menus and accelerators: building them, enabling them before they show, and
// carrying out their commands.
#include "app/Quillo95View.h"

#include <QAction>
#include <QActionGroup>
#include <QInputDialog>
#include <QSettings>
#include <QMenu>
#include <QMenuBar>

#include "app/TeamConnect.h"
#include "document/Document.h"
#include "app/TeamCopyDlg.h"
#include "panes/AboutBox.h"
#include "panes/QtText.h"
#include "resources/Strings.h"
#include "server/PgConnection.h"
#include "server/ServerRecordStore.h"

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

void CQuillo95View::ShowAgainAfterRun() { SwitchToPane(PANE_NONE, false); }

void CQuillo95View::RegenTips() {
    m_doc.RegenTips();
    SwitchToPane(PANE_NONE);
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
    AddCommand(file, ID_FILE_EXPORT_JSON, IDS_MENU_EXPORT_JSON);
    AddCommand(file, ID_FILE_EXPORT_LIST, IDS_MENU_EXPORT_LIST);
    file->addSeparator();
    AddCommand(file, ID_FILE_OPEN_TEAM, IDS_MENU_OPEN_TEAM);
    AddCommand(file, ID_FILE_USE_LOCAL, IDS_MENU_USE_LOCAL);
    AddCommand(file, ID_FILE_COPY_TO_TEAM, IDS_MENU_COPY_TO_TEAM);
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
    enable(ID_FILE_EXPORT_JSON, idle);
    enable(ID_FILE_EXPORT_LIST, idle);
    enable(ID_FILE_ANALYZE_NOW, idle);
    enable(ID_FILE_OPEN_TEAM, idle);
    enable(ID_FILE_USE_LOCAL, idle && m_doc.OnTeamDatabase());
    enable(ID_FILE_COPY_TO_TEAM, idle && m_doc.OnTeamDatabase() && !m_doc.OnTeamStandby());
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

void CQuillo95View::OnOpenTeamDatabase() {
    const QString remembered = ViewSettings()->value(KQText(IDS_REG_TEAM_DATABASE)).toString();
    bool ok = false;
    const QString conninfo =
        QInputDialog::getText(window(), KQText(IDS_APP_TITLE), KQText(IDS_TEAM_CONNECTION_PROMPT),
                              QLineEdit::Normal, remembered, &ok);
    if (!ok) return;
    // The document stays as it is until the connection stands.
    TeamConnection connected = ConnectToTeamDatabase(window(), conninfo.toStdString(),
                                                     CServerRecordStore::kConnectTimeoutMs);
    if (connected.cancelled) return;
    SaveSelection();
    std::string message;
    if (!m_doc.SwitchToTeamDatabase(std::move(connected.connection), connected.error,
                                    connected.name, message)) {
        m_doc.Frame().MessageBox(message, LoadKQString(IDS_APP_TITLE), MsgIcon::Warning,
                                 MsgButtons::Ok);
        return;
    }
    m_teamConninfo = conninfo.toStdString();
    // Remembered for interactive starts, never with its password.
    ViewSettings()->setValue(
        KQText(IDS_REG_TEAM_DATABASE),
        QString::fromStdString(ConnectionWithoutPassword(conninfo.toStdString())));
}

void CQuillo95View::OnCopyToTeamDatabase() {
    std::vector<CQuillo95Doc::LocalRecord> records;
    std::string message;
    if (!m_doc.ListLocalRecords(records, message)) {
        m_doc.Frame().MessageBox(message, LoadKQString(IDS_APP_TITLE), MsgIcon::Warning,
                                 MsgButtons::Ok);
        return;
    }
    CTeamCopyDlg dialog(records, m_doc.TeamDatabaseName(), window());
    if (dialog.exec() == QDialog::Accepted) m_doc.CopyToTeamDatabase(dialog.Chosen());
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
        case ID_FILE_EXPORT_JSON:
            OnExportJson();
            break;
        case ID_FILE_EXPORT_LIST:
            OnExportList();
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
        case ID_FILE_OPEN_TEAM:
            OnOpenTeamDatabase();
            break;
        case ID_FILE_COPY_TO_TEAM:
            OnCopyToTeamDatabase();
            break;
        case ID_FILE_USE_LOCAL:
            SaveSelection();
            m_doc.SwitchToLocalDatabase();
            // Interactive starts stand on the file again.
            ViewSettings()->remove(KQText(IDS_REG_TEAM_DATABASE));
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
