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
    EXPECT_TRUE(app.AutoRun());
    EXPECT_EQ(app.AutoRunFile(), "C:\\out.kqx");
    EXPECT_FALSE(app.PromptProps());
    EXPECT_FALSE(app.Demo());
    EXPECT_FALSE(app.Log());
    EXPECT_EQ(app.CommandLine(), "");
}

TEST(CommandLineTest, OptionsWrittenTogether) {
    CAppState app = Parsed("-a-d");
    EXPECT_TRUE(app.AutoRun());
    EXPECT_EQ(app.AutoRunFile(), "");
    EXPECT_TRUE(app.Demo());
    EXPECT_EQ(app.CommandLine(), "");

    std::vector<std::string> options;
    EXPECT_EQ(CAppState::RemoveOptions("x -l-P-q y", options), "x  y");
    EXPECT_EQ(options, (std::vector<std::string>{"-l", "-P", "-q"}));
}

TEST(CommandLineTest, DashInsideQuotesStaysInTheCommandLine) {
    CAppState app = Parsed("-L \"/home/me/my-results.kqx\"");
    EXPECT_TRUE(app.Log());
    EXPECT_EQ(app.CommandLine(), "\"/home/me/my-results.kqx\"");
    EXPECT_FALSE(app.AutoRun());

    // Outside quotes a dash starts an option wherever it stands.
    EXPECT_EQ(Parsed("my-results.kqx").CommandLine(), "my");
}

TEST(CommandLineTest, QuotedExportPathKeepsBlanksAndDashes) {
    CAppState app = Parsed("-A:\"/tmp/my dir/out-1.kqx\" -p");
    EXPECT_TRUE(app.AutoRun());
    EXPECT_EQ(app.AutoRunFile(), "\"/tmp/my dir/out-1.kqx\"");
    EXPECT_FALSE(app.PromptProps());
    EXPECT_EQ(app.CommandLine(), "");
    EXPECT_EQ(CAppState::MakeExportFileName(app.AutoRunFile()), "/tmp/my dir/out-1.kqx");

    CAppState noExt = Parsed("-a:\"my out\"");
    EXPECT_EQ(CAppState::MakeExportFileName(noExt.AutoRunFile()), "my out.kqx");
}

TEST(CommandLineTest, OptionDetails) {
    // "-A:" alone names no file; one more character does.
    EXPECT_EQ(Parsed("-A:").AutoRunFile(), "");
    EXPECT_TRUE(Parsed("-A:").AutoRun());
    EXPECT_EQ(Parsed("-A:x").AutoRunFile(), "x");
    EXPECT_EQ(Parsed("-Ax:y").AutoRunFile(), "");

    CAppState other = Parsed("-x - -Z \"a b.kqx\"  ");
    EXPECT_FALSE(other.AutoRun() || other.Demo() || other.Log());
    EXPECT_TRUE(other.PromptProps());
    EXPECT_EQ(other.CommandLine(), "\"a b.kqx\"");

    CAppState blanks = Parsed("   file.kqx   -D  ");
    EXPECT_TRUE(blanks.Demo());
    EXPECT_EQ(blanks.CommandLine(), "file.kqx");

    // An unterminated quote inside an option runs the option to the end.
    CAppState open = Parsed("-A:\"x -P");
    EXPECT_EQ(open.AutoRunFile(), "\"x -P");
    EXPECT_TRUE(open.PromptProps());
    EXPECT_EQ(open.CommandLine(), "");

    EXPECT_EQ(Parsed("").CommandLine(), "");
}

TEST(CommandLineTest, EveryFileNamedIsKeptInOrder) {
    CAppState app = Parsed("-P a.kqx \"my dir/b-1.kqx\"  c.KQX");
    EXPECT_FALSE(app.PromptProps());
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
    EXPECT_EQ(app.ProgramDir(), "/opt/quillon/");
    EXPECT_EQ(app.DatabasePath(), "/opt/quillon/Quillo97.kqd");
    app.SetProgramDir("/opt/q/");
    EXPECT_EQ(app.ProgramDir(), "/opt/q/");
    EXPECT_EQ(app.DatabasePath(), "/opt/q/Quillo97.kqd");
}
