// Named-stream storage on SQLite.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "storage/StreamStorage.h"
#include "tests/support/ScratchDir.h"

namespace {

using R = CStreamStorage::OpenResult;

class StreamStorage : public ::testing::Test {
protected:
    void TearDown() override { CStreamStorage::s_faultHook = nullptr; }

    // Runs one query on the file with a connection of its own; the first column of the first row.
    std::string Query(const std::string& path, const std::string& sql) {
        sqlite3* db = nullptr;
        std::string result;
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
            sqlite3_stmt* s = nullptr;
            if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK &&
                sqlite3_step(s) == SQLITE_ROW && sqlite3_column_text(s, 0))
                result = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
            sqlite3_finalize(s);
        }
        sqlite3_close(db);
        return result;
    }

    CScratchDir dir;
};

}  // namespace

TEST_F(StreamStorage, CreatesWithTheSchemaAndReopens) {
    const std::string path = dir / "a.kqd";
    {
        CStreamStorage s;
        ASSERT_EQ(s.OpenOrCreate(path), R::Ok);
        ASSERT_TRUE(s.WriteStream("one", std::string("\0\1\2", 3)));
    }
    EXPECT_EQ(Query(path, "PRAGMA application_id"), std::to_string(CStreamStorage::kApplicationId));
    EXPECT_EQ(Query(path, "PRAGMA journal_mode"), "delete");
    const std::string sql = Query(path, "SELECT sql FROM sqlite_master WHERE name = 'streams'");
    EXPECT_NE(sql.find("COLLATE NOCASE"), std::string::npos) << sql;
    EXPECT_NE(sql.find("CHECK(length(CAST(name AS BLOB)) BETWEEN 1 AND 31)"), std::string::npos);

    CStreamStorage s;
    ASSERT_EQ(s.OpenExisting(path), R::Ok);
    std::string data;
    ASSERT_TRUE(s.ReadStream("one", data));
    EXPECT_EQ(data, std::string("\0\1\2", 3));
    EXPECT_FALSE(s.ReadStream("two", data));
}

TEST_F(StreamStorage, NamesIgnoreAsciiCaseAndHoldAtMost31Bytes) {
    CStreamStorage s;
    ASSERT_EQ(s.OpenOrCreate(dir / "a.kqd"), R::Ok);
    ASSERT_TRUE(s.WriteStream("Box-One", "first"));
    ASSERT_TRUE(s.WriteStream("BOX-ONE", "second"));
    std::string data;
    ASSERT_TRUE(s.ReadStream("box-one", data));
    EXPECT_EQ(data, "second");
    EXPECT_EQ(s.StreamNames().size(), 1u);
    EXPECT_TRUE(s.WriteStream(std::string(31, 'n'), "x"));
    EXPECT_FALSE(s.WriteStream(std::string(32, 'n'), "x"));
    EXPECT_FALSE(s.WriteStream("", "x"));
    // Bytes, not characters: 16 two-byte characters are 32 bytes.
    std::string wide;
    for (int i = 0; i < 16; ++i) wide += "\xc3\xa9";
    EXPECT_FALSE(s.WriteStream(wide, "x"));
    EXPECT_TRUE(s.DestroyStream("box-ONE"));
    EXPECT_FALSE(s.DestroyStream("box-ONE"));
    EXPECT_FALSE(s.StreamExists("Box-One"));
}

TEST_F(StreamStorage, OpeningExistingNeverCreates) {
    CStreamStorage s;
    EXPECT_EQ(s.OpenExisting(dir / "absent.kqd"), R::Missing);
    EXPECT_FALSE(std::filesystem::exists(dir / "absent.kqd"));
    EXPECT_FALSE(s.IsOpen());
}

TEST_F(StreamStorage, TellsNotADatabaseFromPermissionAndOtherFailures) {
    CStreamStorage s;
    WriteFile(dir / "text.kqd", "this is a letter, not a database\n");
    EXPECT_EQ(s.OpenExisting(dir / "text.kqd"), R::NotADatabase);
    WriteFile(dir / "empty.kqd", "");
    EXPECT_EQ(s.OpenExisting(dir / "empty.kqd"), R::NotADatabase);
    // An SQLite file of somebody else's: neither our application id nor a streams table.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(std::string(dir / "other.kqd").c_str(), &other), SQLITE_OK);
    sqlite3_exec(other, "CREATE TABLE notes(text)", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(s.OpenExisting(dir / "other.kqd"), R::NotADatabase);
    // A streams table is reason enough to think it ours; one that does not fit is damage.
    ASSERT_EQ(sqlite3_open(std::string(dir / "odd.kqd").c_str(), &other), SQLITE_OK);
    sqlite3_exec(other, "CREATE TABLE streams(name, data)", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(s.OpenExisting(dir / "odd.kqd"), R::Damaged);
    // The header of ours over pages that are not: damaged, never taken for a foreign file.
    std::string broken = "SQLite format 3";
    broken.push_back('\0');
    broken += std::string(4096, '\x5a');
    WriteFile(dir / "broken.kqd", broken);
    EXPECT_EQ(s.OpenExisting(dir / "broken.kqd"), R::Damaged);
    // A directory in place of the file cannot be read: not renamed as a foreign file would be.
    std::filesystem::create_directory(dir / "folder.kqd");
    EXPECT_EQ(s.OpenExisting(dir / "folder.kqd"), R::Error);
    // Tests run as root, so the want of permission comes through the seam.
    CStreamStorage ok;
    ASSERT_EQ(ok.OpenOrCreate(dir / "mine.kqd"), R::Ok);
    ok.Close();
    CStreamStorage::s_faultHook = [](const std::string& op, const std::string&) {
        return op == "permission";
    };
    EXPECT_EQ(s.OpenExisting(dir / "mine.kqd"), R::NoPermission);
    EXPECT_FALSE(s.IsOpen());
    // The files are left as they were.
    EXPECT_EQ(ReadFile(dir / "text.kqd"), "this is a letter, not a database\n");
}

TEST_F(StreamStorage, TransactionsNestAndRollBack) {
    CStreamStorage s;
    ASSERT_EQ(s.OpenOrCreate(dir / "a.kqd"), R::Ok);
    ASSERT_TRUE(s.Begin());
    ASSERT_TRUE(s.Begin());
    ASSERT_TRUE(s.WriteStream("a", "1"));
    EXPECT_TRUE(s.Commit());  // inner: nothing committed yet
    EXPECT_TRUE(s.InTransaction());
    EXPECT_EQ(Query(dir / "a.kqd", "SELECT count(*) FROM streams"), "0");
    EXPECT_TRUE(s.Commit());
    EXPECT_EQ(Query(dir / "a.kqd", "SELECT count(*) FROM streams"), "1");

    ASSERT_TRUE(s.Begin());
    ASSERT_TRUE(s.WriteStream("b", "2"));
    s.Rollback();
    EXPECT_FALSE(s.StreamExists("b"));

    CStreamStorage::s_faultHook = [](const std::string& op, const std::string&) {
        return op == "commit";
    };
    ASSERT_TRUE(s.Begin());
    ASSERT_TRUE(s.WriteStream("c", "3"));
    EXPECT_FALSE(s.Commit());
    EXPECT_FALSE(s.InTransaction());
    CStreamStorage::s_faultHook = nullptr;
    EXPECT_FALSE(s.StreamExists("c"));
}

TEST_F(StreamStorage, FaultHookFailsTheNamedOperation) {
    CStreamStorage s;
    ASSERT_EQ(s.OpenOrCreate(dir / "a.kqd"), R::Ok);
    ASSERT_TRUE(s.WriteStream("keep", "1"));
    std::vector<std::string> seen;
    CStreamStorage::s_faultHook = [&](const std::string& op, const std::string& name) {
        seen.push_back(op + ":" + name);
        return name == "bad";
    };
    EXPECT_FALSE(s.WriteStream("bad", "x"));
    EXPECT_TRUE(s.WriteStream("good", "x"));
    std::string data;
    EXPECT_FALSE(s.ReadStream("bad", data));
    EXPECT_FALSE(s.DestroyStream("bad"));
    EXPECT_EQ(seen.front(), "write:bad");
    EXPECT_FALSE(s.StreamExists("bad"));
}

TEST_F(StreamStorage, SaveAsCopiesEveryStream) {
    CStreamStorage s;
    ASSERT_EQ(s.OpenOrCreate(dir / "a.kqd"), R::Ok);
    ASSERT_TRUE(s.WriteStream("x", "1"));
    ASSERT_TRUE(s.WriteStream("y", "2"));
    ASSERT_TRUE(s.SaveAs(dir / "b.kqd"));
    EXPECT_EQ(s.Path(), dir / "b.kqd");
    ASSERT_TRUE(s.WriteStream("z", "3"));
    s.Close();
    CStreamStorage a, b;
    ASSERT_EQ(a.OpenExisting(dir / "a.kqd"), R::Ok);
    ASSERT_EQ(b.OpenExisting(dir / "b.kqd"), R::Ok);
    EXPECT_EQ(a.StreamNames(), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(b.StreamNames(), (std::vector<std::string>{"x", "y", "z"}));
}
