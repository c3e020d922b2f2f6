// The exchange file format: identifier and header lines, headers, attributes, tips, the
// line layout on disk and the reader's messages with their line numbers.
#include <algorithm>

#include "tests/exchange/ExchangeFixture.h"

namespace {

const std::string CRLF = "\r\n";
const std::string kIdentifier = "{Quillon 95 Exchange File}";

std::string Lines(std::initializer_list<std::string> lines) {
    std::string s;
    for (const auto& l : lines) s += l + CRLF;
    return s;
}

// A record of three levels with attributes, data words and tips of every kind.
void FillRecord(CKQTreeEntry& e, const std::string& sysid) {
    e.SetAttr("SysName", sysid, 0, 0);
    e.SetAttr("Speed", "100", 5, 0x1F);
    e.SetAttr("Note", "with = and spaces", 0, 0);
    e.AddTip(80, 5001, 5101);
    e.AddTip(1, 5002, 5102);
    e.AddTip(0, 5003, 5103);
    e.AddTip(-1, 1101, 1201);
    CKQTree* sub = e.AddSubtree();
    CKQTreeEntry* cpu = sub->Add("CPU");
    cpu->SetAttr("Clock", "12.5 MHz", 0, 1 | 4);
    cpu->AddTip(60, -7, 2147483647);
    CKQTreeEntry* cache = cpu->AddSubtree()->Add("Cache");
    cache->SetAttr("Size", "256", 0, 0xFFFFFFFFu);
    sub->Add("Empty");
}

}  // namespace

TEST_F(ExchangeTest, IdentifierMustBeExactButMayBeSurroundedByBlanks) {
    std::string bad = WriteFile(
        "bad.kqx",
        Lines({"; written by hand", "", "{Quillon 95  Exchange File}", "[Sys]", "SysName=A"}));
    doc->ImportFile(bad);
    ASSERT_EQ(frame.boxes.size(), 1u);
    EXPECT_EQ(frame.boxes[0].text, "Error 1004: Exchange file is missing identifier at line 3.");
    EXPECT_EQ(frame.boxes[0].caption, bad);
    EXPECT_EQ(frame.boxes[0].icon, MsgIcon::Information);
    EXPECT_TRUE(doc->Database().Cache().IsEmpty());

    frame.boxes.clear();
    std::string good = WriteFile("good.kqx", Lines({" \t" + Id() + "\t ", "[Sys]", "SysName=A"}));
    doc->ImportFile(good);
    EXPECT_TRUE(frame.boxes.empty());
    EXPECT_TRUE(doc->Database().IsKnownSysid("A"));
    EXPECT_TRUE(frame.LogContains("Added A at line 3."));
}

TEST_F(ExchangeTest, HeaderCommentsOnlyReport1005PastTheLastLine) {
    std::string path = WriteFile("hdr.kqx", Lines({Id(), Ver(), "{Five version 0.7}"}));
    doc->ImportFile(path);
    ASSERT_EQ(frame.boxes.size(), 1u);
    EXPECT_EQ(frame.boxes[0].text, "Error 1005: Expected first line of a record at line 4.");
    // The header comments go to the log unchanged, without a line number.
    EXPECT_TRUE(frame.LogContains(Ver()));
    EXPECT_TRUE(frame.LogContains("{Five version 0.7}"));
    EXPECT_TRUE(frame.LogContains("Importing file " + path));
    EXPECT_EQ(frame.status.back(), "Import finished. Systems imported: 0, skipped: 0.");

    // The identifier alone, without a final line end.
    frame.boxes.clear();
    doc->ImportFile(WriteFile("idonly.kqx", Id()));
    ASSERT_EQ(frame.boxes.size(), 1u);
    EXPECT_EQ(frame.boxes[0].text, "Error 1005: Expected first line of a record at line 2.");
}

TEST_F(ExchangeTest, NothingToReadAndUnopenableFiles) {
    doc->ImportFile(WriteFile("empty.kqx", ""));
    doc->ImportFile(WriteFile("blank.kqx", "\r\n  \n; only a comment\n"));
    doc->ImportFile(Path("missing.kqx"));
    ASSERT_EQ(frame.boxes.size(), 3u);
    EXPECT_EQ(frame.boxes[0].text, "Error 1003: Nothing to read in this file at line 1.");
    EXPECT_EQ(frame.boxes[1].text, "Error 1003: Nothing to read in this file at line 4.");
    EXPECT_EQ(frame.boxes[2].text, "Error: 1001: Can't open this file");
}

TEST_F(ExchangeTest, ReadErrorIsReportedOnceAndEndsTheFile) {
    std::filesystem::create_directory(Path("adir.kqx"));
    doc->ImportFile(Path("adir.kqx"));
    ASSERT_EQ(frame.boxes.size(), 1u);
    EXPECT_EQ(frame.boxes[0].text, "Error 1002: Can't read this file at line 1.");
    EXPECT_EQ(frame.boxes[0].caption, Path("adir.kqx"));
}

TEST_F(ExchangeTest, ResultsFileIsWrittenWithCrLfByteForByte) {
    Load({"Five", "Ten"});
    frame.log.clear();
    CRecordEntry record("Box");
    FillRecord(record, "BOX-1");
    std::string path = Path("layout.kqx");
    {
        CExchangeFile file(doc->Database(), *doc);
        ASSERT_TRUE(file.OpenForWrite(path));
        ASSERT_TRUE(file.WriteEntry(&record, 7, 0));
        EXPECT_EQ(file.LineNumber(), 16u);
        EXPECT_TRUE(file.Close());
    }
    const std::string expected =
        "{Quillon 95 Exchange File}\r\n"
        "{Version 1.0 Build 43 March 25, 1997}\r\n"
        "{Five version 0.7}\r\n"
        "{Ten version 1.5}\r\n"
        "[Box]\r\n"
        "SysName=BOX-1\r\n"
        "Speed=100;#0x1f\r\n"
        "Note=with = and spaces\r\n"
        "<Tip>=80 5001 5101\r\n"
        "<Tip>=1 5002 5102\r\n"
        ".[CPU]\r\n"
        "Clock=12.5 MHz;#0x5\r\n"
        "<Tip>=60 -7 2147483647\r\n"
        "..[Cache]\r\n"
        "Size=256;#0xffffffff\r\n"
        ".[Empty]\r\n";
    EXPECT_EQ(Written(path), expected);
    EXPECT_TRUE(frame.LogContains("Exporting to file " + path));
}

TEST_F(ExchangeTest, RoundTripKeepsEverythingButLowTipsAndTypeWords) {
    AddMirror(*doc, "Sys", "MIRROR");
    CKQTreeEntry* original = AddRecord(*doc, "Box", "BOX-1");
    FillRecord(*original, "BOX-1");
    const int key = doc->KeyForSysid("BOX-1");
    ASSERT_TRUE(doc->ExportRecords({key}, Path("rt.kqx")));
    Written(Path("rt.kqx"));

    // Into another database: the record arrives whole, marked changed, at the end.
    CAppState app2;
    FakeFrame frame2;
    CQuillo95Doc other(app2, frame2);
    EventRecorder heard;
    other.Subscribe(&heard);
    AddRecord(other, "Earlier", "EARLIER");
    other.ImportFile(Path("rt.kqx"));
    ASSERT_EQ(other.Database().Cache().GetCount(), 2);
    auto* imported = static_cast<CRecordEntry*>(other.Database().Cache().GetAt(1));
    EXPECT_EQ(other.Database().Directory().back(), "BOX-1");
    EXPECT_TRUE(imported->IsChanged());
    EXPECT_EQ(imported->GetAttr(1)->m_type, 0);

    CRecordEntry expected("Box");
    FillRecord(expected, "BOX-1");
    expected.RemoveAllTips();
    expected.AddTip(80, 5001, 5101);
    expected.AddTip(1, 5002, 5102);
    ExpectSameExchanged(expected, *imported);
    auto* cpu = static_cast<CRecordEntry*>(imported->GetSubtree()->GetAt(0));
    EXPECT_TRUE(cpu->IsChanged());
    KeepDatabaseSeeds(other.Database());
    EXPECT_TRUE(other.IsModified());
    // The record once, then the database as a whole.
    EXPECT_EQ(heard.changes, (std::vector<EventRecorder::Change>{
                                 {DocEvent::RecordAdded, other.Database().KeyForSysid("BOX-1")},
                                 {DocEvent::DatabaseChanged, 0}}));
}

TEST_F(ExchangeTest, ReimportIntoTheSameDatabaseWarns1008AtTheSysidLine) {
    AddMirror(*doc, "Sys", "MIRROR");
    CKQTreeEntry* original = AddRecord(*doc, "Box", "BOX-1");
    FillRecord(*original, "BOX-1");
    ASSERT_TRUE(doc->ExportRecords({doc->Database().KeyForSysid("BOX-1")}, Path("again.kqx")));
    const auto directory = doc->Database().Directory();
    std::string before;
    SerializeRecord(*original, before);

    doc->ImportFile(Path("again.kqx"));
    EXPECT_TRUE(frame.LogContains("Warning 1008: Duplicate record BOX-1 skipped at line 4."));
    EXPECT_TRUE(frame.boxes.empty());
    EXPECT_EQ(frame.showLogCount, 1);
    EXPECT_EQ(doc->Database().Directory(), directory);
    EXPECT_EQ(doc->Database().Cache().GetCount(), 2);
    std::string after;
    SerializeRecord(*original, after);
    EXPECT_EQ(before, after);
    // Case-only differences are the same stream, so the same record.
    WriteFile("case.kqx", Lines({Id(), "[Box]", "SysName=box-1", ".[Child]", "A=1"}));
    doc->ImportFile(Path("case.kqx"));
    EXPECT_TRUE(frame.LogContains("Duplicate record box-1 skipped at line 3."));
    EXPECT_EQ(doc->Database().Cache().GetCount(), 2);
}

TEST(ExchangeParser, DataWordsAreLowerCaseHexAndUpperCaseEndsTheNumber) {
    const CParsedExchange parsed =
        ParseExchange(Lines({kIdentifier, "[Sys]", "SysName=H", "A=1;#0x1f", "B=1;#0x1F", "C=1;#1f",
                             "D=2;#0X10", "E=a;#b;#0x4", "F=;#", "G=x;#0xfffffffff", "H=;# 1"}));
    const CKQTreeEntry* r = ParsedRecord(parsed, "H");
    ASSERT_NE(r, nullptr);
    auto data = [&](const char* id) { return r->GetAttr(r->FindAttr(id))->m_data; };
    auto value = [&](const char* id) { return r->GetAttrValue(std::string(id)); };
    EXPECT_EQ(data("A"), 0x1Fu);
    EXPECT_EQ(data("B"), 0x1u);
    EXPECT_EQ(data("C"), 0x1Fu);
    EXPECT_EQ(data("D"), 0x10u);
    EXPECT_EQ(value("E"), "a");
    EXPECT_EQ(data("E"), 0xBu);
    EXPECT_EQ(r->FindAttr("F"), 6);
    EXPECT_EQ(value("F"), "");
    EXPECT_EQ(data("F"), 0u);
    EXPECT_EQ(data("G"), 0xFFFFFFFFu);  // the ninth digit wraps the word
    EXPECT_EQ(data("H"), 0u);

    EXPECT_EQ(CExchangeParser::ParseHex("0x1f", 4), 0x1Fu);
    EXPECT_EQ(CExchangeParser::ParseHex("x1", 2), 0u);
    EXPECT_EQ(CExchangeParser::ParseHex("1x2", 3), 0x12u);
}

TEST(ExchangeParser, TipLinesAndTheirIntegers) {
    const CParsedExchange parsed = ParseExchange(
        Lines({kIdentifier, "[Sys]", "SysName=T", "<Tip>=80 5001 5101", "<Tip>=  -5,+6;7 trailing",
               "<Tip>=", "<Tip>=99999999999 -99999999999 1x2", "<Tip>=+-3 4 5"}));
    const CKQTreeEntry* r = ParsedRecord(parsed, "T");
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(r->GetTipCount(), 5);
    auto tip = [&](int i) {
        const CTip* t = r->GetTip(i);
        return std::vector<int32_t>{t->m_priority, t->m_textID, t->m_descID};
    };
    EXPECT_EQ(tip(0), (std::vector<int32_t>{80, 5001, 5101}));
    EXPECT_EQ(tip(1), (std::vector<int32_t>{-5, 6, 7}));
    EXPECT_EQ(tip(2), (std::vector<int32_t>{0, 0, 0}));
    EXPECT_EQ(tip(3), (std::vector<int32_t>{2147483647, -2147483647 - 1, 1}));
    // "+-3" is one run that atoi reads as 0.
    EXPECT_EQ(tip(4), (std::vector<int32_t>{0, 4, 5}));
    EXPECT_EQ(r->GetAttrCount(), 1);
}

TEST(ExchangeParser, SpacesAroundTheEqualsSignAreKept) {
    const CParsedExchange parsed =
        ParseExchange(Lines({kIdentifier, "[ Sys ]", "SysName=S", "  Speed = 100   ", "=no id",
                             "no equals sign", "Model=  abc;#0x1  "}));
    const CKQTreeEntry* r = ParsedRecord(parsed, "S");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->m_key, "Sys");
    ASSERT_EQ(r->GetAttrCount(), 3);
    EXPECT_EQ(r->GetAttrID(1), "Speed ");
    EXPECT_EQ(r->GetAttrValue(1), " 100");
    EXPECT_EQ(r->GetAttrValue(2), "  abc");
    EXPECT_EQ(r->GetAttr(2)->m_data, 1u);
}

TEST(ExchangeParser, HeadersSkipDepthsAndChildLevelsGoOnFilling) {
    const CParsedExchange parsed =
        ParseExchange(Lines({kIdentifier, "[R1]", "SysName=R1", "..[Deep]", "A=1", ".[Child]",
                             "B=2", "...[Grand]", "C=3", ".[Last", "D=4", "[R2]", "SysName=R2",
                             "....[Far]", "E=5", "[]", "x=no header", "[ ]", "F=6"}));
    EXPECT_TRUE(parsed.messages.empty());
    const CKQTreeEntry* r1 = ParsedRecord(parsed, "R1");
    ASSERT_NE(r1, nullptr);
    ASSERT_NE(r1->GetSubtree(), nullptr);
    CKQTree& sub = *r1->GetSubtree();
    ASSERT_EQ(sub.GetCount(), 3);
    EXPECT_EQ(sub.GetAt(0)->m_key, "Deep");
    EXPECT_EQ(sub.GetAt(0)->GetAttrValue("A"), "1");
    EXPECT_EQ(sub.GetAt(1)->m_key, "Child");
    EXPECT_EQ(sub.GetAt(1)->GetAttrValue("B"), "2");
    ASSERT_NE(sub.GetAt(1)->GetSubtree(), nullptr);
    EXPECT_EQ(sub.GetAt(1)->GetSubtree()->GetAt(0)->GetAttrValue("C"), "3");
    // No "]": the rest of the line is the key, untrimmed.
    EXPECT_EQ(sub.GetAt(2)->m_key, "Last");
    EXPECT_EQ(sub.GetAt(2)->GetAttrValue("D"), "4");

    const CKQTreeEntry* r2 = ParsedRecord(parsed, "R2");
    ASSERT_NE(r2, nullptr);
    ASSERT_EQ(r2->GetSubtree()->GetCount(), 1);
    CKQTreeEntry* far = r2->GetSubtree()->GetAt(0);
    EXPECT_EQ(far->GetAttrValue("E"), "5");
    // "[]" and "[ ]" are no headers; their lines are attributes of the entry before them.
    EXPECT_EQ(far->GetAttrValue("x"), "no header");
    EXPECT_EQ(far->GetAttrValue("F"), "6");
    EXPECT_EQ(parsed.records.size(), 2u);
}

TEST(ExchangeParser, EntryHeaderTest) {
    std::string key;
    int depth = -1;
    EXPECT_TRUE(CExchangeParser::IsEntryHeader("..[ a b ]x", key, depth));
    EXPECT_EQ(key, "a b");
    EXPECT_EQ(depth, 2);
    EXPECT_TRUE(CExchangeParser::IsEntryHeader("[ open", key, depth));
    EXPECT_EQ(key, " open");
    EXPECT_TRUE(CExchangeParser::IsEntryHeader("[", key, depth));
    EXPECT_EQ(key, "");
    EXPECT_EQ(depth, 0);
    EXPECT_FALSE(CExchangeParser::IsEntryHeader("[]", key, depth));
    EXPECT_FALSE(CExchangeParser::IsEntryHeader(".x[a]", key, depth));
    EXPECT_FALSE(CExchangeParser::IsEntryHeader("...", key, depth));
}

TEST_F(ExchangeTest, LineBreaksInsideKeysIdsAndValuesAreWrittenAsBlanks) {
    AddMirror(*doc, "Sys", "MIRROR");
    CKQTreeEntry* r = AddRecord(*doc, "Two\r\nLines", "LB");
    r->SetAttr("Multi\nLine", "first\r\nsecond\rthird", 0, 4);
    r->AddSubtree()->Add("Child\n[Fake]")->SetAttr("X", "1\n[Other]\nSysName=Y", 0, 0);
    ASSERT_TRUE(doc->ExportRecords({doc->KeyForSysid("LB")}, Path("lb.kqx")));
    const std::string bytes = Written(Path("lb.kqx"));
    EXPECT_NE(bytes.find("[Two  Lines]\r\nSysName=LB\r\nMulti Line=first  second third;#0x4\r\n"
                         ".[Child [Fake]]\r\nX=1 [Other] SysName=Y\r\n"),
              std::string::npos);

    CAppState app2;
    FakeFrame frame2;
    CQuillo95Doc other(app2, frame2);
    other.ImportFile(Path("lb.kqx"));
    ASSERT_EQ(other.Database().Cache().GetCount(), 1);
    CKQTreeEntry* back = other.Database().Cache().GetHead();
    EXPECT_EQ(back->m_key, "Two  Lines");
    EXPECT_EQ(back->GetAttrValue("Multi Line"), "first  second third");
    EXPECT_FALSE(other.Database().IsKnownSysid("Y"));
    EXPECT_EQ(back->GetSubtree()->GetAt(0)->GetAttrValue("X"), "1 [Other] SysName=Y");
}

TEST_F(ExchangeTest, LineLimitSplitsLongLinesAndCountsTheRestAsALine) {
    AddRecord(*doc, "Known", "DUP");
    auto fileWithComment = [&](size_t length, const std::string& end) {
        return Id() + "\n;" + std::string(length - 1, 'c') + end + "[R]\nSysName=DUP\n";
    };
    // 9998 characters and the line end fit in one read; 9999 leave the line end for the next.
    doc->ImportFile(WriteFile("a.kqx", fileWithComment(9998, "\n")));
    doc->ImportFile(WriteFile("b.kqx", fileWithComment(9998, "\r\n")));
    doc->ImportFile(WriteFile("c.kqx", fileWithComment(9999, "\n")));
    doc->ImportFile(WriteFile("d.kqx", fileWithComment(10000, "\n")));
    std::vector<std::string> warnings;
    for (const auto& l : frame.log)
        if (l.find("Warning 1008") != std::string::npos) warnings.push_back(l);
    ASSERT_EQ(warnings.size(), 4u);
    EXPECT_NE(warnings[0].find("at line 4."), std::string::npos);
    EXPECT_NE(warnings[1].find("at line 4."), std::string::npos);
    EXPECT_NE(warnings[2].find("at line 5."), std::string::npos);
    EXPECT_NE(warnings[3].find("at line 5."), std::string::npos);

    // A value longer than a line is cut; its rest is read as lines of its own.
    std::string longValue(25000, 'v');
    longValue[9999] = '=';  // the second piece looks like an attribute line
    doc->ImportFile(
        WriteFile("long.kqx", Id() + "\n[R]\nSysName=LONG\nBig=" + longValue + "\nAfter=1\n"));
    CKQTreeEntry* r = Record(*doc, "LONG");
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->GetAttrValue("Big").size(), 9999u - 4u);
    EXPECT_EQ(r->GetAttrValue("After"), "1");
    EXPECT_EQ(r->GetAttrCount(), 4);
}

TEST_F(ExchangeTest, WrittenLinesFitOneReadAndLongerValuesAreCutAtACharacter) {
    AddMirror(*doc, "Sys", "MIRROR");
    CKQTreeEntry* r = AddRecord(*doc, "Box", "LONG");
    // "BigN=" leaves 9993 bytes of the 9998 a line may hold.
    const std::string blankCut = std::string(9992, 'f') + " " + std::string(10, 'g');
    std::string pairs;
    for (int i = 0; i < 5000; ++i) pairs += ";#";
    r->SetAttr("Big1", std::string(9993, 'a'), 0, 0);               // fits exactly
    r->SetAttr("Big2", std::string(9994, 'b'), 0, 0);               // one byte over
    r->SetAttr("Big3", std::string(9992, 'c') + "\xc3\xa9", 0, 0);  // a character over
    r->SetAttr("Big4", std::string(9987, 'd'), 0, 0x1f);            // ";#0x1f" fills it
    r->SetAttr("Big5", std::string(9988, 'e'), 0, 0x1f);
    r->SetAttr("Big6", blankCut, 0, 0);  // a cut before a blank needs ";#0x0" after it
    r->SetAttr("Big7", pairs, 0, 0);     // each ";#" is written as three bytes
    r->SetAttr("After", "1", 0, 0);
    r->SetAttr(std::string(10000, 'i'), "v", 0, 0x5);  // the identifier leaves "=;#0x5" room
    r->AddSubtree()->Add(std::string(10000, 'k'))->SetAttr("X", "2", 0, 0);
    ASSERT_TRUE(doc->ExportRecords({doc->KeyForSysid("LONG")}, Path("long.kqx")));

    const std::string bytes = Written(Path("long.kqx"));
    size_t longest = 0;
    for (size_t b = 0, e; (e = bytes.find("\r\n", b)) != std::string::npos; b = e + 2)
        longest = std::max(longest, e - b);
    EXPECT_EQ(longest, 9998u);
    std::vector<std::string> warnings;
    for (const auto& l : frame.log)
        if (l.rfind("Warning 1023", 0) == 0) warnings.push_back(l.substr(0, 100));
    const std::string cut = " is too long for one line and was cut to ";
    EXPECT_EQ(warnings, (std::vector<std::string>{
                            "Warning 1023: Big2" + cut + "9993 bytes at line 6.",
                            "Warning 1023: Big3" + cut + "9992 bytes at line 7.",
                            "Warning 1023: Big5" + cut + "9987 bytes at line 9.",
                            "Warning 1023: Big6" + cut + "9992 bytes at line 10.",
                            "Warning 1023: Big7" + cut + "6662 bytes at line 11.",
                            ("Warning 1023: " + std::string(9992, 'i')).substr(0, 100),
                            ("Warning 1023: " + std::string(9995, 'k')).substr(0, 100)}));
    EXPECT_GT(frame.showLogCount, 0);

    // Read back: exact, or the cut value and nothing else; no line split into another.
    CQuillo95Doc other(app, frame);
    other.ImportFile(Path("long.kqx"));
    CKQTreeEntry* back = Record(other, "LONG");
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetAttrCount(), 10);
    EXPECT_EQ(back->GetAttr(9)->m_id, std::string(9992, 'i'));
    EXPECT_EQ(back->GetAttr(9)->m_value, "");
    EXPECT_EQ(back->GetAttr(9)->m_data, 0x5u);
    EXPECT_EQ(back->GetAttrValue("Big1"), std::string(9993, 'a'));
    EXPECT_EQ(back->GetAttrValue("Big2"), std::string(9993, 'b'));
    EXPECT_EQ(back->GetAttrValue("Big3"), std::string(9992, 'c'));
    EXPECT_EQ(back->GetAttrValue("Big4"), std::string(9987, 'd'));
    EXPECT_EQ(back->GetAttr(4)->m_data, 0x1fu);
    EXPECT_EQ(back->GetAttrValue("Big5"), std::string(9987, 'e'));
    EXPECT_EQ(back->GetAttrValue("Big6"), std::string(9992, 'f'));
    std::string threes;
    for (int i = 0; i < 3331; ++i) threes += "; #";
    EXPECT_EQ(back->GetAttrValue("Big7"), threes);
    EXPECT_EQ(back->GetAttrValue("After"), "1");
    ASSERT_NE(back->GetSubtree(), nullptr);
    EXPECT_EQ(back->GetSubtree()->GetAt(0)->m_key, std::string(9995, 'k'));
    EXPECT_EQ(back->GetSubtree()->GetAt(0)->GetAttrValue("X"), "2");
}

TEST_F(ExchangeTest, HandEditedFileImportsTheSame) {
    AddMirror(*doc, "Sys", "MIRROR");
    CKQTreeEntry* original = AddRecord(*doc, "Box", "BOX-1");
    FillRecord(*original, "BOX-1");
    CKQTreeEntry* second = AddRecord(*doc, "Box", "BOX-2");
    second->SetAttr("Only", "one", 0, 0);
    ASSERT_TRUE(doc->ExportRecords({doc->KeyForSysid("BOX-1"), doc->KeyForSysid("BOX-2")},
                                   Path("orig.kqx")));
    const std::string bytes = Written(Path("orig.kqx"));

    // LF line ends, indentation, comments and blank lines anywhere, no final line end.
    std::string edited = "; my results\n\n";
    std::istringstream in(bytes);
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        edited += (n % 2 ? "   " : "") + line + (n % 3 ? "\t" : "") + "\n";
        if (n++ % 4 == 1) edited += "; a remark [Not]=header\n  \n";
    }
    edited.pop_back();
    WriteFile("edited.kqx", edited);

    CAppState appA, appB;
    FakeFrame frameA, frameB;
    CQuillo95Doc a(appA, frameA), b(appB, frameB);
    a.ImportFile(Path("orig.kqx"));
    b.ImportFile(Path("edited.kqx"));
    EXPECT_TRUE(frameA.boxes.empty());
    EXPECT_TRUE(frameB.boxes.empty());
    ASSERT_EQ(a.Database().Cache().GetCount(), 2);
    ASSERT_EQ(b.Database().Cache().GetCount(), 2);
    for (int i = 0; i < 2; ++i)
        ExpectSameExchanged(*a.Database().Cache().GetAt(i), *b.Database().Cache().GetAt(i));
    EXPECT_EQ(a.Database().Directory(), b.Database().Directory());
}
