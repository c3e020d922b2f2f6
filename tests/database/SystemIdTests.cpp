// New system identifiers: prefix, "+", a hexadecimal stamp; never longer than 31 characters.
#include "resources/Strings.h"
#include "tests/database/DbFixture.h"

namespace {

class SystemId : public DbTest {
protected:
    // The first cached record names the prefix.
    void Prefix(const std::string& prefix) {
        Db().NewRecord("Top")->SetAttr("SysName", prefix, 0, 0);
    }
};

}  // namespace

TEST_F(SystemId, EmptyPrefixGivesPlusAndEightDigits) {
    EXPECT_EQ(doc->MakeNewSysid(), "+5a5a5a5a");
    Db().NewRecord("NoAttributes");
    frame.clock = 0x1F;
    EXPECT_EQ(doc->MakeNewSysid(), "+0000001f");
}

TEST_F(SystemId, ABaseOfExactly31CharactersIsOneTooLong) {
    const std::string prefix(30, 'p');
    Prefix(prefix);
    EXPECT_EQ(doc->MakeNewSysid(), "");
    EXPECT_EQ(frame.log, (std::vector<std::string>{"Error 1011: Sysid " + prefix +
                                                   " is 1 characters too long."}));
}

TEST_F(SystemId, LongerBasesReportHowMuchTooLong) {
    Prefix(std::string(34, 'p'));
    EXPECT_EQ(doc->MakeNewSysid(), "");
    EXPECT_TRUE(frame.LogContains(" is 5 characters too long."));
}

TEST_F(SystemId, NarrowStampsKeepTheirLowDigitsSoTheIdentifierFits) {
    for (int w = 1; w <= 7; ++w) {
        SCOPED_TRACE(w);
        Db().Close();
        const std::string prefix(30 - w, 'p');
        Prefix(prefix);
        const std::string id = doc->MakeNewSysid();
        EXPECT_EQ(id.size(), 31u);
        EXPECT_EQ(id, prefix + "+" + std::string("5a5a5a5a").substr(8 - w));
        EXPECT_TRUE(CResultsDatabase::IsStorableSysid(id));
    }
    Db().Close();
    Prefix(std::string(27, 'p'));
    frame.clock = 0x2;
    EXPECT_EQ(doc->MakeNewSysid(), std::string(27, 'p') + "+002");  // zero-padded to W
    Db().Close();
    Prefix(std::string(22, 'p'));
    frame.clock = 0xABCDEF12;
    EXPECT_EQ(doc->MakeNewSysid(), std::string(22, 'p') + "+abcdef12");
}

TEST_F(SystemId, TwoInOneSecondDifferThroughSquaring) {
    CRecordEntry* mirror = Db().AddCurrentSystemRecord("Top", "BOX");
    ASSERT_NE(mirror, nullptr);
    mirror->SetAttr("SysName", "BOX", 0, 0);
    frame.clock = 0x10001;
    const std::string first = doc->MakeNewSysid();
    EXPECT_EQ(first, "BOX+00010001");
    Import(first);
    const std::string second = doc->MakeNewSysid();
    EXPECT_EQ(second, "BOX+00020001");  // 0x10001 squared, modulo 2^32
    // Known without regard to case.
    Import("box+00020001");
    EXPECT_EQ(doc->MakeNewSysid(), KQFormat("BOX+%08x", 0x20001u * 0x20001u));
    // One handed out and never stored (an export wrote it to a file) is not handed out again.
    frame.clock = 0x30003;
    EXPECT_EQ(doc->MakeNewSysid(), "BOX+00030003");
    EXPECT_EQ(doc->MakeNewSysid(), KQFormat("BOX+%08x", 0x30003u * 0x30003u));
}

TEST_F(SystemId, TenKnownCandidatesGiveUp) {
    Prefix("BOX");
    frame.clock = 0;  // squares to itself
    Import("BOX+00000000");
    EXPECT_EQ(doc->MakeNewSysid(), "");
    EXPECT_EQ(frame.log.back(), "Error 1012: Unable to find a unique ID for ");
}
