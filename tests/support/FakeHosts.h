// A recording fake of what the database asks of its owner, for the tests and fuzz targets
// that use it without a document.
#pragma once

#include <string>
#include <vector>

#include "database/DatabaseHost.h"

class FakeDatabaseHost : public IDatabaseHost {
public:
    void SetModifiedFlag(bool on = true) override { modified = on; }
    bool SaveModified() override {
        ++saves;
        return true;
    }
    bool PropertiesStep() override { return false; }
    bool RecordPropertiesUI(CRecordEntry*) override { return false; }
    void LogLine(const std::string& text) override { log.push_back(text); }
    void SetStatusText(const std::string& text) override { status.push_back(text); }
    void ListRecord(CRecordEntry*, int recordKey) override { listed.push_back(recordKey); }
    void ListingRequest(int value) override { listingRequests.push_back(value); }
    uint32_t Now() override { return clock; }

    bool modified = false;
    int saves = 0;
    uint32_t clock = 0x12345678;
    std::vector<std::string> log, status;
    std::vector<int> listed, listingRequests;
};
