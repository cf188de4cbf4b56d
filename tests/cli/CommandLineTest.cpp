// The command line in both syntaxes: the switches and the Linux style.
#include "base/modUtilityFile.h"
#include "cli/modParseCommandLine.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace vok {
namespace {

using test::TempDir;

class SwitchSyntaxTest : public ::testing::Test {
protected:
    bool Parse(std::string_view text) {
        result = {};
        const bool parsed = ParseCommandLine(text, options, program, result);
        help = result.helpRequested;
        return parsed;
    }
    std::filesystem::path InProgramFolder(std::string_view name) const { return program / name; }
    // A path of the temporary folder written the way the switch syntax needs it.
    std::string Backslashed(const std::filesystem::path& p) const {
        std::string s = p.string();
        std::replace(s.begin(), s.end(), '/', '\\');
        return s;
    }

    TempDir dir;
    std::filesystem::path program = dir.Path();
    clsConversionOptions options;
    CommandLine result;
    bool help = false;
};

TEST_F(SwitchSyntaxTest, AnEmptyTextIsRefusedAndATextWithoutSlashesKeepsTheDefaults) {
    EXPECT_FALSE(Parse(""));
    // No slash: a job with the options as they are.
    EXPECT_TRUE(Parse("report.txt"));
    EXPECT_EQ(options.sInputFile, "");
    EXPECT_EQ(options.lTabSize, 8);
    EXPECT_TRUE(options.bClearOutputFileBeforeProcessing);
    EXPECT_FALSE(options.bUseRecipe);
}

TEST_F(SwitchSyntaxTest, FlagSwitchesInEitherCase) {
    EXPECT_FALSE(options.bQuiet);
    EXPECT_TRUE(Parse("ignored text /c /E /g /s /V /q"));
    EXPECT_TRUE(options.bQuiet);
    EXPECT_FALSE(options.bClearOutputFileBeforeProcessing);
    EXPECT_TRUE(options.bShowExcel);
    EXPECT_TRUE(options.bSaveInOriginalFolder);
    EXPECT_TRUE(options.bDoSubfolders);
    EXPECT_TRUE(options.bVerbose);
    EXPECT_FALSE(help);
    // An unknown letter is ignored together with its argument.
    clsConversionOptions before = options;
    EXPECT_TRUE(Parse("/X C:\\a.txt /Z"));
    EXPECT_EQ(options.sInputFile, before.sInputFile);
}

TEST_F(SwitchSyntaxTest, PathsResolveByTheirBackslash) {
    EXPECT_TRUE(Parse("/i c:\\in\\a.txt /OC:\\out\\b.csv"));
    // Every backslash separates folders: the path is typed once, here.
    EXPECT_EQ(options.sInputFile, "c:/in/a.txt");
    EXPECT_EQ(options.sOutputFile, "C:/out/b.csv");
    // Everything after the letter is the argument.
    EXPECT_TRUE(Parse("/Input x"));
    EXPECT_EQ(options.sInputFile, InProgramFolder("nput x"));
    // A full path loses its quotes; a bare name lies in the program folder and keeps them.
    EXPECT_TRUE(Parse("/O \"C:\\my out\\a.csv\" /I \"a b.txt\""));
    EXPECT_EQ(options.sOutputFile, "C:/my out/a.csv");
    EXPECT_EQ(options.sInputFile, InProgramFolder("\"a b.txt\""));
    EXPECT_TRUE(Parse("/I a.txt"));
    EXPECT_EQ(options.sInputFile, InProgramFolder("a.txt"));
    // The last of two switches wins.
    EXPECT_TRUE(Parse("/I a.txt /I b.txt"));
    EXPECT_EQ(options.sInputFile, InProgramFolder("b.txt"));
}

// Tab sizes run from 1 to 64, as in the options dialog; anything else is
// refused with the value as typed, and the last good one is kept.
TEST_F(SwitchSyntaxTest, TabSizeRoundsHalvesToEvenAndRefusesSizesOutsideOneToSixtyFour) {
    EXPECT_TRUE(Parse("/T 4"));
    EXPECT_EQ(options.lTabSize, 4);
    EXPECT_EQ(result.action, CommandLineAction::Interactive);
    EXPECT_TRUE(Parse("/T 2.5"));
    EXPECT_EQ(options.lTabSize, 2); // halves go to the even neighbour
    EXPECT_TRUE(Parse("/t3.5 /T 64"));
    EXPECT_EQ(options.lTabSize, 64);
    for (const std::string_view bad : {"four", "0", "-1", "65", "0.4", "99999999999", ""}) {
        EXPECT_TRUE(Parse("/T " + std::string(bad) + " /S /T 9"));
        EXPECT_EQ(result.action, CommandLineAction::Refused) << bad;
        EXPECT_EQ(result.error,
                  "The tab size must be a whole number from 1 to 64: " + std::string(bad));
        EXPECT_TRUE(options.bDoSubfolders);
    }
    EXPECT_EQ(options.lTabSize, 9);
}

TEST_F(SwitchSyntaxTest, RecipeSheetAndHelpSwitchesAreTakenAndTheLogFolderIsMade) {
    EXPECT_TRUE(Parse("/R C:\\r\\m.rcp /W \"My Sheet\" /?"));
    EXPECT_TRUE(options.bUseRecipe);
    EXPECT_EQ(options.sRecipeFile, "C:/r/m.rcp");
    EXPECT_EQ(options.sSheetTarget, "My Sheet");
    EXPECT_TRUE(help);

    const std::filesystem::path logFolder = dir.Path() / "logs" / "new";
    EXPECT_TRUE(Parse("/L " + Backslashed(logFolder / "run.log")));
    EXPECT_EQ(options.sLogFile, logFolder / "run.log");
    EXPECT_TRUE(std::filesystem::is_directory(logFolder));
    EXPECT_FALSE(std::filesystem::exists(logFolder / "run.log"));
}

TEST_F(SwitchSyntaxTest, FieldWithoutLetterRepeatsThePreviousSwitch) {
    EXPECT_TRUE(Parse("/R a.rcp //x"));
    EXPECT_TRUE(options.bUseRecipe);
    EXPECT_EQ(options.sRecipeFile, InProgramFolder(""));
    EXPECT_TRUE(Parse("/T 6 /"));
    EXPECT_EQ(options.lTabSize, 6);
}

TEST(FieldTest, TextsSplitIntoFieldsOfALetterAndItsArgument) {
    EXPECT_EQ(CountFields("", '/'), 1);
    EXPECT_EQ(CountFields("a", '/'), 1);
    EXPECT_EQ(CountFields("/I a /O b/", '/'), 4);

    std::string letter = "?";
    const std::string text = "lead /I  a b  /O\\x //  R y";
    EXPECT_EQ(GetField(1, text, '/', letter), "ead");
    EXPECT_EQ(letter, "l");
    EXPECT_EQ(GetField(2, text, '/', letter), "a b");
    EXPECT_EQ(letter, "I");
    EXPECT_EQ(GetField(3, text, '/', letter), "\\x");
    EXPECT_EQ(letter, "O");
    // An empty field leaves the letter of the field before it.
    letter = "?";
    EXPECT_EQ(GetField(4, text, '/', letter), "");
    EXPECT_EQ(letter, "O");
    letter = "keep";
    EXPECT_EQ(GetField(1, "/x", '/', letter), "");
    EXPECT_EQ(letter, "keep");
    // A blank letter is trimmed to nothing; the rest is the argument.
    EXPECT_EQ(GetField(5, text, '/', letter), "R y");
    EXPECT_EQ(letter, "");
    EXPECT_EQ(GetField(9, text, '/', letter), "");
}

class LinuxSyntaxTest : public ::testing::Test {
protected:
    CommandLine Read(std::vector<std::string> args) {
        return ReadCommandLine(args, options, program.Path(), current.Path());
    }
    TempDir program;
    TempDir current;
    clsConversionOptions options;
};

TEST_F(LinuxSyntaxTest, OptionsFillTheSameFields) {
    const CommandLine cl =
        Read({"-i", "in/a.txt", "--output=/abs/out.csv", "--recipe", "r.rcp", "-t", "4", "-s",
              "--original-folder", "-c", "-e", "-v", "-q", "-w", "\"Sheet 2\"", "--log",
              "logs/run.log"});
    EXPECT_EQ(cl.action, CommandLineAction::RunJob);
    const std::filesystem::path cur = current.Path();
    EXPECT_EQ(options.sInputFile, cur / "in/a.txt");
    EXPECT_EQ(options.sOutputFile, "/abs/out.csv");
    EXPECT_TRUE(options.bUseRecipe);
    EXPECT_EQ(options.sRecipeFile, cur / "r.rcp");
    EXPECT_EQ(options.lTabSize, 4);
    EXPECT_TRUE(options.bDoSubfolders);
    EXPECT_TRUE(options.bSaveInOriginalFolder);
    EXPECT_FALSE(options.bClearOutputFileBeforeProcessing);
    EXPECT_TRUE(options.bShowExcel);
    EXPECT_TRUE(options.bVerbose);
    EXPECT_TRUE(options.bQuiet);
    EXPECT_EQ(options.sSheetTarget, "\"Sheet 2\"");
    EXPECT_EQ(options.sLogFile, cur / "logs/run.log");
    EXPECT_TRUE(std::filesystem::is_directory(cur / "logs"));
}

TEST_F(LinuxSyntaxTest, RelativePathsUseTheCurrentFolderNotTheProgramFolder) {
    EXPECT_EQ(Read({"--input", "../x/a.txt"}).action, CommandLineAction::RunJob);
    EXPECT_EQ(options.sInputFile, current.Path().parent_path() / "x/a.txt");
    // A backslash is an ordinary character of a Linux file name.
    EXPECT_EQ(Read({"--input", "d/x\\y.txt"}).action, CommandLineAction::RunJob);
    EXPECT_EQ(options.sInputFile, current.Path() / "d" / "x\\y.txt");
    EXPECT_EQ(Read({"-i", "*.txt", "--tab-size=2.5"}).action, CommandLineAction::RunJob);
    EXPECT_EQ(options.sInputFile, current.Path() / "*.txt");
    EXPECT_EQ(options.lTabSize, 2);
}

TEST_F(LinuxSyntaxTest, BadCommandLinesAreErrors) {
    CommandLine cl = Read({"-i"});
    EXPECT_EQ(cl.action, CommandLineAction::Error);
    EXPECT_EQ(cl.error, "The option -i needs a value.");
    cl = Read({"--frob"});
    EXPECT_EQ(cl.action, CommandLineAction::Error);
    EXPECT_EQ(cl.error, "Unknown option: --frob");
    cl = Read({"--frob=1"});
    EXPECT_EQ(cl.error, "Unknown option: --frob=1");
    cl = Read({"-s", "stray.txt"});
    EXPECT_EQ(cl.action, CommandLineAction::Error);
    EXPECT_EQ(cl.error, "Unknown option: stray.txt");
    cl = Read({"--verbose=yes"});
    EXPECT_EQ(cl.error, "The option --verbose takes no value.");
    for (const char* bad : {"four", "0", "-1", "65", "2147483647"}) {
        cl = Read({"-t", bad});
        EXPECT_EQ(cl.action, CommandLineAction::Refused) << bad;
        EXPECT_EQ(cl.error, std::string("The tab size must be a whole number from 1 to 64: ") + bad);
        EXPECT_EQ(options.lTabSize, 8);
    }
}

TEST_F(LinuxSyntaxTest, HelpAndVersionWinAndAFirstArgumentWithoutADashChoosesTheSwitchSyntax) {
    EXPECT_EQ(Read({"-h"}).action, CommandLineAction::ShowHelp);
    EXPECT_EQ(Read({"-s", "--help", "--frob"}).action, CommandLineAction::ShowHelp);
    EXPECT_EQ(Read({"--version"}).action, CommandLineAction::ShowVersion);
    EXPECT_EQ(Read({}).action, CommandLineAction::Interactive);
    // A first argument without "-" is the switch syntax, its arguments joined by blanks.
    const CommandLine cl = Read({"/I", "a", "b.txt", "/?"});
    EXPECT_EQ(cl.action, CommandLineAction::RunJob);
    EXPECT_TRUE(cl.helpRequested);
    EXPECT_EQ(options.sInputFile, program.Path() / "a b.txt");
    EXPECT_NE(UsageText().find("--tab-size"), std::string::npos);
    EXPECT_NE(UsageText().find("/T size"), std::string::npos);
}

} // namespace
} // namespace vok
