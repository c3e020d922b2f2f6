// Files other people wrote: identifiers the database cannot store, entries before the
// identifier, NUL bytes, long and unterminated lines, truncated records, random bytes.
// None of them may crash, hang, or change a record stored before.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "tests/exchange/ExchangeFixture.h"

namespace {

std::string Lines(std::initializer_list<std::string> lines) {
    std::string s;
    for (const auto& l : lines) s += l + "\r\n";
    return s;
}

}  // namespace

TEST_F(ExchangeTest, RecordsWhoseSysidCannotBeStoredAreSkippedWithWarning1013) {
    const std::string tooLong(32, 'L');
    WriteFile("bad.kqx",
              Lines({"{Quillon 95 Exchange File}", "[Empty]", "SysName=", ".[Sub]", "A=1", "[Long]",
                     "SysName=" + tooLong, "B=2", "[Dir]", "SysName=quillon data DIRECTORY",
                     "..[Deep]", "C=3", "[TipFirst]", "<Tip>=80 1 2", "D=4", "[Fine]",
                     "SysName=" + std::string(31, 'F'), "E=5"}));
    doc->ImportFile(Path("bad.kqx"));
    EXPECT_TRUE(frame.LogContains(
        "Warning 1013: Record Empty skipped: its identifier \"\" cannot be stored at line 3."));
    EXPECT_TRUE(frame.LogContains("Record Long skipped: its identifier \"" + tooLong +
                                  "\" cannot be stored at line 7."));
    EXPECT_TRUE(frame.LogContains("Record Dir skipped: its identifier \"quillon data DIRECTORY\""));
    EXPECT_TRUE(frame.LogContains("Record TipFirst skipped: its identifier \"80 1 2\""));
    EXPECT_TRUE(frame.boxes.empty());
    EXPECT_EQ(frame.showLogCount, 1);
    // Only the last record arrives, and none of the skipped lines attached to it.
    ASSERT_EQ(doc->Database().Cache().GetCount(), 1);
    CKQTreeEntry* fine = doc->Database().Cache().GetHead();
    EXPECT_EQ(fine->m_key, "Fine");
    EXPECT_EQ(fine->GetAttrCount(), 2);
    EXPECT_EQ(fine->GetSubtree(), nullptr);
    EXPECT_EQ(doc->Database().Directory(), std::vector<std::string>{std::string(31, 'F')});
    EXPECT_EQ(frame.status.back(), "Import finished. Systems imported: 1, skipped: 4.");
}

TEST_F(ExchangeTest, EntriesBeforeTheSysidLineNeverAttachToAnotherRecord) {
    WriteFile("nested.kqx",
              Lines({"{Quillon 95 Exchange File}", "[R1]", "SysName=A", "[R2]", ".[Child]", "X=1",
                     "SysName=B", "..[Grand]", "Y=2", "[R3]", "SysName=C", ".[Own]", "Z=3"}));
    doc->ImportFile(Path("nested.kqx"));
    EXPECT_TRUE(frame.LogContains("Warning 1013: Record R2 skipped"));
    EXPECT_EQ(frame.showLogCount, 1);
    EXPECT_EQ(frame.status.back(), "Import finished. Systems imported: 2, skipped: 1.");
    ASSERT_EQ(doc->Database().Cache().GetCount(), 2);
    CKQTreeEntry* a = Record(*doc, "A");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->GetSubtree(), nullptr);
    EXPECT_EQ(a->GetAttrCount(), 1);
    EXPECT_FALSE(doc->Database().IsKnownSysid("B"));
    CKQTreeEntry* c = Record(*doc, "C");
    ASSERT_NE(c, nullptr);
    ASSERT_NE(c->GetSubtree(), nullptr);
    EXPECT_EQ(c->GetSubtree()->GetCount(), 1);
    EXPECT_EQ(c->GetSubtree()->GetAt(0)->GetAttrValue("Z"), "3");
}

TEST(ExchangeParser, NulBytesCutTheirLineAndAMissingFinalLineEndIsRead) {
    std::string bytes = "{Quillon 95 Exchange File}\n[R]\nSysName=NUL\nA=keep";
    bytes += std::string(1, '\0') + "lost\nB=2\n";
    bytes += std::string(3, '\0') + "\n" + "C=last";  // no line end at all
    const CParsedExchange parsed = ParseExchange(bytes);
    const CKQTreeEntry* r = ParsedRecord(parsed, "NUL");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->GetAttrValue("A"), "keep");
    EXPECT_EQ(r->GetAttrValue("B"), "2");
    EXPECT_EQ(r->GetAttrValue("C"), "last");
    for (const CAttr& a : r->m_attrs) EXPECT_EQ(a.m_value.find('\0'), std::string::npos);
}

// A stream gives its bytes in pieces of any size: a CR at the end of one and its LF at the
// start of the next are still one line end, and a read error ends the reading with Error 1002.
TEST(ExchangeParser, AStreamReadInAnyPiecesReadsAsTheBytesDo) {
    std::string bytes = "{Quillon 95 Exchange File}\r\n{Five version 0.7}\r\n[R]\r\n";
    bytes += "SysName=PIECES\r\nA=1\r\rB=2\r\n.[Sub]\r\n" + std::string(12000, 'x') + "\r\n";
    bytes += "; c\r\n\r\n[S]\r\nSysName=NEXT\r\n<Tip>=1 2 3\r";
    const CParsedExchange whole = ParseExchange(bytes);
    ASSERT_EQ(whole.records.size(), 2u);
    EXPECT_EQ(whole.records[0].entry.GetAttrValue("A"), "1\r\rB=2");  // a lone CR stays
    for (size_t piece : {1u, 2u, 3u, 7u, 4096u}) {
        SCOPED_TRACE(piece);
        size_t at = 0;
        CExchangeParser parser([&](char* buffer, size_t size) {
            const size_t n = std::min({piece, size, bytes.size() - at});
            std::memcpy(buffer, bytes.data() + at, n);
            at += n;
            return static_cast<long>(n);
        });
        ASSERT_TRUE(parser.ReadHeader());
        EXPECT_EQ(parser.HeaderLines(), whole.headerLines);
        for (const CExchangeRecord& want : whole.records) {
            CExchangeRecord got;
            ASSERT_TRUE(parser.Next(got));
            EXPECT_EQ(got.sysidLine, want.sysidLine);
            ExpectSameExchanged(want.entry, got.entry);
        }
        CExchangeRecord none;
        EXPECT_FALSE(parser.Next(none));
        EXPECT_EQ(parser.LineNumber(), whole.lines);
    }
    // A read error after the first record's identity: the record as read, then Error 1002.
    size_t given = 0;
    CExchangeParser failing([&](char* buffer, size_t size) -> long {
        if (given >= 69) return -1;  // up to the end of the identity's line
        const size_t n = std::min<size_t>(size, 69 - given);
        std::memcpy(buffer, bytes.data() + given, n);
        given += n;
        return static_cast<long>(n);
    });
    ASSERT_TRUE(failing.ReadHeader());
    CExchangeRecord first;
    ASSERT_TRUE(failing.Next(first));
    EXPECT_EQ(first.sysid, "PIECES");
    EXPECT_FALSE(failing.Next(first));
    const std::vector<CExchangeMessage> messages = failing.TakeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(ExchangeMessageText(messages[0]), "Error 1002: Can't read this file at line 5.");
    EXPECT_TRUE(messages[0].box);
}

TEST_F(ExchangeTest, TruncatedFilesKeepWhatWasReadAndAnnounceIt) {
    WriteFile("cut.kqx",
              "{Quillon 95 Exchange File}\r\n[R1]\r\nSysName=R1\r\n.[Sub]\r\nA=1\r\n"
              "[R2]\r\nSysName=R2\r\n..[Dee");
    doc->ImportFile(Path("cut.kqx"));
    EXPECT_TRUE(frame.boxes.empty());
    ASSERT_EQ(doc->Database().Cache().GetCount(), 2);
    CKQTreeEntry* r2 = Record(*doc, "R2");
    ASSERT_NE(r2, nullptr);
    EXPECT_EQ(r2->GetSubtree()->GetAt(0)->m_key, "Dee");
    // Every record added is announced exactly once, then the database as a whole.
    EXPECT_EQ(events.changes, (std::vector<EventRecorder::Change>{
                                  {DocEvent::RecordAdded, doc->Database().KeyForSysid("R1")},
                                  {DocEvent::RecordAdded, doc->Database().KeyForSysid("R2")},
                                  {DocEvent::DatabaseChanged, 0}}));

    // Ending right after a record header: no record, nothing attached.
    WriteFile("cut2.kqx", "{Quillon 95 Exchange File}\n[R3]\n");
    doc->ImportFile(Path("cut2.kqx"));
    EXPECT_EQ(doc->Database().Cache().GetCount(), 2);
}

TEST_F(ExchangeTest, DeepNestingIsBoundedAndLosesNoEntry) {
    std::string bytes = "{Quillon 95 Exchange File}\n[R]\nSysName=DEEP\n";
    const int levels = 1000;
    for (int d = 1; d <= levels; ++d)
        bytes +=
            std::string(d, '.') + "[L" + std::to_string(d) + "]\nV=" + std::to_string(d) + "\n";
    bytes += "[Next]\nSysName=NEXT\n";
    WriteFile("deep.kqx", bytes);
    doc->ImportFile(Path("deep.kqx"));
    CKQTreeEntry* e = Record(*doc, "DEEP");
    ASSERT_NE(e, nullptr);
    int depth = 0, entries = 0;
    std::vector<CKQTreeEntry*> stack{e};
    while (!stack.empty()) {
        CKQTreeEntry* x = stack.back();
        stack.pop_back();
        ++entries;
        if (x->GetSubtree()) {
            ++depth;
            for (CKQTreeEntry* c : *x->GetSubtree()) stack.push_back(c);
        }
    }
    EXPECT_EQ(entries, levels + 1);
    EXPECT_LE(depth, 201);
    EXPECT_TRUE(doc->Database().IsKnownSysid("NEXT"));
    // What the importer accepts, the record reader must take back after a save: a record
    // nested deeper than the reader allows would be written once and never read again.
    std::string data;
    EXPECT_TRUE(SerializeRecord(*e, data));
    CKQTreeEntry back;
    ASSERT_TRUE(DeserializeRecord(data, back));
    int readBack = 0;
    stack = {&back};
    while (!stack.empty()) {
        CKQTreeEntry* x = stack.back();
        stack.pop_back();
        ++readBack;
        if (x->GetSubtree())
            for (CKQTreeEntry* c : *x->GetSubtree()) stack.push_back(c);
    }
    EXPECT_EQ(readBack, levels + 1);
}

TEST_F(ExchangeTest, OnlyRegularFilesAreReadSoAFifoCannotHang) {
    ASSERT_EQ(mkfifo(Path("pipe.kqx").c_str(), 0600), 0);
    doc->ImportFile(Path("pipe.kqx"));
    ASSERT_EQ(frame.boxes.size(), 1u);
    EXPECT_EQ(frame.boxes[0].text, "Error: 1001: Can't open this file");
}

TEST_F(ExchangeTest, ALargeFileWithoutLineEndsIsReadInPieces) {
    std::string bytes = "{Quillon 95 Exchange File}\n[R]\nSysName=BIG\nA=";
    bytes += std::string(8 << 20, 'a');
    WriteFile("big.kqx", bytes);
    doc->ImportFile(Path("big.kqx"));
    CKQTreeEntry* r = Record(*doc, "BIG");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->GetAttrValue("A").size(), 9999u - 2u);
}

// Random bytes and random mixtures of real lines: the import may add records, but every
// record it adds is consistent with the directory, and a record stored before is untouched.
TEST_F(ExchangeTest, RandomFilesNeverCorruptStoredRecords) {
    CKQTreeEntry* kept = AddRecord(*doc, "Kept", "KEPT");
    kept->SetAttr("Value", "original", 0, 5);
    kept->AddSubtree()->Add("Child")->SetAttr("X", "1", 0, 0);
    std::string before;
    ASSERT_TRUE(SerializeRecord(*kept, before));

    const std::vector<std::string> pieces = {"{Quillon 95 Exchange File}",
                                             "[R]",
                                             "[KEPT]",
                                             ".[C]",
                                             "...[D]",
                                             "SysName=KEPT",
                                             "SysName=N",
                                             "A=1;#0x1f",
                                             "<Tip>=1 2 3",
                                             ";c",
                                             "",
                                             "=",
                                             "[",
                                             "]",
                                             "..",
                                             "{x}",
                                             std::string(1, '\0'),
                                             "\r",
                                             "SysName=" + std::string(40, 'z'),
                                             "SysName=Quillon Data Directory"};
    std::mt19937 rng(1234);
    for (int round = 0; round < 300; ++round) {
        std::string bytes;
        if (round % 3 == 0) {
            std::uniform_int_distribution<int> byte(0, 255), len(0, 3000);
            int n = len(rng);
            for (int i = 0; i < n; ++i) bytes.push_back(static_cast<char>(byte(rng)));
            if (round % 2) bytes = "{Quillon 95 Exchange File}\n" + bytes;
        } else {
            bytes = "{Quillon 95 Exchange File}\n";
            std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
            std::uniform_int_distribution<int> count(0, 60), salt(0, 9);
            int n = count(rng);
            for (int i = 0; i < n; ++i) {
                std::string p = pieces[pick(rng)];
                if (p == "SysName=N") p += std::to_string(round) + "_" + std::to_string(salt(rng));
                bytes += p + (salt(rng) < 7 ? "\n" : "\r\n");
            }
        }
        WriteFile("random.kqx", bytes);
        doc->ImportFile(Path("random.kqx"));
    }
    std::string after;
    ASSERT_TRUE(SerializeRecord(*kept, after));
    EXPECT_EQ(before, after);
    // Every record in the cache is the one its directory position names.
    for (const CKQTreeEntry* e : doc->Database().Cache()) {
        const std::string sysid = CResultsDatabase::GetRecordSysid(*e);
        EXPECT_TRUE(CResultsDatabase::IsStorableSysid(sysid)) << sysid;
        EXPECT_EQ(Record(*doc, sysid), e);
    }
    EXPECT_EQ(static_cast<size_t>(doc->Database().Cache().GetCount()),
              doc->Database().Directory().size());
    KeepDatabaseSeeds(doc->Database());
}
