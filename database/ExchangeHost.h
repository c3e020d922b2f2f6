// What the exchange file writer needs beyond the database: a new identifier for the current
// system's record, the analyzers' version lines, reporting.
#pragma once

#include <string>
#include <vector>

class IExchangeHost {
public:
    virtual ~IExchangeHost() = default;

    // A fresh identifier for the current system; empty when none could be made.
    virtual std::string MakeNewSysid() = 0;
    // "<name> version <x.y>" for every loaded analyzer, in load order.
    virtual std::vector<std::string> AnalyzerVersionLines() const = 0;
    // Reporting: a log line, a message box captioned with the file's path.
    virtual void LogLine(const std::string& text) = 0;
    virtual void ReportBox(const std::string& text, const std::string& caption) = 0;
};
