// The workbook engines' libraries are loaded by workbook jobs only: --version
// and CSV jobs start without them, a job making a new .xlsx loads only the
// small module that writes one, and a workbook job still finds them. Neither
// the program nor the new-workbook module loads the shared C++ runtime.
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

// A run that loaded neither the shared C++ runtime nor libfmt, which needs
// it; a sanitized build keeps the shared runtime its interceptors expect.
void ExpectOwnRuntime(const RunResult& run) {
#if VOK_OWN_CXX_RUNTIME
    EXPECT_EQ(run.err.find("libstdc++"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("libfmt"), std::string::npos) << run.err;
#else
    (void)run;
#endif
}

TEST(WorkbookModule, LoadedForWorkbookJobsOnly) {
    TempDir home, work;
    WriteFile(work / "r.txt", CrLf({">>1", "----- -----", "Cash  12.50", "<<1"}));
    const RunResult version = RunSayingLibraries({"--version"}, home.Path().string());
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.err.find("libgsf"), std::string::npos);
    EXPECT_EQ(version.err.find("vok-workbook"), std::string::npos);
    EXPECT_EQ(version.err.find("vok-xlsx"), std::string::npos);
    EXPECT_EQ(version.err.find("libsqlite3"), std::string::npos);
    ExpectOwnRuntime(version);

    const RunResult csv = RunSayingLibraries({"-i", work.File("r.txt"), "-o", work.File("r.csv")},
                                             home.Path().string());
    EXPECT_EQ(csv.exitCode, 0);
    EXPECT_EQ(csv.err.find("libgsf"), std::string::npos);
    EXPECT_EQ(csv.err.find("libsqlite3"), std::string::npos);
    ExpectOwnRuntime(csv);
    EXPECT_EQ(ReadFile(work / "r.csv"), "Cash  ,12.50\r\n");

    // A new .xlsx needs its own small module and nothing of the engines
    // that read existing workbooks (GLib, ICU, libcrypto).
    const RunResult book = RunSayingLibraries({"-i", work.File("r.txt"), "-o", work.File("r.xlsx")},
                                              home.Path().string());
    EXPECT_EQ(book.exitCode, 0);
    EXPECT_NE(book.err.find("libvok-xlsx.so"), std::string::npos);
    for (const char* heavy : {"libvok-workbook.so", "libgsf", "libglib", "libicu", "libcrypto",
                              "libxlsxwriter", "libzip", "libsqlite3"})
        EXPECT_EQ(book.err.find(heavy), std::string::npos) << heavy;
    ExpectOwnRuntime(book);
    EXPECT_TRUE(std::filesystem::is_regular_file(work / "r.xlsx"));

    // Writing into it again reads it: the engines' module.
    const RunResult again = RunSayingLibraries(
        {"-i", work.File("r.txt"), "-o", work.File("r.xlsx"), "-c"}, home.Path().string());
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_NE(again.err.find("libvok-workbook.so"), std::string::npos);

    // SQLite binds all its symbols when it is loaded: only a database job
    // loads it, and its rows are there.
    const RunResult database = RunSayingLibraries(
        {"-i", work.File("r.txt"), "-o", work.File("r.db")}, home.Path().string());
    EXPECT_EQ(database.exitCode, 0);
    EXPECT_NE(database.err.find("libsqlite3.so.0"), std::string::npos);
    EXPECT_EQ(database.err.find("libvok-workbook.so"), std::string::npos);
    EXPECT_GT(std::filesystem::file_size(work / "r.db"), 0u);
}

} // namespace
} // namespace vok::test
