#include "tests/host/HostFixture.h"

using Tips = HostTest;

TEST_F(Tips, BeforeAnyRunOnlyTheNotAnalysedNoteWhichIsNoTip) {
    Load({"Five", "Ten"});
    CKQTreeEntry* ten = Branch(10);
    ASSERT_NE(ten, nullptr);
    ASSERT_EQ(ten->GetTipCount(), 1);
    EXPECT_TRUE(HasTip(ten, -1, 1101, 1201));
    EXPECT_EQ(CountTips(*ten), 0);
    EXPECT_EQ(Branch(5)->GetTipCount(), 0);
}

TEST_F(Tips, AfterARunTheAnalysedNoteReplacesIt) {
    Load({"Five", "Ten"});
    doc->RunAllTests();
    CKQTreeEntry* ten = Branch(10);
    EXPECT_EQ(TipsWithText(ten, 1101), 0);
    EXPECT_TRUE(HasTip(ten, -1, 1102, 1202));
    EXPECT_EQ(CountTips(*ten), 4);  // the module's 80, 50, 49 and 0; not the note
    // A second run leaves one analysed note.
    doc->RunAllTests();
    EXPECT_EQ(TipsWithText(ten, 1102), 1);
    EXPECT_EQ(TipsWithText(ten, 1101), 0);
}

TEST_F(Tips, RegenTipsBeforeAnyRun) {
    Load({"Five", "Ten"});
    frame.status.clear();
    doc->RegenTips();
    CKQTreeEntry* ten = Branch(10);
    EXPECT_EQ(TipsWithText(ten, 1101), 0);
    EXPECT_TRUE(HasTip(ten, -1, 1102, 1202));
    EXPECT_EQ(Count(Branch(5), "GenTips"), 1);
    EXPECT_EQ(Count(ten, "GenTips"), 1);
    EXPECT_EQ(Count(Branch(5), "RunTests"), 0);  // no test runs
    EXPECT_TRUE(frame.status.empty());           // and no status text
    EXPECT_EQ(frame.progressCreated, 0);
}

TEST_F(Tips, StatusTipNeedsAnalyzerTen) {
    Load({"Five"});
    EXPECT_EQ(doc->SetStatusTip(false), 0);
    EXPECT_EQ(doc->SetStatusTip(true), 0);
    EXPECT_EQ(Branch(5)->GetTipCount(), 0);
    doc->RunAllTests();  // completes without the note
    EXPECT_EQ(frame.status.back(), "Testing complete");
}

TEST_F(Tips, StatusTipOnAnalyzerTenWhereverItsBranchIs) {
    Load({"Twenty", "Ten", "Five"});
    CKQTreeEntry* ten = Branch(10);
    ASSERT_NE(ten, nullptr);
    EXPECT_NE(ten, doc->SystemTree().GetHead());
    EXPECT_TRUE(HasTip(ten, -1, 1101, 1201));
    EXPECT_NE(doc->SetStatusTip(true), 0);
    EXPECT_TRUE(HasTip(ten, -1, 1102, 1202));
    EXPECT_FALSE(HasTip(Branch(5), -1, 1101, 1201));
}

TEST(TipBands, ByPriority) {
    EXPECT_EQ(TipBand(1000), 3);
    EXPECT_EQ(TipBand(80), 3);
    EXPECT_EQ(TipBand(79), 2);
    EXPECT_EQ(TipBand(50), 2);
    EXPECT_EQ(TipBand(49), 1);
    EXPECT_EQ(TipBand(1), 1);
    EXPECT_EQ(TipBand(0), 0);
    EXPECT_EQ(TipBand(-1), -1);
    EXPECT_EQ(TipBand(INT32_MIN), -1);
}

TEST_F(Tips, BandsOfAModulesTipsAndTheTipsReport) {
    Load({"Five", "Ten"});
    doc->RunAllTests();
    CKQTreeEntry* five = Branch(5);
    std::vector<int> bands;
    for (int i = 0; i < five->GetTipCount(); ++i) bands.push_back(TipBand(five->GetTipPriority(i)));
    EXPECT_EQ(bands, (std::vector<int>{3, 2, 1, 0}));

    // Priority 0 and status notes stay out of the tips report.
    // The mirror record of this machine, refreshed with tips after the run.
    const int mirror = doc->CurrentSystemKey();
    ASSERT_GT(mirror, 0);
    doc->BuildTipsAndDetailsReports({mirror});
    const CKQTreeEntry* top = doc->SystemTree().GetHead();
    const CRepDef* tipsReport = nullptr;
    for (int i = 0; i < top->GetRepDefCount(); ++i)
        if (top->GetRepDefPtr(i)->GetName() == "Tips") tipsReport = top->GetRepDefPtr(i);
    ASSERT_NE(tipsReport, nullptr);
    std::string all;
    for (const CRepItem& item : tipsReport->m_items) all += item.m_text + "|";
    EXPECT_NE(all.find("^5 5002 5102"), std::string::npos) << all;  // 50
    EXPECT_NE(all.find("^5 5003 5103"), std::string::npos) << all;  // 49
    EXPECT_EQ(all.find("^5 5004 5104"), std::string::npos) << all;  // 0
    EXPECT_EQ(all.find("1102"), std::string::npos) << all;          // the note
}

TEST_F(Tips, GenerateForOneOrAll) {
    Load({"Five", "Ten", "InitOnly"});
    EXPECT_FALSE(doc->GenerateTipsOne(99));
    EXPECT_TRUE(doc->GenerateTipsOne(40));  // no kqaGenTips: nothing happens, nothing reported
    EXPECT_TRUE(doc->GenerateTipsOne(5));
    EXPECT_EQ(Count(Branch(5), "GenTips"), 1);
    EXPECT_EQ(Count(Branch(10), "GenTips"), 0);
    doc->GenerateTipsAll();
    EXPECT_EQ(Count(Branch(5), "GenTips"), 2);
    EXPECT_EQ(Count(Branch(10), "GenTips"), 1);
    EXPECT_EQ(Branch(40)->GetTipCount(), 0);
}

TEST_F(Tips, TextsAreRoutedByIdentifierAndModulesGetCopies) {
    Load({"Five", "Twenty"});
    doc->RunAllTests();
    CKQTreeEntry* twenty = Branch(20);
    CTip* tip = twenty->GetTip(0);
    ASSERT_NE(tip, nullptr);
    CString text;
    doc->TipText(20, tip, text);
    EXPECT_EQ(text, "Twenty tip 20001 20101");
    text.clear();
    doc->TipDesc(20, tip, text);
    EXPECT_EQ(text, "Twenty desc 20001 20101");
    // The modules scribble on what they get; the tree's own tip is untouched.
    EXPECT_EQ(tip->m_priority, 80);
    EXPECT_EQ(tip->m_textID, 20001);

    // The same tip routed to another analyzer gets that analyzer's wording.
    text.clear();
    doc->TipText(5, tip, text);
    EXPECT_EQ(text, "Five tip 20001 20101");

    CAttr* attr = Child(twenty, "Item")->GetAttr(0);
    text.clear();
    doc->AttrDesc(20, attr, text);
    EXPECT_EQ(text, "Twenty attr Speed");
    EXPECT_EQ(attr->m_value, "100");

    // No analyzer with that identifier: the string is left as it was.
    text = "unchanged";
    doc->TipText(99, tip, text);
    doc->TipDesc(99, tip, text);
    doc->AttrDesc(99, attr, text);
    EXPECT_EQ(text, "unchanged");
    doc->TipText(20, nullptr, text);
    doc->AttrDesc(20, nullptr, text);
    EXPECT_EQ(text, "unchanged");
}
