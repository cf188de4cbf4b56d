// vok --preview: what a job would write, printed, and nothing written: the
// program folder's files and the output keep their bytes and their times,
// and no file comes or goes; the exit status is a job's.
#include "support/RunProgram.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>

namespace vok::test {
namespace {

const std::string kExamples = VOK_EXAMPLES;

// Every file below a folder: its bytes and its modification time.
struct Snapshot {
    std::map<std::string, std::pair<std::string, int64_t>> files;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Take(const std::vector<std::filesystem::path>& folders) {
    Snapshot snapshot;
    for (const std::filesystem::path& folder : folders) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
            struct stat st {};
            EXPECT_EQ(::stat(entry.path().c_str(), &st), 0);
            const int64_t time = int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec;
            snapshot.files[entry.path().string()] = {
                entry.is_regular_file() ? ReadFile(entry.path()) : std::string(), time};
        }
    }
    return snapshot;
}

// An old time stamp, so that a rewrite would show even within the same second.
void WriteOld(const std::filesystem::path& path, std::string_view bytes) {
    WriteFile(path, bytes);
    const timespec old = {1'000'000'000, 0};
    const timespec times[2] = {old, old};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(PreviewCommand, WritesNothingAndPrintsWhatTheJobWouldWrite) {
    TempDir home, work;
    WriteOld(home / "config.ini", "[General]\r\nlTabSize=8\r\n");
    WriteOld(home / "ErrorLog.txt", "an earlier log\r\n");
    WriteOld(home / "_ExportSpecs.t2x", "an earlier export-specs file\r\n");
    WriteOld(home / "_AutoRecipe.rcp", "an earlier recipe\r\n");
    WriteOld(work / "out.csv", "an earlier output\r\n");
    WriteOld(work / "out.xlsx", "not even a workbook");
    const Snapshot before = Take({home.Path(), work.Path()});

    const std::string report = kExamples + "/trial-balance.txt";
    RunResult run = RunVok({"--preview", "-i", report, "-r", kExamples + "/trial-balance.rcp", "-o",
                            work.File("out.csv"), "--rows", "3"},
                           home.Path().string());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find("Table 1: lines 6 to 17, 12 rows\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Table 2: lines 26 to 40, 15 rows\n"), std::string::npos);
    EXPECT_NE(run.out.find("   15 | 2500-00      | NOTE PAYABLE - STATE BANK        | "),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("  ... and 12 more rows\n"), std::string::npos);
    EXPECT_EQ(Take({home.Path(), work.Path()}), before);

    // The marks in the report, a workbook output: still nothing written.
    run = RunVok(
        {"--preview", "-i", kExamples + "/trial-balance-marked.txt", "-o", work.File("out.xlsx")},
        home.Path().string());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("start key \">>1\" on line 6, offset 2"), std::string::npos);
    EXPECT_EQ(Take({home.Path(), work.Path()}), before);

    // A program folder without config.ini gets none, nor an error log. In
    // the switch syntax "\\" separates folders.
    TempDir empty;
    auto switchPath = [](std::string path) {
        std::replace(path.begin(), path.end(), '/', '\\');
        return path;
    };
    run = RunVok({"/I", switchPath(kExamples + "/general-ledger.txt"), "/R",
                  switchPath(kExamples + "/general-ledger.rcp"), "/P", "2"},
                 empty.Path().string());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("columns: A 1-5, B 6-11, C 12-42, D 43-62, E 63-79"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("  ... and 20 more rows\n"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(empty.Path()));
}

TEST(PreviewCommand, ProblemsAreSaidAndEndWithStatusOne) {
    TempDir home, work;
    WriteFile(work / "report.txt", CrLf({"TOP", "a b", "BOTTOM"}));
    WriteFile(work / "r.rcp", CrLf({"[Table 1]", "ReadStartLine=HEAD", "ReadStartLineOffset=1",
                                    "ReadEndLine=BOTTOM", "ReadEndLineOffset=-1", "Parsing=-- -",
                                    "WriteColumn=A"}));
    // A log, the one file a preview writes, and only when asked.
    RunResult run = RunVok({"--preview", "-i", work.File("report.txt"), "-r", work.File("r.rcp"),
                            "-l", work.File("logs/preview.log")},
                           home.Path().string());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "Error in Table specs: Can not find ReadStartLine: HEAD\n");
    EXPECT_NE(ReadFile(work / "logs" / "preview.log").find("Can not find ReadStartLine: HEAD"),
              std::string::npos);
    EXPECT_NE(run.out.find("Table 1: no rows: its start key is not in the report\n"
                           "  start key \"HEAD\" not in the report, offset 1; end key \"BOTTOM\" "
                           "on line 3, offset -1\n"),
              std::string::npos)
        << run.out;

    run = RunVok({"--preview", "-i", work.File("none.txt")}, home.Path().string());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "Input file: " + work.File("none.txt") + " does not exist!\n");

    run = RunVok({"--preview", "-i", work.File("*.txt")}, home.Path().string());
    EXPECT_EQ(run.exitCode, 1);

    run =
        RunVok({"--preview", "-i", work.File("report.txt"), "--rows", "-1"}, home.Path().string());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("The number of rows must be a whole number, 0 or more: -1"),
              std::string::npos);
    // Refused or not, a preview left the program folder empty.
    EXPECT_TRUE(std::filesystem::is_empty(home.Path()));
    run = RunVok({"-i", work.File("report.txt"), "--rows", "3"}, home.Path().string());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("The option --rows goes with --preview."), std::string::npos);
}

} // namespace
} // namespace vok::test
