// The workbook engine's libraries are loaded by workbook jobs only: --version
// and CSV jobs start without them, and a workbook job still finds them.
#include "support/RunProgram.h"
#include "support/TestSupport.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace vok::test {
namespace {

// The program run with the loader saying which libraries it loads.
RunResult RunSayingLibraries(const std::vector<std::string>& args, const std::string& home) {
    ::setenv("LD_DEBUG", "libs", 1);
    RunResult run = RunVok(args, home);
    ::unsetenv("LD_DEBUG");
    return run;
}

TEST(WorkbookModule, LoadedForWorkbookJobsOnly) {
    TempDir home, work;
    WriteFile(work / "r.txt", CrLf({">>1", "----- -----", "Cash  12.50", "<<1"}));
    const RunResult version = RunSayingLibraries({"--version"}, home.Path().string());
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.err.find("libgsf"), std::string::npos);
    EXPECT_EQ(version.err.find("vok-workbook"), std::string::npos);

    const RunResult csv = RunSayingLibraries({"-i", work.File("r.txt"), "-o", work.File("r.csv")},
                                             home.Path().string());
    EXPECT_EQ(csv.exitCode, 0);
    EXPECT_EQ(csv.err.find("libgsf"), std::string::npos);
    EXPECT_EQ(ReadFile(work / "r.csv"), "Cash  ,12.50\r\n");

    const RunResult book = RunSayingLibraries({"-i", work.File("r.txt"), "-o", work.File("r.xlsx")},
                                              home.Path().string());
    EXPECT_EQ(book.exitCode, 0);
    EXPECT_NE(book.err.find("libvok-workbook.so"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_regular_file(work / "r.xlsx"));
}

} // namespace
} // namespace vok::test
