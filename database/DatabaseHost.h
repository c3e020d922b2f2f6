// What the results database needs of its owner: the modified mark, saving, the properties
// step, record properties, the log and status lines, the Database pane's listing, the clock.
#pragma once

#include <cstdint>
#include <string>

class CRecordEntry;

class IDatabaseHost {
public:
    virtual ~IDatabaseHost() = default;

    virtual void SetModifiedFlag(bool modified = true) = 0;
    // Saves without asking when modified; false when the save failed.
    virtual bool SaveModified() = 0;
    // Analyzer 10's properties dialog on the current system, then the refresh it needs.
    virtual bool PropertiesStep() = 0;
    // Analyzer 10's properties dialog on a stored record; true when the record was edited.
    virtual bool RecordPropertiesUI(CRecordEntry* record) = 0;

    virtual void LogLine(const std::string& text) = 0;
    // A message the user must see (a record the store would not take as it was).
    virtual void ShowMessage(const std::string& text) { LogLine(text); }
    virtual void SetStatusText(const std::string& text) = 0;
    // A listed record (the Database pane copies it) with its key, or another listing request.
    virtual void ListRecord(CRecordEntry* record, int recordKey) = 0;
    virtual void ListingRequest(int value) = 0;
    virtual uint32_t Now() = 0;  // calendar clock, seconds
};
