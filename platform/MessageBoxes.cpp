#include "platform/MessageBoxes.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <cstdio>

bool IsOffscreenPlatform() {
    return QGuiApplication::platformName() == QLatin1String("offscreen") ||
           QGuiApplication::platformName() == QLatin1String("minimal");
}

int DefaultAnswer(MsgButtons buttons) { return buttons == MsgButtons::YesNo ? IDYES : IDOK; }

std::string MessageBoxLine(const std::string& text, const std::string& caption) {
    std::string line = caption.empty() ? text : caption + ": " + text;
    // One line: the texts may hold line breaks of their own.
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    return line;
}

int KQMessageBox(QWidget* parent, const std::string& text, const std::string& caption, MsgIcon icon,
                 MsgButtons buttons) {
    if (IsOffscreenPlatform()) {
        std::fprintf(stderr, "%s\n", MessageBoxLine(text, caption).c_str());
        std::fflush(stderr);
        return DefaultAnswer(buttons);
    }
    QMessageBox box(parent);
    box.setWindowTitle(QString::fromStdString(caption));
    box.setText(QString::fromStdString(text));
    switch (icon) {
        case MsgIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case MsgIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case MsgIcon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case MsgIcon::Error:
            box.setIcon(QMessageBox::Critical);
            break;
        case MsgIcon::None:
            break;
    }
    switch (buttons) {
        case MsgButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case MsgButtons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            box.setDefaultButton(QMessageBox::Ok);
            break;
        case MsgButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::Yes);
            break;
    }
    switch (box.exec()) {
        case QMessageBox::Cancel:
            return IDCANCEL;
        case QMessageBox::Yes:
            return IDYES;
        case QMessageBox::No:
            return IDNO;
        case QMessageBox::Ok:
            return IDOK;
        default:
            return buttons == MsgButtons::Ok      ? IDOK
                   : buttons == MsgButtons::YesNo ? IDNO
                                                  : IDCANCEL;
    }
}
