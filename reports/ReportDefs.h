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

// A stored system's tree by record key; false when the key names none or it cannot be read.
using SystemLoader = std::function<bool(int32_t key, CKQTreeEntry& system)>;
using AnalyzerNameFn = std::function<std::string(KQAID id)>;

// "Highlights" on the system tree's top entry, made anew from the highlighted attributes of
// the mirror record and of the tree. The definition's index; -1 when there is no top entry or
// no memory (the panes keep the index they know).
int BuildHighlightsReport(CKQTree& systemTree, const CKQTreeEntry* mirror);
// "Tips" from the selected systems and "All Details" from every analyzer's report definitions.
void BuildTipsAndDetailsReports(CKQTree& systemTree, const CAnalyzerList& analyzers,
                                const std::vector<int32_t>& selection, const SystemLoader& load,
                                const AnalyzerNameFn& analyzerName);
// Headings inserted before each analyzer's group and each run of tips.
void AddReportHeadings(CRepDef& def, const AnalyzerNameFn& analyzerName);
