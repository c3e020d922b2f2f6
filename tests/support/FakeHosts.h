// Recording fakes of what the database and the exchange files ask of their owner, for the
// tests and fuzz targets that use them without a document.
#pragma once

#include <string>
#include <vector>

#include "database/DatabaseHost.h"
#include "database/ExchangeHost.h"

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

class FakeExchangeHost : public IExchangeHost {
public:
    std::string MakeNewSysid() override { return newSysid; }
    std::vector<std::string> AnalyzerVersionLines() const override { return versionLines; }
    void NotifyViews(int hint, int recordKey) override { hints.push_back({hint, recordKey}); }
    void LogLine(const std::string& text) override { log.push_back(text); }
    void SetStatusText(const std::string& text) override { status.push_back(text); }
    void ReportBox(const std::string& text, const std::string& caption) override {
        boxes.push_back({text, caption});
    }
    void ShowLog() override { ++showLogCount; }
    void BeginWaitCursor() override { ++waitDepth; }
    void EndWaitCursor() override { --waitDepth; }

    struct Pair {
        std::string text, caption;
    };
    struct Hint {
        int hint, recordKey;
    };
    std::string newSysid;
    std::vector<std::string> versionLines;
    std::vector<Hint> hints;
    std::vector<std::string> log, status;
    std::vector<Pair> boxes;
    int showLogCount = 0;
    int waitDepth = 0;
};
