// Start-up of the real program in a fresh program folder: the error log, the
// default config.ini, and that a command-line run never writes settings back.
#include "support/RunProgram.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <regex>

namespace vok::test {
namespace {

const std::string kDefaultConfig =
    CrLf({"[Header]", "Product=VOK_B", "FileType=CONFIG", "FileFormat=1.0", "", "[General]",
          "DefaultInputFile=", "DefaultOutputFile=", "UseRecipeFile=", "DefaultRecipeFile=", ""});

bool IsLogHeader(const std::string& log) {
    static const std::regex header(
        R"(VOK Wizard Error Log \[(1[0-2]|[1-9])/([1-9]|[12][0-9]|3[01])/[0-9]{4} )"
        R"((1[0-2]|[1-9]):[0-5][0-9]:[0-5][0-9] (AM|PM)\]\r\n)");
    return std::regex_match(log, header);
}

TEST(StartupTest, FirstStartCreatesConfigAndErrorLog) {
    TempDir home;
    const RunResult run = RunVok({"/X"}, home.Path().string());
    ASSERT_NE(run.exitCode, 127) << "the program could not be started";
    EXPECT_EQ(ReadFile(home.File("config.ini")), kDefaultConfig);
    const std::string log = ReadFile(home.File("ErrorLog.txt"));
    EXPECT_TRUE(IsLogHeader(log)) << log;
}

TEST(StartupTest, SecondStartRewritesTheLogAndLeavesConfigAlone) {
    TempDir home;
    RunVok({"/X"}, home.Path().string());
    // Settings a user made: a command-line run must not touch them.
    const std::string config = CrLf({"[General]", "lTabSize=4", "bShowExcel=FALSE",
                                     "UseRecipeFile=YES", "", "[frmMainMDI]", "Left=300"});
    WriteFile(home.File("config.ini"), config);
    WriteFile(home.File("ErrorLog.txt"), "earlier run\r\nmore lines\r\n");
    RunVok({"/T", "3", "/I", "a.txt"}, home.Path().string());
    EXPECT_EQ(ReadFile(home.File("config.ini")), config);
    const std::string log = ReadFile(home.File("ErrorLog.txt"));
    EXPECT_TRUE(IsLogHeader(log)) << log;
    // A run with the Linux-style syntax leaves it too.
    RunVok({"-i", "a.txt", "-t", "2"}, home.Path().string());
    EXPECT_EQ(ReadFile(home.File("config.ini")), config);
}

TEST(StartupTest, HelpAndCommandLineErrors) {
    TempDir home;
    RunResult run = RunVok({"--help"}, home.Path().string());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("Usage"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("--input"), std::string::npos);

    run = RunVok({"--version"}, home.Path().string());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.rfind("vok ", 0), 0u) << run.out;

    run = RunVok({"--frob"}, home.Path().string());
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("Unknown option: --frob"), std::string::npos) << run.err;
    run = RunVok({"-i"}, home.Path().string());
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("needs a value"), std::string::npos) << run.err;
}

} // namespace
} // namespace vok::test
