// What the exchange file reader and writer need beyond the database: a new identifier for
// the current system's record, the analyzers' version lines, change notification, reporting.
#pragma once

#include <string>
#include <vector>

// Document change hints: one record added or changed (with its key), the database as a whole,
// the database file read late (every row and the saved selection anew).
enum UpdateHint : int { HINT_RECORD = 1, HINT_DATABASE = 2, HINT_DATABASE_READ = 3 };

class IExchangeHost {
public:
    virtual ~IExchangeHost() = default;

    // A fresh identifier for the current system; empty when none could be made.
    virtual std::string MakeNewSysid() = 0;
    // "<name> version <x.y>" for every loaded analyzer, in load order.
    virtual std::vector<std::string> AnalyzerVersionLines() const = 0;
    // Hint 1 with a record key for one new record, hint 2 when the database changed as a whole.
    virtual void NotifyViews(int hint, int recordKey) = 0;

    // Reporting: log and status lines, a message box captioned with the file's path, the log
    // window shown after a file that marked it, the wait cursor around an import.
    virtual void LogLine(const std::string& text) = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void ReportBox(const std::string& text, const std::string& caption) = 0;
    virtual void ShowLog() = 0;
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;
};
