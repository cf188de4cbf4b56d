// The report and recipe the preview benchmarks share: `tables` ledger
// sections of equal length in a report of `lines` lines, and a recipe whose
// every other table has a fixed template, the rest "=R".
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <string>

namespace vok::bench {

inline constexpr int kHeadLines = 3; // title, headings, rule

inline void WriteReport(const std::filesystem::path& path, long lines, int tables) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) {
        std::perror("report");
        std::exit(1);
    }
    static const char* kWords[] = {"OFFICE SUPPLIES", "FREIGHT IN",       "RENT - WAREHOUSE",
                                   "PAYROLL ACCRUAL", "SALES - HARDWARE", "INTEREST INCOME"};
    const long perTable = lines / tables - kHeadLines - 1;
    long i = 0;
    for (int t = 1; t <= tables; ++t) {
        std::fputs(fmt::format("SECTION {:02} LEDGER\r\n"
                               "ACCOUNT  DESCRIPTION                DATE        DEBIT"
                               "          CREDIT\r\n"
                               "-------  -----------                ----        -----"
                               "          ------\r\n",
                               t)
                       .c_str(),
                   out);
        for (long r = 0; r < perTable; ++r, ++i) {
            const long long debit = (i * 7919) % 1000000;
            const long long credit = (i * 104729) % 800000;
            std::fputs(
                fmt::format("{:04}-{:02}  {:<25}  {:02}/{:02}/2026  {:>13.2f}  {:>13.2f}\r\n",
                            1000 + i % 9000, i % 100, kWords[i % 6], 1 + i % 12, 1 + i % 28,
                            static_cast<double>(debit) / 100.0, static_cast<double>(credit) / 100.0)
                    .c_str(),
                out);
        }
        std::fputs(fmt::format("SECTION {:02} TOTAL\r\n", t).c_str(), out);
    }
    std::fclose(out);
}

inline std::string Recipe(int tables) {
    std::string text = "[Header]\r\nProduct=VOK-B\r\nFileType=RECIPE\r\nFileFormat=1.0\r\n";
    for (int t = 1; t <= tables; ++t) {
        const char* parsing = t % 2 ? "-------  -------------------------  ----------  "
                                      "-------------  -------------"
                                    : "=R";
        text += fmt::format("[Table {0}]\r\nReadStartLine=SECTION {0:02} LEDGER\r\n"
                            "ReadStartLineOffset={1}\r\nReadEndLine=SECTION {0:02} TOTAL\r\n"
                            "ReadEndLineOffset=-1\r\nParsing={2}\r\nWriteColumn=A\r\n",
                            t, kHeadLines, parsing);
    }
    return text;
}

} // namespace vok::bench
