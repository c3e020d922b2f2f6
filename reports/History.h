// This machine over time: which stored records are its earlier results, in which order, and
// whether a measured figure of the latest results has fallen behind them (the regression tip).
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "analyzers/KQAnalyzer.h"
#include "reports/ReportDefs.h"

// Points a history chart shows: the newest ones.
inline constexpr int kHistoryChartPoints = 30;

// atof's reading of a text's leading number, without the process locale; 0 when none.
double LeadingNumber(const std::string& text);
// text with "%1" ... "%9" replaced by the arguments.
std::string FillArgs(const std::string& text, const std::vector<std::string>& args);

// Whether sysid is a snapshot of the record named mirror as snapshots are named: the mirror's
// identifier, the separator and a hexadecimal stamp (ASCII case ignored).
bool IsSnapshotOf(const std::string& mirror, const std::string& separator,
                  const std::string& sysid);

// When a record was measured, for ordering and column headers: its "Measured" attribute
// ("YYYY-MM-DD HH:MM", local time), else the stamp of its identifier when that holds all
// eight digits of a time; 0 and "" when neither says.
struct CHistoryTime {
    int64_t when = 0;   // seconds since the epoch
    std::string label;  // "YYYY-MM-DD HH:MM"
};
CHistoryTime HistoryTimeOf(const CKQTreeEntry& record, const std::string& separator,
                           const std::string& sysid);
// "3 Dec 2026" for a label as above; the label itself when it is no date.
std::string HistoryDateText(const std::string& label);

// One measured figure of a record: where it is (entry names below the record, then the
// attribute identifier), its value and spread, and the conditions it was measured under.
struct CMeasuredFigure {
    std::string where;
    std::string id;
    double value = 0;
    bool lowerBetter = false;
    double spread = 0;  // percent; 0 when not stored
    std::vector<std::pair<std::string, std::string>> conditions;
};
// Every attribute with DATA_MEASURED whose value starts with a number, depth first.
std::vector<CMeasuredFigure> MeasuredFigures(const CKQTreeEntry& record);

// The floor of a figure's repeatability in percent: the host's table, 5 % by default.
double RepeatabilityFloor(const std::string& attributeID);

// One earlier result of this machine: its tree and when it was measured.
struct CHistoryResult {
    const CKQTreeEntry* record = nullptr;
    CHistoryTime time;
};

// A figure of the latest results worse than before. A regression (priority 50 or 80) is worse
// than the median of the last three comparable results by more than the repeatability; a note
// (priority 0) is a drop against the newest earlier result while a condition differed.
struct CRegression {
    std::string figure;  // the caption of the figure
    double percent = 0;  // how much worse, in percent of the earlier value
    bool lowerBetter = false;
    std::string since;      // the date of the earlier result compared with ("3 Dec 2026")
    std::string condition;  // a note's condition that differed; empty for a regression
    std::string then, now;  // a note's condition values
    double repeatability = 0;
    int32_t priority = 0;
};
// Compares latest with the earlier results (oldest first); results measured at the same time
// as the latest (a snapshot of it) or later are passed by.
std::vector<CRegression> FindRegressions(const CKQTreeEntry& latest,
                                         const std::vector<CHistoryResult>& earlier);
// The tip's one-line text ("Memory Bandwidth Copy is 22 % lower than on 3 Dec 2026") and
// its description.
std::string RegressionText(const CRegression& r);
std::string RegressionDescription(const CRegression& r);
