#include "KQAModule.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

namespace kqa {

// ---------------------------------------------------------------------------------------------
// Files

std::string SysRoot() {
    const char* env = std::getenv("QUILLON_SYSROOT");
    std::string root = env ? env : "";
    while (!root.empty() && root.back() == '/') root.pop_back();
    return root;
}

std::string RootPath(const std::string& abs) {
    if (abs.empty() || abs[0] != '/') return SysRoot() + "/" + abs;
    return SysRoot() + abs;
}

std::optional<std::string> ReadFile(const std::string& abs, size_t maxBytes) {
    const std::string path = RootPath(abs);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return std::nullopt;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return std::nullopt;
    std::string out;
    char buf[8192];
    bool failed = false;
    while (out.size() < maxBytes) {
        size_t want = std::min(sizeof buf, maxBytes - out.size());
        size_t n = std::fread(buf, 1, want, f);
        if (n == 0) {
            failed = std::ferror(f) != 0;
            break;
        }
        out.append(buf, n);
    }
    std::fclose(f);
    if (failed) return std::nullopt;
    return out;
}

std::optional<std::string> ReadLine(const std::string& abs) {
    auto text = ReadFile(abs, 65536);
    if (!text) return std::nullopt;
    std::string line = text->substr(0, text->find('\n'));
    line = Trim(line);
    if (line.empty()) return std::nullopt;
    return line;
}

std::optional<long long> ReadInt(const std::string& abs) {
    auto line = ReadLine(abs);
    if (!line) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(line->c_str(), &end, 10);
    if (end == line->c_str() || errno != 0) return std::nullopt;
    return v;
}

bool Exists(const std::string& abs) {
    struct stat st {};
    return ::lstat(RootPath(abs).c_str(), &st) == 0;
}

bool IsDirectory(const std::string& abs) {
    struct stat st {};
    return ::stat(RootPath(abs).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::string> ListDir(const std::string& abs) {
    std::vector<std::string> names;
    DIR* d = ::opendir(RootPath(abs).c_str());
    if (!d) return names;
    while (dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        names.emplace_back(e->d_name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<std::string> ReadLink(const std::string& abs) {
    char buf[4096];
    ssize_t n = ::readlink(RootPath(abs).c_str(), buf, sizeof buf - 1);
    if (n < 0) return std::nullopt;
    return std::string(buf, static_cast<size_t>(n));
}

static std::string Unquote(std::string v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return v;
}

std::map<std::string, std::string> ParseKeyValue(const std::string& text, char sep) {
    std::map<std::string, std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        auto pos = line.find(sep);
        if (pos == std::string::npos) continue;
        std::string key = Trim(line.substr(0, pos));
        if (key.empty() || key[0] == '#') continue;
        out.emplace(key, Unquote(Trim(line.substr(pos + 1))));
    }
    return out;
}

std::vector<std::map<std::string, std::string>> ParseBlocks(const std::string& text, char sep) {
    std::vector<std::map<std::string, std::string>> blocks;
    std::istringstream in(text);
    std::string line, block;
    auto flush = [&] {
        if (!Trim(block).empty()) blocks.push_back(ParseKeyValue(block, sep));
        block.clear();
    };
    while (std::getline(in, line)) {
        if (Trim(line).empty())
            flush();
        else
            block += line + "\n";
    }
    flush();
    return blocks;
}

static std::string DecodeOctal(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() &&
            std::isdigit(static_cast<unsigned char>(s[i + 1])) &&
            std::isdigit(static_cast<unsigned char>(s[i + 2])) &&
            std::isdigit(static_cast<unsigned char>(s[i + 3]))) {
            out +=
                static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::vector<MountEntry> ReadMounts() {
    std::vector<MountEntry> mounts;
    std::optional<std::string> text = ReadFile("/proc/self/mounts");
    if (!text) text = ReadFile("/proc/mounts");
    if (!text) text = ReadFile("/etc/mtab");
    if (!text) return mounts;
    std::istringstream in(*text);
    std::string line;
    while (std::getline(in, line)) {
        auto w = SplitWords(line);
        if (w.size() < 4) continue;
        mounts.push_back({DecodeOctal(w[0]), DecodeOctal(w[1]), w[2], w[3]});
    }
    return mounts;
}

std::vector<int> ParseCpuList(const std::string& text) {
    std::vector<int> out;
    for (const auto& part : Split(Trim(text), ',')) {
        auto dash = part.find('-');
        char* end = nullptr;
        long a = std::strtol(part.c_str(), &end, 10);
        if (end == part.c_str() || a < 0) return {};
        long b = a;
        if (dash != std::string::npos) {
            const char* s = part.c_str() + dash + 1;
            b = std::strtol(s, &end, 10);
            if (end == s || b < a || b - a > 65536) return {};
        }
        for (long i = a; i <= b; ++i) out.push_back(static_cast<int>(i));
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Strings

std::string Trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return s.substr(a, b - a);
}

std::vector<std::string> Split(const std::string& s, char sep, bool skipEmpty) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : s) {
        if (c == sep) {
            if (!skipEmpty || !cur.empty()) out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!skipEmpty || !cur.empty()) out.push_back(cur);
    return out;
}

std::vector<std::string> SplitWords(const std::string& s) {
    std::vector<std::string> out;
    std::istringstream in(s);
    std::string w;
    while (in >> w) out.push_back(w);
    return out;
}

bool StartsWith(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

std::string Lower(const std::string& s) {
    std::string out = s;
    for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string Format(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    va_list ap2;
    va_copy(ap2, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string out;
    if (n > 0) {
        out.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(out.data(), out.size(), fmt, ap2);
        out.resize(static_cast<size_t>(n));
    }
    va_end(ap2);
    return out;
}

std::string FormatNumber(double value, int decimals) {
    if (!std::isfinite(value)) value = 0;
    if (decimals < 0) decimals = 0;
    std::string s = Format("%.*f", decimals, value);
    // The C locale is what modules run under, but a host may have set another one.
    for (auto& c : s)
        if (c == ',') c = '.';
    if (s == "-0" || s.rfind("-0.", 0) == 0) {
        bool allZero = s.find_first_not_of("-0.") == std::string::npos;
        if (allZero) s.erase(0, 1);
    }
    return s;
}

std::string Substitute(const std::string& pattern, const std::vector<std::string>& args) {
    std::string out;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' &&
            pattern[i + 1] <= '9') {
            size_t k = static_cast<size_t>(pattern[i + 1] - '1');
            if (k < args.size()) out += args[k];
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

std::string HomeTilde(const std::string& path) {
    auto under = [&](const std::string& home) -> std::optional<std::string> {
        if (home.size() < 2) return std::nullopt;
        std::string h = home;
        while (h.size() > 1 && h.back() == '/') h.pop_back();
        if (path == h) return std::string("~");
        if (StartsWith(path, h + "/")) return "~" + path.substr(h.size());
        return std::nullopt;
    };
    if (const char* home = std::getenv("HOME")) {
        if (auto r = under(home)) return *r;
    }
    if (auto r = under("/root")) return *r;
    if (StartsWith(path, "/home/") && path.size() > 6) {
        size_t slash = path.find('/', 6);
        if (slash == std::string::npos) return "~";
        return "~" + path.substr(slash);
    }
    return path;
}

static std::mutex g_privateMutex;
static std::optional<std::vector<std::string>> g_privateNames;

void SetPrivateNames(const std::vector<std::string>& names) {
    std::lock_guard<std::mutex> lock(g_privateMutex);
    if (names.empty())
        g_privateNames.reset();
    else
        g_privateNames = names;
}

static std::vector<std::string> PrivateNames() {
    {
        std::lock_guard<std::mutex> lock(g_privateMutex);
        if (g_privateNames) return *g_privateNames;
    }
    std::vector<std::string> names;
    if (auto h = ReadLine("/proc/sys/kernel/hostname")) names.push_back(*h);
    if (auto h = ReadLine("/etc/hostname")) names.push_back(*h);
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) == 0 && host[0]) names.emplace_back(host);
    for (const char* var : {"USER", "LOGNAME"})
        if (const char* u = std::getenv(var)) names.emplace_back(u);
    if (passwd* pw = ::getpwuid(::getuid())) names.emplace_back(pw->pw_name);
    std::vector<std::string> out;
    for (auto& n : names) {
        // The short host name also counts ("box" of "box.example.org").
        std::string shortName = n.substr(0, n.find('.'));
        for (const std::string& v : {n, shortName})
            if (v.size() >= 3 && v != "root" && v != "localhost" &&
                std::find(out.begin(), out.end(), v) == out.end())
                out.push_back(v);
    }
    // Longest first, so a full name goes before its short form.
    std::sort(out.begin(), out.end(), [](auto& a, auto& b) { return a.size() > b.size(); });
    return out;
}

static bool IsWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-';
}

static bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

std::string ScrubPrivate(const std::string& value) {
    std::string s = value;
    // MAC addresses: six pairs of hex digits joined by ':' or '-'.
    for (size_t i = 0; i + 17 <= s.size(); ++i) {
        bool mac = true;
        char sep = s[i + 2];
        if (sep != ':' && sep != '-') continue;
        for (int k = 0; k < 6 && mac; ++k) {
            size_t p = i + static_cast<size_t>(k) * 3;
            mac = IsHex(s[p]) && IsHex(s[p + 1]) && (k == 5 || s[p + 2] == sep);
        }
        if (mac && (i == 0 || !IsHex(s[i - 1])) && (i + 17 == s.size() || !IsHex(s[i + 17]))) {
            s.replace(i, 17, "(hidden)");
        }
    }
    for (const auto& name : PrivateNames()) {
        std::string lowerS = Lower(s), lowerN = Lower(name);
        size_t pos = 0;
        while ((pos = lowerS.find(lowerN, pos)) != std::string::npos) {
            size_t end = pos + name.size();
            bool word =
                (pos == 0 || !IsWordChar(s[pos - 1])) && (end >= s.size() || !IsWordChar(s[end]));
            if (word) {
                s.replace(pos, name.size(), "(hidden)");
                lowerS = Lower(s);
                pos += 8;
            } else {
                pos = end;
            }
        }
    }
    return s;
}

// ---------------------------------------------------------------------------------------------
// Attributes and report definitions

int SetText(CKQTreeEntry* entry, const std::string& id, const std::string& value, int32_t type,
            uint32_t data) {
    if (!entry) return -1;
    return entry->SetAttr(id, ScrubPrivate(value), type, data);
}

int SetNumber(CKQTreeEntry* entry, const std::string& id, double value, int decimals,
              const std::string& unit, int32_t type, bool highlight) {
    if (!entry) return -1;
    std::string v = FormatNumber(value, decimals);
    if (!unit.empty()) v += " " + unit;
    return entry->SetAttr(id, v, type, DATA_NUMERIC | (highlight ? DATA_HIGHLIGHT : 0u));
}

std::string SpreadId(const std::string& id) { return id + " Spread"; }

int SetSpread(CKQTreeEntry* entry, const std::string& id, double spread) {
    if (!entry) return -1;
    if (!std::isfinite(spread) || spread < 0) spread = 0;
    return entry->SetAttr(SpreadId(id), FormatNumber(100 * spread, 1) + " %", TYPE_COND_SPREAD, 0);
}

int SetMeasured(CKQTreeEntry* entry, const std::string& id, double value, int decimals,
                const std::string& unit, int32_t type, double spread, bool lowerIsBetter,
                bool highlight) {
    const int i = SetNumber(entry, id, value, decimals, unit, type, highlight);
    if (i < 0) return i;
    CAttr* a = entry->GetAttr(i);
    a->m_data |= DATA_MEASURED | (lowerIsBetter ? DATA_LOWER_BETTER : 0u);
    SetSpread(entry, id, spread);
    return i;
}

std::optional<double> LeadingNumber(const std::string& value) {
    const char* s = value.c_str();
    char* end = nullptr;
    double v = std::strtod(s, &end);
    if (end == s) return std::nullopt;
    return v;
}

CKQTreeEntry* FindChild(const CKQTreeEntry* entry, const std::string& key) {
    if (!entry || !entry->GetSubtree()) return nullptr;
    return entry->GetSubtree()->Find(key);
}

CKQTreeEntry* Child(CKQTreeEntry* entry, const std::string& key) {
    if (!entry) return nullptr;
    if (CKQTreeEntry* found = FindChild(entry, key)) return found;
    CKQTree* sub = entry->GetSubtree() ? entry->GetSubtree() : entry->AddSubtree();
    return sub ? sub->Add(key) : nullptr;
}

void RemoveEmptyChildren(CKQTreeEntry* entry) {
    if (!entry || !entry->GetSubtree()) return;
    std::vector<CKQTreeEntry*> empty;
    for (CKQTreeEntry* c : *entry->GetSubtree()) {
        if (c->m_kqaid != 0) continue;  // another analyzer's branch
        RemoveEmptyChildren(c);
        const bool noChildren = !c->GetSubtree() || c->GetSubtree()->IsEmpty();
        if (c->GetAttrCount() == 0 && c->GetTipCount() == 0 && noChildren) empty.push_back(c);
    }
    for (CKQTreeEntry* c : empty) entry->GetSubtree()->Remove(c);
}

const CAttr* FindAttrDeep(const CKQTreeEntry* entry, const std::string& id) {
    if (!entry) return nullptr;
    int i = entry->FindAttr(id);
    if (i >= 0) return entry->GetAttr(i);
    if (entry->GetSubtree())
        for (const CKQTreeEntry* child : *entry->GetSubtree())
            if (const CAttr* a = FindAttrDeep(child, id)) return a;
    return nullptr;
}

void ClearChild(CKQTreeEntry* entry, const std::string& key) {
    if (CKQTreeEntry* e = FindChild(entry, key)) entry->GetSubtree()->Remove(e);
}

double Number(const CKQTreeEntry* entry, const std::string& id, double missing) {
    if (!entry) return missing;
    auto v = LeadingNumber(entry->GetAttrValue(id));
    return v ? *v : missing;
}

std::string Text(const CKQTreeEntry* entry, const std::string& id) {
    return entry ? entry->GetAttrValue(id) : std::string();
}

void AddChart(CKQTreeEntry* entry, const std::string& name, const std::string& units,
              uint16_t kqaid, const std::vector<std::string>& items) {
    if (!entry) return;
    int index = entry->AddReportDef(name, RDTYPE_CHART);
    entry->EmptyReportDef(name, RDTYPE_CHART);
    if (CRepDef* def = entry->GetRepDefPtr(index)) def->SetAttrValue("Units", units);
    for (const auto& item : items) entry->AddReportItem(item, kqaid);
}

void AddReport(CKQTreeEntry* entry, const std::string& name, uint16_t kqaid,
               const std::vector<std::string>& items) {
    if (!entry) return;
    entry->AddReportDef(name, RDTYPE_REPORT);
    entry->EmptyReportDef(name, RDTYPE_REPORT);
    entry->AddReportItem(kSystemNamePath, kSystemNameKqaid);
    for (size_t i = 0; i < items.size(); ++i)
        if (i > 0 || items[i] != kSystemNamePath) entry->AddReportItem(items[i], kqaid);
}

// ---------------------------------------------------------------------------------------------
// Texts

int32_t TipDescID(int32_t textID, long long figure) {
    if (figure < 0) figure = 0;
    if (figure >= kFigureSpan) figure = kFigureSpan - 1;
    return textID * kFigureSpan + static_cast<int32_t>(figure);
}

void CTextRegistry::AddTips(const TipTextDef* defs, size_t count) {
    m_tips.insert(m_tips.end(), defs, defs + count);
}

void CTextRegistry::AddAttrs(const AttrDescDef* defs, size_t count) {
    m_attrs.insert(m_attrs.end(), defs, defs + count);
}

KQARC CTextRegistry::TipText(const CTip* tip, CString& text) const {
    if (!tip) return KQARC_FAIL;
    for (const auto& d : m_tips)
        if (d.textID == tip->m_textID) {
            text = d.text;
            return KQARC_OK;
        }
    return KQARC_FAIL;
}

KQARC CTextRegistry::TipDesc(const CTip* tip, CString& text) const {
    if (!tip) return KQARC_FAIL;
    const int32_t id = tip->m_descID;
    for (const auto& d : m_tips) {
        if (d.plainDescID != 0) {
            if (d.plainDescID == id) {
                text = d.description;
                return KQARC_OK;
            }
            continue;
        }
        if (id >= 0 && id / kFigureSpan == d.textID) {
            const int32_t figure = id % kFigureSpan;
            std::string f = d.formatter ? d.formatter(figure) : std::to_string(figure);
            text = Substitute(d.description, {f});
            return KQARC_OK;
        }
    }
    return KQARC_FAIL;
}

KQARC CTextRegistry::AttrDesc(const CAttr* attr, CString& text) const {
    if (!attr) return KQARC_FAIL;
    if (attr->m_type != 0)
        for (const auto& d : m_attrs)
            if (d.type == attr->m_type) {
                text = d.description;
                return KQARC_OK;
            }
    const bool spread = attr->m_id.size() > 7 && attr->m_id.ends_with(" Spread");
    for (const auto& d : m_attrs)
        if (attr->m_id == d.id || (spread && d.type == TYPE_COND_SPREAD)) {
            text = d.description;
            return KQARC_OK;
        }
    return KQARC_FAIL;
}

// ---------------------------------------------------------------------------------------------
// Progress

double BenchScale() {
    const char* env = std::getenv("QUILLON_BENCH_SCALE");
    if (!env || !*env) return 1.0;
    char* end = nullptr;
    double v = std::strtod(env, &end);
    if (end == env || !std::isfinite(v) || v <= 0) return 1.0;
    return std::clamp(v, 1e-6, 100.0);
}

CProgress::CProgress(CWnd* view, KQAID id, int& cancel)
    : m_view(view), m_id(id), m_cancel(cancel) {}

void CProgress::SetSpan(int from, int to) {
    m_from = std::clamp(from, 0, 100);
    m_to = std::clamp(to, m_from, 100);
}

bool CProgress::Step(double fraction) {
    fraction = std::clamp(fraction, 0.0, 1.0);
    const int pos = m_from + static_cast<int>(std::lround((m_to - m_from) * fraction));
    if (m_view) {
        m_view->SendMessage(UM_ANALYZERPROGRESS, 0, pos);
        ++m_sent;
    }
    return m_cancel == 0;
}

void CProgress::Log(const std::string& line) const { kqa::Log(m_view, m_id, line); }

void Log(CWnd* view, KQAID id, const std::string& line) {
    if (view) view->SendMessage(UM_ANALYZERLOG, id, reinterpret_cast<intptr_t>(line.c_str()));
}

// ---------------------------------------------------------------------------------------------
// Timing

double Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

double ProcessCpuNow() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double Timing::Total() const {
    double sum = 0;
    for (double s : samples) sum += s;
    return sum;
}

double Timing::Best() const {
    if (samples.empty()) return 0;
    return *std::min_element(samples.begin(), samples.end());
}

double Timing::Median() const {
    if (samples.empty()) return 0;
    std::vector<double> s = samples;
    std::sort(s.begin(), s.end());
    size_t n = s.size();
    return n % 2 ? s[n / 2] : (s[n / 2 - 1] + s[n / 2]) / 2;
}

double Timing::Spread() const {
    if (samples.empty()) return 0;
    auto [mn, mx] = std::minmax_element(samples.begin(), samples.end());
    double med = Median();
    return med > 0 ? (*mx - *mn) / med : 0;
}

std::optional<Timing> Repeat(int warmup, int reps, CProgress& progress,
                             const std::function<double()>& one, const RepeatOptions& options) {
    Timing t;
    const int total = std::max(0, warmup) + std::max(1, reps);
    const double start = Now();
    for (int i = 0; i < total; ++i) {
        double s = one();
        if (i >= warmup) t.samples.push_back(s);
        if (options.probe) options.probe->Sample();
        // Cancelled inside the repetition: not one more progress message.
        if (progress.Cancelled()) return std::nullopt;
        if (options.step && !progress.Step(static_cast<double>(i + 1) / total)) return std::nullopt;
        if (options.budget > 0 &&
            t.samples.size() >= static_cast<size_t>(std::max(1, options.least)) &&
            Now() - start > options.budget)
            break;
    }
    return t;
}

// ---------------------------------------------------------------------------------------------
// Conditions

static std::vector<std::string> CpuDirs() {
    std::vector<std::string> out;
    for (const auto& n : ListDir("/sys/devices/system/cpu"))
        if (n.size() > 3 && StartsWith(n, "cpu") && std::isdigit(static_cast<unsigned char>(n[3])))
            out.push_back("/sys/devices/system/cpu/" + n);
    return out;
}

double CurrentClockMHz() {
    double best = 0;
    for (const auto& d : CpuDirs())
        if (auto khz = ReadInt(d + "/cpufreq/scaling_cur_freq"))
            best = std::max(best, *khz / 1000.0);
    if (best > 0) return best;
    if (auto text = ReadFile("/proc/cpuinfo"))
        for (const auto& block : ParseBlocks(*text, ':')) {
            auto it = block.find("cpu MHz");
            if (it != block.end()) best = std::max(best, std::atof(it->second.c_str()));
        }
    return best;
}

std::string ReadGovernor() {
    return ReadLine("/sys/devices/system/cpu/cpu0/cpufreq/scaling_governor").value_or("");
}

std::string ReadBoost() {
    if (auto v = ReadInt("/sys/devices/system/cpu/cpufreq/boost")) return *v ? "on" : "off";
    if (auto v = ReadInt("/sys/devices/system/cpu/intel_pstate/no_turbo")) return *v ? "off" : "on";
    return "";
}

std::string ReadPowerSource() {
    bool anyMains = false, anyBattery = false, online = false;
    for (const auto& n : ListDir("/sys/class/power_supply")) {
        const std::string d = "/sys/class/power_supply/" + n;
        std::string type = ReadLine(d + "/type").value_or("");
        // A wireless mouse's battery (scope Device) does not power the machine.
        if (ReadLine(d + "/scope").value_or("") == "Device") continue;
        if (type == "Mains" || type == "USB") {
            anyMains = true;
            if (ReadInt(d + "/online").value_or(0) == 1) online = true;
        } else if (type == "Battery") {
            anyBattery = true;
        }
    }
    if (online) return "AC";
    if (anyBattery || anyMains) return "battery";  // adapters present, none online
    // A power supply class without a battery or adapter: a desktop or server on mains.
    return IsDirectory("/sys/class/power_supply") ? "AC" : "";
}

double ReadLoadAverage1() {
    auto line = ReadLine("/proc/loadavg");
    if (!line) return -1;
    auto w = SplitWords(*line);
    if (w.empty()) return -1;
    char* end = nullptr;
    double v = std::strtod(w[0].c_str(), &end);
    return end == w[0].c_str() ? -1 : v;
}

static bool ReadCpuTimes(double& busy, double& total) {
    auto line = ReadLine("/proc/stat");
    if (!line || !StartsWith(*line, "cpu ")) return false;
    auto w = SplitWords(*line);
    busy = total = 0;
    for (size_t i = 1; i < w.size(); ++i) {
        double v = std::atof(w[i].c_str());
        total += v;
        // idle and iowait are fields 4 and 5
        if (i != 4 && i != 5) busy += v;
    }
    return total > 0;
}

double SampleBusyCPUs(double seconds) {
    double b0, t0, b1, t1;
    if (ReadCpuTimes(b0, t0)) {
        if (seconds > 0) ::usleep(static_cast<useconds_t>(seconds * 1e6));
        if (ReadCpuTimes(b1, t1) && t1 > t0) {
            int cpus = 0;
            if (auto text = ReadFile("/proc/stat"))
                for (const auto& l : Split(*text, '\n'))
                    if (l.size() > 3 && StartsWith(l, "cpu") &&
                        std::isdigit(static_cast<unsigned char>(l[3])))
                        ++cpus;
            return std::max(1, cpus) * (b1 - b0) / (t1 - t0);
        }
    }
    return ReadLoadAverage1();
}

CConditionsProbe::CConditionsProbe(uint16_t version) {
    m_c.version = version;
    m_c.governor = ReadGovernor();
    m_c.boost = ReadBoost();
    m_c.power = ReadPowerSource();
    m_c.loadBefore = SampleBusyCPUs(0.1 * std::min(1.0, BenchScale()));
    m_c.clockBeforeMHz = CurrentClockMHz();
}

void CConditionsProbe::Sample() {
    double mhz = CurrentClockMHz();
    if (mhz <= 0) return;
    if (!m_sampled || mhz < m_c.clockMinMHz) m_c.clockMinMHz = mhz;
    m_sampled = true;
}

Conditions CConditionsProbe::Finish() {
    Sample();
    m_c.throttled =
        m_c.clockBeforeMHz > 0 && m_sampled && m_c.clockMinMHz < 0.9 * m_c.clockBeforeMHz;
    return m_c;
}

static const AttrDescDef kConditionAttrs[] = {
    {TYPE_COND_GOVERNOR, "Governor",
     "The CPU frequency governor in force while the test ran (scaling_governor of cpu0). "
     "\"performance\" keeps the clock high; \"powersave\" or \"schedutil\" may lower figures."},
    {TYPE_COND_BOOST, "Boost",
     "Whether the processor was allowed to boost above its base clock during the test "
     "(cpufreq boost or intel_pstate no_turbo)."},
    {TYPE_COND_POWER, "Power Source",
     "The power source during the test: AC or battery. Many machines slow down on battery."},
    {TYPE_COND_LOAD, "Load Before",
     "How many CPUs other programs kept busy in the tenth of a second before the test (from "
     "/proc/stat; the one-minute load average when that cannot be read). Figures taken while "
     "other programs ran are lower than the machine can do."},
    {TYPE_COND_THROTTLED, "Throttled",
     "\"yes\" when the clock fell by more than 10 % during the test (thermal or power "
     "throttling), with the lowest clock seen; such figures understate the machine."},
    {TYPE_COND_VERSION, "Module Version",
     "The version of the analyzer module that measured these figures; figures from different "
     "versions may not be comparable."},
    {TYPE_COND_CLOCK, "Clock Before",
     "The highest current CPU clock just before the test, in MHz."},
    {TYPE_COND_SCALE, "Work Scale",
     "The scale applied to the amount of work (1 in normal use; smaller only in tests)."},
    {TYPE_COND_SPREAD, "<figure> Spread",
     "How much the repetitions behind the figure named before \"Spread\" varied in this run: "
     "(longest - shortest) / median, in percent. A drop in that figure smaller than its spread "
     "may be chance rather than a change of the machine."},
};

const AttrDescDef* ConditionAttrs(size_t& count) {
    count = sizeof kConditionAttrs / sizeof kConditionAttrs[0];
    return kConditionAttrs;
}

void AddConditionAttrs(CTextRegistry& registry) {
    size_t n = 0;
    const AttrDescDef* d = ConditionAttrs(n);
    registry.AddAttrs(d, n);
}

void StoreConditions(CKQTreeEntry* entry, const Conditions& c) {
    if (!entry) return;
    SetText(entry, "Governor", c.governor.empty() ? "unknown" : c.governor, TYPE_COND_GOVERNOR);
    SetText(entry, "Boost", c.boost.empty() ? "unknown" : c.boost, TYPE_COND_BOOST);
    SetText(entry, "Power Source", c.power.empty() ? "unknown" : c.power, TYPE_COND_POWER);
    if (c.loadBefore >= 0) SetNumber(entry, "Load Before", c.loadBefore, 2, "", TYPE_COND_LOAD);
    if (c.clockBeforeMHz > 0)
        SetNumber(entry, "Clock Before", c.clockBeforeMHz, 0, "MHz", TYPE_COND_CLOCK);
    std::string thr = c.throttled ? Format("yes (down to %.0f MHz)", c.clockMinMHz) : "no";
    SetText(entry, "Throttled", thr, TYPE_COND_THROTTLED);
    SetText(entry, "Module Version", Format("%u.%u", c.version / 100u, c.version % 100u),
            TYPE_COND_VERSION);
    double scale = BenchScale();
    if (scale != 1.0) SetNumber(entry, "Work Scale", scale, 4, "", TYPE_COND_SCALE);
}

namespace {

std::string HtmlText(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '&')
            out += "&amp;";
        else
            out += c;
    }
    return out;
}

}  // namespace

void Describe(CAnalyzerInfo& info, const ModuleIdentity& module) {
    info.m_id = module.id;
    info.m_version = module.version;
    info.m_name = module.name;
    info.m_title = module.title;
    info.m_bitmap = module.bitmap;
}

bool WriteHelpFile(const std::string& path, const CTextRegistry& registry, const std::string& title,
                   const std::string& introHtml) {
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return false;
    std::fprintf(f, "<html><head><title>%s</title></head><body>\n<h1><a name=\"0\">%s</a></h1>\n",
                 title.c_str(), title.c_str());
    std::fputs(introHtml.c_str(), f);
    std::fputs("\n<h2>Attributes</h2>\n", f);
    for (const auto& a : registry.Attrs())
        std::fprintf(f, "<h3><a name=\"%d\">%s</a></h3>\n<p>%s</p>\n", a.type,
                     HtmlText(a.id).c_str(), HtmlText(a.description).c_str());
    std::fputs("<h2>Tips</h2>\n", f);
    for (const auto& t : registry.Tips()) {
        const std::string d = Substitute(t.description, {"(the figure found on this machine)"});
        std::fprintf(f, "<h3><a name=\"%d\">%s</a></h3>\n<p>%s</p>\n", t.textID,
                     HtmlText(t.text).c_str(), HtmlText(d).c_str());
    }
    std::fputs("</body></html>\n", f);
    return std::fclose(f) == 0;
}

}  // namespace kqa
