// The application's state that the core reads, with its pure helpers.
#pragma once

#include <string>
#include <vector>

class CAppState {
public:
    // ---- places ----
    const std::string& ProgramDir() const { return m_programDir; }      // ends in '/'
    const std::string& DatabasePath() const { return m_databasePath; }  // data dir + "Quillo97.kqd"
    // Database, log file, scratch files; ends in '/'.
    const std::string& DataDir() const { return m_dataDir; }
    // Sets the program directory (adding the final '/'), which is also the data directory
    // until SetDataDir says otherwise, and the database path.
    void SetProgramDir(const std::string& dir);
    void SetDataDir(const std::string& dir);
    // A database file somewhere else than the data directory.
    void SetDatabasePath(const std::string& path) { m_databasePath = path; }
    // The data directory is not private: nothing is read from or written to it.
    bool DataDirRefused() const { return m_dataDirRefused; }
    void SetDataDirRefused(bool refused) { m_dataDirRefused = refused; }
    // Where the program was started; empty when unknown.
    void SetStartDir(const std::string& dir) { m_startDir = dir; }
    // A relative path from the command line, made absolute against the start directory.
    std::string FromStartDir(const std::string& path) const;

    // ---- command line ----
    // Removes and applies the options of a command line; the rest, trimmed, is kept.
    void ParseCommandLine(const std::string& commandLine);
    void ApplyOption(const std::string& option);
    bool AutoRun() const { return m_autoRun; }
    const std::string& AutoRunFile() const { return m_autoRunFile; }
    void SetAutoRun(bool on, const std::string& file) {
        m_autoRun = on;
        m_autoRunFile = file;
    }
    // "-A:-": an auto-run whose results go to standard output as JSON, and nothing else does.
    bool AutoRunToStandardOutput() const { return m_autoRunToStdout; }
    void SetAutoRunToStandardOutput() {
        m_autoRun = true;
        m_autoRunToStdout = true;
    }
    // Removes every "-A:-" given as a whole argument (the option scanner would read its "-"
    // as an option of its own); true when there was one.
    static bool TakeStandardOutputOption(std::vector<std::string>& arguments);
    // Whether an export file name asks for JSON (it ends in ".json", in any case).
    static bool IsJsonName(const std::string& path);
    // The team database named with --server (a libpq connection string or URI); empty when
    // the program stands on its file.
    const std::string& ServerConnection() const { return m_serverConnection; }
    void SetServerConnection(const std::string& conninfo) { m_serverConnection = conninfo; }
    bool Demo() const { return m_demo; }
    bool Log() const { return m_log; }
    bool PromptProps() const { return m_promptProps; }
    void SetPromptProps(bool prompt) { m_promptProps = prompt; }
    // What remains of the command line after the options were removed.
    const std::string& CommandLine() const { return m_commandLine; }
    // The names in what remains of the command line, in order: blanks outside double quotes
    // separate them, and each loses one pair of enclosing quotes.
    std::vector<std::string> CommandLineFiles() const;
    // The exchange files named there, made absolute, for the one import at start-up; the
    // command line is used up.
    std::vector<std::string> TakeCommandLineImports();

    // ---- found at start-up ----
    const std::string& BrowserCommand() const { return m_browserCommand; }
    void SetBrowserCommand(const std::string& command) { m_browserCommand = command; }
    // The analyzers' version lines for the About box.
    const std::vector<std::string>& AnalyzerLines() const { return m_analyzerLines; }
    void ClearAnalyzerLines() { m_analyzerLines.clear(); }
    void AddAnalyzerLine(const std::string& line) { m_analyzerLines.push_back(line); }

    // ---- window placement ----
    int ShowState() const { return m_showState; }  // 2 minimised, 3 maximised, 5 normal
    void SetShowState(int showState) { m_showState = showState; }
    const int* Rect() const { return m_rect; }  // left, top, right, bottom
    void SetRect(int left, int top, int right, int bottom);

    static std::string RemoveOptions(const std::string& commandLine,
                                     std::vector<std::string>& options);
    static std::string Unquote(const std::string& s);
    static bool IsExchangeFileName(const std::string& name);
    static std::string MakeExportFileName(const std::string& name);

private:
    std::string m_programDir;
    std::string m_databasePath;
    std::string m_dataDir;
    std::string m_startDir;
    std::string m_commandLine;
    bool m_autoRun = false;
    std::string m_autoRunFile;
    bool m_autoRunToStdout = false;
    std::string m_serverConnection;
    bool m_demo = false;
    bool m_log = false;
    bool m_promptProps = true;
    std::string m_browserCommand;
    std::vector<std::string> m_analyzerLines;
    int m_showState = 3;
    int m_rect[4] = {0, 0, 0, 0};
    bool m_dataDirRefused = false;
};
