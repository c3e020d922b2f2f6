#include "reports/History.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>

#include "reports/ReportCompiler.h"
#include "resources/Strings.h"

namespace {

char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The stamp after mirror + separator: at least one hexadecimal digit and nothing else.
std::string StampOf(const std::string& separator, const std::string& sysid) {
    const size_t cut = sysid.rfind(separator);
    if (cut == std::string::npos || separator.empty()) return std::string();
    const std::string stamp = sysid.substr(cut + separator.size());
    if (stamp.empty() || !std::all_of(stamp.begin(), stamp.end(), IsHex)) return std::string();
    return stamp;
}

std::string LabelOf(std::time_t t) {
    std::tm local{};
    if (!localtime_r(&t, &local)) return std::string();
    char text[32];
    return std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local) ? text : std::string();
}

// "YYYY-MM-DD HH:MM" as local time; false for any other text.
bool ParseLabel(const std::string& text, std::tm& out) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d%c", &y, &mo, &d, &h, &mi, &tail) != 5)
        return false;
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59) return false;
    out = std::tm{};
    out.tm_year = y - 1900;
    out.tm_mon = mo - 1;
    out.tm_mday = d;
    out.tm_hour = h;
    out.tm_min = mi;
    out.tm_isdst = -1;
    return true;
}

// The first attribute of that identifier, depth first; null when none.
const CAttr* FindAttr(const CKQTreeEntry& entry, const std::string& id) {
    const int index = entry.FindAttr(id);
    if (index >= 0) return entry.GetAttr(index);
    if (const CKQTree* sub = entry.GetSubtree())
        for (const CKQTreeEntry* child : *sub)
            if (const CAttr* found = child ? FindAttr(*child, id) : nullptr) return found;
    return nullptr;
}

// What each test records of its conditions; the module's version tells a set of them.
constexpr const char* kModuleVersion = "Module Version";
constexpr const char* kLoadBefore = "Load Before";
constexpr const char* kThrottled = "Throttled";
const char* const kComparedConditions[] = {"Governor",   "Boost",     "Power Source", kThrottled,
                                           "Work Scale", kLoadBefore, kModuleVersion};
// Load before may differ by this many processors.
constexpr double kLoadTolerance = 0.25;

bool HoldsConditions(const CKQTreeEntry& entry) { return entry.FindAttr(kModuleVersion) >= 0; }

// The conditions of a figure: its own entry's, else those of the nearest entry beside it or
// beside one of its ancestors ("Disk Test Conditions" beside "Disk Tests").
const CKQTreeEntry* ConditionsFor(const std::vector<const CKQTreeEntry*>& path) {
    for (size_t depth = path.size(); depth-- > 0;) {
        if (HoldsConditions(*path[depth])) return path[depth];
        if (depth == 0) break;
        if (const CKQTree* siblings = path[depth - 1]->GetSubtree())
            for (const CKQTreeEntry* s : *siblings)
                if (s && HoldsConditions(*s)) return s;
    }
    return nullptr;
}

void Gather(const CKQTreeEntry& entry, const std::string& where,
            std::vector<const CKQTreeEntry*>& path, std::vector<CMeasuredFigure>& out) {
    path.push_back(&entry);
    for (const CAttr& a : entry.m_attrs) {
        if ((a.m_data & DATA_MEASURED) == 0) continue;
        size_t i = 0;
        while (i < a.m_value.size() && IsBlank(a.m_value[i])) ++i;
        if (i >= a.m_value.size() || !(std::isdigit(static_cast<unsigned char>(a.m_value[i])) ||
                                       a.m_value[i] == '.' || a.m_value[i] == '-'))
            continue;
        CMeasuredFigure f;
        f.where = JoinItemPath(where, a.m_id);
        f.id = a.m_id;
        f.value = LeadingNumber(a.m_value);
        f.lowerBetter = (a.m_data & DATA_LOWER_BETTER) != 0;
        f.spread = LeadingNumber(entry.GetAttrValue(a.m_id + " Spread"));
        if (const CKQTreeEntry* c = ConditionsFor(path))
            for (const char* name : kComparedConditions)
                f.conditions.emplace_back(name, c->GetAttrValue(name));
        out.push_back(std::move(f));
    }
    if (const CKQTree* sub = entry.GetSubtree())
        for (const CKQTreeEntry* child : *sub)
            if (child) Gather(*child, JoinItemPath(where, child->m_key), path, out);
    path.pop_back();
}

std::string FirstWord(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    size_t end = i;
    while (end < text.size() && !IsBlank(text[end])) ++end;
    return text.substr(i, end - i);
}

std::string Major(const std::string& version) { return version.substr(0, version.find('.')); }

// The first condition under which the two figures were not measured alike; "" when none.
std::string ConditionDiffering(const CMeasuredFigure& a, const CMeasuredFigure& b,
                               std::string& then, std::string& now) {
    auto value = [](const CMeasuredFigure& f, const std::string& name) {
        for (const auto& [n, v] : f.conditions)
            if (n == name) return v;
        return std::string();
    };
    for (const char* name : kComparedConditions) {
        const std::string x = value(a, name), y = value(b, name);
        bool same = x == y;
        if (std::string(name) == kLoadBefore && !x.empty() && !y.empty())
            same = std::fabs(LeadingNumber(x) - LeadingNumber(y)) <= kLoadTolerance;
        else if (std::string(name) == kThrottled)
            same = FirstWord(x) == FirstWord(y);
        else if (std::string(name) == kModuleVersion)
            same = Major(x) == Major(y);
        if (!same) {
            then = y;
            now = x;
            return name;
        }
    }
    return std::string();
}

// How much worse now is than before, in percent of before (negative: better).
double WorsePercent(double now, double before, bool lowerBetter) {
    if (before <= 0) return 0;
    return (lowerBetter ? now - before : before - now) / before * 100.0;
}

// Measured figures whose results repeat worse than others: their floors, in percent. A run's
// own spread cannot see how far results drift between runs; on a quiet two-processor virtual
// machine the processor figures spread 4-9 % between runs, the memory bandwidths up to 20 %
// and the latency of a walk past the cache up to 29 % (the host's memory traffic moves them;
// STREAM and a plain pointer chase drift as much in the same runs). A figure not named has 5 %.
struct Floor {
    const char* id;
    double percent;
};
constexpr double kDefaultFloor = 5.0;
const Floor kFloors[] = {
    {"Integer Single-Thread", 10}, {"Integer All Threads", 10}, {"Integer Scaling", 10},
    {"Float Single-Thread", 10},   {"Float All Threads", 10},   {"Float Scaling", 10},
    {"Copy Bandwidth", 20},        {"Scale Bandwidth", 20},     {"Add Bandwidth", 20},
    {"Triad Bandwidth", 20},       {"Latency 16 KiB", 10},      {"Latency 256 KiB", 10},
    {"Latency 128 MiB", 30},
};

// The figure's entry and identifier as a row caption says them ("Memory Bandwidth Copy").
std::string FigureCaption(const CMeasuredFigure& f) {
    const size_t idAt = f.where.size() - f.id.size();
    const size_t entryAt = idAt >= 2 ? f.where.rfind(kPathSeparator, idAt - 2) : std::string::npos;
    return CReportCompiler::Caption(entryAt == std::string::npos ? f.where
                                                                 : f.where.substr(entryAt + 1));
}

}  // namespace

std::string FillArgs(const std::string& text, const std::vector<std::string>& args) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const size_t n = i + 1 < text.size() ? static_cast<size_t>(text[i + 1] - '1') : args.size();
        if (text[i] == '%' && n < args.size() && n < 9) {
            out += args[n];
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string RegressionText(const CRegression& r) {
    const std::string percent = KQFormat("%.0f", r.percent);
    if (r.condition.empty())
        return FillArgs(LoadKQString(r.lowerBetter ? IDS_HISTORY_HIGHER : IDS_HISTORY_LOWER),
                        {r.figure, percent, r.since});
    return FillArgs(LoadKQString(r.lowerBetter ? IDS_HISTORY_NOTE_HIGHER : IDS_HISTORY_NOTE_LOWER),
                    {r.figure, percent, r.since, r.condition, r.then, r.now});
}

std::string RegressionDescription(const CRegression& r) {
    return FillArgs(
        LoadKQString(r.condition.empty() ? IDS_HISTORY_TIP_DESC : IDS_HISTORY_NOTE_DESC),
        {KQFormat("%.1f", r.repeatability), r.condition});
}

double LeadingNumber(const std::string& text) {
    // atof's reading, without its dependence on the process locale (Qt sets one).
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i < text.size() && text[i] == '+') {
        ++i;
        if (i < text.size() && text[i] == '-') return 0.0;
    }
    double v = 0.0;
    auto r =
        std::from_chars(text.data() + i, text.data() + text.size(), v, std::chars_format::general);
    if (r.ec == std::errc::invalid_argument) return 0.0;
    return v;  // out of range: from_chars leaves v 0; atof would give HUGE_VAL
}

bool IsSnapshotOf(const std::string& mirror, const std::string& separator,
                  const std::string& sysid) {
    const std::string prefix = mirror + separator;
    if (mirror.empty() || sysid.size() <= prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (Fold(sysid[i]) != Fold(prefix[i])) return false;
    return std::all_of(sysid.begin() + static_cast<std::ptrdiff_t>(prefix.size()), sysid.end(),
                       IsHex);
}

CHistoryTime HistoryTimeOf(const CKQTreeEntry& record, const std::string& separator,
                           const std::string& sysid) {
    CHistoryTime t;
    std::tm parts{};
    if (const CAttr* measured = FindAttr(record, kMeasuredAttribute);
        measured && ParseLabel(measured->m_value, parts)) {
        t.when = static_cast<int64_t>(std::mktime(&parts));
        t.label = measured->m_value;
        return t;
    }
    // A stamp cut below eight digits (a long identifier) is no time.
    const std::string stamp = StampOf(separator, sysid);
    if (stamp.size() == 8) {
        t.when = static_cast<int64_t>(std::stoul(stamp, nullptr, 16));
        t.label = LabelOf(static_cast<std::time_t>(t.when));
    }
    return t;
}

std::string HistoryDateText(const std::string& label) {
    std::tm parts{};
    if (!ParseLabel(label, parts)) return label;
    std::vector<std::string> months;
    const std::string names = LoadKQString(IDS_HISTORY_MONTHS);
    for (size_t i = 0; i < names.size();) {
        const size_t end = std::min(names.find(' ', i), names.size());
        months.push_back(names.substr(i, end - i));
        i = end + 1;
    }
    const size_t month = static_cast<size_t>(parts.tm_mon);
    if (month >= months.size()) return label;
    return FillArgs(LoadKQString(IDS_HISTORY_DATE), {std::to_string(parts.tm_mday), months[month],
                                                     std::to_string(parts.tm_year + 1900)});
}

std::vector<CMeasuredFigure> MeasuredFigures(const CKQTreeEntry& record) {
    std::vector<CMeasuredFigure> out;
    std::vector<const CKQTreeEntry*> path;
    // Paths start below the record: its own key differs between a record and the tree.
    path.push_back(&record);
    if (const CKQTree* sub = record.GetSubtree())
        for (const CKQTreeEntry* child : *sub)
            if (child) Gather(*child, child->m_key, path, out);
    return out;
}

double RepeatabilityFloor(const std::string& attributeID) {
    for (const Floor& f : kFloors)
        if (attributeID == f.id) return f.percent;
    return kDefaultFloor;
}

std::vector<CRegression> FindRegressions(const CKQTreeEntry& latest,
                                         const std::vector<CHistoryResult>& earlier) {
    std::vector<CRegression> found;
    const CHistoryTime latestTime = HistoryTimeOf(latest, std::string(), std::string());
    // Newest first, each result's figures by where they are.
    struct Earlier {
        const CHistoryResult* result;
        std::map<std::string, CMeasuredFigure> figures;
    };
    std::vector<Earlier> before;
    for (auto it = earlier.rbegin(); it != earlier.rend(); ++it) {
        if (!it->record) continue;
        if (!latestTime.label.empty() &&
            (it->time.label == latestTime.label || it->time.when > latestTime.when))
            continue;
        Earlier e{&*it, {}};
        for (CMeasuredFigure& f : MeasuredFigures(*it->record)) e.figures.emplace(f.where, f);
        before.push_back(std::move(e));
    }

    for (const CMeasuredFigure& now : MeasuredFigures(latest)) {
        struct Compared {
            const CMeasuredFigure* figure;
            const CHistoryResult* result;
        };
        std::vector<Compared> comparable;
        const Compared* newest = nullptr;
        Compared newestAny{nullptr, nullptr};
        for (const Earlier& e : before) {
            auto f = e.figures.find(now.where);
            if (f == e.figures.end()) continue;
            if (!newest) {
                newestAny = {&f->second, e.result};
                newest = &newestAny;
            }
            std::string then, was;
            if (ConditionDiffering(now, f->second, then, was).empty())
                comparable.push_back({&f->second, e.result});
            if (comparable.size() == 3) break;
        }
        if (!newest) continue;

        CRegression r;
        r.figure = FigureCaption(now);
        r.lowerBetter = now.lowerBetter;
        r.repeatability = std::max(RepeatabilityFloor(now.id), now.spread);
        if (!comparable.empty()) {
            // The median of up to three; of two, their mean, dated by the newer.
            std::vector<Compared> byValue = comparable;
            std::sort(byValue.begin(), byValue.end(), [](const Compared& a, const Compared& b) {
                return a.figure->value < b.figure->value;
            });
            double median = 0;
            const CHistoryResult* dated = nullptr;
            if (byValue.size() == 2) {
                median = (byValue[0].figure->value + byValue[1].figure->value) / 2;
                dated = comparable.front().result;
            } else {
                median = byValue[byValue.size() / 2].figure->value;
                dated = byValue[byValue.size() / 2].result;
            }
            for (const Compared& c : comparable)
                r.repeatability = std::max(r.repeatability, c.figure->spread);
            r.percent = WorsePercent(now.value, median, now.lowerBetter);
            if (r.percent <= r.repeatability) continue;
            r.since = HistoryDateText(dated->time.label);
            r.priority = r.percent > 3 * r.repeatability ? 80 : 50;
            found.push_back(std::move(r));
            continue;
        }
        // Nothing measured alike: a drop since the newest result is told with its condition.
        r.repeatability = std::max(r.repeatability, newest->figure->spread);
        r.percent = WorsePercent(now.value, newest->figure->value, now.lowerBetter);
        if (r.percent <= r.repeatability) continue;
        r.condition = ConditionDiffering(now, *newest->figure, r.then, r.now);
        r.since = HistoryDateText(newest->result->time.label);
        r.priority = 0;
        found.push_back(std::move(r));
    }
    return found;
}
