// What compiling a report needs from the document: this machine's item search and the
// stored systems of the selection, each opened once per compilation.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <vector>

class CDetailItem;

// A column of a report over this machine's results in time: the record and its header.
struct CHistoryColumn {
    int32_t key = 0;
    std::string header;
};

// One selected system's tree, loaded for the length of a compilation.
class IReportSystem {
public:
    virtual ~IReportSystem() = default;
    // The value of an item text (attribute path or tip reference); false when there is none.
    virtual bool Lookup(const std::string& itemText, std::string& value) = 0;
    // Whether this system holds the tip an item text names, and with which priority.
    virtual bool TipPriority(const std::string& itemText, int32_t& priority) = 0;
    // The system's identifier (its Sysid).
    virtual std::string Identifier() const = 0;
};

class IReportSource {
public:
    virtual ~IReportSource() = default;
    // The system a record key names; null when the key names none or it does not load.
    virtual std::unique_ptr<IReportSystem> OpenSystem(int key) = 0;
    // Identifier of the first attribute of the first cached record ("" when none).
    virtual std::string FallbackAttributeID() = 0;
    // Item search of this machine's tree; item is reset first and stays so when not found.
    virtual bool SearchItem(const std::string& text, CDetailItem& item) = 0;
    // The one-line text of the tip an item text names; false when its analyzer gives none.
    virtual bool TipText(const std::string& itemText, std::string& text) = 0;
    // This machine's stored results, oldest first, then its current results (for definitions
    // whose columns are this machine over time).
    virtual std::vector<CHistoryColumn> HistoryColumns() { return {}; }
};
