// Memory running out while headings are inserted ends the pass quietly.
#include <gtest/gtest.h>

#include "tests/reports/ReportFixture.h"
#include "tests/support/FailingNew.h"

namespace {

using HeadingsFailureTest = ReportFixture;

TEST_F(HeadingsFailureTest, HeadingsMadeBeforeTheFailureStay) {
    CKQTreeEntry* top = AddTop("System");
    AddAnalyzer(10, "System", top);
    AddAnalyzer(20, "CPU", top->AddSubtree()->Add("CPU"));
    AddAnalyzer(30, "Disk", top->AddSubtree()->Add("Disk"));

    // Room for exactly one heading: the second insertion must grow the array and fails.
    CRepDef def("R", RDTYPE_REPORT);
    def.m_items.reserve(4);
    def.AppendReportItem(10, "A");
    def.AppendReportItem(20, "B");
    def.AppendReportItem(30, "C");

    ASSERT_TRUE(failing_new::FailAfter(0, [&] { doc->AddReportHeadings(def); }))
        << "no allocation was attempted";
    EXPECT_EQ(ItemsOf(&def), (Items{{"A", 10}, {"~ CPU", 20}, {"B", 20}, {"C", 30}}));

    // With memory back, the same items get every heading.
    CRepDef again("R", RDTYPE_REPORT);
    again.AppendReportItem(10, "A");
    again.AppendReportItem(20, "B");
    again.AppendReportItem(30, "C");
    doc->AddReportHeadings(again);
    EXPECT_EQ(ItemsOf(&again),
              (Items{{"A", 10}, {"~ CPU", 20}, {"B", 20}, {"~ Disk", 30}, {"C", 30}}));
}

}  // namespace
