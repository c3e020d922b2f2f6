// Which attributes of an entry the modules mark as figures that history compares.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <regex>
#include <string>

#include "analyzers/KQAnalyzer.h"

// Each DATA_MEASURED attribute with its two history bits. Fails the calling test when such a
// figure has no "<id> Spread" beside it, or when a spread is anything but a plain "<n.n> %"
// text with data word 0 (a chart or report would take it for a figure).
inline std::map<std::string, uint32_t> MeasuredFigures(const CKQTreeEntry* e) {
    std::map<std::string, uint32_t> out;
    if (!e) return out;
    const std::regex percent("[0-9]+\\.[0-9] %");
    for (const CAttr& a : e->m_attrs) {
        if (a.m_id.ends_with(" Spread")) {
            EXPECT_EQ(a.m_data, 0u) << a.m_id;
            EXPECT_TRUE(std::regex_match(a.m_value, percent)) << a.m_id << " = " << a.m_value;
            continue;
        }
        if ((a.m_data & DATA_MEASURED) == 0) {
            // "Lower is better" only on a measured figure.
            EXPECT_EQ(a.m_data & DATA_LOWER_BETTER, 0u) << a.m_id;
            continue;
        }
        EXPECT_NE(a.m_data & DATA_NUMERIC, 0u) << a.m_id;
        EXPECT_GE(e->FindAttr(a.m_id + " Spread"), 0) << a.m_id;
        out[a.m_id] = a.m_data & (DATA_MEASURED | DATA_LOWER_BETTER);
    }
    return out;
}

constexpr uint32_t kMeasured = DATA_MEASURED;
constexpr uint32_t kLowerBetter = DATA_MEASURED | DATA_LOWER_BETTER;
