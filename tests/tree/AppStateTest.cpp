#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/AppState.h"

namespace {

CAppState Parsed(const std::string& line) {
    CAppState app;
    app.ParseCommandLine(line);
    return app;
}

}  // namespace

TEST(CommandLineTest, AutoRunWithFileThenPrompt) {
    CAppState app = Parsed("-A:C:\\out.kqx -P");
    EXPECT_EQ(app.m_autoRun, 1);
    EXPECT_EQ(app.m_autoRunFile, "C:\\out.kqx");
    EXPECT_EQ(app.m_promptProps, 0);
    EXPECT_EQ(app.m_demo, 0);
    EXPECT_EQ(app.m_log, 0);
    EXPECT_EQ(app.m_commandLine, "");
}

TEST(CommandLineTest, OptionsWrittenTogether) {
    CAppState app = Parsed("-a-d");
    EXPECT_EQ(app.m_autoRun, 1);
    EXPECT_EQ(app.m_autoRunFile, "");
    EXPECT_EQ(app.m_demo, 1);
    EXPECT_EQ(app.m_commandLine, "");

    std::vector<std::string> options;
    EXPECT_EQ(CAppState::RemoveOptions("x -l-P-q y", options), "x  y");
    EXPECT_EQ(options, (std::vector<std::string>{"-l", "-P", "-q"}));
}

TEST(CommandLineTest, DashInsideQuotesStaysInTheCommandLine) {
    CAppState app = Parsed("-L \"/home/me/my-results.kqx\"");
    EXPECT_EQ(app.m_log, 1);
    EXPECT_EQ(app.m_commandLine, "\"/home/me/my-results.kqx\"");
    EXPECT_EQ(app.m_autoRun, 0);

    // Outside quotes a dash starts an option wherever it stands.
    EXPECT_EQ(Parsed("my-results.kqx").m_commandLine, "my");
}

TEST(CommandLineTest, QuotedExportPathKeepsBlanksAndDashes) {
    CAppState app = Parsed("-A:\"/tmp/my dir/out-1.kqx\" -p");
    EXPECT_EQ(app.m_autoRun, 1);
    EXPECT_EQ(app.m_autoRunFile, "\"/tmp/my dir/out-1.kqx\"");
    EXPECT_EQ(app.m_promptProps, 0);
    EXPECT_EQ(app.m_commandLine, "");
    EXPECT_EQ(CAppState::MakeExportFileName(app.m_autoRunFile), "/tmp/my dir/out-1.kqx");

    CAppState noExt = Parsed("-a:\"my out\"");
    EXPECT_EQ(CAppState::MakeExportFileName(noExt.m_autoRunFile), "my out.kqx");
}

TEST(CommandLineTest, OptionDetails) {
    // "-A:" alone names no file; one more character does.
    EXPECT_EQ(Parsed("-A:").m_autoRunFile, "");
    EXPECT_EQ(Parsed("-A:").m_autoRun, 1);
    EXPECT_EQ(Parsed("-A:x").m_autoRunFile, "x");
    EXPECT_EQ(Parsed("-Ax:y").m_autoRunFile, "");

    CAppState other = Parsed("-x - -Z \"a b.kqx\"  ");
    EXPECT_EQ(other.m_autoRun + other.m_demo + other.m_log, 0);
    EXPECT_EQ(other.m_promptProps, 1);
    EXPECT_EQ(other.m_commandLine, "\"a b.kqx\"");

    CAppState blanks = Parsed("   file.kqx   -D  ");
    EXPECT_EQ(blanks.m_demo, 1);
    EXPECT_EQ(blanks.m_commandLine, "file.kqx");

    // An unterminated quote inside an option runs the option to the end.
    CAppState open = Parsed("-A:\"x -P");
    EXPECT_EQ(open.m_autoRunFile, "\"x -P");
    EXPECT_EQ(open.m_promptProps, 1);
    EXPECT_EQ(open.m_commandLine, "");

    EXPECT_EQ(Parsed("").m_commandLine, "");
}

TEST(CommandLineTest, EveryFileNamedIsKeptInOrder) {
    CAppState app = Parsed("-P a.kqx \"my dir/b-1.kqx\"  c.KQX");
    EXPECT_EQ(app.m_promptProps, 0);
    EXPECT_EQ(app.CommandLineFiles(),
              (std::vector<std::string>{"a.kqx", "my dir/b-1.kqx", "c.KQX"}));
    EXPECT_EQ(Parsed("\"one file.kqx\"").CommandLineFiles(),
              std::vector<std::string>{"one file.kqx"});
    EXPECT_TRUE(Parsed("-L").CommandLineFiles().empty());
}

TEST(AppHelpersTest, Unquote) {
    EXPECT_EQ(CAppState::Unquote("\"a b\""), "a b");
    EXPECT_EQ(CAppState::Unquote("\"\""), "");
    EXPECT_EQ(CAppState::Unquote("\""), "\"");
    EXPECT_EQ(CAppState::Unquote("\"abc"), "\"abc");
    EXPECT_EQ(CAppState::Unquote("abc\""), "abc\"");
    EXPECT_EQ(CAppState::Unquote(""), "");
}

TEST(AppHelpersTest, ExchangeFileNames) {
    EXPECT_TRUE(CAppState::IsExchangeFileName("results.kqx"));
    EXPECT_TRUE(CAppState::IsExchangeFileName("/a/b/RESULTS.KqX"));
    EXPECT_FALSE(CAppState::IsExchangeFileName("results.kqx.txt"));
    EXPECT_FALSE(CAppState::IsExchangeFileName("kqx"));
    EXPECT_FALSE(CAppState::IsExchangeFileName("results."));
    EXPECT_FALSE(CAppState::IsExchangeFileName("a.kqxx"));
    EXPECT_FALSE(CAppState::IsExchangeFileName("dir.kqx/file"));

    EXPECT_EQ(CAppState::MakeExportFileName("out"), "out.kqx");
    EXPECT_EQ(CAppState::MakeExportFileName("out.txt"), "out.txt");
    EXPECT_EQ(CAppState::MakeExportFileName("./out"), "./out");  // a '.' anywhere counts
    EXPECT_EQ(CAppState::MakeExportFileName(""), "");
    EXPECT_EQ(CAppState::MakeExportFileName("\"\""), "");
}

TEST(AppHelpersTest, ProgramDirectoryAndDatabasePath) {
    CAppState app;
    app.SetProgramDir("/opt/quillon");
    EXPECT_EQ(app.m_programDir, "/opt/quillon/");
    EXPECT_EQ(app.m_databasePath, "/opt/quillon/Quillo97.kqd");
    app.SetProgramDir("/opt/q/");
    EXPECT_EQ(app.m_programDir, "/opt/q/");
    EXPECT_EQ(app.m_databasePath, "/opt/q/Quillo97.kqd");
}
