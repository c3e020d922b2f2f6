// What the main frame asks of the application object, so that the frame needs no more of it
// (as the view asks its host): the state it shows and keeps, the exit status, the settings,
// and the help and browser services.
#pragma once

#include <memory>
#include <string>

class CAppState;
class QSettings;

// Exit statuses of the program.
enum QuillonExit {
    EXIT_QUILLON_OK = 0,
    EXIT_QUILLON_NO_EXPORT = 2,       // an unattended run wrote no export file
    EXIT_QUILLON_OTHER_INSTANCE = 3,  // another instance runs; it was asked to come forward
    EXIT_QUILLON_SAVE_FAILED = 4,     // the database could not be saved on close, or not kept
    EXIT_QUILLON_SERVER_FAILED = 5,   // the team database could not be reached, read or made
};

class IFrameHost {
public:
    virtual ~IFrameHost() = default;
    virtual CAppState& State() = 0;
    virtual int ExitCode() const = 0;
    // Keeps the first failure: a later success never overwrites it.
    virtual void SetExitCode(int code) = 0;
    // The per-user application settings.
    virtual std::unique_ptr<QSettings> UserSettings() const = 0;
    virtual void SaveWindowPlacement(int showState, const int rect[4]) = 0;
    virtual void OpenPageInBrowser(const std::string& page) = 0;
    virtual void ShowAnalyzerHelp(const std::string& baseName, int context) = 0;
    virtual void ShowHelpIndex() = 0;  // the program's own help
};
