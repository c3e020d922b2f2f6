// The binary archive and the record and directory streams built on it.
#include <gtest/gtest.h>

#include "database/Archive.h"
#include "database/Database.h"
#include "database/RecordEntry.h"
#include "tests/database/RecordSample.h"

namespace {

std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int c : b) s.push_back(static_cast<char>(c));
    return s;
}

std::string Serialized(const CKQTreeEntry& e) {
    std::string out;
    SerializeRecord(e, out);
    return out;
}

}  // namespace

TEST(Archive, IntegersAreLittleEndian) {
    std::string out;
    CArchiveWriter w(out);
    w.WriteU16(0x0102);
    w.WriteU32(0x03040506);
    w.WriteI32(-2);
    EXPECT_EQ(out, Bytes({2, 1, 6, 5, 4, 3, 0xFE, 0xFF, 0xFF, 0xFF}));
    CArchiveReader r(out);
    uint16_t a = 0;
    uint32_t b = 0;
    int32_t c = 0;
    ASSERT_TRUE(r.ReadU16(a) && r.ReadU32(b) && r.ReadI32(c));
    EXPECT_EQ(a, 0x0102);
    EXPECT_EQ(b, 0x03040506u);
    EXPECT_EQ(c, -2);
    EXPECT_FALSE(r.ReadU8(*reinterpret_cast<uint8_t*>(&a)));
}

TEST(Archive, CountedStringLengthForms) {
    struct Case {
        size_t length;
        size_t header;
    } cases[] = {{0, 1}, {254, 1}, {255, 3}, {65533, 3}, {65534, 7}, {70000, 7}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        std::string out, s(c.length, 'q');
        CArchiveWriter(out).WriteString(s);
        ASSERT_EQ(out.size(), c.header + c.length);
        if (c.header == 3) {
            EXPECT_EQ(out.substr(0, 1), Bytes({0xFF}));
        }
        if (c.header == 7) {
            EXPECT_EQ(out.substr(0, 3), Bytes({0xFF, 0xFF, 0xFF}));
        }
        std::string back;
        CArchiveReader r(out);
        ASSERT_TRUE(r.ReadString(back));
        EXPECT_EQ(back, s);
        EXPECT_EQ(r.Remaining(), 0u);
    }
}

TEST(Archive, ArrayCountForms) {
    for (uint32_t n : {0u, 0xFFFEu, 0xFFFFu, 0x12345u}) {
        std::string out;
        CArchiveWriter(out).WriteCount(n);
        EXPECT_EQ(out.size(), n < 0xFFFF ? 2u : 6u);
        uint32_t back = 1;
        CArchiveReader r(out);
        ASSERT_TRUE(r.ReadCount(back));
        EXPECT_EQ(back, n);
    }
}

TEST(Archive, LengthsPastTheEndFail) {
    std::string back = "unchanged";
    // 32-bit length of 4 GB - 1 with three bytes behind it.
    std::string huge = Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 'a', 'b', 'c'});
    EXPECT_FALSE(CArchiveReader(huge).ReadString(back));
    EXPECT_FALSE(CArchiveReader(Bytes({5, 'a', 'b'})).ReadString(back));
    EXPECT_FALSE(CArchiveReader(Bytes({0xFF, 0x10})).ReadString(back));
    uint32_t n = 0;
    EXPECT_FALSE(CArchiveReader(Bytes({0xFF, 0xFF, 1, 2})).ReadCount(n));
}

TEST(RecordStream, ByteLayoutOfOneEntry) {
    CKQTreeEntry e("K");
    e.SetAttr("A", "v", 9, 0x0104);
    e.AddTip(-3, 7, 8);
    const std::string expected =
        Bytes({1, 0, 1, 'K', 1,    0,    1,    0,    0, 0, 1, 'A', 1, 'v', 4, 1, 0, 0, 0, 0,
               1, 0, 0, 0,   0xFD, 0xFF, 0xFF, 0xFF, 7, 0, 0, 0,   8, 0,   0, 0, 0, 0, 0, 0});
    EXPECT_EQ(Serialized(e), expected);
}

TEST(RecordStream, RoundTripKeepsEveryField) {
    CRecordEntry original;
    FillSample(original, "BOX+1", 3);
    CRecordEntry back;
    back.SetSubtreeFactory(CRecordEntry::Make);
    ASSERT_TRUE(DeserializeRecord(Serialized(original), back));
    ExpectSameRecord(original, back);
    // Children at every depth are record entries.
    ASSERT_NE(back.GetSubtree(), nullptr);
    CKQTreeEntry* disk = back.GetSubtree()->GetAt(1);
    EXPECT_NE(dynamic_cast<CRecordEntry*>(disk), nullptr);
    EXPECT_NE(dynamic_cast<CRecordEntry*>(disk->GetSubtree()->GetAt(0)), nullptr);
}

TEST(RecordStream, ChildCountZeroForNoSubtreeAndForAnEmptyOne) {
    CKQTreeEntry none("E"), empty("E");
    ASSERT_NE(empty.AddSubtree(), nullptr);
    const std::string a = Serialized(none), b = Serialized(empty);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.substr(a.size() - 4), Bytes({0, 0, 0, 0}));
    CKQTreeEntry back;
    ASSERT_TRUE(DeserializeRecord(b, back));
    EXPECT_EQ(back.GetSubtree(), nullptr);
}

TEST(RecordStream, OlderFormatsWithoutTipBlockOrDataWords) {
    // Entry format 0 (no tip block), attribute format 0 (no data word), no children.
    const std::string old = Bytes({0, 0, 1, 'K', 0, 0, 1, 0, 0, 0, 1, 'A', 1, 'v', 0, 0, 0, 0});
    CKQTreeEntry back;
    ASSERT_TRUE(DeserializeRecord(old, back));
    EXPECT_EQ(back.m_key, "K");
    ASSERT_EQ(back.GetAttrCount(), 1);
    EXPECT_EQ(back.GetAttrValue("A"), "v");
    EXPECT_EQ(back.GetAttr(0)->m_data, 0u);
    EXPECT_EQ(back.GetTipCount(), 0);
}

TEST(RecordStream, EveryTruncationIsAFailedRead) {
    CKQTreeEntry original;
    FillSample(original, "BOX+2");
    const std::string full = Serialized(original);
    for (size_t n = 0; n < full.size(); ++n) {
        CKQTreeEntry back;
        ASSERT_FALSE(DeserializeRecord(full.substr(0, n), back)) << n;
    }
}

TEST(RecordStream, DamagedCountsAreFailedReadsNotAllocations) {
    CKQTreeEntry e("K");
    e.SetAttr("A", "v", 0, 0);
    const std::string good = Serialized(e);
    auto patch = [&](size_t at, std::initializer_list<int> b) {
        std::string s = good;
        s.replace(at, b.size(), Bytes(b));
        return s;
    };
    CKQTreeEntry back;
    EXPECT_FALSE(DeserializeRecord(patch(6, {0xFF, 0xFF, 0xFF, 0x7F}), back));  // attributes
    EXPECT_FALSE(DeserializeRecord(patch(6, {0xFF, 0xFF, 0xFF, 0xFF}), back));  // negative
    const size_t tips = good.size() - 8;
    EXPECT_FALSE(DeserializeRecord(patch(tips, {0xFF, 0xFF, 0xFF, 0x7F}), back));
    const size_t kids = good.size() - 4;
    EXPECT_FALSE(DeserializeRecord(patch(kids, {0xFF, 0xFF, 0xFF, 0xFF}), back));
    EXPECT_FALSE(DeserializeRecord(patch(kids, {1, 0, 0, 0}), back));  // child missing
    // An attribute without an ID cannot come from a tree.
    EXPECT_FALSE(DeserializeRecord(Bytes({1, 0, 1, 'K', 1, 0, 1, 0, 0, 0, 0, 1, 'v', 0,
                                          0, 0, 0, 0,   0, 0, 0, 0, 0, 0, 0, 0, 0}),
                                   back));
}

TEST(RecordStream, AbsurdNestingIsRefused) {
    // Each level: format 1, empty key, attribute format 1, no attributes, no tips, one child.
    const std::string level = Bytes({1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0});
    std::string last = level;
    last[15] = 0;
    auto nested = [&](int levels) {
        std::string s;
        for (int i = 1; i < levels; ++i) s += level;
        return s + last;
    };
    CKQTreeEntry ok, back;
    EXPECT_TRUE(DeserializeRecord(nested(100), ok));
    EXPECT_FALSE(DeserializeRecord(nested(5000), back));
}

TEST(DirectoryStream, RoundTripWithEmptyPositions) {
    const std::vector<std::string> dir = {"BOX", "BOX+5a5a5a5a", "", std::string(300, 'n')};
    std::string out;
    SerializeDirectory(dir, out);
    EXPECT_EQ(out.substr(0, 4), Bytes({0, 0, 4, 0}));
    std::vector<std::string> back;
    ASSERT_TRUE(DeserializeDirectory(out, back));
    EXPECT_EQ(back, dir);
    for (size_t n = 0; n < out.size(); ++n)
        ASSERT_FALSE(DeserializeDirectory(out.substr(0, n), back)) << n;
    EXPECT_TRUE(back.empty());
}

TEST(DirectoryStream, LargeCountsUseTheLongForm) {
    std::vector<std::string> dir(0xFFFF, "x");
    std::string out;
    SerializeDirectory(dir, out);
    EXPECT_EQ(out.substr(0, 8), Bytes({0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0}));
    std::vector<std::string> back;
    ASSERT_TRUE(DeserializeDirectory(out, back));
    EXPECT_EQ(back.size(), dir.size());
    // A count far beyond the stream.
    EXPECT_FALSE(DeserializeDirectory(Bytes({0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}), back));
}
