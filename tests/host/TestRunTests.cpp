#include "tests/host/HostFixture.h"
#include "tests/support/DocTestPeer.h"

using TestRun = HostTest;

TEST_F(TestRun, NoAnalyzersStillCompletes) {
    doc->RunAllTests();
    EXPECT_EQ(frame.status, (std::vector<std::string>{"Testing in Progress", "Testing complete"}));
    EXPECT_EQ(frame.progressCreated, 1);
    EXPECT_EQ(frame.progressDestroyed, 1);
    EXPECT_EQ(frame.progress, (std::vector<int>{100}));
    EXPECT_TRUE(frame.sleeps.empty());
    EXPECT_TRUE(doc->ResultsNotSaved());
    EXPECT_FALSE(doc->IsRunning());
    EXPECT_FALSE(doc->ProgressOpen());
}

TEST_F(TestRun, EveryAnalyzerInOrderThenTips) {
    Load({"Twenty", "Ten", "Five"});
    frame.log.clear();
    doc->RunAllTests();
    for (KQAID id : {5, 10, 20}) {
        EXPECT_EQ(Count(Branch(id), "RunTests"), 1) << id;
        EXPECT_EQ(Count(Branch(id), "GenTips"), 1) << id;
    }
    EXPECT_EQ(frame.progressAnalyzers,
              (std::vector<std::string>{"Title of Five", "Title of Ten", "Title of Twenty"}));
    // 0 before, the module's own 50, 100 after; and 100 once more at the end.
    EXPECT_EQ(frame.progress, (std::vector<int>{0, 50, 100, 0, 50, 100, 0, 50, 100, 100}));
    EXPECT_EQ(frame.sleeps, std::vector<unsigned>(6, 1000));
    EXPECT_EQ(frame.status, (std::vector<std::string>{"Testing in Progress", "Testing complete"}));
    EXPECT_TRUE(doc->ResultsNotSaved());
    EXPECT_FALSE(doc->IsRunning());
    EXPECT_EQ(frame.progressDestroyed, 1);
    EXPECT_TRUE(frame.LogContains("Title of Ten: running tests"));
    EXPECT_EQ(Count(Branch(5), "CancelAfter"), 0);
}

TEST_F(TestRun, TheDialogShowsEachAnalyzersTitleAndBitmap) {
    Load({"Five", "Ten"});
    std::vector<int32_t> bitmaps;
    bool dialogHoldsTheRunsFlag = true;
    frame.onSetProgress = [&](int p) {
        if (p == 0) bitmaps.push_back(frame.lastBitmap);
        dialogHoldsTheRunsFlag = dialogHoldsTheRunsFlag && frame.progressCancel != nullptr &&
                                 frame.progressCancel == doc->RunCancelFlag();
    };
    doc->RunAllTests();
    EXPECT_EQ(frame.progressAnalyzers, (std::vector<std::string>{"Title of Five", "Title of Ten"}));
    EXPECT_EQ(bitmaps, (std::vector<int32_t>{0, 310}));
    EXPECT_TRUE(dialogHoldsTheRunsFlag);
    // Once the run is over nothing points at its flag any more.
    EXPECT_EQ(frame.progressCancel, nullptr);
    EXPECT_EQ(doc->RunCancelFlag(), nullptr);
}

TEST_F(TestRun, CancelDuringTheFirstOfThree) {
    Load({"Five", "Ten", "Twenty"});
    CDocTestPeer::SetResultsNotSaved(*doc, false);
    PressCancelAt(50);  // reported by the first analyzer while it runs
    doc->RunAllTests();
    EXPECT_EQ(Count(Branch(5), "RunTests"), 1);
    EXPECT_EQ(Count(Branch(5), "CancelAfter"), 1);  // the analyzer saw the flag
    EXPECT_EQ(Count(Branch(10), "RunTests"), 0);
    EXPECT_EQ(Count(Branch(20), "RunTests"), 0);
    for (KQAID id : {5, 10, 20}) EXPECT_EQ(Count(Branch(id), "GenTips"), 0);
    EXPECT_EQ(frame.status.back(), "Testing cancelled");
    EXPECT_FALSE(doc->ResultsNotSaved());
    EXPECT_EQ(frame.sleeps, (std::vector<unsigned>{1000}));  // the trailing wait is skipped
    EXPECT_TRUE(HasTip(Branch(10), -1, 1101, 1201));
    EXPECT_FALSE(HasTip(Branch(10), -1, 1102, 1202));
    EXPECT_FALSE(doc->IsRunning());
}

TEST_F(TestRun, CancelKeepsAnEarlierResultsNotSavedFlag) {
    Load({"Five", "Ten"});
    CDocTestPeer::SetResultsNotSaved(*doc, true);
    PressCancelAt(50);
    doc->RunAllTests();
    EXPECT_TRUE(doc->ResultsNotSaved());
}

TEST_F(TestRun, AnAnalyzerMayCancelTheRunItself) {
    Load({"Five", "Stopper", "Ten"});
    doc->RunAllTests();
    EXPECT_EQ(Count(Branch(5), "RunTests"), 1);
    EXPECT_EQ(Count(Branch(7), "RunTests"), 1);
    EXPECT_EQ(Count(Branch(10), "RunTests"), 0);
    EXPECT_EQ(frame.status.back(), "Testing cancelled");
}

TEST_F(TestRun, WithoutADialogNoWaitsAndNoProgress) {
    Load({"Five", "Ten"});
    frame.canCreateProgress = false;
    doc->RunAllTests();
    EXPECT_EQ(Count(Branch(5), "RunTests"), 1);
    EXPECT_EQ(Count(Branch(10), "RunTests"), 1);
    EXPECT_TRUE(frame.progress.empty());  // the modules' UM_ANALYZERPROGRESS is ignored too
    EXPECT_TRUE(frame.sleeps.empty());
    EXPECT_TRUE(frame.progressAnalyzers.empty());
    EXPECT_EQ(frame.progressDestroyed, 0);
    EXPECT_EQ(frame.status.back(), "Testing complete");
    EXPECT_TRUE(doc->ResultsNotSaved());
}

TEST_F(TestRun, NoRunStartsInsideAnother) {
    Load({"Five", "Ten"});
    CKQTreeEntry* item = Child(Branch(10), "Item");
    ASSERT_NE(item, nullptr);
    int nestedResult = -1;
    frame.onSetProgress = [&](int p) {
        if (p != 50 || nestedResult != -1) return;
        doc->RunAllTests();
        nestedResult = doc->RunOneTest(10, item);
        // Nor anything else that re-enters the modules or rebuilds the tree.
        doc->RegenTips();
        EXPECT_FALSE(doc->AnalyzerProperties(10));
        FakeLister none({});
        doc->LoadAnalyzers(none);
    };
    doc->RunAllTests();
    EXPECT_EQ(nestedResult, 0);
    EXPECT_EQ(Count(Branch(5), "RunTests"), 1);
    EXPECT_EQ(Count(Branch(10), "RunTests"), 1);
    EXPECT_EQ(Count(item, "Tested"), 0);
    EXPECT_EQ(Count(Branch(5), "GenTips"), 1);
    EXPECT_EQ(Count(Branch(10), "Properties"), 0);
    EXPECT_EQ(doc->Analyzers().GetCount(), 2);
    EXPECT_EQ(frame.progressCreated, 1);
    EXPECT_EQ(std::count(frame.status.begin(), frame.status.end(), "Testing in Progress"), 1);
}

TEST_F(TestRun, CloseDuringARunCancelsItAndWaits) {
    Load({"Five", "Ten"});
    bool mustWait = false;
    frame.onSetProgress = [&](int p) {
        if (p == 50 && !mustWait) mustWait = doc->RequestClose();
    };
    doc->RunAllTests();
    EXPECT_TRUE(mustWait);
    EXPECT_TRUE(doc->ClosePending());
    EXPECT_EQ(Count(Branch(10), "RunTests"), 0);
    EXPECT_EQ(frame.status.back(), "Testing cancelled");
    EXPECT_FALSE(doc->RequestClose());  // the run has returned: close at once
}

class RunOne : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        Load({"Five", "Twenty"});
        item = Child(Branch(20), "Item");
        ASSERT_NE(item, nullptr);
        ASSERT_FALSE(item->GetUniqueID().empty());
        frame.status.clear();
    }
    CKQTreeEntry* item = nullptr;
};

TEST_F(RunOne, RunsTheOneTestAndTipsOfThatAnalyzer) {
    EXPECT_EQ(doc->RunOneTest(20, item), 1);
    EXPECT_EQ(Count(item, "Tested"), 1);
    EXPECT_EQ(Count(Branch(20), "RunATest"), 1);
    EXPECT_EQ(Count(Branch(20), "RunTests"), 0);
    EXPECT_EQ(Count(Branch(20), "GenTips"), 1);
    EXPECT_EQ(Count(Branch(5), "GenTips"), 0);
    EXPECT_EQ(frame.status, (std::vector<std::string>{"Testing in Progress", "Testing complete"}));
    EXPECT_EQ(frame.progressAnalyzers, (std::vector<std::string>{"Title of Twenty"}));
    EXPECT_EQ(frame.sleeps, (std::vector<unsigned>{1000, 1000}));
    EXPECT_TRUE(doc->ResultsNotSaved());
}

TEST_F(RunOne, TheItemIsFoundByItsUniqueID) {
    // A copy of the item from an older tree, as a pane may still hold.
    CKQTreeEntry stale("Item");
    stale.SetUniqueID(item->GetUniqueID());
    EXPECT_EQ(doc->RunOneTest(20, &stale), 1);
    EXPECT_EQ(Count(item, "Tested"), 1);
    EXPECT_EQ(Count(&stale, "Tested"), 0);
}

TEST_F(RunOne, UnknownIdentifierOpensAndClosesTheDialog) {
    CDocTestPeer::SetResultsNotSaved(*doc, false);
    EXPECT_EQ(doc->RunOneTest(99, item), 0);
    EXPECT_EQ(frame.progressCreated, 1);
    EXPECT_EQ(frame.progressDestroyed, 1);
    EXPECT_EQ(frame.status, (std::vector<std::string>{"Testing in Progress", "Testing cancelled"}));
    EXPECT_EQ(Count(Branch(20), "GenTips"), 0);
    EXPECT_EQ(Count(Branch(5), "GenTips"), 0);
    EXPECT_FALSE(doc->ResultsNotSaved());
    EXPECT_FALSE(doc->IsRunning());
}

TEST_F(RunOne, AnEntryNoLongerInTheTreeDoesNothing) {
    CKQTreeEntry gone("Gone");
    gone.SetUniqueID(".Five.Gone");
    EXPECT_EQ(doc->RunOneTest(20, &gone), 0);
    CKQTreeEntry never("Never");  // never given a unique ID
    EXPECT_EQ(doc->RunOneTest(20, &never), 0);
    EXPECT_EQ(doc->RunOneTest(20, nullptr), 0);
    EXPECT_TRUE(frame.status.empty());
    EXPECT_EQ(frame.progressCreated, 0);
    EXPECT_EQ(Count(Branch(20), "RunATest"), 0);
}

TEST_F(RunOne, CancelledOneTest) {
    PressCancelAt(50);
    EXPECT_EQ(doc->RunOneTest(20, item), 0);
    EXPECT_EQ(Count(item, "Tested"), 1);
    EXPECT_EQ(Count(Branch(20), "GenTips"), 0);
    EXPECT_EQ(frame.status.back(), "Testing cancelled");
    EXPECT_EQ(frame.sleeps, (std::vector<unsigned>{1000}));
}
