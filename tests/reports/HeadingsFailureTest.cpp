// Memory running out while headings are inserted ends the pass quietly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "tests/reports/ReportFixture.h"

namespace {
// Allocations left before the next one fails; negative = never fail.
int g_allocationsLeft = -1;
}  // namespace

void* operator new(std::size_t size) {
    if (g_allocationsLeft == 0) {
        g_allocationsLeft = -1;
        throw std::bad_alloc();
    }
    if (g_allocationsLeft > 0) --g_allocationsLeft;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return ::operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }

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

    g_allocationsLeft = 0;
    doc->AddReportHeadings(def);
    const bool failed = g_allocationsLeft == -1;
    g_allocationsLeft = -1;
    ASSERT_TRUE(failed) << "no allocation was attempted";
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
