// config.ini: the default file and how the form's settings are read from it.
#include "cli/MainModule.h"

#include "job/ProgramSettings.h"
#include "recipe/ProfileFile.h"
#include "support/RecordingObserver.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace vok {
namespace {

using test::CrLf;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

const std::string kDefaultConfig =
    "[Header]\r\nProduct=VOK_B\r\nFileType=CONFIG\r\nFileFormat=1.0\r\n\r\n[General]\r\n"
    "DefaultInputFile=\r\nDefaultOutputFile=\r\nUseRecipeFile=\r\nDefaultRecipeFile=\r\n\r\n";

// A program folder with its settings and a recording observer.
struct StateFixture {
    TempDir dir;
    RecordingObserver messages;
    ProgramSettings state{dir.Path()};
};

// Saves the settings as the desktop does: into config.ini as it stands, in one commit.
bool SaveSettings(const ProgramSettings& settings, std::string& error) {
    ProfileFile config(settings.gConfigFile);
    settings.WriteSettings(config);
    return config.Commit(error);
}

TEST(MainModuleTest, DefaultConfigFileReplacesAnyFile) {
    StateFixture f;
    WriteFile(f.state.gConfigFile, "old content that is longer than the default file......"
                                   "....................................................."
                                   ".....................................................");
    CreateDefaultConfigFile(f.state.gConfigFile);
    EXPECT_EQ(ReadFile(f.state.gConfigFile), kDefaultConfig);
}

TEST(MainModuleTest, DefaultSettingsWhenKeysAreMissing) {
    StateFixture f;
    CreateDefaultConfigFile(f.state.gConfigFile);
    f.state.Settings.lTabSize = 3;
    f.state.Settings.bShowExcel = false;
    f.state.ReadSettings(f.messages);
    const FormSettings& s = f.state.Settings;
    EXPECT_FALSE(s.bWarnedAboutTabsInFile);
    EXPECT_TRUE(s.bShowExcel);
    EXPECT_TRUE(s.bClearOutputFileBeforeProcessing);
    EXPECT_EQ(s.sSheetTarget, "1");
    EXPECT_EQ(s.lTabSize, 8);
    // "UseRecipeFile=" is empty, so the reader's default "NO" applies.
    EXPECT_FALSE(s.UseRecipeFile);
    EXPECT_TRUE(f.messages.shown.empty());
}

TEST(MainModuleTest, BooleansAreFalseOnlyForFalse) {
    StateFixture f;
    WriteFile(f.state.gConfigFile, CrLf({"[general]", "bWarnedAboutTabsInFile=", "BSHOWEXCEL=false",
                                         "bClearOutputFileBeforeProcessing=no", "sSheetTarget=Data",
                                         "lTabSize=4", "UseRecipeFile= yes "}));
    f.state.ReadSettings(f.messages);
    const FormSettings& s = f.state.Settings;
    // Any value other than "FALSE" is true, the empty one included.
    EXPECT_TRUE(s.bWarnedAboutTabsInFile);
    EXPECT_FALSE(s.bShowExcel);
    EXPECT_TRUE(s.bClearOutputFileBeforeProcessing);
    EXPECT_EQ(s.sSheetTarget, "Data");
    EXPECT_EQ(s.lTabSize, 4);
    // UseRecipeFile goes through the case-sensitive sectioned reader: "[general]" is
    // not "[General]", so it stays at its default.
    EXPECT_FALSE(s.UseRecipeFile);

    WriteFile(f.state.gConfigFile, CrLf({"[General]", "UseRecipeFile= yes ", "lTabSize=four"}));
    f.state.ReadSettings(f.messages);
    EXPECT_TRUE(f.state.Settings.UseRecipeFile);
    EXPECT_EQ(f.state.Settings.lTabSize, 8); // a tab size that is no number reads as 8
    // Nor one the options dialog would refuse: it would take memory without bound.
    for (const char* size : {"0", "-3", "65", "2147483647"}) {
        WriteFile(f.state.gConfigFile, CrLf({"[General]", std::string("lTabSize=") + size}));
        f.state.ReadSettings(f.messages);
        EXPECT_EQ(f.state.Settings.lTabSize, 8) << size;
    }
}

TEST(MainModuleTest, MissingConfigIsReported) {
    StateFixture f;
    f.state.ReadSettings(f.messages);
    EXPECT_EQ(f.messages.Texts(),
              std::vector<std::string>{f.state.gConfigFile.string() + " can not be found!"});
}

// The desktop writes the settings back when it closes: every key of [General]
// in its stored form, the rest of the file as it was, and no rewrite at all
// when nothing changed.
TEST(MainModuleTest, SavedSettingsReadBackAndUnchangedOnesAreNotRewritten) {
    StateFixture f;
    CreateDefaultConfigFile(f.state.gConfigFile);
    WriteIniValue(f.state.gConfigFile, "frmMainMDI", "Left", "300");
    f.state.ReadSettings(f.messages);
    FormSettings& s = f.state.Settings;
    s.bWarnedAboutTabsInFile = true;
    s.bShowExcel = false;
    s.sSheetTarget = "Budget, Expense";
    s.lTabSize = 4;
    s.UseRecipeFile = true;
    std::string error;
    ASSERT_TRUE(SaveSettings(f.state, error)) << error;
    EXPECT_EQ(ReadFile(f.state.gConfigFile),
              CrLf({"[Header]", "Product=VOK_B", "FileType=CONFIG", "FileFormat=1.0", "",
                    "[General]", "DefaultInputFile=", "DefaultOutputFile=", "UseRecipeFile=YES",
                    "DefaultRecipeFile=", "bWarnedAboutTabsInFile=TRUE", "bShowExcel=FALSE",
                    "bClearOutputFileBeforeProcessing=TRUE", "sSheetTarget=Budget, Expense",
                    "lTabSize=4", "", "[frmMainMDI]", "Left=300"}));
    ProgramSettings again(f.dir.Path());
    again.ReadSettings(f.messages);
    EXPECT_TRUE(again.Settings.bWarnedAboutTabsInFile);
    EXPECT_FALSE(again.Settings.bShowExcel);
    EXPECT_EQ(again.Settings.sSheetTarget, "Budget, Expense");
    EXPECT_EQ(again.Settings.lTabSize, 4);
    EXPECT_TRUE(again.Settings.UseRecipeFile);

    struct stat before {};
    ASSERT_EQ(::stat(f.state.gConfigFile.c_str(), &before), 0);
    ASSERT_TRUE(SaveSettings(again, error));
    struct stat after {};
    ASSERT_EQ(::stat(f.state.gConfigFile.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
}

} // namespace
} // namespace vok
