// Conversion benchmark, run by hand (never by the tests):
//   convert_bench [lines] [work folder]
// Generates a ledger report of `lines` lines (default 1,000,000, about 100 MB),
// then runs the real program on it as a child process and prints the speed
// and the child's peak memory for:
//   1. the whole report as one table with a fixed template, to CSV;
//   2. a table of 9,999 rows with an "=R" derived layout, to CSV;
//   3. the fixed template on half the report, to show growth with size.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// One ledger line of 100 characters: account, description, date, three amounts.
void WriteReport(const fs::path& path, long lines) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) {
        std::perror("report");
        std::exit(1);
    }
    std::fputs("GENERAL LEDGER DETAIL\r\nACCOUNT  DESCRIPTION                DATE        DEBIT"
               "          CREDIT         BALANCE\r\n",
               out);
    static const char* kWords[] = {"OFFICE SUPPLIES", "FREIGHT IN",       "RENT - WAREHOUSE",
                                   "PAYROLL ACCRUAL", "SALES - HARDWARE", "INTEREST INCOME"};
    long long balance = 0;
    for (long i = 0; i < lines; ++i) {
        const long long debit = (i * 7919) % 1000000;
        const long long credit = (i * 104729) % 800000;
        balance += debit - credit;
        const std::string line =
            fmt::format("{:04}-{:02}  {:<25}  {:02}/{:02}/2026  {:>13.2f}  {:>13.2f}  {:>14.2f}",
                        1000 + i % 9000, i % 100, kWords[i % 6], 1 + i % 12, 1 + i % 28,
                        static_cast<double>(debit) / 100.0, static_cast<double>(credit) / 100.0,
                        static_cast<double>(balance) / 100.0);
        std::fputs(line.c_str(), out);
        std::fputs("\r\n", out);
    }
    std::fputs("END OF REPORT\r\n", out);
    std::fclose(out);
}

void WriteRecipe(const fs::path& path, const std::string& start, int startOffset,
                 const std::string& end, int endOffset, const std::string& parsing) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    std::fputs(fmt::format("[Header]\r\nProduct=VOK-B\r\nFileType=RECIPE\r\nFileFormat=1.0\r\n"
                           "[Table 1]\r\nReadStartLine={}\r\nReadStartLineOffset={}\r\n"
                           "ReadEndLine={}\r\nReadEndLineOffset={}\r\nParsing={}\r\n"
                           "WriteColumn=A\r\n",
                           start, startOffset, end, endOffset, parsing)
                   .c_str(),
               out);
    std::fclose(out);
}

struct Run {
    double seconds;
    long peakKb;
    int status;
};

Run RunVok(const std::string& program, const std::vector<std::string>& args, const fs::path& home) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("VOK_HOME", home.c_str(), 1);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return {seconds, usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

} // namespace

int main(int argc, char** argv) {
    const long lines = argc > 1 ? std::atol(argv[1]) : 1000000;
    const fs::path work = argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path() / "vok-bench";
    const std::string program =
        (fs::path(argv[0]).parent_path().parent_path() / "vok").string(); // build/bench/.. = build
    fs::create_directories(work / "home");
    const fs::path report = work / "ledger.txt";
    const fs::path half = work / "ledger-half.txt";
    fmt::print("generating {} lines...\n", lines);
    WriteReport(report, lines);
    WriteReport(half, lines / 2);
    const double mb = static_cast<double>(fs::file_size(report)) / 1e6;

    const std::string fixed = "-------- --------------------------- ------------ -------------- "
                              "--------------- ---------------";
    WriteRecipe(work / "fixed.rcp", "ACCOUNT", 1, "END OF REPORT", -1, fixed);
    WriteRecipe(work / "derived.rcp", "ACCOUNT", 1, "ACCOUNT", 9999, "=R");

    const Run a = RunVok(program,
                         {"-i", report.string(), "-r", (work / "fixed.rcp").string(), "-o",
                          (work / "fixed.csv").string()},
                         work / "home");
    fmt::print("fixed template : {:8.1f} MB in {:6.3f} s = {:7.1f} MB/s, peak {:6.1f} MB, "
               "status {}\n",
               mb, a.seconds, mb / a.seconds, static_cast<double>(a.peakKb) / 1024.0, a.status);

    const Run h = RunVok(program,
                         {"-i", half.string(), "-r", (work / "fixed.rcp").string(), "-o",
                          (work / "half.csv").string()},
                         work / "home");
    const double halfMb = static_cast<double>(fs::file_size(half)) / 1e6;
    fmt::print("half the report: {:8.1f} MB in {:6.3f} s = {:7.1f} MB/s, peak {:6.1f} MB\n", halfMb,
               h.seconds, halfMb / h.seconds, static_cast<double>(h.peakKb) / 1024.0);

    const Run d = RunVok(program,
                         {"-i", report.string(), "-r", (work / "derived.rcp").string(), "-o",
                          (work / "derived.csv").string()},
                         work / "home");
    fmt::print("=R, 9,999 rows : {:6.3f} s, peak {:6.1f} MB, status {}\n", d.seconds,
               static_cast<double>(d.peakKb) / 1024.0, d.status);
    return 0;
}
