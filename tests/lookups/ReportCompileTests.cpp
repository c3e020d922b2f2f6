// Compiling report definitions against systems stored in a real database file.
#include <map>

#include "document/DocReportSource.h"
#include "reports/ReportCompiler.h"
#include "resources/Strings.h"
#include "storage/StreamStorage.h"
#include "tests/exchange/ExchangeFixture.h"
#include "tests/support/TestServerDatabase.h"

namespace {

// System (SysName, Name) -> CPU (Clock) ; System -> Disk (Speed).
void FillSystem(CKQTreeEntry& r, const std::string& name, const std::string& clock) {
    r.SetAttr("Name", "Box " + name, 0, 0);
    CKQTree* sub = r.AddSubtree();
    sub->Add("CPU")->SetAttr("Clock", clock, 0, 1);
    sub->Add("Disk")->SetAttr("Speed", "slow " + name, 0, 0);
}

}  // namespace

class ReportCompileTest : public ExchangeTest {
protected:
    void SetUp() override {
        ExchangeTest::SetUp();
        AddMirror(*doc, "System", "MIRROR");
        FillSystem(*AddRecord(*doc, "System", "A"), "A", "100 MHz");
        FillSystem(*AddRecord(*doc, "System", "B"), "B", "200 MHz");
        FillSystem(*AddRecord(*doc, "System", "C"), "C", std::string(40, 'x'));
        // This machine's tree, for the row records.
        CKQTreeEntry* top = doc->SystemTree().Add("System");
        top->AddSubtree()->Add("CPU")->SetAttr("Clock", "1 GHz", 0, 1);
        top->m_kqaid = 5;
    }
    void TearDown() override {
        CStreamStorage::s_faultHook = nullptr;
        stored.reset();
        ExchangeTest::TearDown();
    }

    // The database saved and opened again: nothing is cached, every record is on disk.
    CQuillo95Doc& Stored() {
        if (!stored) {
            EXPECT_TRUE(doc->OnSaveDocument(Path("db.kqd")));
            KeepDatabaseSeeds(doc->Database());
            stored = std::make_unique<CQuillo95Doc>(app2, frame2);
            EXPECT_TRUE(stored->OnOpenDocument(Path("db.kqd")));
        }
        return *stored;
    }
    std::vector<int32_t> Keys(CQuillo95Doc& d, const std::vector<std::string>& sysids) {
        std::vector<int32_t> keys;
        for (const std::string& s : sysids) keys.push_back(d.KeyForSysid(s));
        return keys;
    }
    CReportTable Compile(CQuillo95Doc& d, const std::vector<std::string>& lines,
                         const std::vector<int32_t>& selection) {
        CDocReportSource source(d);
        CReportCompiler compiler(source);
        CReportTable table;
        EXPECT_TRUE(compiler.Compile(lines, selection, table));
        return table;
    }

    CAppState app2;
    FakeFrame frame2;
    std::unique_ptr<CQuillo95Doc> stored;
};

TEST_F(ReportCompileTest, StoredSystemsSideBySideWithHeadingsAndRecords) {
    CQuillo95Doc& d = Stored();
    const std::vector<std::string> lines = {"Name", "CPU~Clock", "~ Storage", "Disk~Speed",
                                            "Missing~Thing"};
    const CReportTable t = Compile(d, lines, Keys(d, {"B", "A"}));
    EXPECT_EQ(t.m_headers, (std::vector<std::string>{"Name", "Box B", "Box A"}));
    ASSERT_EQ(t.RowCount(), 4);
    EXPECT_EQ(t.m_cells[0], (std::vector<std::string>{"CPU Clock", "200 MHz", "100 MHz"}));
    // A heading shows its caption after two spaces and has no values.
    EXPECT_EQ(t.m_cells[1], (std::vector<std::string>{"  Storage", "", ""}));
    EXPECT_EQ(t.m_cells[2], (std::vector<std::string>{"Disk Speed", "slow B", "slow A"}));
    EXPECT_EQ(t.m_cells[3], (std::vector<std::string>{"Missing Thing", "", ""}));

    // Row records come from this machine's tree, one per row, in row order.
    EXPECT_EQ(t.m_itemData, (std::vector<int32_t>{0, 1, 2, 3}));
    ASSERT_EQ(t.m_records.size(), 4u);
    // The reopened document has no tree of this machine; the first one has.
    EXPECT_EQ(t.m_records[0].m_entry, nullptr);
    const CReportTable own = Compile(*doc, lines, {});
    ASSERT_EQ(own.m_records.size(), 4u);
    EXPECT_EQ(own.m_records[0].m_kind, DETAIL_ATTR);
    EXPECT_EQ(own.m_records[0].m_kqaid, 5);
    EXPECT_EQ(own.m_records[0].m_entry->m_key, "CPU");
    EXPECT_EQ(own.m_records[3].m_entry, nullptr);  // not found: left as reset
    EXPECT_EQ(own.m_records[3].m_index, -1);
}

TEST_F(ReportCompileTest, EdgesOfTheDefinitionAndTheSelection) {
    CQuillo95Doc& d = Stored();
    // Only the first item: headers and no rows.
    CReportTable t = Compile(d, {"Name"}, Keys(d, {"A", "C"}));
    EXPECT_EQ(t.m_headers, (std::vector<std::string>{"Name", "Box A", "Box C"}));
    EXPECT_EQ(t.RowCount(), 0);
    // An empty selection: the caption column alone.
    t = Compile(d, {"Name", "CPU~Clock"}, {});
    EXPECT_EQ(t.ColumnCount(), 1);
    EXPECT_EQ(t.m_cells, (std::vector<std::vector<std::string>>{{"CPU Clock"}}));
    // No lines: nothing compiled, the table as it was.
    CDocReportSource source(d);
    CReportCompiler compiler(source);
    EXPECT_FALSE(compiler.Compile({}, Keys(d, {"A"}), t));
    EXPECT_EQ(t.ColumnCount(), 1);
}

TEST_F(ReportCompileTest, HeadersFallBackAndSystemsThatDoNotLoadStayEmpty) {
    // A header path no system holds: the first cached record's first attribute (SysName).
    CReportTable t = Compile(*doc, {"No~Such", "Disk~Speed"}, Keys(*doc, {"A", "B"}));
    EXPECT_EQ(t.m_headers, (std::vector<std::string>{"No Such", "A", "B"}));
    // Key 0, an unknown key and a deleted record: empty header and empty cells.
    CQuillo95Doc& d = Stored();
    const int c = d.KeyForSysid("C");
    ASSERT_TRUE(d.Database().DeleteRecord(c));
    t = Compile(d, {"Name", "Disk~Speed"}, {0, 9999, c, d.KeyForSysid("A")});
    EXPECT_EQ(t.m_headers, (std::vector<std::string>{"Name", "", "", "", "Box A"}));
    EXPECT_EQ(t.m_cells[0], (std::vector<std::string>{"Disk Speed", "", "", "", "slow A"}));
}

TEST_F(ReportCompileTest, TipRowsShowTheTipAndThePriorityWhereASystemHoldsIt) {
    Load({"Ten"});
    CQuillo95Doc& d = *doc;
    // A holds tip 7/8 in analyzer Ten's branch (matched by name); B holds it at priority 0
    // (not a tip) and outside any analyzer's branch, and tip 1/2 deeper in the branch; C holds
    // no tip at all.
    CKQTreeEntry* a = Record(d, "A");
    a->GetSubtree()->Add("Ten")->AddTip(85, 7, 8);
    CKQTreeEntry* b = Record(d, "B");
    CKQTreeEntry* bTen = b->GetSubtree()->Add("Ten");
    bTen->AddTip(0, 7, 8);
    b->GetSubtree()->Find("CPU")->AddTip(70, 7, 8);
    bTen->AddSubtree()->Add("CPU")->AddTip(60, 1, 2);
    bTen->AddTip(60, 7, 9);  // another description: another tip
    const CReportTable t = Compile(d, {"Name", "^10 7 8", "CPU~^10 1 2", "^99 1 2"},
                                   {d.KeyForSysid("A"), 0, d.KeyForSysid("B"), d.KeyForSysid("C")});
    ASSERT_EQ(t.RowCount(), 3);
    EXPECT_EQ(t.m_cells[0], (std::vector<std::string>{"Ten tip 7 8", "High 85", "", "", ""}));
    EXPECT_EQ(t.m_cells[1], (std::vector<std::string>{"Ten tip 1 2", "", "", "Medium 60", ""}));
    // No analyzer 99: the caption of the path (none) and nobody holds it.
    EXPECT_EQ(t.m_cells[2], (std::vector<std::string>{"", "", "", "", ""}));
    EXPECT_EQ(t.m_records[0].m_kind, DETAIL_TIP);
    EXPECT_EQ(t.m_records[0].m_index, 8 * 65536 + 7);
}

TEST_F(ReportCompileTest, EqualHeadersAddTheTimeMeasuredThenTheIdentifier) {
    auto twin = [&](const std::string& sysid, const std::string& name,
                    const std::string& measured) {
        CKQTreeEntry* r = AddRecord(*doc, "System", sysid);
        r->SetAttr("Name", name, 0, 0);
        if (!measured.empty()) r->SetAttr("Measured", measured, 0, 0);
    };
    twin("D", "Twin", "2026-12-01 10:00");
    twin("E", "Twin", "2026-12-01 10:00");  // a snapshot of D
    twin("F", "Twin", "2026-12-02 09:30");
    twin("G", "Pair", "");
    twin("H", "Pair", "");
    twin("I", "Solo", "2026-12-01 10:00");
    CQuillo95Doc& d = Stored();
    const CReportTable t =
        Compile(d, {"Name", "CPU~Clock"}, Keys(d, {"D", "E", "F", "G", "H", "I", "A", "A"}));
    EXPECT_EQ(t.m_headers,
              (std::vector<std::string>{"Name", "Twin (2026-12-01 10:00, D)",
                                        "Twin (2026-12-01 10:00, E)", "Twin (2026-12-02 09:30)",
                                        "Pair (G)", "Pair (H)", "Solo", "Box A (A)", "Box A (A)"}));
    // The widths follow the headers shown.
    EXPECT_EQ(t.m_widths[1], 26);
}

TEST_F(ReportCompileTest, WidthsAreMeasuredAndCapped) {
    CQuillo95Doc& d = Stored();
    CReportTable t = Compile(d, {"Name", "CPU~Clock"}, Keys(d, {"A", "C"}));
    // Characters by default: "CPU Clock" 9, "100 MHz" 7, 40 x's capped at 30.
    EXPECT_EQ(t.m_widths, (std::vector<int>{9, 7, 30}));

    CDocReportSource source(d);
    CReportCompiler compiler(source);
    compiler.SetMeasure([](const std::string& s) { return int(s.size()) * 7; }, 30 * 6);
    ASSERT_TRUE(compiler.Compile({"Name", "CPU~Clock"}, Keys(d, {"A", "C"}), t));
    EXPECT_EQ(t.m_widths, (std::vector<int>{63, 49, 180}));
}

TEST_F(ReportCompileTest, EachStoredSystemIsReadOncePerCompilation) {
    CQuillo95Doc& d = Stored();
    std::map<std::string, int> reads;
    CStreamStorage::s_faultHook = [&](const std::string& op, const std::string& name) {
        if (op == "read") ++reads[name];
        return false;
    };
    std::vector<std::string> lines = {"Name"};
    for (int i = 0; i < 20; ++i) lines.push_back(i % 2 ? "CPU~Clock" : "Disk~Speed");
    const CReportTable t = Compile(d, lines, Keys(d, {"A", "B"}));
    EXPECT_EQ(t.m_cells[19][2], "200 MHz");
    EXPECT_EQ(reads["A"], 1);
    EXPECT_EQ(reads["B"], 1);
}

TEST(ReportFillerRows, OnlyATableThatFillsTheListGetsTwo) {
    CReportTable t;
    t.m_headers = {"Item", "Box"};
    t.m_cells.assign(8, {"a", "b"});
    t.m_itemData.assign(8, 0);
    CReportCompiler::AppendFillerRows(t, 10);  // 8 < 9: fits, no filler
    EXPECT_EQ(t.RowCount(), 8);
    CReportCompiler::AppendFillerRows(t, 9);
    ASSERT_EQ(t.RowCount(), 10);
    EXPECT_EQ(t.m_itemData[8], kFillerRow);
    EXPECT_EQ(t.m_itemData[9], kFillerRow);
    EXPECT_EQ(t.m_cells[9], (std::vector<std::string>{"", ""}));
}

TEST(ReportCompileText, SearchTextOfHeadings) {
    EXPECT_EQ(CReportCompiler::SearchText("~ \tTips"), "Tips");
    EXPECT_EQ(CReportCompiler::SearchText("~"), "");
    EXPECT_EQ(CReportCompiler::SearchText("CPU~Clock"), "CPU~Clock");
    EXPECT_EQ(CReportCompiler::Caption("Disk \n^10 1 2"), "Disk");
    EXPECT_EQ(CReportCompiler::Caption("CPU~^10 1 2"), "CPU ");
    EXPECT_EQ(CReportCompiler::Caption("~ Tips"), "  Tips");
}

TEST(ReportCompileText, CaptionsSayEachWordOnce) {
    // Leading words a part repeats from the entry above it are dropped.
    EXPECT_EQ(CReportCompiler::Caption("System~CPU~CPU Integer Test~Integer Single-Thread"),
              "System CPU Integer Test Single-Thread");
    EXPECT_EQ(CReportCompiler::Caption("Instruction Set~Instruction Set Level"),
              "Instruction Set Level");
    // Only leading words, only from the part just above, never the whole part.
    EXPECT_EQ(CReportCompiler::Caption("Memory Size~Total Memory"), "Memory Size Total Memory");
    EXPECT_EQ(CReportCompiler::Caption("CPU~Cache~CPU Load"), "CPU Cache CPU Load");
    EXPECT_EQ(CReportCompiler::Caption("CPU~CPU"), "CPU CPU");
    EXPECT_EQ(CReportCompiler::Caption("Screens~Screen 1~Resolution"),
              "Screens Screen 1 Resolution");
}

// ---- this machine over time: snapshots of its record, the History report, the regression tip

namespace {

struct Planted {
    std::string measured;  // "YYYY-MM-DD HH:MM"
    double copy;           // MB/s, higher is better
    double latency;        // ns, lower is better
    std::string power = "AC";
    double spread = 1.0;  // percent, of both figures
};

// A record as the modules leave it: figures with their spreads and conditions.
CKQTreeEntry* Made(CKQTreeEntry* e, const std::string& key) {
    CKQTree* sub = e->AddSubtree();
    CKQTreeEntry* found = sub->Find(key);
    return found ? found : sub->Add(key);
}

void Plant(CKQTreeEntry& r, const Planted& p) {
    r.SetAttr("Measured", p.measured, 0, DATA_HIGHLIGHT);
    CKQTreeEntry* memory = Made(&r, "Memory");
    auto conditions = [&](CKQTreeEntry* e) {
        e->SetAttr("Governor", "performance", 0, 0);
        e->SetAttr("Boost", "on", 0, 0);
        e->SetAttr("Power Source", p.power, 0, 0);
        e->SetAttr("Load Before", "0.10", 0, DATA_NUMERIC);
        e->SetAttr("Throttled", "no", 0, 0);
        e->SetAttr("Module Version", "2.1", 0, 0);
    };
    const std::string spread = KQFormat("%.1f %%", p.spread);
    CKQTreeEntry* bw = Made(memory, "Memory Bandwidth");
    bw->SetAttr("Copy", KQFormat("%.0f MB/s", p.copy), 0, DATA_NUMERIC | DATA_MEASURED);
    bw->SetAttr("Copy Spread", spread, 0, 0);
    conditions(bw);
    CKQTreeEntry* lat = Made(memory, "Memory Latency");
    lat->SetAttr("64 MiB", KQFormat("%.1f ns", p.latency), 0,
                 DATA_NUMERIC | DATA_MEASURED | DATA_LOWER_BETTER);
    lat->SetAttr("64 MiB Spread", spread, 0, 0);
    conditions(lat);
}

}  // namespace

class HistoryTest : public ReportCompileTest {
protected:
    void SetUp() override {
        ExchangeTest::SetUp();
        // The mirror is this machine's record (the latest results); another machine's
        // identifier matches its own where "_" and "%" were wildcards.
        mirror = AddMirror(*doc, "System", kMirror);
        top = doc->SystemTree().Add("System");
        top->SetAttr("SysName", kMirror, 0, 0);
        top->m_kqaid = 10;
        AddRecord(*doc, "System", "PCX1Z+65000000");
    }
    // A snapshot as Save Current Results names it: the mirror's identifier, "+", a stamp.
    void Snapshot(const std::string& stamp, const Planted& p) {
        Plant(*AddRecord(*doc, "System", std::string(kMirror) + "+" + stamp), p);
    }
    void Latest(const Planted& p) { Plant(*mirror, p); }
    std::vector<std::string> TipTexts() {
        std::vector<std::string> texts;
        doc->BuildHistory();
        CKQTreeEntry* host = doc->HostEntry();
        EXPECT_NE(host, nullptr);
        for (int i = 0; host && i < host->GetTipCount(); ++i) {
            CString text;
            doc->TipText(KQAID_HOST, host->GetTip(i), text);
            texts.push_back(std::to_string(host->GetTipPriority(i)) + " " + text);
        }
        return texts;
    }

    static constexpr const char* kMirror = "PC_1%";
    CKQTreeEntry* mirror = nullptr;
    CKQTreeEntry* top = nullptr;
};

TEST_F(HistoryTest, ThisMachinesSnapshotsInTimeOrderThenTheCurrentResults) {
    // Stored out of order; one has no "Measured" and is placed by its identifier's stamp.
    Snapshot("693a0000", {"2026-12-05 10:00", 1000, 90});
    Snapshot("69300000", {"2026-12-01 09:30", 1000, 90});
    AddRecord(*doc, "System", std::string(kMirror) + "+692e0000");  // a year earlier
    AddRecord(*doc, "System", std::string(kMirror) + "+notahex");   // not a snapshot
    Latest({"2026-12-09 08:00", 1000, 90});
    // Saved and read back through the store's prefix query: "_" and "%" are no wildcards.
    CQuillo95Doc& d = Stored();
    CKQTreeEntry* dtop = d.SystemTree().Add("System");
    dtop->SetAttr("SysName", kMirror, 0, 0);
    dtop->m_kqaid = 10;
    d.RefreshCurrentResults(false);  // as loading the analyzers does
    const std::vector<CHistoryColumn> columns = d.HistoryColumns();
    std::vector<std::string> sysids, headers;
    for (const CHistoryColumn& c : columns) {
        sysids.push_back(d.RecordSysid(c.key));
        headers.push_back(c.header);
    }
    EXPECT_EQ(sysids, (std::vector<std::string>{"PC_1%+692e0000", "PC_1%+69300000",
                                                "PC_1%+693a0000", "PC_1%"}));
    EXPECT_EQ(headers[1], "2026-12-01 09:30");
    EXPECT_EQ(headers[2], "2026-12-05 10:00");
    EXPECT_EQ(headers[3], "2026-12-09 08:00 (current)");
    EXPECT_EQ(headers[0].size(), 16u) << headers[0];  // the stamp's local date and time

    // The report: one row per measured figure, the results side by side.
    d.BuildHistory();
    const std::vector<CRepDef*> reports = d.Definitions(RDTYPE_REPORT);
    const std::vector<CRepDef*> charts = d.Definitions(RDTYPE_CHART);
    ASSERT_FALSE(reports.empty());
    ASSERT_FALSE(charts.empty());
    EXPECT_EQ(reports.back()->GetName(), "History");
    EXPECT_EQ(charts.back()->GetName(), "History");
    EXPECT_EQ(charts.back()->GetAttrValue(HistoryUnitsAttribute("Memory~Memory Bandwidth~Copy")),
              "MB/s");
    std::vector<std::string> lines;
    for (const CRepItem& item : reports.back()->m_items) lines.push_back(item.m_text);
    EXPECT_EQ(lines, (std::vector<std::string>{"Measured", "Memory~Memory Bandwidth~Copy",
                                               "Memory~Memory Latency~64 MiB"}));
    std::vector<int32_t> keys;
    headers.clear();
    for (const CHistoryColumn& c : columns) {
        keys.push_back(c.key);
        headers.push_back(c.header);
    }
    CDocReportSource source(d);
    CReportCompiler compiler(source);
    CReportTable t;
    ASSERT_TRUE(compiler.Compile(lines, keys, t, &headers));
    EXPECT_EQ(t.m_headers[4], "2026-12-09 08:00 (current)");
    EXPECT_EQ(t.m_cells[0], (std::vector<std::string>{"Memory Bandwidth Copy", "", "1000 MB/s",
                                                      "1000 MB/s", "1000 MB/s"}));
}

TEST_F(HistoryTest, TheCurrentRunsOwnSnapshotIsItsColumnAndASharedMinuteIsNumbered) {
    // An unattended run stores the current results and a snapshot of them: one column.
    Snapshot("69380000", {"2026-12-09 09:00", 700, 90});
    Snapshot("69350100", {"2026-12-07 12:00", 990, 90});
    Snapshot("69350000", {"2026-12-07 12:00", 1000, 90});
    Latest({"2026-12-09 09:00", 700, 90});
    std::vector<std::string> sysids, headers;
    for (const CHistoryColumn& c : doc->HistoryColumns()) {
        sysids.push_back(doc->RecordSysid(c.key));
        headers.push_back(c.header);
    }
    EXPECT_EQ(sysids, (std::vector<std::string>{"PC_1%+69350000", "PC_1%+69350100", "PC_1%"}));
    EXPECT_EQ(headers, (std::vector<std::string>{"2026-12-07 12:00 (1)", "2026-12-07 12:00 (2)",
                                                 "2026-12-09 09:00 (current)"}));
}

TEST_F(HistoryTest, ADropBeyondTheSpreadRaisesTheTipWithItsNumbersAndDate) {
    Snapshot("69300000", {"2026-12-01 09:00", 1000, 90});
    Snapshot("69310000", {"2026-12-02 09:00", 1020, 91});
    Snapshot("69320000", {"2026-12-03 09:00", 980, 89});
    // A snapshot of the latest results themselves is no earlier result.
    Snapshot("69380000", {"2026-12-09 09:00", 700, 90});
    Latest({"2026-12-09 09:00", 700, 90});
    EXPECT_EQ(TipTexts(), std::vector<std::string>{
                              "80 Memory Bandwidth Copy is 30 % lower than on 1 Dec 2026"});
    const CRegression& r = doc->Regressions().at(0);
    EXPECT_NEAR(r.percent, 30.0, 1e-9);  // against the median, 1000
    EXPECT_DOUBLE_EQ(r.repeatability, 5.0);
    // Its description and the Summary's way to the text: the host answers for its own tips.
    CString desc;
    doc->TipDesc(KQAID_HOST, doc->HostEntry()->GetTip(0), desc);
    EXPECT_NE(desc.find("5.0 %"), std::string::npos) << desc;
}

TEST_F(HistoryTest, ADropWithinTheSpreadOrABetterFigureRaisesNothing) {
    Snapshot("69300000", {"2026-12-01 09:00", 1000, 90, "AC", 12.0});
    Snapshot("69310000", {"2026-12-02 09:00", 1000, 90, "AC", 12.0});
    Latest({"2026-12-09 09:00", 900, 60, "AC", 2.0});  // 10 % lower, spread 12 %; latency better
    EXPECT_TRUE(TipTexts().empty());
    // A larger drop beyond three spreads is priority 80; beyond one, 50.
    Latest({"2026-12-09 09:00", 800, 90, "AC", 2.0});
    EXPECT_EQ(TipTexts(), std::vector<std::string>{
                              "50 Memory Bandwidth Copy is 20 % lower than on 2 Dec 2026"});
}

TEST_F(HistoryTest, ALowerIsBetterFigureThatRisesIsADrop) {
    Snapshot("69300000", {"2026-12-01 09:00", 1000, 90});
    Snapshot("69310000", {"2026-12-02 09:00", 1000, 100});
    Snapshot("69320000", {"2026-12-03 09:00", 1000, 80});
    Latest({"2026-12-09 09:00", 1000, 117});
    EXPECT_EQ(TipTexts(), std::vector<std::string>{
                              "80 Memory Latency 64 MiB is 30 % higher than on 1 Dec 2026"});
}

TEST_F(HistoryTest, AChangedPowerSourceGivesANoteNotARegression) {
    Snapshot("69300000", {"2026-12-01 09:00", 1000, 90});
    Snapshot("69310000", {"2026-12-02 09:00", 1000, 90});
    Latest({"2026-12-09 09:00", 700, 90, "battery"});
    EXPECT_EQ(TipTexts(), std::vector<std::string>{
                              "0 Memory Bandwidth Copy is 30 % lower than on 2 Dec 2026, but the "
                              "Power Source changed (AC, now battery)"});
}

TEST_F(HistoryTest, NoEarlierRecordRaisesNothingAndTheTipIsNeverStoredOrExported) {
    Latest({"2026-12-09 09:00", 700, 90});
    EXPECT_TRUE(TipTexts().empty());
    // Another machine's records do not count: the one sharing the identifier's beginning.
    Plant(*Record(*doc, "PCX1Z+65000000"), {"2026-12-01 09:00", 1000, 90});
    EXPECT_TRUE(TipTexts().empty());

    Snapshot("69300000", {"2026-12-01 09:00", 1000, 90});
    ASSERT_EQ(TipTexts().size(), 1u);
    // The tip lives on the host's entry beside the top entry: the mirror refreshed from the
    // tree, a snapshot, the exchange file and the JSON carry no trace of it.
    ASSERT_EQ(doc->SystemTree().GetAt(1), doc->HostEntry());
    doc->RefreshCurrentResults(true);
    const int key = doc->AddSnapshot();
    ASSERT_GT(key, 0);
    ASSERT_TRUE(doc->ExportRecords({doc->CurrentSystemKey(), key}, Path("out.kqx")));
    const std::string kqx = Written(Path("out.kqx"));
    ASSERT_TRUE(doc->ExportJson({}, Path("out.json")));
    const std::string json = ReadBytes(Path("out.json"));
    for (const std::string& text : {kqx, json}) {
        EXPECT_EQ(text.find("History"), std::string::npos);
        EXPECT_EQ(text.find("65535"), std::string::npos);
        EXPECT_EQ(text.find("lower than"), std::string::npos);
    }
    ASSERT_TRUE(doc->OnSaveDocument(Path("db.kqd")));
    CQuillo95Doc again(app2, frame2);
    ASSERT_TRUE(again.OnOpenDocument(Path("db.kqd")));
    CRecordEntry stored;
    ASSERT_TRUE(again.Database().LoadRecord(stored, kMirror));
    EXPECT_EQ(stored.GetSubtree()->Find("History"), nullptr);
}

TEST_F(HistoryTest, ConditionsKeptBesideTheTestsCountForTheirFigures) {
    // As the disk module keeps them: "Disk Test Conditions" beside "Disk Tests".
    auto disk = [](CKQTreeEntry& r, const char* read, const char* power) {
        CKQTreeEntry* d = Made(&r, "Disk");
        Made(d, "Disk Tests")->SetAttr("Sequential Read", read, 0, DATA_NUMERIC | DATA_MEASURED);
        CKQTreeEntry* c = Made(d, "Disk Test Conditions");
        c->SetAttr("Power Source", power, 0, 0);
        c->SetAttr("Module Version", "1.2", 0, 0);
    };
    Snapshot("69300000", {"2026-12-01 09:00", 1000, 90});
    disk(*Record(*doc, "PC_1%+69300000"), "500 MB/s", "AC");
    Latest({"2026-12-09 09:00", 1000, 90});
    disk(*mirror, "300 MB/s", "battery");
    EXPECT_EQ(TipTexts(), std::vector<std::string>{
                              "0 Disk Tests Sequential Read is 40 % lower than on 1 Dec 2026, but "
                              "the Power Source changed (AC, now battery)"});
}

TEST_F(HistoryTest, OnTheTeamDatabaseTheSnapshotsComeFromItsPrefixQuery) {
    CTestServerDatabase server;
    ASSERT_TRUE(server.Made());
    std::string message;
    {
        CAppState teamApp;
        FakeFrame teamFrame;
        CQuillo95Doc team(teamApp, teamFrame);
        ASSERT_TRUE(team.OpenTeamDatabase(server.Conninfo(), message)) << message;
        Plant(*AddMirror(team, "System", kMirror), {"2026-12-09 09:00", 700, 90});
        Plant(*AddRecord(team, "System", "PC_1%+69310000"), {"2026-12-02 09:00", 1000, 90});
        Plant(*AddRecord(team, "System", "PC_1%+69300000"), {"2026-12-01 09:00", 1000, 90});
        // Matches "PC_1%+" where "_" and "%" are wildcards.
        Plant(*AddRecord(team, "System", "PCX1Z+69320000"), {"2026-12-03 09:00", 1000, 90});
        team.SetModifiedFlag();
        ASSERT_TRUE(team.SaveModified());
    }
    CQuillo95Doc d(app2, frame2);
    ASSERT_TRUE(d.OpenTeamDatabase(server.Conninfo(), message)) << message;
    CKQTreeEntry* dtop = d.SystemTree().Add("System");
    dtop->SetAttr("SysName", kMirror, 0, 0);
    dtop->m_kqaid = 10;
    d.RefreshCurrentResults(false);
    std::vector<std::string> sysids;
    for (const CHistoryColumn& c : d.HistoryColumns()) sysids.push_back(d.RecordSysid(c.key));
    EXPECT_EQ(sysids, (std::vector<std::string>{"PC_1%+69300000", "PC_1%+69310000", "PC_1%"}));
    d.BuildHistory();
    ASSERT_EQ(d.Regressions().size(), 1u);
    EXPECT_EQ(RegressionText(d.Regressions()[0]),
              "Memory Bandwidth Copy is 30 % lower than on 2 Dec 2026");
}
