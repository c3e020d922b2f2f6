// The System module's properties dialog: edits the description that names a system.
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "SystemInfo.h"

namespace {

bool HaveDisplay() {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return false;
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

}  // namespace

KQARC EditSystemDescription(CWnd* view, CKQTreeEntry* entry) {
    if (!entry || !HaveDisplay()) return KQARC_NODISPLAY;

    const std::string old = entry->GetAttrValue(sys::kDescriptionAttr);
    QDialog dialog(view ? view->Widget() : nullptr);
    dialog.setWindowTitle(QStringLiteral("System Properties"));
    auto* form = new QFormLayout;
    auto* edit = new QLineEdit(QString::fromStdString(old));
    edit->setMinimumWidth(320);
    edit->selectAll();
    form->addRow(QStringLiteral("&Description:"), edit);
    const std::string id = entry->GetAttrValue(sys::kSysidAttr);
    if (!id.empty())
        form->addRow(QStringLiteral("System ID:"), new QLabel(QString::fromStdString(id)));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(form);
    layout->addWidget(buttons);

    if (dialog.exec() != QDialog::Accepted) return KQARC_CANCELLED;
    const std::string text = edit->text().trimmed().toStdString();
    if (text == old) return KQARC_CANCELLED;
    // A description may be anything the user likes; an empty one would leave the system unnamed.
    if (text.empty()) return KQARC_CANCELLED;
    entry->SetAttr(sys::kDescriptionAttr, text, sys::T_DESCRIPTION, 0);
    return KQARC_OK;
}
