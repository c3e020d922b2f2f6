// Memory running out: tree operations answer their failure value and change nothing.
#include <gtest/gtest.h>

#include "tests/support/FailingNew.h"
#include "tree/KQTree.h"

namespace {
template <class F>
bool WithFailingAllocation(F f) {
    return failing_new::FailAfter(0, f);
}
}  // namespace

TEST(TreeAllocTest, FailuresAreAnsweredNotThrown) {
    CKQTree tree;
    CKQTreeEntry* e = tree.Add("a");
    CKQTreeEntry* result = e;
    EXPECT_TRUE(WithFailingAllocation([&] { result = tree.Add("b"); }));
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(tree.GetCount(), 1);

    // The entry is made but the list cannot grow: the entry must go, the list stay.
    EXPECT_TRUE(failing_new::FailAfter(1, [&] { result = tree.InsertHead("second"); }));
    EXPECT_EQ(result, nullptr);
    ASSERT_EQ(tree.GetCount(), 1);
    EXPECT_EQ(tree.GetHead(), e);

    CKQTree* made = nullptr;
    EXPECT_TRUE(WithFailingAllocation([&] { made = e->AddSubtree(); }));
    EXPECT_EQ(made, nullptr);
    EXPECT_EQ(e->GetSubtree(), nullptr);

    int index = 0;
    EXPECT_TRUE(WithFailingAllocation([&] { index = e->SetAttr("Speed", "v", 0, 0); }));
    EXPECT_LT(index, 0);
    EXPECT_EQ(e->GetAttrCount(), 0);

    int tip = 1;
    EXPECT_TRUE(WithFailingAllocation([&] { tip = e->AddTip(50, 1, 2); }));
    EXPECT_EQ(tip, 0);
    EXPECT_EQ(e->GetTipCount(), 0);

    EXPECT_EQ(e->AddReportDef("First", RDTYPE_REPORT), 0);
    int def = 0;
    EXPECT_TRUE(WithFailingAllocation([&] { def = e->AddReportDef("Second", RDTYPE_REPORT); }));
    EXPECT_EQ(def, -1);
    EXPECT_EQ(e->GetRepDefCount(), 1);
    // The definition named before is still the current one.
    EXPECT_EQ(e->AddReportItem("item", 3), 0);
    EXPECT_EQ(e->GetRepDefPtr(0)->GetItemCount(), 1);
}
