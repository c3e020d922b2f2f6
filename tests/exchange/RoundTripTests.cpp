// Keys, identifiers and values written to an exchange file come back as they were, or as
// the writer's documented substitute for the few forms the reader cannot read back.
#include <random>

#include "tests/exchange/ExchangeFixture.h"

namespace {

bool Blank(char c) { return c == ' ' || c == '\t'; }

// What the reader gives back for a key the writer was given.
std::string ExpectedKey(std::string k) {
    while (!k.empty() && Blank(k.back())) k.pop_back();
    size_t b = 0;
    while (b < k.size() && Blank(k[b])) ++b;
    k.erase(0, b);
    return k.empty() ? "_" : k;
}

std::string ExpectedID(std::string id) {
    for (char& c : id)
        if (c == '=') c = '_';
    size_t dots = 0;
    while (dots < id.size() && id[dots] == '.') ++dots;
    if (id.empty() || Blank(id[0]) || id[0] == ';' || (dots < id.size() && id[dots] == '[') ||
        id == "<Tip>")
        id.insert(0, 1, '_');
    return id;
}

std::string ExpectedValue(const std::string& v) {
    std::string out;
    for (size_t i = 0; i < v.size(); ++i) {
        out.push_back(v[i]);
        if (v[i] == ';' && i + 1 < v.size() && v[i + 1] == '#') out.push_back(' ');
    }
    return out;
}

class RoundTrip : public ExchangeTest {
protected:
    std::mt19937 rng{20260807};

    std::string RandomText(bool allowEmpty) {
        // All printable characters, weighted towards the ones the format gives meaning to.
        static const std::string special = " []=;#.<>{}";
        std::uniform_int_distribution<int> len(allowEmpty ? 0 : 1, 12);
        std::uniform_int_distribution<int> pick(0, 3);
        std::uniform_int_distribution<int> printable(0x20, 0x7e);
        std::uniform_int_distribution<size_t> sp(0, special.size() - 1);
        std::string s;
        for (int n = len(rng); n > 0; --n)
            s.push_back(pick(rng) == 0 ? special[sp(rng)] : static_cast<char>(printable(rng)));
        if (pick(rng) == 0) s = " " + s;  // padded at either end now and then
        if (pick(rng) == 0) s += "  ";
        if (pick(rng) == 0) s = "<Tip>";
        return s;
    }

    // A random entry with attributes, tips and children; the expected tree alongside.
    void Fill(CKQTreeEntry& e, CKQTreeEntry& want, int depth) {
        for (int i = std::uniform_int_distribution<int>(0, 5)(rng); i > 0; --i) {
            std::string id = RandomText(true), value = RandomText(true);
            if (ExpectedID(id) == "SysName") continue;
            const uint32_t data = std::uniform_int_distribution<int>(0, 2)(rng) == 0 ? 0x1f : 0;
            if (e.SetAttr(id, value, 0, data) < 0) continue;  // the tree refuses some IDs
            want.SetAttr(ExpectedID(id), ExpectedValue(value), 0, data);
        }
        e.AddTip(60, 7, 8);
        want.AddTip(60, 7, 8);
        if (depth >= 3) return;
        for (int i = std::uniform_int_distribution<int>(0, 3)(rng); i > 0; --i) {
            const std::string key = RandomText(true);
            Fill(*e.AddSubtree()->Add(key), *want.AddSubtree()->Add(ExpectedKey(key)), depth + 1);
        }
    }

    static void ExpectSame(const CKQTreeEntry& got, const CKQTreeEntry& want, std::string where) {
        where += "/" + want.m_key;
        SCOPED_TRACE(where);
        EXPECT_EQ(got.m_key, want.m_key);
        std::string ids;
        for (const CAttr& a : want.m_attrs) ids += "[" + a.m_id + "]=[" + a.m_value + "] ";
        ASSERT_EQ(got.GetAttrCount(), want.GetAttrCount()) << ids;
        for (int i = 0; i < want.GetAttrCount(); ++i) {
            EXPECT_EQ(got.m_attrs[i].m_id, want.m_attrs[i].m_id);
            EXPECT_EQ(got.m_attrs[i].m_value, want.m_attrs[i].m_value) << want.m_attrs[i].m_id;
            EXPECT_EQ(got.m_attrs[i].m_data, want.m_attrs[i].m_data);
        }
        EXPECT_EQ(got.GetTipCount(), want.GetTipCount());
        const int n = want.GetSubtree() ? want.GetSubtree()->GetCount() : 0;
        ASSERT_EQ(got.GetSubtree() ? got.GetSubtree()->GetCount() : 0, n);
        for (int i = 0; i < n; ++i)
            ExpectSame(*got.GetSubtree()->GetAt(i), *want.GetSubtree()->GetAt(i), where);
    }
};

TEST_F(RoundTrip, RandomTreesComeBackEqualOrAsTheDocumentedSubstitute) {
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        CKQTreeEntry tree(RandomText(true)), want(ExpectedKey(tree.m_key));
        const std::string sysid = "RT-" + std::to_string(round);
        tree.SetAttr("SysName", sysid, 0, 0);
        want.SetAttr("SysName", sysid, 0, 0);
        Fill(tree, want, 1);
        {
            CExchangeFile out(doc->Database(), *doc);
            ASSERT_TRUE(out.OpenForWrite(Path("rt.kqx")));
            ASSERT_TRUE(out.WriteEntry(&tree, -1, 0));
            ASSERT_TRUE(out.Close());
        }
        doc->ImportFile(Path("rt.kqx"));
        CKQTreeEntry* got = Record(*doc, sysid);
        ASSERT_NE(got, nullptr) << Written(Path("rt.kqx"));
        ExpectSame(*got, want, "");
        if (HasFailure()) {
            ADD_FAILURE() << Written(Path("rt.kqx"));
            break;
        }
    }
}

TEST_F(RoundTrip, OrdinaryLinesStayAsTheyWereWritten) {
    CKQTreeEntry e("Disk [2]");
    e.SetAttr("SysName", "BOX", 0, 0);
    e.SetAttr("Speed ", " 12 MB/s", 0, 0x5);
    e.SetAttr("Note", "a=b; c", 0, 0);
    e.SetAttr("Padded", "x  ", 0, 0);
    e.SetAttr("Mark", "50;#", 0, 0);
    CExchangeFile out(doc->Database(), *doc);
    ASSERT_TRUE(out.OpenForWrite(Path("o.kqx")));
    ASSERT_TRUE(out.WriteEntry(&e, -1, 0));
    ASSERT_TRUE(out.Close());
    const std::string text = Written(Path("o.kqx"));
    EXPECT_NE(text.find("\r\n[Disk [2]]\r\nSysName=BOX\r\nSpeed = 12 MB/s;#0x5\r\nNote=a=b; c\r\n"
                        "Padded=x  ;#0x0\r\nMark=50; #\r\n"),
              std::string::npos)
        << text;
}

TEST_F(RoundTrip, AKeyRunsToTheLastBracketOfItsLine) {
    std::string key;
    int depth = 0;
    ASSERT_TRUE(CExchangeParser::IsEntryHeader("..[Disk [2]]", key, depth));
    EXPECT_EQ(key, "Disk [2]");
    EXPECT_EQ(depth, 2);
    // Older files read the same.
    ASSERT_TRUE(CExchangeParser::IsEntryHeader("[ CPU ]", key, depth));
    EXPECT_EQ(key, "CPU");
    EXPECT_FALSE(CExchangeParser::IsEntryHeader("[]", key, depth));
    ASSERT_TRUE(CExchangeParser::IsEntryHeader("[open", key, depth));
    EXPECT_EQ(key, "open");
}

}  // namespace
