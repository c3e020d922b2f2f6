// The application's state that the core reads, with its pure helpers.
#pragma once

#include <string>
#include <vector>

class CAppState {
public:
    std::string m_programDir;    // always ends in '/'
    std::string m_databasePath;  // data directory + "Quillo97.kqd"
    std::string m_dataDir;       // database, log file, scratch files; always ends in '/'
    std::string m_startDir;      // where the program was started; empty when unknown
    std::string m_commandLine;   // what remains after the options were removed
    int m_autoRun = 0;
    std::string m_autoRunFile;
    int m_demo = 0;
    int m_log = 0;
    int m_promptProps = 1;
    std::string m_browserCommand;
    std::vector<std::string> m_analyzerLines;
    int m_showState = 3;  // 2 minimised, 3 maximised, 5 normal
    int m_rect[4] = {0, 0, 0, 0};
    // The data directory is not private: nothing is read from or written to it.
    bool m_dataDirRefused = false;

    // Sets the program directory (adding the final '/'), which is also the data directory
    // until SetDataDir says otherwise, and the database path.
    void SetProgramDir(const std::string& dir);
    void SetDataDir(const std::string& dir);
    // A relative path from the command line, made absolute against the start directory.
    std::string FromStartDir(const std::string& path) const;
    // Removes and applies the options of a command line; the rest, trimmed, is kept.
    void ParseCommandLine(const std::string& commandLine);
    void ApplyOption(const std::string& option);
    // The names in what remains of the command line, in order: blanks outside double quotes
    // separate them, and each loses one pair of enclosing quotes.
    std::vector<std::string> CommandLineFiles() const;

    static std::string RemoveOptions(const std::string& commandLine,
                                     std::vector<std::string>& options);
    static std::string Unquote(const std::string& s);
    static bool IsExchangeFileName(const std::string& name);
    static std::string MakeExportFileName(const std::string& name);
};
