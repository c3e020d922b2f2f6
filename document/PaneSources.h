// What the panes read, one narrow interface per kind of reading. The document implements
// them; a pane knows only the ones it uses, never the document's class.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analyzers/KQAnalyzer.h"
#include "reports/History.h"
#include "reports/ReportSource.h"
#include "tree/KQTree.h"

class CRecordEntry;

// The Database list's columns, three parallel arrays: key path, caption path, numeric flag.
struct CDbColumns {
    std::vector<std::string> m_keys;
    std::vector<std::string> m_captions;
    std::vector<uint8_t> m_numeric;
    int GetCount() const { return static_cast<int>(m_keys.size()); }
};

// This machine's tree and what its analyzers say about it (Summary and Details panes).
class ISystemSource {
public:
    virtual ~ISystemSource() = default;
    virtual CKQTree& CurrentTree() = 0;
    virtual std::string AnalyzerName(KQAID id) const = 0;
    // Whether the analyzer is loaded and offers a properties dialog.
    virtual bool OffersProperties(KQAID id) const = 0;
    virtual void TipText(KQAID id, CTip* tip, CString& text) = 0;
    virtual void TipDesc(KQAID id, CTip* tip, CString& text) = 0;
    virtual void AttrDesc(KQAID id, CAttr* attr, CString& text) = 0;
    // Whether a web browser is configured (the Summary panel's link needs one).
    virtual bool HasBrowser() const = 0;
};

// The stored systems as rows (Database pane). Keys are the database's record keys.
class IRecordListSource {
public:
    virtual ~IRecordListSource() = default;
    virtual void ChooseColumns(CDbColumns& columns) = 0;
    // Queues the listing: each record then arrives as a RecordListed change, then ListingDone.
    virtual void QueueListing() = 0;
    virtual int CurrentSystemKey() const = 0;
    // Copies the record named by key into entry (markers included); false when none loads.
    virtual bool LoadRecordByKey(int key, CRecordEntry& entry) = 0;
    // Position of the record in the document's order; -1 when none.
    virtual int RecordPosition(int key) const = 0;
    // The record stays in this program only (a team database it may not be stored into).
    virtual bool RecordNotStored(int key) const = 0;
    // Depth first, the first non-empty value at path; tips answered by their analyzer.
    virtual bool EntryLookup(const CKQTreeEntry* entry, const std::string& path,
                             std::string& value) = 0;
    // The pane captured its selection (the compared systems).
    virtual void OnSelectionCaptured(const std::vector<int32_t>& selection) = 0;
};

// The report or chart definitions of the loaded analyzers, analyzers in list order, each
// branch's in its own order (Reports and Charts panes).
class IDefinitionSource {
public:
    virtual ~IDefinitionSource() = default;
    virtual std::vector<CRepDef*> Definitions(RDTYPE type) = 0;
};

// The values a chart compares (Charts pane).
class IChartSource : public IDefinitionSource {
public:
    // The charted value of a system: false when it has none or its text starts with no number.
    virtual bool ChartMeasurement(int key, const std::string& line, double& value) = 0;
    // A series' title: analyzer 10's extra path, else the fallback attribute's value.
    virtual std::string SeriesTitle(int key) = 0;
    // The identifier a record key names ("" for key 0 or none).
    virtual std::string ResolveRecordKey(int key) const = 0;
    // This machine's stored results, oldest first, then its current results.
    virtual std::vector<CHistoryColumn> HistoryColumns() = 0;
};

// A chart group's title: runs of spaces made one, separators shown as spaces.
std::string ChartGroupTitle(const std::string& line);
