// Regression tests for faults users met with paths, folder jobs and the log:
// each runs the real program the way the user did, in both syntaxes where a
// path is involved.
#include "support/RunProgram.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace vok::test {
namespace {

const std::string kMarked = CrLf({">>1", "----- ---", "alpha 1", "beta  2", "<<1"});

// The switch syntax's spelling of a path: backslashes between folders.
std::string Switch(const std::filesystem::path& p) {
    std::string s = p.string();
    std::replace(s.begin(), s.end(), '/', '\\');
    return s;
}

std::vector<std::filesystem::path> FilesBelow(const std::filesystem::path& root) {
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        if (entry.is_regular_file()) found.push_back(entry.path().lexically_relative(root));
    std::sort(found.begin(), found.end());
    return found;
}

// Fault: in the Linux style "-i 'd/x\y.txt'" was read as "d/x/y.txt"; a
// backslash is part of a Linux file name.
TEST(PathsAndOutcomes, BackslashIsPartOfALinuxFileName) {
    TempDir home, work;
    WriteFile(work / "d/x\\y.txt", kMarked);
    const RunResult run =
        RunVok({"-i", "d/x\\y.txt", "-o", "out.csv"}, home.Path().string(), work.Path().string());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFile(work / "out.csv"), CrLf({"alpha ,1 ", "beta  ,2 "}));
}

// Fault: in the switch syntax an output path was kept as typed, so a file
// literally named "\tmp\d\out.csv" could appear in the current folder.
TEST(PathsAndOutcomes, SwitchSyntaxPathsNameTheSameFilesAsLinuxPaths) {
    TempDir home, work, current;
    WriteFile(work / "r.txt", kMarked);
    const RunResult run = RunVok({"/I", Switch(work / "r.txt"), "/O", Switch(work / "sub/out.csv")},
                                 home.Path().string(), current.Path().string());
    // The output folder does not exist: the message names it with "/" separators.
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find((work / "sub/out.csv").string()), std::string::npos) << run.err;
    std::filesystem::create_directory(work / "sub");
    const RunResult again =
        RunVok({"/I", Switch(work / "r.txt"), "/O", Switch(work / "sub/out.csv")},
               home.Path().string(), current.Path().string());
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_TRUE(std::filesystem::exists(work / "sub/out.csv"));
    EXPECT_TRUE(std::filesystem::is_empty(current.Path()));
}

// Fault: a link "sub/loop -> .." made a folder job produce 82 outputs about
// 40 levels deep, with status 0.
TEST(PathsAndOutcomes, FolderJobVisitsEachRealFolderOnce) {
    TempDir home, work;
    WriteFile(work / "in/a.txt", kMarked);
    WriteFile(work / "in/sub/b.txt", kMarked);
    std::filesystem::create_directory_symlink("..", work / "in/sub/loop");
    for (const bool switchSyntax : {false, true}) {
        std::filesystem::remove_all(work / "out");
        const RunResult run =
            switchSyntax
                ? RunVok({"/I", Switch(work / "in/*.txt"), "/O", Switch(work / "out/*.csv"), "/S"},
                         home.Path().string())
                : RunVok({"-i", (work / "in/*.txt").string(), "-o", (work / "out/*.csv").string(),
                          "-s"},
                         home.Path().string());
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(FilesBelow(work / "out"),
                  (std::vector<std::filesystem::path>{"a.csv", "sub/b.csv"}));
    }
}

// Fault: a folder that could not be listed was skipped without a word, and
// the job ended with status 0.
TEST(PathsAndOutcomes, FolderThatCannotBeListedIsSaid) {
    TempDir home, work;
    WriteFile(work / "in/a.txt", kMarked);
    WriteFile(work / "in/closed/b.txt", kMarked);
    ::chmod(work.Path().c_str(), 0777);
    ::chmod(home.Path().c_str(), 0777);
    ::chmod((work / "in").c_str(), 0777);
    ::chmod((work / "in/closed").c_str(), 0);
    const RunResult run =
        RunVok({"-i", (work / "in/*.txt").string(), "-o", (work / "out/*.csv").string(), "-s"},
               home.Path().string(), {}, RunAs::Nobody);
    ::chmod((work / "in/closed").c_str(), 0755);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Cannot list the folder " + (work / "in/closed/").string() +
                           ": Permission denied"),
              std::string::npos)
        << run.err;
    // The files that could be listed are still converted.
    EXPECT_TRUE(std::filesystem::exists(work / "out/a.csv"));
}

// Fault: a read error in a report counted as its end; the table was cut short
// and the job ended with status 0.
TEST(PathsAndOutcomes, ReadErrorInAReportIsSaid) {
    TempDir home, work;
    WriteFile(work / "r.rcp", CrLf({"[Table 1]", "ReadStartLine=A", "ReadEndLine=B", "Parsing=---",
                                    "WriteColumn=A"}));
    // Reading this file of the running process fails with an I/O error.
    const RunResult run = RunVok({"-i", "/proc/self/mem", "-r", (work / "r.rcp").string(), "-o",
                                  (work / "out.csv").string()},
                                 home.Path().string());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Cannot read the report /proc/self/mem: Input/output error"),
              std::string::npos)
        << run.err;
}

// Fault: the log said "Converted" for a file whose workbook was refused or
// could not be saved.
TEST(PathsAndOutcomes, LogHoldsEachFilesRealOutcome) {
    TempDir home, work;
    WriteFile(work / "in/a.txt", kMarked);
    WriteFile(work / "in/b.txt", kMarked);
    WriteFile(work / "in/c.txt", CrLf({"no marks here"}));
    // b's workbook is open in a spreadsheet program.
    std::filesystem::create_directory(work / "out");
    WriteFile(work / "out/.~lock.b.xlsx#", "x");
    for (const bool switchSyntax : {false, true}) {
        std::filesystem::remove(work / "run.log");
        const RunResult run =
            switchSyntax
                ? RunVok({"/I", Switch(work / "in/*.txt"), "/O", Switch(work / "out/*.xlsx"), "/L",
                          Switch(work / "run.log")},
                         home.Path().string())
                : RunVok({"-i", (work / "in/*.txt").string(), "-o", (work / "out/*.xlsx").string(),
                          "-l", (work / "run.log").string()},
                         home.Path().string());
        EXPECT_EQ(run.exitCode, 1);
        const std::string log = ReadFile(work / "run.log");
        EXPECT_NE(log.find("] Converted " + (work / "in/a.txt").string() + " to " +
                           (work / "out/a.xlsx").string()),
                  std::string::npos)
            << log;
        EXPECT_NE(log.find("] Skipped " + (work / "in/b.txt").string() +
                           ": Microsoft Excel is already open. Please close it then retry"),
                  std::string::npos)
            << log;
        EXPECT_EQ(log.find("Converted " + (work / "in/b.txt").string()), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(work / "out/b.xlsx"));
    }
}

// A workbook that cannot be saved is a failed file in the log, never "Converted".
TEST(PathsAndOutcomes, LogSaysWhenAWorkbookCouldNotBeSaved) {
    TempDir home, work;
    WriteFile(work / "a.txt", kMarked);
    std::filesystem::create_directory(work / "closed");
    ::chmod(work.Path().c_str(), 0777);
    ::chmod(home.Path().c_str(), 0777);
    ::chmod((work / "closed").c_str(), 0555);
    for (const bool switchSyntax : {false, true}) {
        std::filesystem::remove(work / "run.log");
        const RunResult run =
            switchSyntax
                ? RunVok({"/I", Switch(work / "a.txt"), "/O", Switch(work / "closed/a.xlsx"), "/L",
                          Switch(work / "run.log")},
                         home.Path().string(), {}, RunAs::Nobody)
                : RunVok({"-i", (work / "a.txt").string(), "-o", (work / "closed/a.xlsx").string(),
                          "-l", (work / "run.log").string()},
                         home.Path().string(), {}, RunAs::Nobody);
        EXPECT_EQ(run.exitCode, 1);
        const std::string log = ReadFile(work / "run.log");
        EXPECT_NE(log.find("] Skipped " + (work / "a.txt").string() +
                           ": Cannot create the workbook " + (work / "closed/a.xlsx").string()),
                  std::string::npos)
            << log;
        EXPECT_EQ(log.find("Converted"), std::string::npos) << log;
    }
}

} // namespace
} // namespace vok::test
