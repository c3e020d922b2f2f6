// A document with the recording frame (HostTest) plus helpers for records in its database.
#pragma once

#include "storage/StreamStorage.h"
#include "tests/database/RecordSample.h"
#include "tests/support/ScratchDir.h"
#include "tests/host/HostFixture.h"

class DbTest : public HostTest {
protected:
    void TearDown() override {
        CStreamStorage::s_faultHook = nullptr;
        HostTest::TearDown();
    }
    CResultsDatabase& Db() { return doc->Database(); }
    std::string Path() const { return dir + "/Quillo97.kqd"; }

    // A sample record appended to the cache and registered as imported; marked changed.
    int Import(const std::string& sysid, int salt = 0) {
        auto* rec = dynamic_cast<CRecordEntry*>(Db().NewRecord(""));
        FillSample(*rec, sysid, salt);
        int key = Db().AddImportedRecord(rec, sysid);
        if (key < 0) {
            Db().DiscardRecord(rec);
            return key;
        }
        rec->SetChanged();
        doc->SetModifiedFlag();
        return key;
    }

    // A fresh document on the same frame, opened from path.
    std::unique_ptr<CQuillo95Doc> Reopen(const std::string& path) {
        auto d = std::make_unique<CQuillo95Doc>(app, frame);
        EXPECT_TRUE(d->OnOpenDocument(path));
        return d;
    }

    // The streams in the file, read with a storage of its own.
    std::vector<std::string> StreamsIn(const std::string& path) {
        CStreamStorage s;
        if (s.OpenExisting(path) != CStreamStorage::OpenResult::Ok) return {"<unreadable>"};
        return s.StreamNames();
    }

    std::vector<std::string> KeptAside() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir)) {
            std::string n = e.path().filename().string();
            if (n.find(".unreadable.") != std::string::npos) names.push_back(n);
        }
        return names;
    }
};
