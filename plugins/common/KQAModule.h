// Helpers shared by the analyzer modules we ship: reading the machine through a root directory
// that tests can redirect, attribute setters, the module's own text tables, progress and
// cancel, timing, and the conditions a figure was measured under.
// Standard C++ only; a module that needs Qt links it itself.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "analyzers/KQAnalyzer.h"

namespace kqa {

// ---------------------------------------------------------------------------------------------
// The machine, read through a root directory.
// QUILLON_SYSROOT (default "/") is put before every absolute path: /proc, /sys, /etc and the
// mount table all come from there, so tests point it at a fixture tree.

std::string SysRoot();                         // without trailing '/', "" for "/"
std::string RootPath(const std::string& abs);  // SysRoot() + abs
// Whole file (at most maxBytes); nullopt when missing or unreadable (or a directory).
std::optional<std::string> ReadFile(const std::string& abs, size_t maxBytes = 4u << 20);
// First line, trimmed; nullopt when missing, unreadable or empty.
std::optional<std::string> ReadLine(const std::string& abs);
std::optional<long long> ReadInt(const std::string& abs);
bool Exists(const std::string& abs);
bool IsDirectory(const std::string& abs);
// Names in a directory, sorted, without "." and "..".
std::vector<std::string> ListDir(const std::string& abs);
// Target of a symbolic link (as written in the link); nullopt when not a link.
std::optional<std::string> ReadLink(const std::string& abs);

// "key<sep>value" lines (cpuinfo, meminfo: ':'; os-release: '='); keys and values trimmed,
// double or single quotes around a value removed. The first occurrence of a key wins.
std::map<std::string, std::string> ParseKeyValue(const std::string& text, char sep);
// /proc/cpuinfo split into its processor blocks, each parsed as above.
std::vector<std::map<std::string, std::string>> ParseBlocks(const std::string& text, char sep);

struct MountEntry {
    std::string device, mountPoint, fsType, options;
};
// /proc/self/mounts, else /proc/mounts, else /etc/mtab (octal escapes decoded).
std::vector<MountEntry> ReadMounts();

// Numbers in sysfs lists such as "0-3,6,8-9"; an unreadable list gives an empty vector.
std::vector<int> ParseCpuList(const std::string& text);

// ---------------------------------------------------------------------------------------------
// Strings.

std::string Trim(const std::string& s);
std::vector<std::string> Split(const std::string& s, char sep, bool skipEmpty = true);
std::vector<std::string> SplitWords(const std::string& s);  // on any white space
bool StartsWith(const std::string& s, const std::string& prefix);
std::string Lower(const std::string& s);
// printf-like, for building values and descriptions.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Number with a fixed count of decimals, '.' as separator whatever the locale.
std::string FormatNumber(double value, int decimals);
// "%1", "%2"... replaced by the arguments.
std::string Substitute(const std::string& pattern, const std::vector<std::string>& args);

// Paths under a home directory are shown from "~": $HOME, then /root, then /home/<name>.
std::string HomeTilde(const std::string& path);

// Takes out what must not leave the machine: the host name and the user's name (whole words,
// three characters or more), MAC addresses, and anything following "serial"/"uuid" labels is
// the caller's business (never read those). Applied by every setter below.
std::string ScrubPrivate(const std::string& value);
// The names ScrubPrivate removes; tests may override them (empty: read from the machine).
void SetPrivateNames(const std::vector<std::string>& names);

// ---------------------------------------------------------------------------------------------
// Attributes. Data word: the DATA_* bits of the plug-in header.

// Text value (scrubbed, home paths untouched: call HomeTilde on paths yourself).
int SetText(CKQTreeEntry* entry, const std::string& id, const std::string& value, int32_t type,
            uint32_t data = 0);
// Numeric value "<number> <unit>" (the unit fixed per attribute, never rescaled), or just the
// number when the unit is empty. Sets bit 0, and bit 2 when highlight.
int SetNumber(CKQTreeEntry* entry, const std::string& id, double value, int decimals,
              const std::string& unit, int32_t type, bool highlight = false);
// A benchmark figure that repeats within 10 % from run to run on a quiet machine: SetNumber,
// plus DATA_MEASURED (history compares it) and DATA_LOWER_BETTER for latencies and times, and
// its spread over this run's repetitions (a fraction, as Timing::Spread gives it) stored beside
// it through SetSpread. A figure that does not repeat that well gets SetNumber and SetSpread.
int SetMeasured(CKQTreeEntry* entry, const std::string& id, double value, int decimals,
                const std::string& unit, int32_t type, double spread, bool lowerIsBetter = false,
                bool highlight = false);
// "<id> Spread" valued "<percent> %" with one decimal, data word 0: charts and reports do not
// take it for a figure.
int SetSpread(CKQTreeEntry* entry, const std::string& id, double spread);
std::string SpreadId(const std::string& id);
// The leading number of a value (as the charts read it); nullopt when it has none.
std::optional<double> LeadingNumber(const std::string& value);
// Sub-entry of an entry's subtree by key, made when missing (subtree too).
CKQTreeEntry* Child(CKQTreeEntry* entry, const std::string& key);
CKQTreeEntry* FindChild(const CKQTreeEntry* entry, const std::string& key);
// Removes sub-entries that hold nothing (no attributes, tips or children): a machine that
// lacks a whole area shows no empty heading for it.
void RemoveEmptyChildren(CKQTreeEntry* entry);
// First attribute with that identifier in the entry or anywhere below it.
const CAttr* FindAttrDeep(const CKQTreeEntry* entry, const std::string& id);
// Removes a sub-entry with all it holds, so that a refill leaves nothing stale behind.
void ClearChild(CKQTreeEntry* entry, const std::string& key);
// The leading number of an attribute's value; missing when the entry, the attribute or the
// number is absent.
double Number(const CKQTreeEntry* entry, const std::string& id, double missing = -1);
// An attribute's value; "" when the entry or the attribute is absent.
std::string Text(const CKQTreeEntry* entry, const std::string& id);

// A chart definition (type 2) with its "Units" and items; replaces the items of an existing one.
void AddChart(CKQTreeEntry* entry, const std::string& name, const std::string& units,
              uint16_t kqaid, const std::vector<std::string>& items);
// The attribute that names a system: the System module's extra string (the path analyzer 10
// hands the host), under which reports head their columns.
inline constexpr const char* kSystemNamePath = "Description";
inline constexpr uint16_t kSystemNameKqaid = KQAID_SYSTEM;

// A report definition (type 1); replaces the items of an existing one. Its first item is the
// naming path (with analyzer 10's identifier), so that each machine's column is headed by its
// name; items need not repeat it.
void AddReport(CKQTreeEntry* entry, const std::string& name, uint16_t kqaid,
               const std::vector<std::string>& items);

// ---------------------------------------------------------------------------------------------
// Texts of tips and attributes, found from the IDs alone.
//
// A tip's description ID carries the figure it reports: descID = textID * 100000 + figure
// (0 <= figure < 100000), see TipDescID. The description pattern's "%1" is the figure as the
// entry's formatter makes it (default: the figure itself). Status notes with a plain
// description ID (below 100000) are registered with that exact ID.

using FigureFormatter = std::string (*)(int32_t figure);

struct TipTextDef {
    int32_t textID;
    const char* text;         // one line
    const char* description;  // what was found (%1), why it matters, how to change it
    FigureFormatter formatter = nullptr;
    int32_t plainDescID = 0;  // non-zero: the exact description ID (status notes)
};

struct AttrDescDef {
    int32_t type;  // help context, also the attribute's type word
    const char* id;
    const char* description;
};

constexpr int32_t kFigureSpan = 100000;
int32_t TipDescID(int32_t textID, long long figure);  // figure clamped to 0..99999

class CTextRegistry {
public:
    void AddTips(const TipTextDef* defs, size_t count);
    void AddAttrs(const AttrDescDef* defs, size_t count);
    template <size_t N>
    void AddTips(const TipTextDef (&defs)[N]) {
        AddTips(defs, N);
    }
    template <size_t N>
    void AddAttrs(const AttrDescDef (&defs)[N]) {
        AddAttrs(defs, N);
    }

    // KQARC_OK with the text, KQARC_FAIL (text untouched) when unknown.
    KQARC TipText(const CTip* tip, CString& text) const;
    KQARC TipDesc(const CTip* tip, CString& text) const;
    // By the type word when it is known, else by the identifier (records keep no type word).
    KQARC AttrDesc(const CAttr* attr, CString& text) const;

    const std::vector<TipTextDef>& Tips() const { return m_tips; }
    const std::vector<AttrDescDef>& Attrs() const { return m_attrs; }

private:
    std::vector<TipTextDef> m_tips;
    std::vector<AttrDescDef> m_attrs;
};

// ---------------------------------------------------------------------------------------------
// Progress, cancel and log.

// QUILLON_BENCH_SCALE (default 1): multiplies the work of every benchmark; tests make it small.
double BenchScale();

class CProgress {
public:
    // view may be null (nothing is sent); cancel is the host's flag.
    CProgress(CWnd* view, KQAID id, int& cancel);
    // The share of 0..100 this part of the run covers; positions sent are mapped into it.
    void SetSpan(int from, int to);
    // Sends UM_ANALYZERPROGRESS for fraction (0..1) of the current span; false once cancelled.
    bool Step(double fraction);
    bool Cancelled() const { return m_cancel != 0; }
    void Log(const std::string& line) const;  // UM_ANALYZERLOG
    int MessagesSent() const { return m_sent; }

private:
    CWnd* m_view;
    KQAID m_id;
    int& m_cancel;
    int m_from = 0, m_to = 100;
    int m_sent = 0;
};

// Sends a log line without a progress object.
void Log(CWnd* view, KQAID id, const std::string& line);

// ---------------------------------------------------------------------------------------------
// Timing: each figure is the best or median of several repetitions after warm-up.

double Now();  // seconds, steady clock
// Processor time this process has used, in seconds: for work that only the processor does, it
// leaves out the time other programs took the CPU away.
double ProcessCpuNow();

struct Timing {
    std::vector<double> samples;  // seconds per repetition, in run order
    double Best() const;
    double Median() const;
    double Total() const;   // sum of the samples
    double Spread() const;  // (max - min) / median
};

class CConditionsProbe;

struct RepeatOptions {
    // Sampled after every repetition, so that throttling during the test is seen.
    CConditionsProbe* probe = nullptr;
    // Seconds after which no further repetition starts (0: none); at least one measured
    // repetition always runs, so a slow machine gets fewer repetitions, not a longer test.
    double budget = 0;
    // False when one() sends progress messages of its own (one per unit of work inside the
    // repetition): Repeat then sends none, and only looks at the cancel flag.
    bool step = true;
    // Measured repetitions that run whatever the budget: a spread needs at least two, or one
    // repetition on a busy machine would claim a spread of 0.
    int least = 1;
};

// Runs warmup + reps repetitions of one(); each returns its own measured seconds (so the
// progress message between repetitions is not timed). Stops (nullopt) when cancelled.
// Progress is stepped after every repetition over [0, 1] of the current span, unless
// options.step is false.
std::optional<Timing> Repeat(int warmup, int reps, CProgress& progress,
                             const std::function<double()>& one, const RepeatOptions& options = {});

// ---------------------------------------------------------------------------------------------
// Measurement conditions, stored beside every result.

struct Conditions {
    std::string governor;       // of cpu0, "" when unknown
    std::string boost;          // "on", "off" or ""
    std::string power;          // "AC", "battery" or ""
    double loadBefore = -1;     // CPUs kept busy by other work just before the test, -1 unknown
    double clockBeforeMHz = 0;  // highest current clock over the CPUs at the start
    double clockMinMHz = 0;     // lowest clock sampled during the test (max over CPUs)
    bool throttled = false;     // the clock fell by more than 10 % during the test
    uint16_t version = 0;
};

// Current clock: the highest scaling_cur_freq over the CPUs (cpuinfo "cpu MHz" otherwise), MHz.
double CurrentClockMHz();
std::string ReadGovernor();
std::string ReadBoost();        // "on", "off" or ""
std::string ReadPowerSource();  // "AC", "battery" or "" (no /sys/class/power_supply at all)
double ReadLoadAverage1();      // -1 unknown
// CPUs busy over a short window (from /proc/stat); the 1-minute load average when /proc/stat
// does not move (a fixture) or cannot be read.
double SampleBusyCPUs(double seconds);

class CConditionsProbe {
public:
    explicit CConditionsProbe(uint16_t version);  // samples the state before the test
    void Sample();                                // call between repetitions
    Conditions Finish();                          // decides throttling
private:
    Conditions m_c;
    bool m_sampled = false;
};

// Attribute type words of the conditions (help context numbers shared by every module; each
// module's help file carries them).
enum : int32_t {
    TYPE_COND_GOVERNOR = 901,
    TYPE_COND_BOOST = 902,
    TYPE_COND_POWER = 903,
    TYPE_COND_LOAD = 904,
    TYPE_COND_THROTTLED = 905,
    TYPE_COND_VERSION = 906,
    TYPE_COND_CLOCK = 907,
    TYPE_COND_SCALE = 908,
    TYPE_COND_SPREAD = 909,  // every "<id> Spread" attribute
};
// Writes the conditions as attributes of entry (a sub-entry such as "CPU Test Conditions").
void StoreConditions(CKQTreeEntry* entry, const Conditions& c);
// Descriptions of the attributes StoreConditions writes (add them to the module's registry).
const AttrDescDef* ConditionAttrs(size_t& count);
void AddConditionAttrs(CTextRegistry& registry);

// A module's registry: its tip and attribute tables, plus the condition attributes when the
// module measures.
template <size_t T, size_t A>
CTextRegistry MakeTextRegistry(const TipTextDef (&tips)[T], const AttrDescDef (&attrs)[A],
                               bool measures = true) {
    CTextRegistry r;
    r.AddTips(tips);
    r.AddAttrs(attrs);
    if (measures) AddConditionAttrs(r);
    return r;
}

// Writes a module's help file from its text tables, so that every attribute type and tip text
// ID has its anchor and the help never drifts from the descriptions shown in the program.
// introHtml follows the title heading (anchor 0). False when the file cannot be written.
bool WriteHelpFile(const std::string& path, const CTextRegistry& registry, const std::string& title,
                   const std::string& introHtml);

// What a module tells the host about itself in kqaInitialize.
struct ModuleIdentity {
    KQAID id;
    uint16_t version;  // major * 100 + minor; figures of different versions may differ
    int32_t bitmap;
    const char* name;   // keys its branch, stored records, item paths and help file
    const char* title;  // the progress window and the log; reads the same as the tree
};
void Describe(CAnalyzerInfo& info, const ModuleIdentity& module);

// What a module's help file is written from: its texts, its title (the one the progress window
// and the log show) and an introduction. Each module has one; the help writer program of the
// build (HelpMain.cpp) is linked with the module's parts and told its name.
struct ModuleHelp {
    const CTextRegistry& texts;
    const char* title;
    const char* introHtml;
};

}  // namespace kqa
