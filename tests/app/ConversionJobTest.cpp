#include "app/ConversionJob.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace vok::test {
namespace {

TEST(ConversionJob, PatternsSelectFilesByExtensionOnly) {
    EXPECT_TRUE(ConversionJob::PatternMatchesExtension("*.*", ""));
    EXPECT_TRUE(ConversionJob::PatternMatchesExtension("*.TXT", "txt"));
    EXPECT_TRUE(ConversionJob::PatternMatchesExtension("*.txt", "Txt"));
    EXPECT_FALSE(ConversionJob::PatternMatchesExtension("*", "txt"));
    EXPECT_FALSE(ConversionJob::PatternMatchesExtension("rep*.txt", "txt"));
    EXPECT_FALSE(ConversionJob::PatternMatchesExtension("*.tx", "txt"));
}

TEST(ConversionJob, FileListHasAFoldersOwnFilesBeforeItsSubfolders) {
    StateFixture f;
    WriteFile(f.dir.File("in/b.txt"), "x");
    WriteFile(f.dir.File("in/a.TXT"), "x");
    WriteFile(f.dir.File("in/sub/c.txt"), "x");
    WriteFile(f.dir.File("in/sub/d.csv"), "x");
    ConversionJob job(f.state);
    std::vector<std::string> files;
    std::string error;
    ASSERT_TRUE(job.BuildOriginalFileList(f.dir.File("in/*.txt"), true, files, error));
    EXPECT_EQ(files, (std::vector<std::string>{f.dir.File("in/a.TXT"), f.dir.File("in/b.txt"),
                                               f.dir.File("in/sub/c.txt")}));
    files.clear();
    ASSERT_TRUE(job.BuildOriginalFileList(f.dir.File("in/*"), true, files, error));
    EXPECT_TRUE(files.empty());
    EXPECT_FALSE(job.BuildOriginalFileList(f.dir.File("none/*.txt"), true, files, error));
    EXPECT_EQ(error, "Folder: " + f.dir.File("none/") + " does not exist");
    EXPECT_FALSE(job.BuildOriginalFileList(f.dir.File("none.txt"), false, files, error));
    EXPECT_EQ(error, "File: " + f.dir.File("none.txt") + " does not exist");
}

TEST(ConversionJob, EndsWithConversionCompleteAndTheElapsedTime) {
    StateFixture f;
    f.state.gCommandLineMode = true;
    f.state.gConversionOptions.sInputFile = f.dir.File("a.txt");
    f.state.gConversionOptions.sOutputFile = f.dir.File("a.csv.xls");
    WriteFile(f.dir.File("a.txt"), CrLf({">>1", "--", "ab", "<<1"}));
    ConversionJob job(f.state);
    EXPECT_EQ(job.BeginProcessing(), 0);
    // ".CSV" is tested first, so the name above is written as CSV.
    EXPECT_EQ(ReadFile(f.dir.File("a.csv.xls")), CrLf({"ab"}));
    EXPECT_EQ(f.messages.Status(StatusTarget::Progress), "Conversion Complete");
    EXPECT_EQ(f.messages.Status(StatusTarget::CurrentFile),
              f.dir.File("a.txt") + "   [1 of 1 files]");
    EXPECT_FALSE(f.state.StopRequested);
}

TEST(ConversionJob, TabNoticeIsShownOnceAndIsNoFailure) {
    StateFixture f;
    f.state.gConversionOptions.sInputFile = f.dir.File("in/*.txt");
    f.state.gConversionOptions.sOutputFile = f.dir.File("out/*.csv");
    WriteFile(f.dir.File("in/a.txt"), CrLf({">>1", "--", "a\tb", "<<1"}));
    WriteFile(f.dir.File("in/b.txt"), CrLf({">>1", "--", "a\tb", "<<1"}));
    ConversionJob job(f.state);
    job.BeginProcessing();
    EXPECT_EQ(f.messages.Texts(), std::vector<std::string>{
                                      "NOTE: The text in the Input File contains tab "
                                      "characters.\nTo specify the tab stop, change the options."});
    EXPECT_FALSE(f.messages.FailureShown());
    EXPECT_TRUE(f.state.Settings.bWarnedAboutTabsInFile);
}

TEST(ConversionJob, LaunchingAMissingPathSaysSo) {
    StateFixture f;
    ConversionJob job(f.state);
    EXPECT_FALSE(job.LaunchFile(f.dir.File("gone.csv")));
    ASSERT_EQ(f.messages.shown.size(), 1u);
    EXPECT_EQ(f.messages.shown[0].text,
              "File/Folder does not exist:\r\n\r\n" + f.dir.File("gone.csv"));
    EXPECT_EQ(f.messages.shown[0].caption, "Error");
    EXPECT_EQ(f.messages.shown[0].icon, MessageIcon::Information);
}

} // namespace
} // namespace vok::test
