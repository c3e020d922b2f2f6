#include <filesystem>
#include <fstream>

#include "tests/host/HostFixture.h"

using Document = HostTest;

TEST_F(Document, AnalyzerLogLinesCarryTheTitle) {
    Load({"Five"});
    frame.log.clear();
    const char* text = "hello";
    EXPECT_EQ(view.SendMessage(UM_ANALYZERLOG, 5, reinterpret_cast<intptr_t>(text)), 1);
    EXPECT_EQ(frame.log, (std::vector<std::string>{"Title of Five: hello"}));
    // Unknown sender, a null text, an identifier beyond 16 bits: ignored.
    EXPECT_EQ(view.SendMessage(UM_ANALYZERLOG, 6, reinterpret_cast<intptr_t>(text)), 1);
    EXPECT_EQ(view.SendMessage(UM_ANALYZERLOG, 5, 0), 1);
    EXPECT_EQ(view.SendMessage(UM_ANALYZERLOG, 0x10005, reinterpret_cast<intptr_t>(text)), 1);
    EXPECT_EQ(frame.log.size(), 1u);
}

TEST_F(Document, RequestsFromAModuleWalkItsOwnBranch) {
    Load({"Five", "Twenty"});
    CKQTreeEntry* five = Branch(5);
    CKQTreeEntry* twenty = Branch(20);
    five->SetAttr("Ask", "Item~Deep~Depth", 0, 0);
    twenty->SetAttr("Ask", "Model", 0, 0);
    doc->RunAllTests();
    EXPECT_EQ(five->GetAttrValue("Answer"), "2");
    EXPECT_EQ(five->GetAttrValue("AnswerRC"), "1");
    EXPECT_EQ(twenty->GetAttrValue("Answer"), "Model Twenty");

    five->SetAttr("Ask", "Item~Nothing", 0, 0);
    twenty->SetAttr("Ask", "NoSuchEntry~Speed", 0, 0);
    doc->RunAllTests();
    EXPECT_EQ(five->GetAttrValue("AnswerRC"), "0");
    EXPECT_EQ(twenty->GetAttrValue("AnswerRC"), "0");
}

TEST_F(Document, RequestsDirectly) {
    Load({"Five", "Twenty"});
    doc->RunAllTests();
    KQAREQUEST r;
    r.m_id = 20;
    r.m_path = "Item~Speed";
    EXPECT_NE(doc->OnAnalyzerRequest(0, reinterpret_cast<intptr_t>(&r)), 0);
    EXPECT_EQ(r.m_answer, "100");

    // A tip reference is answered with the tip's text from the analyzer it names.
    r.m_path = "^5 5001 5101";
    EXPECT_NE(doc->OnAnalyzerRequest(0, reinterpret_cast<intptr_t>(&r)), 0);
    EXPECT_EQ(r.m_answer, "Five tip 5001 5101");
    r.m_path = "^99 1 2";
    EXPECT_EQ(doc->OnAnalyzerRequest(0, reinterpret_cast<intptr_t>(&r)), 0);
    // An analyzer number beyond 16 bits names no analyzer; it must not wrap round to 5.
    r.m_answer.clear();
    r.m_path = "^65541 5001 5101";
    EXPECT_EQ(doc->OnAnalyzerRequest(0, reinterpret_cast<intptr_t>(&r)), 0);
    EXPECT_EQ(r.m_answer, "");

    r.m_path = "";
    EXPECT_EQ(doc->OnAnalyzerRequest(0, reinterpret_cast<intptr_t>(&r)), 0);
    r.m_id = 99;
    r.m_path = "Item~Speed";
    EXPECT_EQ(doc->OnAnalyzerRequest(0, reinterpret_cast<intptr_t>(&r)), 0);
    EXPECT_EQ(doc->OnAnalyzerRequest(0, 0), 0);
}

TEST_F(Document, RequestForAStoredSystemStartsAtTheAnalyzersEntry) {
    Load({"Five", "Twenty"});
    doc->RunAllTests();  // the mirror record of BOX-5 now holds Twenty's Speed of 100
    CKQTreeEntry* item = Child(Branch(20), "Item");
    ASSERT_NE(item, nullptr);
    item->SetAttr("Speed", "999", 3, 1);  // this machine changes; the stored record does not

    KQAREQUEST r;
    r.m_id = 20;
    r.m_path = "Item~Speed";
    EXPECT_NE(doc->OnAnalyzerRequest(0, reinterpret_cast<intptr_t>(&r)), 0);
    EXPECT_EQ(r.m_answer, "999");
    r.m_sysid = "BOX-5";
    EXPECT_NE(doc->OnAnalyzerRequest(0, reinterpret_cast<intptr_t>(&r)), 0);
    EXPECT_EQ(r.m_answer, "100");
    r.m_id = 5;
    r.m_path = "Model";
    EXPECT_NE(doc->OnAnalyzerRequest(0, reinterpret_cast<intptr_t>(&r)), 0);
    EXPECT_EQ(r.m_answer, "Model Five");
    r.m_sysid = "NO-SUCH-BOX";
    EXPECT_EQ(doc->OnAnalyzerRequest(0, reinterpret_cast<intptr_t>(&r)), 0);
}

TEST_F(Document, ProgressOnlyWhileTheDialogIsOpenAndWithinRange) {
    Load({"Five", "Ten"});
    EXPECT_EQ(view.SendMessage(UM_ANALYZERPROGRESS, 0, 40), 1);
    EXPECT_TRUE(frame.progress.empty());
    Branch(5)->SetAttr("Progress", "150", 0, 1);
    Branch(10)->SetAttr("Progress", "-5", 0, 1);
    doc->RunAllTests();
    EXPECT_EQ(frame.progress, (std::vector<int>{0, 100, 100, 0, 0, 100, 100}));
}

TEST_F(Document, NoIdleWorkDuringARun) {
    Load({"Five"});
    const std::string db = app.DatabasePath();
    bool idleDidWork = true;
    frame.onSetProgress = [&](int p) {
        if (p != 50) return;
        idleDidWork = doc->IdleStep();
        doc->FinishIdleWork();
    };
    doc->RunAllTests();
    EXPECT_FALSE(idleDidWork);
    EXPECT_FALSE(std::filesystem::exists(db));
    // Afterwards the idle work writes the database (it was never opened: a full save).
    doc->FinishIdleWork();
    EXPECT_TRUE(std::filesystem::exists(db));
    EXPECT_FALSE(doc->IsModified());
}

TEST_F(Document, SaveModifiedWritesWithoutAsking) {
    EXPECT_TRUE(doc->SaveModified());  // nothing to save
    EXPECT_FALSE(std::filesystem::exists(app.DatabasePath()));
    Load({"Five"});
    ASSERT_TRUE(doc->IsModified());
    EXPECT_TRUE(doc->SaveModified());
    EXPECT_TRUE(std::filesystem::exists(app.DatabasePath()));
    EXPECT_EQ(doc->GetPathName(), app.DatabasePath());
    EXPECT_FALSE(doc->IsModified());
    EXPECT_TRUE(frame.boxes.empty());
}

TEST_F(Document, SaveModifiedGoesBackToTheFileItWasOpenedFrom) {
    Load({"Five"});
    const std::string older = dir + "/Quillo95.kqd";
    ASSERT_TRUE(doc->OnSaveDocument(older));
    auto reopened = std::make_unique<CQuillo95Doc>(app, frame);
    ASSERT_TRUE(reopened->OnOpenDocument(older));
    EXPECT_EQ(reopened->GetPathName(), older);
    reopened->SetModifiedFlag();
    EXPECT_TRUE(reopened->SaveModified());
    EXPECT_FALSE(std::filesystem::exists(app.DatabasePath()));
}

TEST_F(Document, AFailedSaveIsLoggedAndReported) {
    app.SetDatabasePath(dir + "/missing/Quillo97.kqd");
    Load({"Five"});
    frame.log.clear();
    EXPECT_FALSE(doc->SaveModified());
    EXPECT_TRUE(frame.LogContains("Error 1014"));
    EXPECT_TRUE(frame.LogContains(app.DatabasePath()));
    EXPECT_TRUE(doc->IsModified());  // still owed
    EXPECT_TRUE(frame.boxes.empty());
}

TEST_F(Document, OpenFailureLogsOneWarningAndNoBox) {
    const std::string missing = dir + "/absent.kqd";
    EXPECT_FALSE(doc->OnOpenDocument(missing));
    int lines = 0;
    for (const std::string& l : frame.log)
        if (l.find(missing) != std::string::npos) {
            ++lines;
            EXPECT_EQ(l, "Warning: 1010: Can't open file " + missing);
        }
    EXPECT_EQ(lines, 1);
    EXPECT_TRUE(frame.boxes.empty());
    EXPECT_EQ(doc->GetPathName(), "");

    const std::string garbage = dir + "/garbage.kqd";
    std::ofstream(garbage) << "this is no database at all";
    frame.log.clear();
    EXPECT_FALSE(doc->OnOpenDocument(garbage));
    ASSERT_EQ(frame.log.size(), 2u);
    EXPECT_EQ(frame.log[0], "Warning: 1010: Can't open file " + garbage);
    // A file that is there but cannot be opened puts stored results at stake: a box says so.
    ASSERT_EQ(frame.boxes.size(), 1u);
    EXPECT_EQ(frame.boxes[0].text, frame.log[1]);
    EXPECT_NE(frame.boxes[0].text.find("Error 1019: The database " + garbage), std::string::npos);
}

TEST_F(Document, OpeningAnExchangeFileImportsAndKeepsTheDatabase) {
    const std::string kqx = dir + "/some.KQX";
    std::ofstream(kqx) << "";
    ASSERT_FALSE(doc->IsModified());
    EXPECT_FALSE(doc->OnOpenDocument(kqx));
    EXPECT_TRUE(doc->IsModified());  // the import ran
    EXPECT_EQ(doc->GetPathName(), "");
    EXPECT_FALSE(frame.LogContains("Warning: 1010"));
}

TEST_F(Document, AnalyzerNameAndProperties) {
    Load({"Five", "Ten", "InitOnly"});
    EXPECT_EQ(doc->AnalyzerName(5), "Five");
    EXPECT_EQ(doc->AnalyzerName(99), "");
    EXPECT_TRUE(doc->AnalyzerProperties(10));
    EXPECT_EQ(Count(Branch(10), "Properties"), 1);
    EXPECT_FALSE(doc->AnalyzerProperties(40));  // no kqaDoPropertiesUI
    EXPECT_FALSE(doc->AnalyzerProperties(99));
}

TEST_F(Document, PropertiesThatChangeNothingRefreshNothing) {
    Load({"TenNoEdit"});
    doc->SetModifiedFlag(false);
    EXPECT_FALSE(doc->AnalyzerProperties(10));
    EXPECT_EQ(Count(Branch(10), "Properties"), 1);
    EXPECT_FALSE(doc->IsModified());
}

// The change channel: subscribers hear in their order, once each however often they
// subscribed; one that leaves while a change is told (itself or another) is not called again.
TEST_F(Document, ChangesReachSubscribersInOrderAndLeavingMidwayIsSafe) {
    struct Listener : IDocumentObserver {
        void OnDocumentEvent(const DocumentEvent& event) override {
            heard->push_back(name);
            EXPECT_EQ(event.kind, DocEvent::SelectionChanged);
            for (IDocumentObserver* o : leave) doc->Unsubscribe(o);
            leave.clear();
        }
        char name = 0;
        std::string* heard = nullptr;
        CQuillo95Doc* doc = nullptr;
        std::vector<IDocumentObserver*> leave;
    };
    std::string heard;
    Listener a, b, c;
    a.name = 'a', b.name = 'b', c.name = 'c';
    for (Listener* l : {&a, &b, &c}) {
        l->heard = &heard;
        l->doc = doc.get();
        doc->Subscribe(l);
    }
    doc->Subscribe(&a);
    a.leave = {&a, &b};  // a takes itself and b out while the first change is told
    doc->SelectionChanged();
    EXPECT_EQ(heard, "ac");
    doc->SelectionChanged();
    EXPECT_EQ(heard, "acc");
    doc->Subscribe(&b);
    doc->SelectionChanged();
    EXPECT_EQ(heard, "acccb");
    doc->Unsubscribe(&b);
    doc->Unsubscribe(&c);
}
