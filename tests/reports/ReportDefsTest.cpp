#include <gtest/gtest.h>

#include <tuple>

#include "reports/ReportDefs.h"
#include "tests/reports/ReportFixture.h"
#include "tests/support/DocTestPeer.h"

namespace {

class ReportDefsTest : public ReportFixture {
protected:
    // A stored system in the database's cache; returns its record key.
    int AddStored(const std::string& sysid, const std::string& key) {
        auto* rec = static_cast<CRecordEntry*>(doc->Database().NewRecord(key));
        rec->SetAttr("System ID", sysid, 0, 0);  // attribute 0 names the record
        last = rec;
        return doc->Database().AddImportedRecord(rec, sysid);
    }
    CRecordEntry* last = nullptr;
};

}  // namespace

TEST_F(ReportDefsTest, NothingIsBuiltWithoutATopEntry) {
    const int key = AddStored("Box+00000001", "System");
    last->SetAttr("Name", "Box", 0, 4);
    last->AddTip(80, 500, 600);
    AddAnalyzer(10, "System", nullptr, "Name");
    CDocTestPeer::SetHighlightsIndex(*doc, 7);
    doc->BuildHighlightsReport();
    doc->BuildTipsAndDetailsReports({key});
    EXPECT_TRUE(doc->SystemTree().IsEmpty());
    EXPECT_EQ(doc->HighlightsIndex(), 7);
    EXPECT_EQ(last->GetRepDefCount(), 0);
}

TEST_F(ReportDefsTest, HighlightsNamePathsBelowTheNearestAnalyzer) {
    CKQTreeEntry* top = AddTop("System");
    AddAnalyzer(10, "System", top);
    top->SetAttr("Name", "Box", 0, 4);
    top->SetAttr("Hidden", "x", 0, 1);
    top->SetAttr("Both", "7", 0, 5);
    CKQTree* sub = top->AddSubtree();
    CKQTreeEntry* cpu = sub->Add("CPU");
    AddAnalyzer(20, "CPU", cpu);
    cpu->SetAttr("Clock", "200", 0, 4);
    CKQTreeEntry* cache = cpu->AddSubtree()->Add("Cache");
    cache->SetAttr("Size", "512", 0, 4 | 8);
    cache->SetAttr("Ways", "4", 0, 8);
    // An analyzer's entry below an entry without an identifier.
    CKQTreeEntry* group = sub->Add("Group");
    CKQTreeEntry* disk = group->AddSubtree()->Add("Disk");
    AddAnalyzer(30, "Disk", disk);
    disk->SetAttr("Speed", "9", 0, 4);
    group->SetAttr("Count", "1", 0, 4);

    // The first record of the cache is this machine's stored copy (under another name here);
    // stored records carry no identifiers. What the tree holds as well is listed once, where
    // the tree has it; what only the copy holds (figures before a run) comes first.
    AddStored("Box+00000001", "Stored");
    last->SetAttr("Name", "Old", 0, 4);
    last->SetAttr("Label", "Old box", 0, 4);
    CKQTree* storedSub = last->AddSubtree();
    storedSub->Add("CPU")->SetAttr("Clock", "100", 0, 4);
    storedSub->Add("Tests")->SetAttr("Speed", "5", 0, 4);
    storedSub->Add("Group")->AddSubtree()->Add("Disk")->SetAttr("Speed", "8", 0, 4);

    doc->BuildHighlightsReport();
    EXPECT_EQ(doc->HighlightsIndex(), 0);
    // First the item that names a system (analyzer 10's path, "Label"), once.
    doc->Analyzers().FindByID(10)->m_info.m_extra = "Label";
    doc->BuildHighlightsReport();
    const Items expected = {{"Label", 10},       {"Tests~Speed", 0}, {"Name", 10},
                            {"Both", 10},        {"Clock", 20},      {"Cache~Size", 20},
                            {"Group~Count", 10}, {"Group~Speed", 30}};
    EXPECT_EQ(ItemsOf(top->GetRepDefPtr(0)), expected);

    // Rebuilding empties first: no item twice, same index.
    top->SetAttr("Both", "7", 0, 1);
    doc->BuildHighlightsReport();
    Items again = expected;
    again.erase(again.begin() + 3);
    EXPECT_EQ(ItemsOf(top->GetRepDefPtr(0)), again);
    EXPECT_EQ(doc->HighlightsIndex(), 0);
    EXPECT_EQ(top->GetRepDefCount(), 2);
    EXPECT_EQ(ItemsOf(top->GetRepDefPtr(1)), Items{});
}

TEST_F(ReportDefsTest, HighlightsIndexFollowsTheDefinition) {
    // A top entry whose first definition is some other report.
    CKQTreeEntry* top = doc->SystemTree().Add("System");
    top->AddReportDef("Mine", RDTYPE_REPORT);
    top->SetAttr("Name", "Box", 0, 4);
    doc->BuildHighlightsReport();
    EXPECT_EQ(doc->HighlightsIndex(), 1);
    // No analyzer 10: the naming item is the top entry's name alone, as in "Tips".
    EXPECT_EQ(ItemsOf(top->GetRepDefPtr(1)), (Items{{"System~", 10}, {"System~Name", 0}}));
    EXPECT_EQ(top->GetRepDefPtr(0)->GetItemCount(), 0);
}

TEST_F(ReportDefsTest, FirstTipsItemNamesTheSystemAttribute) {
    CKQTreeEntry* top = AddTop("System");
    AddAnalyzer(5, "System", top);
    doc->BuildTipsAndDetailsReports({});
    // No analyzer 10: an empty text, still with identifier 10.
    EXPECT_EQ(ItemsOf(TopDef("Tips")), (Items{{"", 10}}));

    CKQTreeEntry* props = top->AddSubtree()->Add("Props");
    AddAnalyzer(10, "Props", props, "Props~Name");
    doc->BuildTipsAndDetailsReports({});
    EXPECT_EQ(ItemsOf(TopDef("Tips")), (Items{{"Props~Name", 10}}));

    // A top entry without an identifier puts its name first.
    top->m_kqaid = 0;
    doc->BuildTipsAndDetailsReports({});
    EXPECT_EQ(ItemsOf(TopDef("Tips")), (Items{{"System~Props~Name", 10}}));
}

TEST_F(ReportDefsTest, TipsComeFromTheSelectedSystems) {
    CKQTreeEntry* top = AddTop("System");
    AddAnalyzer(10, "System", top, "Name");
    CKQTreeEntry* cpu = top->AddSubtree()->Add("CPU");
    AddAnalyzer(20, "CPU", cpu);
    // Tips of this machine's own tree are not gathered.
    top->AddTip(90, 111, 222);

    const int a = AddStored("A+00000001", "System");
    last->AddTip(80, 500, 600);
    last->AddTip(0, 501, 601);     // informational: left out
    last->AddTip(-1, 1101, 2101);  // status note: left out
    CKQTree* sub = last->AddSubtree();
    sub->Add("CPU")->AddTip(50, 700, 701);
    CKQTreeEntry* other = sub->Add("Other");  // no analyzer: the parent's identifier
    other->AddTip(1, 800, 801);
    other->AddSubtree()->Add("Deep")->AddTip(2, 900, 901);

    sub->Add("CPU")->AddTip(85, 710, 711);  // B has it too: one row

    const int b = AddStored("B+00000002", "Elsewhere");  // no analyzer of that name
    last->AddTip(70, 300, 301);                          // identifier 0: left out
    CKQTree* bSub = last->AddSubtree();
    CKQTreeEntry* bCpu = bSub->Add("CPU");
    bCpu->AddTip(60, 710, 711);
    bCpu->AddSubtree()->Add("Core")->AddTip(60, 710, 712);  // another figure: another tip
    bSub->Add("Other")->AddSubtree()->Add("CPU")->AddTip(40, 700, 701);  // the same, elsewhere

    doc->BuildTipsAndDetailsReports({b, 0, 12345, a});
    const Items expected = {{"Name", 10},
                            {"CPU~^20 710 711", 20},
                            {"Core~^20 710 712", 20},
                            {"CPU~^20 700 701", 20},
                            {"System~^10 500 600", 10},
                            {"Other~^10 800 801", 10},
                            {"Deep~^10 900 901", 10}};
    EXPECT_EQ(ItemsOf(TopDef("Tips")), expected);

    // The loaded copies are temporary: the cache holds the two records as before.
    EXPECT_EQ(doc->Database().Cache().GetCount(), 2);
    EXPECT_EQ(doc->Database().Cache().GetAt(1)->GetTipCount(), 1);

    // Which system holds which tip, as the tips were gathered: by analyzer name, above 0.
    const CRecordEntry* recA = static_cast<CRecordEntry*>(doc->Database().Cache().GetAt(0));
    const CRecordEntry* recB = static_cast<CRecordEntry*>(doc->Database().Cache().GetAt(1));
    int32_t priority = 0;
    EXPECT_TRUE(StoredTipPriority(doc->Analyzers(), *recA, 20, 700, 701, priority));
    EXPECT_EQ(priority, 50);
    EXPECT_TRUE(StoredTipPriority(doc->Analyzers(), *recB, 20, 710, 711, priority));
    EXPECT_EQ(priority, 60);
    EXPECT_TRUE(StoredTipPriority(doc->Analyzers(), *recA, 10, 900, 901, priority));
    EXPECT_EQ(priority, 2);
    EXPECT_FALSE(StoredTipPriority(doc->Analyzers(), *recA, 10, 501, 601, priority));  // 0
    EXPECT_FALSE(StoredTipPriority(doc->Analyzers(), *recA, 10, 1101, 2101, priority));
    EXPECT_FALSE(StoredTipPriority(doc->Analyzers(), *recA, 20, 500, 600, priority));
    EXPECT_FALSE(StoredTipPriority(doc->Analyzers(), *recB, 10, 300, 301, priority));
    EXPECT_FALSE(StoredTipPriority(doc->Analyzers(), *recB, 20, 710, 799, priority));
}

TEST_F(ReportDefsTest, AllDetailsCollectsEveryAnalyzersReports) {
    CKQTreeEntry* top = AddTop("System");
    AddAnalyzer(10, "System", top, "Name");
    top->SetAttr("Name", "Box", 0, 4);
    top->AddReportDef("Sys Report", RDTYPE_REPORT);
    top->AddReportItem("Name", 10);
    top->AddReportDef("Sys Chart", RDTYPE_CHART);
    top->AddReportItem("Chart item", 10);
    CKQTreeEntry* cpu = top->AddSubtree()->Add("CPU");
    AddAnalyzer(20, "CPU", cpu);
    cpu->AddReportDef("CPU Report", RDTYPE_REPORT);
    cpu->AddReportItem("Name", 10);  // as every module's report begins
    cpu->AddReportItem("Clock", 20);
    cpu->AddReportItem("Cache~Size", 20);
    cpu->AddReportDef("CPU Second", RDTYPE_REPORT);
    cpu->AddReportItem("Bus", 20);

    const int a = AddStored("A+00000001", "System");
    last->AddTip(80, 500, 600);
    last->AddSubtree()->Add("CPU")->AddTip(50, 700, 701);

    doc->BuildHighlightsReport();
    doc->BuildTipsAndDetailsReports({a});
    // The naming item heads it once; no row repeats it, and no heading of its own comes
    // between the tips and the CPU's items.
    const Items expected = {
        {"Name", 10},  {"~ Tips", 10}, {"System~^10 500 600", 10}, {"CPU~^20 700 701", 20},
        {"~ CPU", 20}, {"Clock", 20},  {"Cache~Size", 20},         {"Bus", 20}};
    EXPECT_EQ(ItemsOf(TopDef("All Details")), expected);
    EXPECT_EQ(top->FindReportDef("All Details", RDTYPE_REPORT), 1);
    EXPECT_EQ(top->FindReportDef("Tips", RDTYPE_REPORT), 4);

    // A snapshot: rebuilt the same, never growing from itself or from "Highlights".
    doc->BuildHighlightsReport();
    doc->BuildTipsAndDetailsReports({a});
    EXPECT_EQ(ItemsOf(TopDef("All Details")), expected);
    EXPECT_EQ(top->GetRepDefCount(), 5);
}

TEST_F(ReportDefsTest, AllDetailsNeverTakesHighlightsWhateverPrecedesIt) {
    // A chart ahead of "Highlights" on the top entry shifts the list of reports by one.
    CKQTreeEntry* top = doc->SystemTree().Add("System");
    top->AddReportDef("Chart", RDTYPE_CHART);
    AddAnalyzer(10, "System", top, "Name");
    top->SetAttr("Speed", "9", 0, 4);
    doc->BuildHighlightsReport();
    doc->BuildTipsAndDetailsReports({});
    EXPECT_EQ(doc->HighlightsIndex(), 1);
    EXPECT_EQ(ItemsOf(TopDef("Highlights")), (Items{{"Name", 10}, {"Speed", 10}}));
    EXPECT_EQ(ItemsOf(TopDef("All Details")), (Items{{"Name", 10}}));
}

TEST_F(ReportDefsTest, UnloadableSelectionContributesNothing) {
    CKQTreeEntry* top = AddTop("System");
    AddAnalyzer(10, "System", top, "Name");
    doc->BuildTipsAndDetailsReports({0, 999, -1});
    EXPECT_EQ(ItemsOf(TopDef("Tips")), (Items{{"Name", 10}}));
    EXPECT_EQ(ItemsOf(TopDef("All Details")), (Items{{"Name", 10}}));
}

TEST_F(ReportDefsTest, HeadingsMarkEachGroupAndEachRunOfTips) {
    CKQTreeEntry* top = AddTop("System");
    AddAnalyzer(10, "System", top);
    AddAnalyzer(20, "CPU", top->AddSubtree()->Add("CPU"));

    CRepDef def("R", RDTYPE_REPORT);
    for (const auto& [text, id] : Items{{"A", 10},
                                        {"B", 10},
                                        {"C", 20},
                                        {"CPU~^20 1 2", 20},
                                        {"^20 3 4", 20},
                                        {"D", 20},
                                        {"E", 99},
                                        {"F", 10},
                                        {"x^y", 10},
                                        {"G", 10}})
        def.AppendReportItem(static_cast<uint16_t>(id), text);
    doc->AddReportHeadings(def);
    const Items expected = {{"A", 10},      {"B", 10},           {"~ CPU", 20},    {"C", 20},
                            {"~ Tips", 20}, {"CPU~^20 1 2", 20}, {"^20 3 4", 20},  {"D", 20},
                            {"~ ", 99},     {"E", 99},           {"~ System", 10}, {"F", 10},
                            {"~ Tips", 10}, {"x^y", 10},         {"G", 10}};
    EXPECT_EQ(ItemsOf(&def), expected);

    // Tips first get their heading; the first group after them still gets none.
    CRepDef tipsFirst("T", RDTYPE_REPORT);
    tipsFirst.AppendReportItem(20, "^20 1 2");
    tipsFirst.AppendReportItem(10, "A");
    tipsFirst.AppendReportItem(10, "B");
    doc->AddReportHeadings(tipsFirst);
    EXPECT_EQ(ItemsOf(&tipsFirst), (Items{{"~ Tips", 20}, {"^20 1 2", 20}, {"A", 10}, {"B", 10}}));

    CRepDef empty("E", RDTYPE_REPORT);
    doc->AddReportHeadings(empty);
    EXPECT_EQ(empty.GetItemCount(), 0);
}

TEST(ReportItemTextTest, Forms) {
    EXPECT_EQ(JoinItemPath("", "Speed"), "Speed");
    EXPECT_EQ(JoinItemPath("CPU~Cache", "Size"), "CPU~Cache~Size");
    EXPECT_EQ(MakeTipReference(65535, -1, 2147483647), "^65535 -1 2147483647");
    EXPECT_EQ(MakeHeading(""), "~ ");
    EXPECT_TRUE(IsTipReference("CPU~^20 1 2"));
    EXPECT_TRUE(IsTipReference("ends^"));
    EXPECT_FALSE(IsTipReference("CPU~Speed"));
    EXPECT_TRUE(IsHeading("~ Tips"));
    EXPECT_TRUE(IsHeading("~"));
    EXPECT_FALSE(IsHeading("CPU~Speed"));
    EXPECT_FALSE(IsHeading(""));
    KQAID id = 0;
    int32_t t = 0, d = 0;
    EXPECT_TRUE(ParseTipReference("CPU~^20 7 -8", id, t, d));
    EXPECT_EQ(std::make_tuple(int(id), t, d), std::make_tuple(20, 7, -8));
    EXPECT_FALSE(ParseTipReference("^65536 1 2", id, t, d));  // no analyzer can have it
    EXPECT_FALSE(ParseTipReference("CPU~Speed", id, t, d));
    EXPECT_EQ(PriorityLabel(85), "High 85");
    EXPECT_EQ(PriorityLabel(79), "Medium 79");
    EXPECT_EQ(PriorityLabel(1), "Low 1");
    EXPECT_EQ(PriorityLabel(0), "");
}
