#include "document/AppState.h"

#include <cctype>

#include "resources/Strings.h"

namespace {
std::string WithSlash(std::string dir) {
    if (!dir.empty() && dir.back() != '/') dir += '/';
    return dir;
}
}  // namespace

void CAppState::SetProgramDir(const std::string& dir) {
    m_programDir = WithSlash(dir);
    SetDataDir(m_programDir);
}

void CAppState::SetDataDir(const std::string& dir) {
    m_dataDir = WithSlash(dir);
    m_databasePath = m_dataDir + LoadKQString(IDS_DATABASE_FILE);
}

std::string CAppState::FromStartDir(const std::string& path) const {
    if (path.empty() || path.front() == '/' || m_startDir.empty()) return path;
    return WithSlash(m_startDir) + path;
}

std::string CAppState::RemoveOptions(const std::string& commandLine,
                                     std::vector<std::string>& options) {
    enum State { Outside, QuotedOutside, InOption, QuotedInOption };
    std::string line(commandLine);
    State state = Outside;
    size_t start = 0;  // where the current option's '-' is
    size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        switch (state) {
            case Outside:
                if (c == '"') {
                    state = QuotedOutside;
                } else if (c == '-') {
                    start = i;
                    state = InOption;
                }
                ++i;
                break;
            case QuotedOutside:
                if (c == '"') state = Outside;
                ++i;
                break;
            case InOption:
                if (c == ' ') {
                    options.push_back(line.substr(start, i - start));
                    line.erase(start, i - start);
                    // Scanning goes on where the option began, now the blank after it.
                    i = start;
                    state = Outside;
                } else if (c == '-') {
                    options.push_back(line.substr(start, i - start));
                    line.erase(start, i - start);
                    // The '-' that ended it now sits at start and begins the next option.
                    i = start + 1;
                } else {
                    if (c == '"') state = QuotedInOption;
                    ++i;
                }
                break;
            case QuotedInOption:
                if (c == '"') state = InOption;
                ++i;
                break;
        }
    }
    if (state == InOption || state == QuotedInOption) {
        options.push_back(line.substr(start));
        line.erase(start);
    }
    return line;
}

void CAppState::ApplyOption(const std::string& option) {
    if (option.size() < 2) return;
    switch (std::toupper(static_cast<unsigned char>(option[1]))) {
        case 'A':
            m_autoRun = true;
            if (option.size() > 3 && option[2] == ':') m_autoRunFile = option.substr(3);
            break;
        case 'D':
            m_demo = true;
            break;
        case 'L':
            m_log = true;
            break;
        case 'P':
            m_promptProps = false;
            break;
        default:
            break;
    }
}

bool CAppState::TakeStandardOutputOption(std::vector<std::string>& arguments) {
    return std::erase_if(arguments, [](const std::string& a) {
               return a.size() == 4 && a[0] == '-' && (a[1] == 'A' || a[1] == 'a') && a[2] == ':' &&
                      a[3] == '-';
           }) > 0;
}

bool CAppState::IsJsonName(const std::string& path) {
    const std::string ext = ".json";
    if (path.size() < ext.size()) return false;
    for (size_t i = 0; i < ext.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(path[path.size() - ext.size() + i])) != ext[i])
            return false;
    return true;
}

void CAppState::ParseCommandLine(const std::string& commandLine) {
    std::vector<std::string> options;
    std::string rest = RemoveOptions(commandLine, options);
    for (const std::string& option : options) ApplyOption(option);
    const char* blanks = " \t\r\n";
    const size_t first = rest.find_first_not_of(blanks);
    if (first == std::string::npos) {
        m_commandLine.clear();
    } else {
        m_commandLine = rest.substr(first, rest.find_last_not_of(blanks) - first + 1);
    }
}

std::vector<std::string> CAppState::CommandLineFiles() const {
    std::vector<std::string> names;
    std::string name;
    bool quoted = false;
    for (const char c : m_commandLine) {
        if (c == '"') quoted = !quoted;
        if (!quoted && (c == ' ' || c == '\t')) {
            if (!name.empty()) names.push_back(Unquote(name));
            name.clear();
        } else {
            name += c;
        }
    }
    if (!name.empty()) names.push_back(Unquote(name));
    return names;
}

std::vector<std::string> CAppState::TakeCommandLineImports() {
    std::vector<std::string> files;
    for (const std::string& name : CommandLineFiles())
        if (IsExchangeFileName(name)) files.push_back(FromStartDir(name));
    m_commandLine.clear();
    return files;
}

void CAppState::SetRect(int left, int top, int right, int bottom) {
    m_rect[0] = left;
    m_rect[1] = top;
    m_rect[2] = right;
    m_rect[3] = bottom;
}

std::string CAppState::Unquote(const std::string& s) {
    if (s.size() > 1 && s.front() == '"' && s.back() == '"') return s.substr(1, s.size() - 2);
    return s;
}

bool CAppState::IsExchangeFileName(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return false;
    const std::string ext = name.substr(dot + 1);
    const std::string want = LoadKQString(IDS_EXCHANGE_EXT);
    if (ext.size() != want.size()) return false;
    for (size_t i = 0; i < ext.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(ext[i])) !=
            std::tolower(static_cast<unsigned char>(want[i])))
            return false;
    return true;
}

std::string CAppState::MakeExportFileName(const std::string& name) {
    std::string out = Unquote(name);
    if (!out.empty() && out.find('.') == std::string::npos)
        out += "." + LoadKQString(IDS_EXCHANGE_EXT);
    return out;
}
