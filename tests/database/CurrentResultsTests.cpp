// The mirror of the current system, snapshots, deep copy and values by item path.
#include "tests/database/DbFixture.h"
#include "tests/support/DocTestPeer.h"

namespace {

using CurrentResults = DbTest;

CRecordEntry* Mirror(CResultsDatabase& db) { return db.GetRecord(db.RecordSysid(0)); }

}  // namespace

TEST_F(CurrentResults, LoadingTheAnalyzersMakesTheMirrorAtPositionZero) {
    Load({"Ten"});
    ASSERT_EQ(Db().Directory(), (std::vector<std::string>{"BOX-10"}));
    CRecordEntry* mirror = Mirror(Db());
    ASSERT_NE(mirror, nullptr);
    EXPECT_EQ(mirror, Db().Cache().GetHead());
    EXPECT_EQ(mirror->m_key, "Ten");
    EXPECT_TRUE(mirror->IsCurrent());
    EXPECT_EQ(mirror->InUse(), 1);
    EXPECT_TRUE(mirror->IsChanged());
    EXPECT_EQ(mirror->GetTipCount(), 0);  // the first refresh leaves tips out
    EXPECT_TRUE(doc->IsModified());
    // Unique IDs are the dotted paths, copied into the mirror.
    CKQTreeEntry* item = Child(Branch(10), "Item");
    EXPECT_EQ(Branch(10)->GetUniqueID(), ".Ten");
    EXPECT_EQ(item->GetUniqueID(), ".Ten.Item");
    EXPECT_EQ(Child(item, "Deep")->GetUniqueID(), ".Ten.Item.Deep");
    EXPECT_EQ(Child(Child(mirror, "Item"), "Deep")->GetUniqueID(), ".Ten.Item.Deep");
    EXPECT_EQ(Child(mirror, "Item")->GetAttr(0)->m_type, 3);  // type words are copied
    EXPECT_EQ(mirror->GetRepDefCount(), 0);                   // report definitions are not
    EXPECT_TRUE(doc->RefreshCurrentResults(false));           // known now
}

TEST_F(CurrentResults, TipsAreCopiedOnlyWhenAsked) {
    Load({"Ten"});
    CKQTreeEntry* branch = Branch(10);
    branch->RemoveAllTips();
    branch->AddTip(70, 1, 2);
    doc->RefreshCurrentResults(true);
    CRecordEntry* mirror = Mirror(Db());
    ASSERT_EQ(mirror->GetTipCount(), 1);
    branch->RemoveAllTips();
    branch->AddTip(90, 5, 6);
    doc->RefreshCurrentResults(false);
    ASSERT_EQ(mirror->GetTipCount(), 1);
    EXPECT_EQ(mirror->GetTip(0)->m_textID, 1);
    doc->RefreshCurrentResults(true);
    ASSERT_EQ(mirror->GetTipCount(), 1);
    EXPECT_EQ(mirror->GetTip(0)->m_textID, 5);
}

TEST_F(CurrentResults, AChangedIdentifierStartsANewMirrorAndTheOldKeepsItsData) {
    Load({"Ten"});
    CKQTreeEntry* branch = Branch(10);
    branch->SetAttr("Model", "first", 0, 0);
    doc->RefreshCurrentResults(true);
    branch->GetAttr(0)->m_value = "BOX-NEW";
    branch->SetAttr("Model", "second", 0, 0);
    EXPECT_FALSE(doc->RefreshCurrentResults(true));
    EXPECT_EQ(Db().Directory(), (std::vector<std::string>{"BOX-NEW", "BOX-10"}));
    EXPECT_EQ(Db().GetRecord("BOX-10")->GetAttrValue("Model"), "first");
    EXPECT_EQ(Db().GetRecord("BOX-NEW")->GetAttrValue("Model"), "second");
    EXPECT_EQ(Db().QueryRecord(Db().KeyForSysid("BOX-NEW")), 2);
    EXPECT_EQ(Db().QueryRecord(Db().KeyForSysid("BOX-10")), 1);
}

TEST_F(CurrentResults, AStoredMirrorIsRefreshedFromItsStream) {
    Load({"Ten"});
    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    doc.reset();
    doc = std::make_unique<CQuillo95Doc>(app, frame);
    view.doc = doc.get();
    doc->SetView(&view);
    ASSERT_TRUE(doc->OnOpenDocument(Path()));
    Load({"Ten"});
    EXPECT_EQ(Db().Directory(), (std::vector<std::string>{"BOX-10"}));
    CRecordEntry* mirror = Mirror(Db());
    ASSERT_NE(mirror, nullptr);
    EXPECT_TRUE(mirror->IsCurrent());
    EXPECT_TRUE(mirror->IsChanged());
}

TEST_F(CurrentResults, SaveCurrentResultsStoresASnapshotAtPositionOne) {
    Load({"Ten"});
    CDocTestPeer::SetResultsNotSaved(*doc, true);
    events.changes.clear();
    doc->SaveCurrentResults();
    ASSERT_EQ(Db().Directory().size(), 2u);
    EXPECT_EQ(Db().Directory()[1], "BOX-10+5a5a5a5a");
    const int key = Db().KeyForSysid("BOX-10+5a5a5a5a");
    EXPECT_EQ(events.changes, (std::vector<EventRecorder::Change>{{DocEvent::RecordAdded, key},
                                                                  {DocEvent::DatabaseChanged, 0}}));
    EXPECT_FALSE(doc->ResultsNotSaved());
    EXPECT_TRUE(doc->IsModified());
    CRecordEntry* snap = Db().GetRecord("BOX-10+5a5a5a5a");
    ASSERT_NE(snap, nullptr);
    EXPECT_TRUE(snap->IsChanged());
    EXPECT_FALSE(snap->IsCurrent());
    EXPECT_EQ(snap->GetAttrID(0), "SysName");
    EXPECT_EQ(Mirror(Db())->GetAttrValue(0), "BOX-10");  // the mirror keeps its identifier
    EXPECT_EQ(snap->GetAttrValue("Properties"), "1");    // copied after the dialog

    // Twice in one second: the newer one comes first, both kept.
    doc->SaveCurrentResults();
    ASSERT_EQ(Db().Directory().size(), 3u);
    EXPECT_NE(Db().Directory()[1], Db().Directory()[2]);
    EXPECT_EQ(Db().Directory()[2], "BOX-10+5a5a5a5a");

    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    auto again = Reopen(Path());
    CRecordEntry stored;
    ASSERT_TRUE(again->Database().LoadRecord(stored, "BOX-10+5a5a5a5a"));
    EXPECT_EQ(stored.GetAttrValue(0), "BOX-10+5a5a5a5a");
    EXPECT_EQ(Child(Child(&stored, "Item"), "Deep")->GetAttrValue("Depth"), "2");
}

TEST_F(CurrentResults, SaveCurrentResultsNeedsAPropertiesDialogThatSucceeds) {
    Load({"Five"});
    CDocTestPeer::SetResultsNotSaved(*doc, true);
    const auto before = Db().Directory();
    doc->SaveCurrentResults();
    EXPECT_EQ(Db().Directory(), before);
    EXPECT_TRUE(doc->ResultsNotSaved());
    EXPECT_FALSE(doc->PropertiesStep());
}

TEST_F(CurrentResults, APropertiesDialogWithoutChangeSavesNothing) {
    Load({"TenNoEdit"});
    CDocTestPeer::SetResultsNotSaved(*doc, true);
    const auto before = Db().Directory();
    const int cached = Db().Cache().GetCount();
    doc->SaveCurrentResults();
    EXPECT_EQ(Db().Directory(), before);
    EXPECT_EQ(Db().Cache().GetCount(), cached);
    EXPECT_TRUE(doc->ResultsNotSaved());
}

TEST_F(CurrentResults, NoIdentifierNoSnapshot) {
    Load({"Ten"});
    // A 31-character identifier leaves no room for a stamp.
    Branch(10)->GetAttr(0)->m_value = std::string(31, 'q');
    doc->SaveCurrentResults();
    EXPECT_EQ(Db().Directory(), (std::vector<std::string>{std::string(31, 'q'), "BOX-10"}));
    EXPECT_TRUE(frame.LogContains("Error 1011: Sysid " + std::string(31, 'q') +
                                  " is 2 characters too long."));
    EXPECT_EQ(Db().Cache().GetCount(), 2);
}

TEST_F(CurrentResults, DeepCopyMergesByKeyAndKeepsSiblingsApart) {
    CKQTreeEntry src("S"), dst("D");
    src.SetUniqueID(".S");
    src.SetAttr("A", "1", 7, 9);
    src.AddTip(10, 1, 2);
    src.AddReportDef("Highlights", RDTYPE_REPORT);
    CKQTree* s = src.AddSubtree();
    s->Add("Disk")->SetAttr("N", "first", 0, 0);
    s->Add("Disk")->SetAttr("N", "second", 0, 0);
    dst.SetAttr("Own", "kept", 0, 0);
    dst.AddTip(99, 9, 9);
    CQuillo95Doc::DeepCopy(dst, src, false);
    EXPECT_EQ(dst.m_key, "D");
    EXPECT_EQ(dst.GetUniqueID(), ".S");
    EXPECT_EQ(dst.GetAttrValue("Own"), "kept");
    EXPECT_EQ(dst.GetAttr(dst.FindAttr("A"))->m_type, 7);
    EXPECT_EQ(dst.GetAttr(dst.FindAttr("A"))->m_data, 9u);
    EXPECT_EQ(dst.GetTipCount(), 1);
    EXPECT_EQ(dst.GetTip(0)->m_textID, 9);
    EXPECT_EQ(dst.GetRepDefCount(), 0);
    ASSERT_EQ(dst.GetSubtree()->GetCount(), 2);
    EXPECT_EQ(dst.GetSubtree()->GetAt(0)->GetAttrValue("N"), "first");
    EXPECT_EQ(dst.GetSubtree()->GetAt(1)->GetAttrValue("N"), "second");
    // Again with tips: the children are found, not added twice.
    CQuillo95Doc::DeepCopy(dst, src, true);
    EXPECT_EQ(dst.GetSubtree()->GetCount(), 2);
    ASSERT_EQ(dst.GetTipCount(), 1);
    EXPECT_EQ(dst.GetTip(0)->m_textID, 1);
}

TEST_F(CurrentResults, ValueAtItemPath) {
    Load({"Ten"});
    std::string text;
    EXPECT_TRUE(doc->ValueAtItemPath(doc->SystemTree(), "Ten~SysName", text));
    EXPECT_EQ(text, "BOX-10");
    EXPECT_TRUE(doc->ValueAtItemPath(doc->SystemTree(), "Ten~Item~Speed", text));
    EXPECT_EQ(text, "100");
    // A node that is not this entry's key is looked for further down, whole.
    EXPECT_TRUE(doc->ValueAtItemPath(doc->SystemTree(), "Deep~Depth", text));
    EXPECT_EQ(text, "2");
    EXPECT_FALSE(doc->ValueAtItemPath(doc->SystemTree(), "Ten~Nothing", text));
    EXPECT_EQ(text, "");
    EXPECT_FALSE(doc->ValueAtItemPath(doc->SystemTree(), "Ten~Item~Model", text));
    // A tip reference asks the analyzer for the text of a priority-0 tip.
    EXPECT_TRUE(doc->ValueAtItemPath(doc->SystemTree(), "Ten~^10 3 4", text));
    EXPECT_EQ(text, "Ten tip 3 4");
    EXPECT_FALSE(doc->ValueAtItemPath(doc->SystemTree(), "Ten~^77 3 4", text));
    // The items report definitions make for an analyzer's own branch: bare identifiers and
    // bare tip references, found depth first like the lookups behind the Reports pane.
    EXPECT_TRUE(doc->ValueAtItemPath(doc->SystemTree(), "SysName", text));
    EXPECT_EQ(text, "BOX-10");
    EXPECT_TRUE(doc->ValueAtItemPath(doc->SystemTree(), "Speed", text));
    EXPECT_EQ(text, "100");
    EXPECT_TRUE(doc->ValueAtItemPath(doc->SystemTree(), "^10 3 4", text));
    EXPECT_EQ(text, "Ten tip 3 4");
    EXPECT_TRUE(doc->ValueAtItemPath(doc->SystemTree(), "~^10 3 4", text));
    EXPECT_EQ(text, "Ten tip 3 4");
    // 65546 is 10 plus 2^16: no KQAID, and it must not reach analyzer 10.
    EXPECT_FALSE(doc->ValueAtItemPath(doc->SystemTree(), "^65546 3 4", text));
    EXPECT_FALSE(doc->ValueAtItemPath(doc->SystemTree(), "Nothing", text));
    // In a stored record.
    ASSERT_TRUE(doc->OnSaveDocument(Path()));
    CKQTree records(CRecordEntry::Make);
    ASSERT_TRUE(doc->LoadSystemTree("BOX-10", *records.Add("")));
    EXPECT_TRUE(doc->ValueAtItemPath(records, "Ten~Item~Deep~Depth", text));
    EXPECT_EQ(text, "2");
}
