#include "app/TeamCopyDlg.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "panes/QtText.h"

CTeamCopyDlg::CTeamCopyDlg(const std::vector<CQuillo95Doc::LocalRecord>& records,
                           const std::string& teamName, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(KQText(IDS_MENU_COPY_TO_TEAM).remove('&').remove(QStringLiteral("...")));
    auto* layout = new QVBoxLayout(this);
    auto* prompt = new QLabel(Q(FormatKQString(IDS_TEAM_COPY_PROMPT, teamName)), this);
    prompt->setWordWrap(true);
    layout->addWidget(prompt);

    m_list = new QTreeWidget(this);
    m_list->setColumnCount(2);
    m_list->setHeaderLabels(KQText(IDS_TEAM_COPY_COLUMNS).split('\t'));
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setUniformRowHeights(true);
    for (const CQuillo95Doc::LocalRecord& r : records)
        new QTreeWidgetItem(m_list, QStringList{Q(r.sysid), Q(r.description)});
    m_list->resizeColumnToContents(0);
    prompt->setBuddy(m_list);
    layout->addWidget(m_list);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* all =
        buttons->addButton(KQText(IDS_TEAM_COPY_SELECT_ALL), QDialogButtonBox::ActionRole);
    connect(all, &QPushButton::clicked, m_list, &QTreeWidget::selectAll);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // Nothing chosen, nothing to copy.
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setEnabled(false);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this,
            [this, ok] { ok->setEnabled(!m_list->selectedItems().isEmpty()); });
    layout->addWidget(buttons);
    resize(520, 360);
}

std::vector<std::string> CTeamCopyDlg::Chosen() const {
    std::vector<std::string> chosen;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = m_list->topLevelItem(i);
        if (item->isSelected()) chosen.push_back(item->text(0).toStdString());
    }
    return chosen;
}
