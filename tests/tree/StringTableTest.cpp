#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>

#include "resources/Strings.h"

namespace {

struct Def {
    unsigned id;
    const char* text;
};

// The same files the table is built from: an id given twice would hide one text.
const Def kAll[] = {
#include "resources/strings_core.inc"
#include "resources/strings_exchange.inc"
#include "resources/strings_panes.inc"
#include "resources/strings_shell.inc"
};

// A number no string of the table bears.
constexpr KQStringId kNoSuchString = static_cast<KQStringId>(3);

}  // namespace

TEST(StringTableTest, IdsAreUniqueAcrossAllAreas) {
    std::set<unsigned> seen;
    for (const Def& d : kAll) EXPECT_TRUE(seen.insert(d.id).second) << "id " << d.id << " twice";
}

TEST(StringTableTest, LoadsByNumber) {
    EXPECT_EQ(LoadKQString(IDS_HIGHLIGHTS), "Highlights");
    EXPECT_EQ(LoadKQString(IDS_DATABASE_FILE), "Quillo97.kqd");
    EXPECT_EQ(LoadKQString(IDS_LOADING_ANALYZER), "Loading analyzer ");  // trailing blank kept
    EXPECT_EQ(LoadKQString(IDS_APP_TITLE), "Quillon 97");
    EXPECT_TRUE(HasKQString(IDS_TIPS_HEADING));
    EXPECT_FALSE(HasKQString(kNoSuchString));
    EXPECT_EQ(LoadKQString(kNoSuchString), "");
}

TEST(StringTableTest, SubstitutesPercentOneAndTwo) {
    EXPECT_EQ(FormatKQString(IDS_ANALYZER_VERSION_FMT, "CPU", "1.2"), "CPU version 1.2");
    EXPECT_EQ(FormatKQString(IDS_ERR_SYSID_TOO_LONG, "Box", "3"),
              "Error 1011: Sysid Box is 3 characters too long.");
    // One pass: an argument holding "%2" is not substituted again.
    EXPECT_EQ(SubstituteArgs("%1 and %2", "%2", "x"), "%2 and x");
    EXPECT_EQ(SubstituteArgs("%1%1%3%", "a", "b"), "aa%3%");
    EXPECT_EQ(FormatKQString(kNoSuchString, "a", "b"), "");
}

TEST(StringTableTest, PrintfFormats) {
    EXPECT_EQ(KQFormat(LoadKQString(IDS_FMT_VERSION_NUMBER).c_str(), 102u / 100, 102u % 100),
              "1.2");
    EXPECT_EQ(KQFormat(LoadKQString(IDS_FMT_VERSION_NUMBER).c_str(), 7u / 100, 7u % 100), "0.7");
    EXPECT_EQ(KQFormat(LoadKQString(IDS_REG_REC_SELECTED_FMT).c_str(), 3u), "RecSelected03");
    EXPECT_EQ(KQFormat(LoadKQString(IDS_REG_REC_SELECTED_FMT).c_str(), 123u), "RecSelected123");
    EXPECT_EQ(KQFormat(LoadKQString(IDS_AT_LINE_FMT).c_str(), 42u), " at line 42.");
    const std::string hex = KQFormat(LoadKQString(IDS_FMT_HEX_WIDTH).c_str(), 8u);
    EXPECT_EQ(hex, "%08x");
    EXPECT_EQ(KQFormat(hex.c_str(), 0xabu), "000000ab");
    EXPECT_EQ(KQFormat(LoadKQString(IDS_FMT_TIP_REFERENCE).c_str(), 10u, 1101, -5), "^10 1101 -5");
    EXPECT_EQ(KQFormat("%s", ""), "");
    const std::string longText(5000, 'x');
    EXPECT_EQ(KQFormat("<%s>", longText.c_str()), "<" + longText + ">");
}

// The header of names: one name per number and one number per name, and a text behind every
// name, so that no call site can name a string the table lacks.
TEST(StringTableTest, EveryNamedIdIsOneNumberWithAText) {
    std::ifstream header(QUILLON_SOURCE_DIR "/resources/StringIds.h");
    ASSERT_TRUE(header.is_open());
    const std::regex entry(R"(^\s*(IDS_\w+)\s*=\s*(\d+)\s*,)");
    std::map<std::string, unsigned> byName;
    std::map<unsigned, std::string> byNumber;
    std::string line;
    while (std::getline(header, line)) {
        std::smatch m;
        if (!std::regex_search(line, m, entry)) continue;
        const unsigned id = static_cast<unsigned>(std::stoul(m[2]));
        EXPECT_TRUE(byName.emplace(m[1], id).second) << m[1] << " named twice";
        EXPECT_TRUE(byNumber.emplace(id, m[1]).second)
            << id << " has two names: " << byNumber[id] << " and " << m[1];
        EXPECT_TRUE(HasKQString(static_cast<KQStringId>(id))) << m[1] << " has no text";
    }
    EXPECT_GT(byName.size(), 100u);
    for (const Def& d : kAll)
        EXPECT_EQ(byNumber.count(d.id), 1u) << "string " << d.id << " unnamed";
}
