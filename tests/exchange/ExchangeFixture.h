// A document in a scratch directory with helpers for exchange files on disk. With
// QUILLON_FUZZ_SEEDS set, every file the tests write or read is also kept there as a
// seed for the fuzzers (exchange/, record/ and directory/ below it).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "database/Database.h"
#include "database/ExchangeFile.h"
#include "database/ExchangeParser.h"
#include "tests/host/HostFixture.h"

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void KeepSeed(const std::string& kind, const std::string& bytes) {
    const char* dir = std::getenv("QUILLON_FUZZ_SEEDS");
    if (dir == nullptr || *dir == '\0') return;
    std::filesystem::path d = std::filesystem::path(dir) / kind;
    std::filesystem::create_directories(d);
    std::hash<std::string> h;
    std::ofstream(d / std::to_string(h(bytes)), std::ios::binary) << bytes;
}

// Every record's stream and the directory, as seeds for the stream readers.
inline void KeepDatabaseSeeds(const CResultsDatabase& db) {
    if (std::getenv("QUILLON_FUZZ_SEEDS") == nullptr) return;
    for (const CKQTreeEntry* e : db.Cache()) {
        std::string data;
        if (SerializeRecord(*e, data)) KeepSeed("record", data);
    }
    std::string dir;
    if (SerializeDirectory(db.Directory(), dir)) KeepSeed("directory", dir);
}

// The record a parsed file holds with that identity; null when none.
inline const CKQTreeEntry* ParsedRecord(const CParsedExchange& parsed, const std::string& sysid) {
    for (const CExchangeRecord& r : parsed.records)
        if (r.sysid == sysid) return &r.entry;
    return nullptr;
}

class ExchangeTest : public HostTest {
protected:
    std::string Path(const std::string& name) const { return dir + "/" + name; }

    std::string WriteFile(const std::string& name, const std::string& bytes) {
        std::ofstream(Path(name), std::ios::binary) << bytes;
        KeepSeed("exchange", bytes);
        return Path(name);
    }
    std::string Written(const std::string& path) {
        std::string bytes = ReadBytes(path);
        KeepSeed("exchange", bytes);
        return bytes;
    }

    // A stored record (directory position 1 and on) in the cache.
    CKQTreeEntry* AddRecord(CQuillo95Doc& d, const std::string& key, const std::string& sysid) {
        CKQTreeEntry* e = d.Database().NewRecord(key);
        e->SetAttr("SysName", sysid, 0, 0);
        static_cast<CRecordEntry*>(e)->SetChanged();
        d.Database().AddImportedRecord(static_cast<CRecordEntry*>(e), sysid);
        return e;
    }
    // The record that mirrors the current system (directory position 0).
    CKQTreeEntry* AddMirror(CQuillo95Doc& d, const std::string& key, const std::string& sysid) {
        CRecordEntry* e = d.Database().AddCurrentSystemRecord(key, sysid);
        if (e) {
            e->SetAttr("SysName", sysid, 0, 0);
            e->SetChanged();
            e->SetCurrent();  // as the refresh marks it
        }
        return e;
    }
    CKQTreeEntry* Record(CQuillo95Doc& d, const std::string& sysid) {
        return d.Database().LoadedRecord(sysid);
    }
    int BoxCount(const std::string& text) const {
        int n = 0;
        for (const auto& b : frame.boxes)
            if (b.text.find(text) != std::string::npos) ++n;
        return n;
    }

    static std::string Id() { return "{Quillon 95 Exchange File}"; }
    static std::string Ver() { return "{Version 1.0 Build 43 March 25, 1997}"; }
};

// Everything an exchange file carries: keys, attributes with data words, tips of priority
// above 0; the type word is not written.
inline void ExpectSameExchanged(const CKQTreeEntry& a, const CKQTreeEntry& b,
                                const std::string& where = "top") {
    SCOPED_TRACE(where);
    EXPECT_EQ(a.m_key, b.m_key);
    ASSERT_EQ(a.GetAttrCount(), b.GetAttrCount());
    for (int i = 0; i < a.GetAttrCount(); ++i) {
        EXPECT_EQ(a.GetAttr(i)->m_id, b.GetAttr(i)->m_id);
        EXPECT_EQ(a.GetAttr(i)->m_value, b.GetAttr(i)->m_value);
        EXPECT_EQ(a.GetAttr(i)->m_data, b.GetAttr(i)->m_data);
    }
    ASSERT_EQ(a.GetTipCount(), b.GetTipCount());
    for (int i = 0; i < a.GetTipCount(); ++i) {
        EXPECT_EQ(a.GetTip(i)->m_priority, b.GetTip(i)->m_priority);
        EXPECT_EQ(a.GetTip(i)->m_textID, b.GetTip(i)->m_textID);
        EXPECT_EQ(a.GetTip(i)->m_descID, b.GetTip(i)->m_descID);
    }
    const int na = a.GetSubtree() ? a.GetSubtree()->GetCount() : 0;
    const int nb = b.GetSubtree() ? b.GetSubtree()->GetCount() : 0;
    ASSERT_EQ(na, nb);
    for (int i = 0; i < na; ++i)
        ExpectSameExchanged(*a.GetSubtree()->GetAt(i), *b.GetSubtree()->GetAt(i),
                            where + "/" + a.GetSubtree()->GetAt(i)->m_key);
}
