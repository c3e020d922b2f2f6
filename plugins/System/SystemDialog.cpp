#include "SystemDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

bool HaveDisplay() {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return false;
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

}  // namespace

CSystemPropertiesDialog::CSystemPropertiesDialog(QWidget* parent, const std::string& description,
                                                 const std::string& sysid)
    : QDialog(parent),
      m_edit(new QLineEdit(QString::fromStdString(description))),
      m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel)) {
    setWindowTitle(QStringLiteral("System Properties"));
    auto* form = new QFormLayout;
    m_edit->setMinimumWidth(320);
    m_edit->selectAll();
    form->addRow(QStringLiteral("&Description:"), m_edit);
    if (!sysid.empty())
        form->addRow(QStringLiteral("System ID:"), new QLabel(QString::fromStdString(sysid)));
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // An empty description would leave the system unnamed: OK waits for some text.
    QPushButton* ok = m_buttons->button(QDialogButtonBox::Ok);
    auto update = [this, ok] { ok->setEnabled(!m_edit->text().trimmed().isEmpty()); };
    connect(m_edit, &QLineEdit::textChanged, this, update);
    update();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_buttons);
}

std::string CSystemPropertiesDialog::Description() const {
    return m_edit->text().trimmed().toStdString();
}

KQARC ApplySystemDescription(const CSystemPropertiesDialog& dialog, int result,
                             CKQTreeEntry* entry) {
    if (!entry || result != QDialog::Accepted) return KQARC_CANCELLED;
    const std::string text = dialog.Description();
    if (text.empty()) return KQARC_CANCELLED;
    if (text != entry->GetAttrValue(sys::kDescriptionAttr))
        entry->SetAttr(sys::kDescriptionAttr, text, sys::T_DESCRIPTION, DATA_HIGHLIGHT);
    return KQARC_OK;
}

KQARC EditSystemDescription(CWnd* view, CKQTreeEntry* entry) {
    if (!entry) return KQARC_FAIL;
    if (!HaveDisplay()) return KQARC_OK;
    CSystemPropertiesDialog dialog(view ? view->Widget() : nullptr,
                                   entry->GetAttrValue(sys::kDescriptionAttr),
                                   entry->GetAttrValue(sys::kSysidAttr));
    const int result = dialog.exec();
    return ApplySystemDescription(dialog, result, entry);
}
