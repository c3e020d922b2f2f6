// The document's import and export commands, and auto-run.
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "document/AppState.h"
#include "tests/exchange/ExchangeFixture.h"
#include "tests/support/JsonSchemaCheck.h"

namespace {

const std::string kHeaderOnly =
    "{Quillon 95 Exchange File}\r\n{Version 1.0 Build 43 March 25, 1997}\r\n";

std::string OneRecord(const std::string& key, const std::string& sysid) {
    return "{Quillon 95 Exchange File}\r\n[" + key + "]\r\nSysName=" + sysid + "\r\nA=1\r\n";
}

// Names in the folder, hidden ones included.
std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Makes one step of writing a file fail while it lives.
struct FailStep {
    explicit FailStep(CExchangeFile::WriteStep step) {
        CExchangeFile::SetFailHook([step](CExchangeFile::WriteStep s) { return s == step; });
    }
    ~FailStep() { CExchangeFile::SetFailHook(nullptr); }
};

}  // namespace

TEST_F(ExchangeTest, ImportListUnquotesSkipsEmptyPathsAndAlwaysMarksModified) {
    const std::string a = WriteFile("a.kqx", OneRecord("A", "SYS-A"));
    const std::string b = WriteFile("b b.kqx", OneRecord("B", "SYS-B"));
    doc->SetModifiedFlag(false);
    doc->ImportFiles({"\"" + a + "\"", "", "\"\"", b});
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(doc->Database().Directory(), (std::vector<std::string>{"SYS-A", "SYS-B"}));
    EXPECT_EQ(frame.waitDepth, 0);
    // What the import did, in the status bar and the log.
    EXPECT_EQ(frame.status.back(), "Import finished. Systems imported: 2, skipped: 0.");
    EXPECT_EQ(frame.log.back(), frame.status.back());
    ASSERT_FALSE(events.changes.empty());
    EXPECT_EQ(events.changes.back().kind, DocEvent::DatabaseChanged);
    EXPECT_TRUE(frame.boxes.empty());
    EXPECT_EQ(frame.showLogCount, 0);
    EXPECT_TRUE(frame.LogContains("Importing file " + a));
    EXPECT_TRUE(frame.LogContains("Added SYS-B at line 3."));

    // Nothing imported, still modified.
    doc->SetModifiedFlag(false);
    doc->ImportFile(Path("none.kqx"));
    EXPECT_TRUE(doc->IsModified());
    // The show-log flag survives from file to file of one run.
    frame.showLogCount = 0;
    doc->ImportFiles({a, b});
    EXPECT_EQ(frame.showLogCount, 2);
    // Both are known by now: the counts are of this import only.
    EXPECT_EQ(frame.status.back(), "Import finished. Systems imported: 0, skipped: 2.");
}

TEST_F(ExchangeTest, ImportDialogs) {
    const std::string a = WriteFile("a.kqx", OneRecord("A", "SYS-A"));
    frame.openAnswer = {a};
    doc->OnImport();
    ASSERT_EQ(frame.openRequests.size(), 1u);
    EXPECT_EQ(frame.openRequests[0].title, "Select One or More Files to Import");
    EXPECT_TRUE(frame.openRequests[0].multiSelect);
    EXPECT_EQ(frame.openRequests[0].defaultExt, "kqx");
    EXPECT_EQ(frame.openRequests[0].filter, "KQ Exch Files (*.kqx)|*.kqx||");
    EXPECT_TRUE(doc->Database().IsKnownSysid("SYS-A"));

    // A failed dialog logs its code in hexadecimal and shows the log; a cancel is silent.
    frame.openAnswer.clear();
    frame.openError = 0x3002;
    const size_t logged = frame.log.size();
    doc->OnImport();
    EXPECT_EQ(frame.log.back(), "Error 1009: Import failed with code 3002");
    EXPECT_EQ(frame.showLogCount, 1);
    frame.openError = 0;
    doc->OnImport();
    doc->OnImportOne();
    EXPECT_EQ(frame.log.size(), logged + 1);
    EXPECT_EQ(frame.showLogCount, 1);
    EXPECT_EQ(frame.openRequests.back().title, "Select a File to Import");
    EXPECT_FALSE(frame.openRequests.back().multiSelect);

    const std::string b = WriteFile("b.kqx", OneRecord("B", "SYS-B"));
    frame.openAnswer = {b};
    doc->OnImportOne();
    EXPECT_TRUE(doc->Database().IsKnownSysid("SYS-B"));
}

TEST_F(ExchangeTest, OpeningAnExchangeFileAsDatabaseImportsIt) {
    AddRecord(*doc, "Kept", "KEPT");
    const std::string a = WriteFile("drop.KQX", OneRecord("A", "SYS-A"));
    // The open reports failure, so that the database stays open, with the records added.
    EXPECT_FALSE(doc->OnOpenDocument(a));
    EXPECT_TRUE(doc->Database().IsKnownSysid("SYS-A"));
    EXPECT_TRUE(doc->Database().IsKnownSysid("KEPT"));
    EXPECT_TRUE(frame.LogContains("Added SYS-A"));
}

TEST_F(ExchangeTest, ExportCurrentWithAnEmptyDatabaseWritesTheHeaderOnly) {
    frame.saveAnswer = Path("empty.kqx");
    EXPECT_TRUE(doc->ExportCurrent());
    ASSERT_EQ(frame.saveRequests.size(), 1u);
    EXPECT_EQ(frame.saveRequests[0].title, "Export to");
    EXPECT_EQ(frame.saveRequests[0].defaultExt, "kqx");
    EXPECT_EQ(Written(Path("empty.kqx")), kHeaderOnly);
}

TEST_F(ExchangeTest, CancellingTheExportDialogWritesAndShowsNothing) {
    AddMirror(*doc, "Sys", "BOX");
    frame.saveAnswer.reset();
    EXPECT_FALSE(doc->ExportCurrent());
    EXPECT_FALSE(doc->ExportRecords({doc->KeyForSysid("BOX")}, ""));
    EXPECT_EQ(frame.saveRequests.size(), 2u);
    EXPECT_TRUE(frame.boxes.empty());
    EXPECT_FALSE(frame.LogContains("Exporting"));
    // No keys: not even the dialog.
    EXPECT_FALSE(doc->ExportRecords({}, ""));
    EXPECT_EQ(frame.saveRequests.size(), 2u);
}

TEST_F(ExchangeTest, ExportDialogOffersTheRecordsIdentifierAsAFileName) {
    // An empty database: nothing to name the file after.
    frame.saveAnswer.reset();
    doc->ExportCurrent();
    ASSERT_EQ(frame.saveRequests.size(), 1u);
    EXPECT_EQ(frame.saveRequests[0].suggestedName, "");

    AddMirror(*doc, "Sys", "BOX");
    AddRecord(*doc, "Sys", "lab/pc 7");    // imported identifiers may hold a slash
    AddRecord(*doc, "Sys", "ctl\tx\x7f");  // or a control character
    doc->ExportCurrent();
    EXPECT_EQ(frame.saveRequests.back().suggestedName, "BOX.kqx");
    doc->ExportRecords({doc->KeyForSysid("lab/pc 7")}, "");
    EXPECT_EQ(frame.saveRequests.back().suggestedName, "lab_pc 7.kqx");
    doc->ExportRecords({doc->KeyForSysid("ctl\tx\x7f")}, "");
    EXPECT_EQ(frame.saveRequests.back().suggestedName, "ctl_x_.kqx");
    // Several records: the first one's name; a key naming no record is passed over.
    doc->ExportRecords({999, doc->KeyForSysid("lab/pc 7"), doc->KeyForSysid("BOX")}, "");
    EXPECT_EQ(frame.saveRequests.back().suggestedName, "lab_pc 7.kqx");
    // A path given by the caller needs no dialog.
    const size_t asked = frame.saveRequests.size();
    EXPECT_TRUE(doc->ExportEntry(doc->Database().Cache().GetHead(), Path("given.kqx")));
    EXPECT_EQ(frame.saveRequests.size(), asked);
}

TEST_F(ExchangeTest, TheCurrentSystemIsExportedUnderAFreshSysidEachTime) {
    CKQTreeEntry* mirror = AddMirror(*doc, "Sys", "BOX");
    mirror->SetAttr("Speed", "100", 0, 0);
    CKQTreeEntry* stored = AddRecord(*doc, "Sys", "OLD");
    frame.clock = 0x10;
    frame.saveAnswer = Path("one.kqx");
    ASSERT_TRUE(doc->ExportCurrent());
    frame.clock = 0x11;
    ASSERT_TRUE(doc->ExportEntry(mirror, Path("two.kqx")));
    const std::string one = Written(Path("one.kqx")), two = Written(Path("two.kqx"));
    EXPECT_NE(one.find("[Sys]\r\nSysName=BOX+00000010\r\nSpeed=100\r\n"), std::string::npos) << one;
    EXPECT_NE(two.find("SysName=BOX+00000011\r\n"), std::string::npos) << two;
    EXPECT_EQ(mirror->GetAttrValue(0), "BOX");
    EXPECT_EQ(mirror->GetAttrCount(), 2);

    // Through the Database pane: key of position 0 substitutes, other records keep theirs.
    // In the same second as the last export, and not under the identifier it handed out.
    ASSERT_TRUE(
        doc->ExportRecords({doc->KeyForSysid("BOX"), doc->KeyForSysid("OLD")}, Path("both.kqx")));
    const std::string both = Written(Path("both.kqx"));
    EXPECT_NE(both.find("SysName=BOX+00000121\r\n"), std::string::npos) << both;
    EXPECT_NE(both.find("SysName=OLD\r\n"), std::string::npos);
    EXPECT_EQ(stored->GetAttrValue(0), "OLD");

    // The exported current system imports back into the same database as a new record.
    doc->ImportFile(Path("one.kqx"));
    EXPECT_TRUE(doc->Database().IsKnownSysid("BOX+00000010"));
    EXPECT_EQ(doc->Database().Directory().back(), "BOX+00000010");
}

TEST_F(ExchangeTest, WriteAndCreateFailuresAreReportedAndStopTheExport) {
    AddMirror(*doc, "Sys", "MIRROR");
    std::vector<int32_t> keys;
    for (int i = 0; i < 40; ++i) {
        CKQTreeEntry* r = AddRecord(*doc, "Sys", "R" + std::to_string(i));
        for (int j = 0; j < 100; ++j)
            r->SetAttr("A" + std::to_string(j), std::string(40, 'x'), 0, 0);
        keys.push_back(doc->KeyForSysid("R" + std::to_string(i)));
    }
    EXPECT_FALSE(doc->ExportRecords(keys, "/dev/full"));
    ASSERT_EQ(frame.boxes.size(), 1u);
    EXPECT_EQ(frame.boxes[0].text.rfind("Error 1007: Can't write this file at line ", 0), 0u);
    EXPECT_EQ(frame.boxes[0].caption, "/dev/full");

    frame.boxes.clear();
    EXPECT_FALSE(doc->ExportEntry(doc->Database().Cache().GetHead(), "/dev/full"));
    ASSERT_EQ(frame.boxes.size(), 1u);
    EXPECT_EQ(frame.boxes[0].text.rfind("Error 1007", 0), 0u);

    frame.boxes.clear();
    EXPECT_FALSE(doc->ExportEntry(doc->Database().Cache().GetHead(), Path("no/such/dir.kqx")));
    ASSERT_EQ(frame.boxes.size(), 1u);
    EXPECT_EQ(frame.boxes[0].text, "Error 1006: Can't create this file");
}

TEST_F(ExchangeTest, AnExistingFileIsReplaced) {
    AddMirror(*doc, "Sys", "MIRROR");
    WriteFile("old.kqx", std::string(100000, 'o'));
    ASSERT_TRUE(doc->ExportRecords({doc->KeyForSysid("MIRROR")}, Path("old.kqx")));
    const std::string bytes = Written(Path("old.kqx"));
    EXPECT_EQ(bytes.find("ooo"), std::string::npos);
    EXPECT_EQ(bytes.rfind("{Quillon 95 Exchange File}\r\n", 0), 0u);
}

TEST_F(ExchangeTest, ExportsNeverGoIntoADatabaseFile) {
    AddMirror(*doc, "Sys", "MIRROR");
    AddRecord(*doc, "Box", "STORED");
    const std::string db = Path("Quillo97.kqd");
    ASSERT_TRUE(doc->OnSaveDocument(db));
    const std::string before = ReadBytes(db);
    const int key = doc->KeyForSysid("STORED");
    std::filesystem::create_symlink(db, Path("results.kqx"));
    std::filesystem::copy_file(db, Path("other.kqd"));
    // The open database under its own name, through a link, from the dialog; any other
    // SQLite file.
    frame.saveAnswer = db;
    EXPECT_FALSE(doc->ExportCurrent());
    EXPECT_FALSE(doc->ExportRecords({key}, Path("results.kqx")));
    EXPECT_FALSE(doc->ExportEntry(doc->Database().Cache().GetHead(), Path("other.kqd")));
    ASSERT_EQ(frame.boxes.size(), 3u);
    EXPECT_EQ(frame.boxes[0].text,
              "Error 1020: " + db +
                  " is a database file; the export would destroy it and was not written");
    EXPECT_EQ(frame.boxes[0].caption, db);
    EXPECT_EQ(frame.boxes[1].text.rfind("Error 1020: " + Path("results.kqx") + " is", 0), 0u);
    EXPECT_EQ(frame.boxes[2].text.rfind("Error 1020: " + Path("other.kqd") + " is", 0), 0u);
    EXPECT_EQ(ReadBytes(db), before);
    EXPECT_TRUE(std::filesystem::is_symlink(Path("results.kqx")));
    EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"Quillo97.kqd", "other.kqd", "results.kqx"}));

    // The database still opens with every record.
    auto again = std::make_unique<CQuillo95Doc>(app, frame);
    ASSERT_TRUE(again->OnOpenDocument(db));
    EXPECT_TRUE(again->Database().IsKnownSysid("MIRROR"));
    CRecordEntry r;
    EXPECT_TRUE(again->Database().LoadRecord(r, "STORED"));
}

TEST_F(ExchangeTest, AFileIsReplacedWholeOrNotAtAll) {
    AddMirror(*doc, "Sys", "MIRROR");
    CKQTreeEntry* head = doc->Database().Cache().GetHead();
    const std::string old = "{Quillon 95 Exchange File}\r\n[Old]\r\nSysName=OLD\r\n";
    WriteFile("real.kqx", old);
    ASSERT_EQ(chmod(Path("real.kqx").c_str(), 0640), 0);
    std::filesystem::create_symlink("real.kqx", Path("link.kqx"));
    for (auto step : {CExchangeFile::WriteStep::Write, CExchangeFile::WriteStep::Sync,
                      CExchangeFile::WriteStep::Rename}) {
        SCOPED_TRACE(static_cast<int>(step));
        frame.boxes.clear();
        FailStep fail(step);
        EXPECT_FALSE(doc->ExportEntry(head, Path("link.kqx")));
        ASSERT_EQ(frame.boxes.size(), 1u);
        EXPECT_EQ(frame.boxes[0].text.rfind("Error 1007: Can't write this file", 0), 0u);
        EXPECT_EQ(frame.boxes[0].caption, Path("link.kqx"));
        // The earlier file is whole and no other file is left.
        EXPECT_EQ(ReadBytes(Path("real.kqx")), old);
        EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"link.kqx", "real.kqx"}));
    }
    {
        frame.boxes.clear();
        FailStep fail(CExchangeFile::WriteStep::Create);
        EXPECT_FALSE(doc->ExportEntry(head, Path("link.kqx")));
        ASSERT_EQ(frame.boxes.size(), 1u);
        EXPECT_EQ(frame.boxes[0].text, "Error 1006: Can't create this file");
        EXPECT_EQ(ReadBytes(Path("real.kqx")), old);
    }
    for (const std::string& line : frame.log) EXPECT_EQ(line.find(".tmp"), std::string::npos);

    // Written: through the link, which stays a link, into the file with its mode.
    ASSERT_TRUE(doc->ExportEntry(head, Path("link.kqx")));
    EXPECT_TRUE(std::filesystem::is_symlink(Path("link.kqx")));
    EXPECT_NE(Written(Path("real.kqx")).find("SysName=MIRROR"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(stat(Path("real.kqx").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(FilesIn(dir), (std::vector<std::string>{"link.kqx", "real.kqx"}));
    // A failing folder sync after the rename is still reported.
    {
        frame.boxes.clear();
        FailStep fail(CExchangeFile::WriteStep::SyncFolder);
        EXPECT_FALSE(doc->ExportEntry(head, Path("new.kqx")));
        EXPECT_EQ(frame.boxes.size(), 1u);
    }

    // A FIFO is refused without waiting for a reader and stays a FIFO.
    ASSERT_EQ(mkfifo(Path("pipe.kqx").c_str(), 0600), 0);
    frame.boxes.clear();
    EXPECT_FALSE(doc->ExportEntry(head, Path("pipe.kqx")));
    ASSERT_EQ(frame.boxes.size(), 1u);
    EXPECT_EQ(frame.boxes[0].text, "Error 1006: Can't create this file");
    EXPECT_TRUE(std::filesystem::is_fifo(Path("pipe.kqx")));
    // A device is written where it is.
    EXPECT_TRUE(doc->ExportEntry(head, "/dev/null"));
}

// Auto-run names its file after the current system when given none; it runs in the program
// directory, which is the current directory.
class AutoRunTest : public ExchangeTest {
protected:
    void SetUp() override {
        ExchangeTest::SetUp();
        char buf[4096];
        ASSERT_NE(getcwd(buf, sizeof buf), nullptr);
        oldCwd = buf;
        ASSERT_EQ(chdir(dir.c_str()), 0);
        Load({"Ten"});
    }
    void TearDown() override {
        ASSERT_EQ(chdir(oldCwd.c_str()), 0);
        ExchangeTest::TearDown();
    }
    std::string oldCwd;
};

TEST_F(AutoRunTest, WithoutANameTheFileIsNamedAfterTheCurrentSystem) {
    const std::string sysid = doc->CurrentSysid();
    ASSERT_FALSE(sysid.empty());
    EXPECT_TRUE(doc->AutoRun());
    EXPECT_TRUE(frame.LogContains("Auto run to export file " + sysid + ".kqx"));
    const std::string bytes = Written(Path(sysid + ".kqx"));
    EXPECT_EQ(bytes.rfind("{Quillon 95 Exchange File}\r\n", 0), 0u);
    EXPECT_NE(bytes.find("{Ten version 1.5}\r\n[Ten]\r\nSysName=" + sysid + "+"),
              std::string::npos);
    // The tests ran before the export: their results are in the file.
    EXPECT_NE(bytes.find("RunTests=1"), std::string::npos);
    EXPECT_TRUE(frame.saveRequests.empty());
}

TEST_F(AutoRunTest, ANameWithADotKeepsItAndQuotesAreRemoved) {
    app.SetAutoRun(true, "results.v2.txt");
    EXPECT_TRUE(doc->AutoRun());
    EXPECT_TRUE(std::filesystem::exists(Path("results.v2.txt")));
    app.SetAutoRun(true, "\"my results\"");
    EXPECT_TRUE(doc->AutoRun());
    EXPECT_TRUE(std::filesystem::exists(Path("my results.kqx")));
    EXPECT_TRUE(frame.LogContains("Auto run to export file my results.kqx"));
    app.SetAutoRun(true, Path("missing/dir/out.kqx"));
    EXPECT_FALSE(doc->AutoRun());
}

TEST_F(AutoRunTest, NoDialogAndNoRunWhereThereIsNothingToWriteTo) {
    // The database file itself: refused before the tests run.
    ASSERT_TRUE(doc->OnSaveDocument(Path("Quillo97.kqd")));
    const std::string before = ReadBytes(Path("Quillo97.kqd"));
    app.SetAutoRun(true, "Quillo97.kqd");
    const int runs = Count(Branch(10), "RunTests");
    EXPECT_FALSE(doc->AutoRun());
    EXPECT_EQ(Count(Branch(10), "RunTests"), runs);
    ASSERT_EQ(frame.boxes.size(), 1u);
    EXPECT_EQ(frame.boxes[0].text.rfind("Error 1020: Quillo97.kqd is a database file", 0), 0u);
    EXPECT_EQ(ReadBytes(Path("Quillo97.kqd")), before);

    // No name and no current system to name the file after: no save dialog.
    view.doc = nullptr;
    doc = std::make_unique<CQuillo95Doc>(app, frame);
    app.SetAutoRun(true, "");
    EXPECT_FALSE(doc->AutoRun());
    EXPECT_TRUE(frame.saveRequests.empty());
    EXPECT_TRUE(frame.LogContains(
        "Auto run has no file name to export to: the current system has no identifier."));
}

// JSON for scripts: the file follows the shipped schema (checked by python3-jsonschema), figures
// come apart into number and unit, conditions stand apart, bytes that are not UTF-8 become
// U+FFFD and are counted, and a failed export leaves the earlier file whole.
TEST_F(ExchangeTest, JsonExportOfStoredRecordsFollowsTheShippedSchema) {
    CKQTreeEntry* mirror = AddMirror(*doc, "Sys", "BOX");
    CKQTreeEntry* cpu = mirror->AddSubtree()->Add("CPU");
    cpu->SetAttr("Copy", "-1234.5 MB/s", 0, 1 | 4 | 0x30);
    cpu->SetAttr("Model", "12 cores", 0, 0);  // not a figure: no number taken from it
    cpu->AddTip(80, 7, 107);
    cpu->AddSubtree()->Add("CPU Test Conditions")->SetAttr("Governor", "performance", 0, 0);
    CKQTreeEntry* old = AddRecord(*doc, "Sys", "OLD\xff");
    old->SetAttr("Owner", "caf\xc3\xa9 \xe9t\xe9 \xed\xa0\x80", 0, 0);  // Latin-1, a surrogate
    const std::vector<int32_t> keys{doc->KeyForSysid("BOX"), doc->KeyForSysid("OLD\xff")};

    const std::string path = Path("results.json");
    ASSERT_TRUE(doc->ExportJson(keys, path));
    EXPECT_EQ(ValidateResultsJson(path), "valid");
    const auto j = nlohmann::json::parse(ReadBytes(path));
    EXPECT_EQ(j["format"], "quillon-results");
    EXPECT_EQ(j["version"], 1);
    ASSERT_EQ(j["records"].size(), 2u);
    const auto& box = j["records"][0];
    EXPECT_EQ(box["identifier"], "BOX");
    EXPECT_TRUE(box["current"]);
    const auto& cpuEntry = box["entries"][1];
    EXPECT_EQ(cpuEntry["path"], nlohmann::json::array({"CPU"}));
    EXPECT_EQ(cpuEntry["attributes"][0]["number"], -1234.5);
    EXPECT_EQ(cpuEntry["attributes"][0]["unit"], "MB/s");
    EXPECT_EQ(cpuEntry["attributes"][0]["flags"], 0x35);
    EXPECT_FALSE(cpuEntry["attributes"][1].contains("number"));
    EXPECT_EQ(cpuEntry["tips"][0]["priority"], 80);
    ASSERT_EQ(box["conditions"].size(), 1u);
    EXPECT_EQ(box["conditions"][0]["path"], nlohmann::json::array({"CPU", "CPU Test Conditions"}));
    EXPECT_EQ(box["entries"].size(), 2u);
    const auto& stored = j["records"][1];
    EXPECT_FALSE(stored["current"]);
    EXPECT_EQ(stored["identifier"], "OLD\xef\xbf\xbd");
    // "é" stays; each lone Latin-1 byte and the surrogate's three bytes become U+FFFD.
    EXPECT_EQ(stored["entries"][0]["attributes"][1]["value"].get<std::string>().substr(0, 6),
              "caf\xc3\xa9 ");
    EXPECT_TRUE(frame.LogContains("Warning 1050: 6 bytes")) << frame.log.back();

    // A failed export: the earlier file stays as it was, and nothing is left beside it.
    CExchangeFile::SetFailHook(
        [](CExchangeFile::WriteStep s) { return s == CExchangeFile::WriteStep::Rename; });
    EXPECT_FALSE(doc->ExportJson(keys, path));
    CExchangeFile::SetFailHook({});
    EXPECT_EQ(ValidateResultsJson(path), "valid");
    for (const std::string& name : FilesIn(dir)) EXPECT_EQ(name.find(".tmp"), std::string::npos);

    // The auto-run picks the format by the name's ending.
    EXPECT_TRUE(CAppState::IsJsonName("out.JSON"));
    EXPECT_FALSE(CAppState::IsJsonName("out.json.kqx"));
}

// CSV for spreadsheets: a byte-order mark, CR LF, RFC 4180 quoting, and nothing a
// spreadsheet would run; a plain number stays a number whatever its sign.
TEST_F(ExchangeTest, CsvExportQuotesAndNeutralisesCells) {
    const std::vector<std::vector<std::string>> rows{
        {"System", "Speed", "Note"}, {"say \"hi\"", "1,5", "two\r\nlines"},
        {"=1+2", "+41", "-12.5"},    {"@SUM(A1)", "-1e3", "-12.5 MB/s"},
        {"\tx", "", "caf\xc3\xa9"},  {"-", "+-1", "1e"},
    };
    const std::string path = Path("list.csv");
    ASSERT_TRUE(doc->ExportCsv(rows, path));
    EXPECT_EQ(ReadBytes(path),
              "\xEF\xBB\xBF"
              "System,Speed,Note\r\n"
              "\"say \"\"hi\"\"\",\"1,5\",\"two\r\nlines\"\r\n"
              "'=1+2,+41,-12.5\r\n"
              "'@SUM(A1),-1e3,'-12.5 MB/s\r\n"
              "'\tx,,caf\xc3\xa9\r\n"
              "'-,'+-1,1e\r\n");
    // The save dialog offers CSV when no path is given.
    frame.saveAnswer.reset();
    EXPECT_FALSE(doc->ExportCsv(rows, ""));
    ASSERT_FALSE(frame.saveRequests.empty());
    EXPECT_EQ(frame.saveRequests.back().defaultExt, "csv");
}
