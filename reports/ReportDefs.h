// Text forms of report items: attribute paths, tip references and headings.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "analyzers/KQAnalyzer.h"

class CAnalyzerList;

// The separator of item paths.
constexpr char kPathSeparator = '~';

// The part alone when the prefix is empty, else prefix, "~", part.
std::string JoinItemPath(const std::string& prefix, const std::string& part);
// "^%u %d %d": analyzer, tip text resource ID, description resource ID.
std::string MakeTipReference(uint16_t kqaid, int32_t textID, int32_t descID);
// "~", one space, the caption.
std::string MakeHeading(const std::string& caption);
// A "^" anywhere makes a tip reference; a leading "~" a heading.
bool IsTipReference(const std::string& text);
bool IsHeading(const std::string& text);
// The three numbers of the tip reference in an item text (from its "^" on); false when the text
// names no tip or its analyzer number is out of range.
bool ParseTipReference(const std::string& text, KQAID& kqaid, int32_t& textID, int32_t& descID);

// A stored system's tree by record key; false when the key names none or it cannot be read.
using SystemLoader = std::function<bool(int32_t key, CKQTreeEntry& system)>;
using AnalyzerNameFn = std::function<std::string(KQAID id)>;

// The item that names a system (column captions): the path in analyzer 10's extra string, after
// the top entry's name when the top entry carries no identifier; "" without analyzer 10.
std::string SystemNamingItem(const CKQTree& systemTree, const CAnalyzerList& analyzers);

// "Highlights" on the system tree's top entry, made anew: the naming item, then the highlighted
// attributes of the mirror record that the tree does not hold, then those of the tree. The
// definition's index; -1 when there is no top entry or no memory (the panes keep the index
// they know).
int BuildHighlightsReport(CKQTree& systemTree, const CKQTreeEntry* mirror,
                          const std::string& namingItem);
// "History", a report and a chart on the host's own entry, made anew: one line per measured
// figure of the tree and of the mirror record (the report's first line heads its columns).
void BuildHistoryDefinitions(CKQTreeEntry& host, const CKQTreeEntry* top,
                             const CKQTreeEntry* mirror, const std::string& firstLine);
// A report or chart definition whose columns (points) are this machine's results over time,
// not the Database selection, carries this attribute with this value.
inline constexpr const char* kColumnsAttribute = "Columns";
inline constexpr const char* kHistoryColumns = "History";
bool IsHistoryDefinition(const CRepDef& def);
// The attribute of a history chart that holds the unit of the figure on one line.
std::string HistoryUnitsAttribute(const std::string& line);
// "Tips" from the selected systems and "All Details" from every analyzer's report definitions.
void BuildTipsAndDetailsReports(CKQTree& systemTree, const CAnalyzerList& analyzers,
                                const std::vector<int32_t>& selection, const SystemLoader& load,
                                const AnalyzerNameFn& analyzerName);
// Headings inserted before each analyzer's group and each run of tips.
void AddReportHeadings(CRepDef& def, const AnalyzerNameFn& analyzerName);

// Whether a stored system holds the tip: the same text and description IDs, a priority above 0,
// on an entry that gathering "Tips" gives that analyzer (an entry named after a loaded analyzer
// starts its branch). priority is the first such tip's.
bool StoredTipPriority(const CAnalyzerList& analyzers, const CKQTreeEntry& system, KQAID kqaid,
                       int32_t textID, int32_t descID, int32_t& priority);
// A tip's priority as a report cell shows it: "High 85", "Medium 60", "Low 5"; "" for 0 and
// below.
std::string PriorityLabel(int32_t priority);
