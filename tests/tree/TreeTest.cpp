#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tree/KQTree.h"

namespace {

// An entry class of its own, as the database's record entries are, counting its lives.
struct CountedEntry : CKQTreeEntry {
    static inline int alive = 0;
    explicit CountedEntry(const std::string& key) : CKQTreeEntry(key) { ++alive; }
    ~CountedEntry() override { --alive; }
    static CKQTreeEntry* Make(const std::string& key) { return new CountedEntry(key); }
};

class TreeTest : public ::testing::Test {
protected:
    void SetUp() override { CountedEntry::alive = 0; }
};

std::vector<std::string> Keys(const CKQTree& tree) {
    std::vector<std::string> keys;
    for (CKQTreeEntry* e : tree) keys.push_back(e->GetKey());
    return keys;
}

}  // namespace

TEST_F(TreeTest, FactoryMakesEntriesAtEveryDepth) {
    CKQTree tree(&CountedEntry::Make);
    CKQTreeEntry* top = tree.Add("Top");
    ASSERT_NE(top, nullptr);
    CKQTree* sub = top->AddSubtree();
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->GetFactory(), &CountedEntry::Make);
    CKQTreeEntry* child = sub->Add("Child");
    CKQTreeEntry* grandchild = child->AddSubtree()->InsertHead("Grandchild");
    EXPECT_NE(dynamic_cast<CountedEntry*>(top), nullptr);
    EXPECT_NE(dynamic_cast<CountedEntry*>(child), nullptr);
    EXPECT_NE(dynamic_cast<CountedEntry*>(grandchild), nullptr);
    EXPECT_EQ(CountedEntry::alive, 3);

    EXPECT_EQ(grandchild->GetParentEntry(), child);
    EXPECT_EQ(child->GetParentEntry(), top);
    EXPECT_EQ(top->GetParentEntry(), nullptr);

    // A loose entry (a temporary record root) gets its subtrees' class from its own setting.
    CountedEntry loose("Loose");
    loose.SetSubtreeFactory(&CountedEntry::Make);
    EXPECT_NE(dynamic_cast<CountedEntry*>(loose.AddSubtree()->Add("x")), nullptr);
    CKQTreeEntry plain("Plain");
    EXPECT_EQ(dynamic_cast<CountedEntry*>(plain.AddSubtree()->Add("y")), nullptr);
}

TEST_F(TreeTest, AChangedFactoryServesLaterEntriesAndSubtrees) {
    CKQTree tree;
    CKQTreeEntry* plain = tree.Add("plain");
    tree.SetFactory(&CountedEntry::Make);
    CKQTreeEntry* counted = tree.Add("counted");
    EXPECT_EQ(dynamic_cast<CountedEntry*>(plain), nullptr);
    EXPECT_NE(dynamic_cast<CountedEntry*>(counted), nullptr);
    EXPECT_NE(dynamic_cast<CountedEntry*>(plain->AddSubtree()->Add("x")), nullptr);

    // A factory that makes nothing: Add fails and the list is left as it was.
    tree.SetFactory([](const std::string&) -> CKQTreeEntry* { return nullptr; });
    EXPECT_EQ(tree.Add("refused"), nullptr);
    EXPECT_EQ(tree.InsertHead("refused"), nullptr);
    EXPECT_EQ(tree.GetCount(), 2);
    EXPECT_EQ(CountedEntry::alive, 2);
}

TEST_F(TreeTest, AddAppendsAndInsertHeadPrepends) {
    CKQTree tree;
    EXPECT_TRUE(tree.IsEmpty());
    EXPECT_EQ(tree.GetHead(), nullptr);
    tree.Add("b");
    tree.Add("c");
    tree.InsertHead("a");
    tree.Add("b");  // keys need not be unique
    EXPECT_EQ(Keys(tree), (std::vector<std::string>{"a", "b", "c", "b"}));
    EXPECT_EQ(tree.GetCount(), 4);
    EXPECT_EQ(tree.GetAt(4), nullptr);
    EXPECT_EQ(tree.GetAt(-1), nullptr);
    EXPECT_EQ(tree.Find("b"), tree.GetAt(1));
    EXPECT_EQ(tree.Find("z"), nullptr);
    EXPECT_EQ(tree.IndexOf(tree.GetAt(2)), 2);
    EXPECT_EQ(tree.GetAt(0)->GetOwner(), &tree);
}

TEST_F(TreeTest, RemovingEntriesDeletesTheirSubtrees) {
    auto tree = std::make_unique<CKQTree>(&CountedEntry::Make);
    CKQTreeEntry* a = tree->Add("a");
    CKQTreeEntry* b = tree->Add("b");
    a->AddSubtree()->Add("a1")->AddSubtree()->Add("a11");
    b->AddSubtree()->Add("b1");
    EXPECT_EQ(CountedEntry::alive, 5);

    EXPECT_TRUE(tree->Remove(a));
    EXPECT_EQ(CountedEntry::alive, 2);
    EXPECT_EQ(Keys(*tree), std::vector<std::string>{"b"});

    // An entry of another tree is not touched.
    CKQTree other(&CountedEntry::Make);
    CKQTreeEntry* stranger = other.Add("s");
    EXPECT_FALSE(tree->Remove(stranger));
    EXPECT_EQ(other.GetHead(), stranger);
    EXPECT_EQ(CountedEntry::alive, 3);

    b->DeleteSubtree();
    EXPECT_EQ(b->GetSubtree(), nullptr);
    EXPECT_EQ(CountedEntry::alive, 2);

    b->AddSubtree()->Add("b2")->AddSubtree()->Add("b21");
    tree->RemoveAll();
    EXPECT_TRUE(tree->IsEmpty());
    EXPECT_EQ(CountedEntry::alive, 1);  // only the stranger

    tree->Add("c")->AddSubtree()->Add("c1");
    tree.reset();
    EXPECT_EQ(CountedEntry::alive, 1);
}

TEST_F(TreeTest, AddSubtreeKeepsAnExistingSubtree) {
    CKQTree tree;
    CKQTreeEntry* e = tree.Add("e");
    CKQTree* sub = e->AddSubtree();
    sub->Add("kept");
    EXPECT_EQ(e->AddSubtree(), sub);
    EXPECT_EQ(sub->GetCount(), 1);
    EXPECT_EQ(sub->GetParent(), e);
}

TEST_F(TreeTest, SetAttrReplacesByIdentifierElseAppends) {
    CKQTreeEntry e("e");
    EXPECT_EQ(e.SetAttr("Speed", "100", 7, 1), 0);
    EXPECT_EQ(e.SetAttr("Name", "Box", 8, 4), 1);
    EXPECT_EQ(e.SetAttr("Speed", "200", 9, 5), 0);
    EXPECT_EQ(e.GetAttrCount(), 2);
    const CAttr* a = e.GetAttr(0);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->GetID(), "Speed");
    EXPECT_EQ(a->m_value, "200");
    EXPECT_EQ(a->m_type, 9);
    EXPECT_EQ(a->m_data, 5u);
    EXPECT_EQ(e.GetAttrValue("Name"), "Box");
    EXPECT_EQ(e.GetAttrValue(1), "Box");
    EXPECT_EQ(e.GetAttrID(1), "Name");

    EXPECT_LT(e.SetAttr("", "x", 0, 0), 0);
    EXPECT_EQ(e.GetAttrCount(), 2);
    // Identifiers compare exactly; an empty value is still a value.
    EXPECT_EQ(e.SetAttr("speed", "", 0, 0), 2);
    EXPECT_EQ(e.FindAttr("speed"), 2);

    EXPECT_EQ(e.GetAttrValue("Missing"), "");
    EXPECT_EQ(e.GetAttr(3), nullptr);
    EXPECT_EQ(e.GetAttr(-1), nullptr);
    EXPECT_EQ(e.GetAttrID(3), "");
    EXPECT_EQ(e.GetAttrValue(3), "");
}

TEST_F(TreeTest, AddTipReplacesTheTipOfTheSameTextID) {
    CKQTreeEntry e("e");
    EXPECT_EQ(e.AddTip(-1, 1101, 2101), 1);
    EXPECT_EQ(e.AddTip(80, 500, 600), 2);
    // Generating tips again must not pile up copies: the 1101 note becomes the new one.
    EXPECT_EQ(e.AddTip(-1, 1101, 2102), 1);
    EXPECT_EQ(e.AddTip(50, 500, 601), 2);
    ASSERT_EQ(e.GetTipCount(), 2);
    int32_t text = 0, desc = 0;
    ASSERT_TRUE(e.GetTipResIDs(0, text, desc));
    EXPECT_EQ(text, 1101);
    EXPECT_EQ(desc, 2102);
    EXPECT_EQ(e.GetTipPriority(1), 50);
    EXPECT_EQ(e.GetTip(1)->m_descID, 601);

    EXPECT_EQ(e.RemoveTip(1101), 1);
    EXPECT_EQ(e.RemoveTip(1101), 0);
    ASSERT_EQ(e.GetTipCount(), 1);
    EXPECT_EQ(e.GetTip(0)->m_textID, 500);

    EXPECT_FALSE(e.GetTipResIDs(1, text, desc));
    EXPECT_EQ(e.GetTip(1), nullptr);
    EXPECT_EQ(e.GetTipPriority(5), 0);
}

TEST_F(TreeTest, ReportDefinitionsAreFoundByNameAndType) {
    CKQTreeEntry e("e");
    EXPECT_EQ(e.AddReportItem("orphan", 1), -1);  // no definition named yet

    EXPECT_EQ(e.AddReportDef("Highlights", RDTYPE_REPORT), 0);
    EXPECT_EQ(e.AddReportDef("All Details", RDTYPE_REPORT), 1);
    EXPECT_EQ(e.AddReportDef("Highlights", RDTYPE_CHART), 2);  // same name, other type
    EXPECT_EQ(e.AddReportDef("Highlights", RDTYPE_REPORT), 0);
    EXPECT_EQ(e.GetRepDefCount(), 3);

    // Items go to the definition last named.
    EXPECT_EQ(e.AddReportItem("a", 5), 0);
    EXPECT_EQ(e.AddReportItem("b", 6), 1);
    EXPECT_EQ(e.AddReportDef("All Details", RDTYPE_REPORT), 1);
    EXPECT_EQ(e.AddReportItem("c", 7), 0);
    EXPECT_EQ(e.GetRepDefPtr(0)->GetItemCount(), 2);
    EXPECT_EQ(e.GetRepDefPtr(1)->m_items[0].m_text, "c");
    EXPECT_EQ(e.GetRepDefPtr(1)->m_items[0].m_kqaid, 7);

    // Emptying one definition leaves the others and makes it the current one.
    EXPECT_EQ(e.EmptyReportDef("Highlights", RDTYPE_REPORT), 1);
    EXPECT_EQ(e.GetRepDefPtr(0)->GetItemCount(), 0);
    EXPECT_EQ(e.GetRepDefPtr(1)->GetItemCount(), 1);
    EXPECT_EQ(e.AddReportItem("d", 8), 0);
    EXPECT_EQ(e.GetRepDefPtr(0)->m_items[0].m_text, "d");

    // Emptying a definition that is not there changes nothing and refuses later items.
    EXPECT_EQ(e.EmptyReportDef("Tips", RDTYPE_REPORT), 0);
    EXPECT_EQ(e.GetRepDefCount(), 3);
    EXPECT_EQ(e.AddReportItem("e", 9), -1);
    EXPECT_EQ(e.GetRepDefPtr(0)->GetItemCount(), 1);

    EXPECT_EQ(e.GetRepDefPtr(3), nullptr);
    EXPECT_EQ(e.GetRepDefPtr(-1), nullptr);
    EXPECT_EQ(e.GetRepDefPtr(2)->GetName(), "Highlights");
    EXPECT_EQ(e.GetRepDefPtr(2)->GetType(), RDTYPE_CHART);
}

TEST_F(TreeTest, InsertReportItemInsertsBeforeThePosition) {
    CRepDef def("R", RDTYPE_REPORT);
    def.AppendReportItem(1, "a");
    def.AppendReportItem(2, "c");
    EXPECT_EQ(def.InsertReportItem(1, 9, "b"), 1);
    EXPECT_EQ(def.InsertReportItem(0, 9, "head"), 0);
    EXPECT_EQ(def.InsertReportItem(4, 9, "tail"), 4);   // at the end: appended
    EXPECT_EQ(def.InsertReportItem(99, 9, "past"), 5);  // past the end: appended
    EXPECT_EQ(def.InsertReportItem(-3, 9, "neg"), 0);
    std::vector<std::string> texts;
    for (const CRepItem& item : def.m_items) texts.push_back(item.m_text);
    EXPECT_EQ(texts, (std::vector<std::string>{"neg", "head", "a", "b", "c", "tail", "past"}));
    EXPECT_EQ(def.m_items[3].m_kqaid, 9);
    EXPECT_EQ(def.m_items[4].m_kqaid, 2);
}

TEST_F(TreeTest, RepDefNamedValues) {
    CKQTreeEntry e("e");
    CRepDef* chart = e.GetRepDefPtr(e.AddReportDef("Speed", RDTYPE_CHART));
    ASSERT_NE(chart, nullptr);
    EXPECT_EQ(chart->GetAttrValue("Units"), "");
    chart->SetAttrValue("Units", "MB/s");
    chart->SetAttrValue("Units", "KB/s");
    EXPECT_EQ(e.GetRepDefPtr(0)->GetAttrValue("Units"), "KB/s");
    EXPECT_EQ(chart->GetAttrValue("units"), "");
}

TEST_F(TreeTest, EffectiveKQAIDComesFromTheNearestEntryThatHasOne) {
    CKQTree tree;
    CKQTreeEntry* top = tree.Add("System");
    top->m_kqaid = 10;
    CKQTreeEntry* plain = top->AddSubtree()->Add("Group");
    CKQTreeEntry* cpu = plain->AddSubtree()->Add("CPU");
    cpu->m_kqaid = 20;
    CKQTreeEntry* cache = cpu->AddSubtree()->Add("Cache");
    EXPECT_EQ(plain->GetEffectiveKQAID(), 10);
    EXPECT_EQ(cache->GetEffectiveKQAID(), 20);
    CKQTreeEntry loose("loose");
    EXPECT_EQ(loose.GetEffectiveKQAID(), 0);
}

TEST(ItemPathTest, GetNodeIDSplitsOffOneNodeAtATime) {
    std::string path = "CPU~Cache~Size";
    std::vector<std::string> nodes;
    while (!path.empty()) nodes.push_back(GetNodeID(path));
    EXPECT_EQ(nodes, (std::vector<std::string>{"CPU", "Cache", "Size"}));

    path = "Alone";
    EXPECT_EQ(GetNodeID(path), "Alone");
    EXPECT_EQ(path, "");

    path = "~Heading";
    EXPECT_EQ(GetNodeID(path), "");
    EXPECT_EQ(path, "Heading");

    path = "a~~b";
    EXPECT_EQ(GetNodeID(path), "a");
    EXPECT_EQ(GetNodeID(path), "");
    EXPECT_EQ(path, "b");

    path = "";
    EXPECT_EQ(GetNodeID(path), "");
    EXPECT_EQ(path, "");
}

TEST(ItemPathTest, ReplaceSepIDsReplacesEverySeparator) {
    EXPECT_EQ(ReplaceSepIDs("~ Tips", ' '), "  Tips");
    EXPECT_EQ(ReplaceSepIDs("CPU~Cache~Size", ' '), "CPU Cache Size");
    EXPECT_EQ(ReplaceSepIDs("plain", ' '), "plain");
    EXPECT_EQ(ReplaceSepIDs("a~b", '.'), "a.b");
}
