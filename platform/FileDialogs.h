// File dialogs; on the offscreen platform they answer "cancelled" so nothing blocks.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "document/FrameServices.h"

class QWidget;

// "KQ Exch Files (*.kqx)|*.kqx||" in the form Qt's dialogs take: "KQ Exch Files (*.kqx)".
QString QtFilterFromKQ(const std::string& filter);
std::vector<std::string> KQOpenFileDialog(QWidget* parent, const FileDialogRequest& request,
                                          unsigned& errorCode);
std::optional<std::string> KQSaveFileDialog(QWidget* parent, const FileDialogRequest& request);

// The directory the dialogs open in: the last one a dialog was answered in during this run,
// else the user's documents directory (the home directory when that does not exist).
QString FileDialogDirectory();
void RememberFileDialogDirectory(const QString& chosenFile);
// The file a save dialog offers: the suggested name in that directory (the directory alone
// without a suggestion).
QString SuggestedSavePath(const FileDialogRequest& request);
