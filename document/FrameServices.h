// The one way the document reaches the windows. The Qt main frame implements it;
// core tests replace it with a recording fake. Changes to the document's contents are not
// told here: panes subscribe to the document's own change channel (DocumentEvents.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analyzers/RunProgress.h"

enum class MsgIcon { None, Information, Question, Warning, Error };
enum class MsgButtons { Ok, OkCancel, YesNo };
enum MsgAnswer { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

struct FileDialogRequest {
    std::string title;
    std::string defaultExt;  // "kqx"
    std::string filter;      // "KQ Exch Files (*.kqx)|*.kqx||"
    bool multiSelect = false;
    std::string suggestedName = {};  // save dialogs: the file name offered, no directory
};

// The progress dialog and the pauses of a test run come from the run's own interface.
class IFrameServices : public IRunProgress {
public:
    virtual ~IFrameServices() = default;

    // Status bar: the message pane, repainted at once; the "Listing database" pane on or off.
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void ShowListing(bool on) = 0;

    // Log window (a no-op when the program runs without a log).
    virtual void LogLine(const std::string& text) = 0;
    virtual void ShowLog() = 0;

    virtual int MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                           MsgButtons buttons) = 0;

    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;
    virtual void ProcessEvents() = 0;

    // File dialogs: the chosen paths, or nothing when cancelled. A failed dialog reports its
    // extended error code through errorCode (0 for a plain cancel).
    virtual std::vector<std::string> OpenFileDialog(const FileDialogRequest& request,
                                                    unsigned& errorCode) = 0;
    virtual std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) = 0;

    virtual uint32_t Now() = 0;  // calendar clock, seconds
};
