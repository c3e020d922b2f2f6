#include "platform/FileDialogs.h"

#include <QFileDialog>
#include <QStringList>

#include "platform/MessageBoxes.h"

QString QtFilterFromKQ(const std::string& filter) {
    // Pairs of description and pattern separated by '|', ended by "||".
    const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) break;
        QString desc = parts[i];
        QString pattern = parts[i + 1];
        pattern.replace(QLatin1Char(';'), QLatin1Char(' '));
        if (!desc.contains(pattern)) desc += QStringLiteral(" (") + pattern + QLatin1Char(')');
        out << desc;
    }
    return out.join(QStringLiteral(";;"));
}

namespace {

void Prepare(QFileDialog& dialog, const FileDialogRequest& request) {
    dialog.setWindowTitle(QString::fromStdString(request.title));
    dialog.setNameFilter(QtFilterFromKQ(request.filter));
    dialog.setDefaultSuffix(QString::fromStdString(request.defaultExt));
}

}  // namespace

std::vector<std::string> KQOpenFileDialog(QWidget* parent, const FileDialogRequest& request,
                                          unsigned& errorCode) {
    errorCode = 0;
    if (IsOffscreenPlatform()) return {};
    QFileDialog dialog(parent);
    Prepare(dialog, request);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(request.multiSelect ? QFileDialog::ExistingFiles
                                           : QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted) return {};
    std::vector<std::string> paths;
    for (const QString& f : dialog.selectedFiles()) paths.push_back(f.toStdString());
    return paths;
}

std::optional<std::string> KQSaveFileDialog(QWidget* parent, const FileDialogRequest& request) {
    if (IsOffscreenPlatform()) return std::nullopt;
    QFileDialog dialog(parent);
    Prepare(dialog, request);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // Overwrite prompt is the dialog's default; the target directory must exist.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first().toStdString();
}
