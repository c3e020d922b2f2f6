// Values of report items in stored systems, captions, headers, chart values, the item
// search of this machine's tree and the record classification.
#include <clocale>

#include "reports/DetailItem.h"
#include "tests/exchange/ExchangeFixture.h"

namespace {

// System -> CPU (Clock, empty Speed) -> Core (Speed); System -> Disk (Speed).
void FillSystem(CKQTreeEntry& r) {
    r.SetAttr("Top", "at the top", 0, 0);
    CKQTree* sub = r.AddSubtree();
    CKQTreeEntry* cpu = sub->Add("CPU");
    cpu->SetAttr("Clock", "12.5 MHz", 0, 1);
    cpu->SetAttr("Speed", "", 0, 0);
    cpu->AddSubtree()->Add("Core")->SetAttr("Speed", "fast", 0, 0);
    sub->Add("Disk")->SetAttr("Speed", "slow", 0, 0);
}

}  // namespace

class LookupTest : public ExchangeTest {
protected:
    void SetUp() override {
        ExchangeTest::SetUp();
        AddMirror(*doc, "System", "MIRROR");
        CKQTreeEntry* r = AddRecord(*doc, "System", "REC");
        FillSystem(*r);
        key = doc->KeyForSysid("REC");
    }
    std::string Value(const std::string& path) {
        std::string v;
        return doc->LookupValue(key, path, v) ? v : "<none>";
    }
    int key = 0;
};

TEST_F(LookupTest, PathsResolveDepthFirstToTheFirstNonEmptyValue) {
    EXPECT_EQ(Value("CPU~Clock"), "12.5 MHz");
    EXPECT_EQ(Value("System~CPU~Clock"), "12.5 MHz");
    // CPU's own Speed is empty, so it counts as absent and the search goes on below CPU.
    EXPECT_EQ(Value("CPU~Speed"), "fast");
    EXPECT_EQ(Value("Disk~Speed"), "slow");
    // A bare identifier is found in the first entry, depth first, that has it.
    EXPECT_EQ(Value("Speed"), "fast");
    EXPECT_EQ(Value("Top"), "at the top");
    EXPECT_EQ(Value("Core~Speed"), "fast");
    EXPECT_EQ(Value("CPU~Nothing"), "<none>");
    EXPECT_EQ(Value("Nowhere~Clock"), "<none>");
    EXPECT_EQ(Value(""), "<none>");
    EXPECT_EQ(Value("^"), "<none>");

    std::string v;
    EXPECT_FALSE(doc->LookupValue(0, "CPU~Clock", v));  // key 0 names no stored system
    EXPECT_FALSE(doc->LookupValue(12345, "CPU~Clock", v));
    EXPECT_FALSE(doc->EntryLookup(nullptr, "Top", v));
    EXPECT_TRUE(doc->LookupValue("rec", "Top", v));  // identifiers are case-insensitive
}

TEST_F(LookupTest, TipReferencesAreAnsweredByTheirAnalyzer) {
    EXPECT_EQ(Value("^10 7 8"), "<none>");  // analyzer 10 is not loaded yet
    Load({"Ten"});
    EXPECT_EQ(Value("^10 7 8"), "Ten tip 7 8");
    // An empty entry part, or an entry name before the reference.
    EXPECT_EQ(Value("~^10 7 8"), "Ten tip 7 8");
    EXPECT_EQ(Value("Disk~^10 -1 +2"), "Ten tip -1 2");
    EXPECT_EQ(Value("^99 7 8"), "<none>");
    EXPECT_EQ(Value("^70000 7 8"), "<none>");
    EXPECT_EQ(Value("^65546 7 8"), "<none>");  // 10 + 2^16 must not wrap round to analyzer 10
}

TEST_F(LookupTest, RecordsOnlyOnDiskAreLoadedForTheLookup) {
    ASSERT_TRUE(doc->OnSaveDocument(Path("db.kqd")));
    KeepDatabaseSeeds(doc->Database());
    CAppState app2;
    FakeFrame frame2;
    CQuillo95Doc other(app2, frame2);
    ASSERT_TRUE(other.OnOpenDocument(Path("db.kqd")));
    const int k = other.KeyForSysid("REC");
    ASSERT_GT(k, 0);
    std::string v;
    EXPECT_TRUE(other.LookupValue(k, "Disk~Speed", v));
    EXPECT_EQ(v, "slow");
    // Nothing is in the new document's cache yet, so there is no fallback attribute.
    EXPECT_EQ(other.SystemHeader(k, "Missing~Path"), "");

    ASSERT_TRUE(other.Database().DeleteRecord(k));
    EXPECT_FALSE(other.LookupValue(k, "Disk~Speed", v));
    EXPECT_EQ(other.QueryRecord(k), 0);
}

TEST_F(LookupTest, HeadersFallBackToTheFirstRecordsIdentifierAttribute) {
    EXPECT_EQ(doc->FallbackAttributeID(), "SysName");
    EXPECT_EQ(doc->SystemHeader(key, "Disk~Speed"), "slow");
    EXPECT_EQ(doc->SystemHeader(key, "Disk~Missing"), "REC");
    EXPECT_EQ(doc->SystemHeader(0, "Disk~Speed"), "");
    // A system whose identifier attribute has another name has no fallback value.
    CKQTreeEntry* other = doc->Database().NewRecord("Other");
    other->SetAttr("Ident", "OTHER", 0, 0);
    const int k = doc->Database().AddImportedRecord(static_cast<CRecordEntry*>(other), "OTHER");
    EXPECT_EQ(doc->SystemHeader(k, "Disk~Speed"), "");

    // Series titles: analyzer 10's path ("Ten~Item~Speed"), else the fallback.
    EXPECT_EQ(doc->SeriesTitle(key), "REC");
    Load({"Ten"});
    CKQTreeEntry* r = doc->Database().LoadedRecord("REC");
    r->GetSubtree()->Add("Ten")->AddSubtree()->Add("Item")->SetAttr("Speed", "Named", 0, 0);
    EXPECT_EQ(doc->SeriesTitle(key), "Named");
}

TEST_F(LookupTest, ChartValuesAreTheLeadingNumberWhateverTheLocale) {
    EXPECT_DOUBLE_EQ(doc->ChartValue(key, "CPU~Clock"), 12.5);
    EXPECT_DOUBLE_EQ(doc->ChartValue(key, "Disk~Speed"), 0.0);
    EXPECT_DOUBLE_EQ(doc->ChartValue(key, "Disk~Missing"), 0.0);
    EXPECT_DOUBLE_EQ(doc->ChartValue(0, "CPU~Clock"), 0.0);
    // A measurement is a value the system has that starts with a number; the rest are not 0s.
    double v = -1;
    EXPECT_TRUE(doc->ChartMeasurement(key, "CPU~Clock", v));
    EXPECT_DOUBLE_EQ(v, 12.5);
    EXPECT_FALSE(doc->ChartMeasurement(key, "Disk~Speed", v));  // "slow"
    EXPECT_FALSE(doc->ChartMeasurement(key, "Disk~Missing", v));
    EXPECT_FALSE(doc->ChartMeasurement(0, "CPU~Clock", v));
    CKQTreeEntry* disk = doc->Database().LoadedRecord("REC")->GetSubtree()->Find("Disk");
    for (const char* text : {"0 MB/s", " -.5", "+2"}) {
        disk->SetAttr("Speed", text, 0, 1);
        EXPECT_TRUE(doc->ChartMeasurement(key, "Disk~Speed", v)) << text;
    }
    EXPECT_DOUBLE_EQ(v, 2);
    for (const char* text : {"n/a", "inf", "-x", "+-7", "."}) {
        disk->SetAttr("Speed", text, 0, 1);
        EXPECT_FALSE(doc->ChartMeasurement(key, "Disk~Speed", v)) << text;
    }
    EXPECT_DOUBLE_EQ(CQuillo95Doc::LeadingNumber("  -3e2x"), -300.0);
    EXPECT_DOUBLE_EQ(CQuillo95Doc::LeadingNumber("+7.25 GB"), 7.25);
    EXPECT_DOUBLE_EQ(CQuillo95Doc::LeadingNumber("+-7"), 0.0);
    EXPECT_DOUBLE_EQ(CQuillo95Doc::LeadingNumber(".5"), 0.5);
    EXPECT_DOUBLE_EQ(CQuillo95Doc::LeadingNumber("MB 12"), 0.0);
    EXPECT_DOUBLE_EQ(CQuillo95Doc::LeadingNumber(""), 0.0);
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = old ? old : "C";
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr) {
        EXPECT_DOUBLE_EQ(CQuillo95Doc::LeadingNumber("12.5 MB"), 12.5);
        std::setlocale(LC_NUMERIC, saved.c_str());
    }
}

TEST(LookupTextForms, CaptionsAndGroupTitles) {
    EXPECT_EQ(CQuillo95Doc::ItemCaption("CPU~Cache~Size"), "CPU Cache Size");
    EXPECT_EQ(CQuillo95Doc::ItemCaption("Disk \t^10 1 2"), "Disk");
    EXPECT_EQ(CQuillo95Doc::ItemCaption("Disk~^10 1 2"), "Disk ");
    EXPECT_EQ(CQuillo95Doc::ItemCaption("^10 1 2"), "");
    EXPECT_EQ(CQuillo95Doc::ItemCaption("~ Tips"), "  Tips");
    EXPECT_EQ(CQuillo95Doc::ItemCaption("trailing  "), "trailing  ");
    EXPECT_EQ(CQuillo95Doc::GroupTitle("CPU~Max  Clock   Rate"), "CPU Max Clock Rate");
    EXPECT_EQ(CQuillo95Doc::GroupTitle("  lead~x"), " lead x");
}

TEST_F(LookupTest, RecordClassification) {
    EXPECT_EQ(doc->QueryRecord(doc->KeyForSysid("MIRROR")), 2);
    EXPECT_EQ(doc->QueryRecord(key), 1);
    EXPECT_EQ(doc->QueryRecord(0), 0);
    EXPECT_EQ(doc->QueryRecord(999), 0);
}

TEST_F(LookupTest, ItemSearchOfTheCurrentSystem) {
    // Five (KQAID 5) is the top entry; Ten's branch lies below it, with Item and Deep.
    Load({"Five", "Ten"});
    CKQTreeEntry* top = doc->SystemTree().GetHead();
    ASSERT_NE(top, nullptr);
    CKQTreeEntry* ten = top->GetSubtree()->Find("Ten");
    ASSERT_NE(ten, nullptr);
    CKQTreeEntry* item = ten->GetSubtree()->Find("Item");
    ASSERT_NE(item, nullptr);

    CDetailItem found;
    ASSERT_TRUE(doc->SearchItem("Ten~Item~Speed", found));
    EXPECT_EQ(found.m_entry, item);
    EXPECT_EQ(found.m_kqaid, 10);
    EXPECT_EQ(found.m_kind, DETAIL_ATTR);
    EXPECT_EQ(found.m_index, item->FindAttr("Speed"));
    // The first entry in tree order that has the attribute.
    const bool fiveFirst = top->GetSubtree()->GetAt(0)->m_key == "Item";
    ASSERT_TRUE(doc->SearchItem("Speed", found));
    EXPECT_EQ(found.m_entry->m_key, "Item");
    EXPECT_EQ(found.m_kind, DETAIL_ATTR);
    EXPECT_EQ(found.m_kqaid, fiveFirst ? 5 : 10);
    // A heading's caption names an entry.
    ASSERT_TRUE(doc->SearchItem("Ten", found));
    EXPECT_EQ(found.m_entry, ten);
    EXPECT_EQ(found.m_kind, DETAIL_ENTRY);
    EXPECT_EQ(found.m_index, 0);
    EXPECT_EQ(found.m_kqaid, 10);
    // Tip references name their analyzer and pack the two IDs.
    ASSERT_TRUE(doc->SearchItem("Item~^10 7 8", found));
    EXPECT_EQ(found.m_kind, DETAIL_TIP);
    EXPECT_EQ(found.m_kqaid, 10);
    EXPECT_EQ(found.m_index, 8 * 65536 + 7);
    ASSERT_TRUE(doc->SearchItem("^10 -1 2", found));
    EXPECT_EQ(found.m_entry, top);
    EXPECT_EQ(found.m_index, 2 * 65536 + 0xFFFF);
    EXPECT_FALSE(doc->SearchItem("^65546 7 8", found));  // no KQAID: not analyzer 10's tip

    found = CDetailItem(top, 3, DETAIL_ATTR, 4, 9);
    EXPECT_FALSE(doc->SearchItem("Nowhere~Speed", found));
    EXPECT_EQ(found.m_entry, nullptr);
    EXPECT_EQ(found.m_kqaid, 0);
    EXPECT_EQ(found.m_kind, DETAIL_ENTRY);
    EXPECT_EQ(found.m_index, -1);
    EXPECT_EQ(found.m_sortKey, 0);
}
