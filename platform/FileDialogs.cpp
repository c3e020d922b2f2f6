#include "platform/FileDialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>
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

QString& LastDirectory() {
    static QString dir;
    return dir;
}

void Prepare(QFileDialog& dialog, const FileDialogRequest& request) {
    dialog.setWindowTitle(QString::fromStdString(request.title));
    dialog.setDirectory(FileDialogDirectory());
    dialog.setNameFilter(QtFilterFromKQ(request.filter));
    dialog.setDefaultSuffix(QString::fromStdString(request.defaultExt));
}

}  // namespace

QString FileDialogDirectory() {
    if (!LastDirectory().isEmpty() && QDir(LastDirectory()).exists()) return LastDirectory();
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QDir(documents).exists()) return documents;
    return QDir::homePath();
}

void RememberFileDialogDirectory(const QString& chosenFile) {
    if (!chosenFile.isEmpty()) LastDirectory() = QFileInfo(chosenFile).absolutePath();
}

QString SuggestedSavePath(const FileDialogRequest& request) {
    const QString dir = FileDialogDirectory();
    if (request.suggestedName.empty()) return dir;
    return QDir(dir).filePath(QString::fromStdString(request.suggestedName));
}

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
    if (!dialog.selectedFiles().isEmpty())
        RememberFileDialogDirectory(dialog.selectedFiles().first());
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
    if (!request.suggestedName.empty()) dialog.selectFile(SuggestedSavePath(request));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    RememberFileDialogDirectory(dialog.selectedFiles().first());
    return dialog.selectedFiles().first().toStdString();
}
