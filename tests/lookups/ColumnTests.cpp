// The Database list's columns, the listing requests, and the rebuild of "Tips" when the
// selection is captured.
#include "tests/exchange/ExchangeFixture.h"

class ColumnTest : public ExchangeTest {
protected:
    // A stored record with one highlight at the top and one in a child entry.
    CKQTreeEntry* Stored(const std::string& sysid, const std::string& highlight) {
        CKQTreeEntry* r = AddRecord(*doc, "System", sysid);
        r->SetAttr(highlight, "1", 0, 4);
        r->SetAttr("Plain", "x", 0, 1);
        r->AddSubtree()->Add("Disk")->SetAttr("Size", "10", 0, 4 | 1);
        return r;
    }
    std::vector<std::string> Keys() {
        CDbColumns c;
        doc->ChooseColumns(c);
        return c.m_keys;
    }
};

TEST_F(ColumnTest, OneColumnPerHighlightPathInOrderOfFirstAppearance) {
    CKQTreeEntry* a = Stored("A", "Speed");
    a->GetSubtree()->Add("Net")->SetAttr("Mbit", "100", 0, 4);
    Stored("B", "Speed");
    Stored("C", "Clock");
    CDbColumns c;
    doc->ChooseColumns(c);
    EXPECT_EQ(c.m_keys, (std::vector<std::string>{"System~Speed", "System~Disk~Size",
                                                  "System~Net~Mbit", "System~Clock"}));
    EXPECT_EQ(c.m_captions, (std::vector<std::string>{"Speed", "Disk~Size", "Net~Mbit", "Clock"}));
    EXPECT_EQ(c.m_numeric, (std::vector<uint8_t>{0, 1, 0, 0}));
    EXPECT_EQ(c.GetCount(), 4);
}

TEST_F(ColumnTest, OnlyTheFirstTenCountedRecordsGiveColumnsAndDeletedOnesAreNotCounted) {
    for (int i = 1; i <= 12; ++i)
        Stored("R" + std::to_string(i), i > 10 ? "H" + std::to_string(i) : "Speed");
    std::vector<std::string> keys = Keys();
    EXPECT_EQ(std::count(keys.begin(), keys.end(), "System~H11"), 0);
    EXPECT_EQ(keys.size(), 2u);

    // Deleting the third record lets the eleventh be counted as the tenth.
    doc->Database().DeleteRecord(doc->KeyForSysid("R3"));  // no file: no stream to destroy
    keys = Keys();
    EXPECT_EQ(std::count(keys.begin(), keys.end(), "System~H11"), 1);
    EXPECT_EQ(std::count(keys.begin(), keys.end(), "System~H12"), 0);

    // A cached record marked deleted whose directory entry is still there is passed over too.
    auto* r1 = static_cast<CRecordEntry*>(doc->Database().LoadedRecord("R1"));
    r1->SetDeleted();
    keys = Keys();
    EXPECT_EQ(std::count(keys.begin(), keys.end(), "System~H12"), 1);
}

TEST_F(ColumnTest, AnalyzerBranchesAreLeftOutOfCaptionsButNotKeys) {
    Load({"Ten"});
    // The mirror of this machine heads the directory now: Ten -> Item (Speed highlighted).
    CDbColumns c;
    doc->ChooseColumns(c);
    ASSERT_GE(c.GetCount(), 1);
    EXPECT_EQ(c.m_keys[0], "Ten~Item~Speed");
    EXPECT_EQ(c.m_captions[0], "Item~Speed");
    EXPECT_EQ(c.m_numeric[0], 1);

    CKQTreeEntry* r = AddRecord(*doc, "Box", "BOX");
    r->SetAttr("SysName", "BOX", 0, 0);
    r->AddSubtree()->Add("Ten")->AddSubtree()->Add("Part")->SetAttr("Kind", "k", 0, 4);
    doc->ChooseColumns(c);
    EXPECT_EQ(c.m_keys.back(), "Box~Ten~Part~Kind");
    EXPECT_EQ(c.m_captions.back(), "Part~Kind");
}

TEST_F(ColumnTest, RecordsOnlyOnDiskAreScannedAndListed) {
    AddMirror(*doc, "System", "MIRROR");
    Stored("A", "Speed");
    ASSERT_TRUE(doc->OnSaveDocument(Path("db.kqd")));
    CAppState app2;
    FakeFrame frame2;
    CQuillo95Doc other(app2, frame2);
    ASSERT_TRUE(other.OnOpenDocument(Path("db.kqd")));
    CDbColumns c;
    other.ChooseColumns(c);
    EXPECT_EQ(c.m_keys, (std::vector<std::string>{"System~Speed", "System~Disk~Size"}));

    // One listing request per record in directory order, then the end request.
    other.QueueListing();
    ASSERT_EQ(other.Database().Requests().size(), 3u);
    EXPECT_EQ(other.Database().Requests()[0].sysid(), "MIRROR");
    EXPECT_EQ(other.Database().Requests()[1].sysid(), "A");
}

TEST_F(ColumnTest, CapturingTheSelectionRebuildsTips) {
    Load({"Ten"});
    CKQTreeEntry* r = AddRecord(*doc, "Ten", "OTHER");
    r->AddTip(80, 7, 8);
    r->AddTip(0, 9, 10);
    const int k = doc->KeyForSysid("OTHER");
    CKQTreeEntry* top = doc->SystemTree().GetHead();
    ASSERT_NE(top, nullptr);
    auto tips = [&]() -> const CRepDef* {
        for (const CRepDef& d : top->m_repDefs)
            if (d.m_name == "Tips") return &d;
        return nullptr;
    };
    doc->OnPanesInitialised({k});
    ASSERT_NE(tips(), nullptr);
    ASSERT_EQ(tips()->GetItemCount(), 2);
    // A stored record keeps no KQAID: its entry's name comes first.
    EXPECT_EQ(tips()->m_items[1].m_text, "Ten~^10 7 8");
    doc->OnSelectionCaptured({});
    EXPECT_EQ(tips()->GetItemCount(), 1);
}
