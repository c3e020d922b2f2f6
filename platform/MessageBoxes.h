// Message boxes that also answer without a display: on the offscreen platform the caption
// and text go to standard error as one line and the default button is the answer.
#pragma once

#include <string>

#include "document/FrameServices.h"

class QWidget;

bool IsOffscreenPlatform();
int KQMessageBox(QWidget* parent, const std::string& text, const std::string& caption, MsgIcon icon,
                 MsgButtons buttons);
// The button a box answers when nobody can press one.
int DefaultAnswer(MsgButtons buttons);
// The one-line form written to standard error.
std::string MessageBoxLine(const std::string& text, const std::string& caption);
