// Large conversions whose CSV output must stay byte for byte what the
// line-by-line engine wrote: each report is generated here, converted by the
// real program, and the output's size and FNV-1a checksum are compared with
// the figures recorded from that engine. A change to the reading, the key-line
// search or the per-cell path that alters a single byte fails here.
//
// The output is also compared with what that engine wrote, kept in
// tests/data/expected (its first lines verbatim, digests of the rest), so that
// a failure names the first line that differs. Record those files again
// (scripts/record-expected-outputs.sh) only from a build whose output still
// has the figures below, or together with new figures when a change of output
// is intended and said so in its commit: recording them to make a failing
// test pass hides the fault the test is here to catch.
#include "support/OutputExpectation.h"
#include "support/RunProgram.h"
#include "support/TestSupport.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fmt/format.h>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <string_view>

namespace vok::test {
namespace {

struct Digest {
    uint64_t size = 0;
    uint64_t fnv = 0xcbf29ce484222325ULL;
};

Digest DigestOf(const std::filesystem::path& path) {
    Digest d;
    std::ifstream in(path, std::ios::binary);
    std::string block(1 << 16, '\0');
    while (in) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        const auto got = static_cast<size_t>(in.gcount());
        for (size_t i = 0; i < got; ++i) {
            d.fnv ^= static_cast<unsigned char>(block[i]);
            d.fnv *= 0x100000001b3ULL;
        }
        d.size += got;
    }
    return d;
}

// Writes a generated report in blocks.
class ReportFile {
public:
    explicit ReportFile(const std::filesystem::path& path) : out_(std::fopen(path.c_str(), "wb")) {}
    ~ReportFile() { Close(); }
    std::string& Buffer() { return buffer_; }
    void Flush() {
        if (buffer_.size() < (1 << 20)) return;
        std::fwrite(buffer_.data(), 1, buffer_.size(), out_);
        buffer_.clear();
    }
    void Close() {
        if (!out_) return;
        std::fwrite(buffer_.data(), 1, buffer_.size(), out_);
        std::fclose(out_);
        out_ = nullptr;
    }

private:
    std::FILE* out_;
    std::string buffer_;
};

// An amount in cents with thousands separators, negatives in parentheses,
// right-justified in `width` characters; zero is blank.
void AppendAmount(std::string& out, int64_t cents, size_t width) {
    std::string text;
    if (cents != 0) {
        const bool negative = cents < 0;
        const uint64_t v = static_cast<uint64_t>(std::abs(cents));
        std::string whole = std::to_string(v / 100);
        for (int i = static_cast<int>(whole.size()) - 3; i > 0; i -= 3)
            whole.insert(static_cast<size_t>(i), ",");
        text =
            fmt::format("{}{}.{:02}{}", negative ? "(" : "", whole, v % 100, negative ? ")" : "");
    }
    if (text.size() < width) out.append(width - text.size(), ' ');
    out += text;
}

enum class Flavour { Windows1252CrLf, Utf8BomMixedEnds };

// A ledger of `rows` rows: account, description, date, reference, debit,
// credit, balance. Descriptions hold commas, quotes and accented letters;
// some rows are lined up with a tab, some are blank, short or end in blanks.
void WriteLedger(const std::filesystem::path& path, int64_t rows, Flavour flavour) {
    const bool utf8 = flavour == Flavour::Utf8BomMixedEnds;
    const std::string_view words[] = {"OFFICE SUPPLIES",
                                      "FREIGHT, INBOUND",
                                      "RENT \"WAREHOUSE\"",
                                      utf8 ? "CAF\xC3\x89 & CATERING" : "CAF\xC9 & CATERING",
                                      utf8 ? "PAYROLL \xE2\x80\x93 ACCRUAL"
                                           : "PAYROLL \x96 ACCRUAL",
                                      "SALES, \"HARDWARE\"",
                                      "INTEREST INCOME"};
    ReportFile file(path);
    std::string& out = file.Buffer();
    if (utf8) out += "\xEF\xBB\xBF";
    auto end = [&](int64_t i) {
        if (!utf8 || i % 3 == 0)
            out += "\r\n";
        else
            out += i % 3 == 1 ? "\n" : "\r";
    };
    out += "GENERAL LEDGER DETAIL\r\n";
    out += "ACCOUNT  DESCRIPTION                 DATE        REF      "
           "         DEBIT          CREDIT         BALANCE\r\n";
    int64_t balance = 0;
    for (int64_t i = 1; i <= rows; ++i) {
        if (i % 1009 == 0) {
            out += "\r\n";
            continue;
        }
        if (i % 503 == 0) {
            out += "         CONTINUED";
            end(i);
            continue;
        }
        const int64_t debit = i % 4 == 0 ? 0 : (i * 7919) % 123456789;
        const int64_t credit = i % 3 == 0 ? (i * 104729) % 98765432 : 0;
        balance += debit - credit;
        out += fmt::format("{:04}-{:02}", 1000 + i % 9000, i % 100);
        out += i % 97 == 0 ? "\t" : "  ";
        const std::string_view word = words[i % 7];
        out += word;
        out.append(28 - std::min<size_t>(word.size(), 27), ' ');
        out += fmt::format("{:02}/{:02}/2026  R{:06}  ", 1 + i % 12, 1 + i % 28, i % 1000000);
        AppendAmount(out, debit, 14);
        out += "  ";
        AppendAmount(out, credit, 14);
        out += "  ";
        AppendAmount(out, balance, 15);
        if (i % 211 == 0) out += "   ";
        end(i);
        file.Flush();
    }
    out += "REPORT TOTALS\r\n";
}

constexpr std::string_view kLedgerTemplate =
    "-------- -------------------------- ----------- -------- --------------- --------------- "
    "----------------";

void WriteRecipe(const std::filesystem::path& path, std::string_view tables) {
    WriteFile(path, "[Header]\r\nProduct=VOK-B\r\nFileType=RECIPE\r\nFileFormat=1.0\r\n" +
                        std::string(tables));
}

std::string TableSection(int n, std::string_view start, int startOffset, std::string_view end,
                         int endOffset, std::string_view parsing) {
    return fmt::format("[Table {}]\r\nReadStartLine={}\r\nReadStartLineOffset={}\r\n"
                       "ReadEndLine={}\r\nReadEndLineOffset={}\r\nParsing={}\r\nWriteColumn=A\r\n",
                       n, start, startOffset, end, endOffset, parsing);
}

struct Converted {
    RunResult run;
    Digest digest;
    std::string difference; // from the expected output, in words
};

// Converts the report and compares the output with tests/data/expected/`expected`,
// which keeps the first `keptLines` lines of it verbatim.
Converted Convert(const TempDir& work, std::string_view report, std::string_view recipe,
                  std::string_view expected, int64_t keptLines) {
    TempDir home;
    std::vector<std::string> args{"-i", work.File(report)};
    if (!recipe.empty()) {
        args.push_back("-r");
        args.push_back(work.File(recipe));
    }
    args.push_back("-o");
    args.push_back(work.File("out.csv"));
    Converted c;
    c.run = RunVok(args, home.Path().string());
    c.digest = DigestOf(work / "out.csv");
    c.difference = CheckAgainstExpectation(
        work / "out.csv", std::filesystem::path(VOK_TEST_DATA) / "expected" / expected, keptLines);
    std::filesystem::remove(work / "out.csv");
    return c;
}

TEST(OutputChecksum, MillionRowWindows1252LedgerToCsv) {
    TempDir work;
    WriteLedger(work / "ledger.txt", 1'000'000, Flavour::Windows1252CrLf);
    WriteRecipe(work / "ledger.rcp",
                TableSection(1, "ACCOUNT", 1, "REPORT TOTALS", -1, kLedgerTemplate));
    const Converted c =
        Convert(work, "ledger.txt", "ledger.rcp", "million-row-ledger.csv.gz", 1100);
    // The report has tabs: the notice is the only message.
    EXPECT_EQ(c.run.exitCode, 0) << c.run.err;
    EXPECT_TRUE(c.difference.empty()) << c.difference;
    EXPECT_EQ(c.digest.size, 118301741u);
    EXPECT_EQ(c.digest.fnv, 0xd95012d9b45700b4ULL) << fmt::format("{:#x}", c.digest.fnv);
}

TEST(OutputChecksum, Utf8LedgerWithByteOrderMarkAndMixedLineEndsToCsv) {
    TempDir work;
    WriteLedger(work / "ledger.txt", 100'000, Flavour::Utf8BomMixedEnds);
    WriteRecipe(work / "ledger.rcp",
                TableSection(1, "ACCOUNT", 1, "REPORT TOTALS", -1, kLedgerTemplate));
    const Converted c =
        Convert(work, "ledger.txt", "ledger.rcp", "utf8-ledger.csv.gz", 1100);
    EXPECT_EQ(c.run.exitCode, 0) << c.run.err;
    EXPECT_TRUE(c.difference.empty()) << c.difference;
    EXPECT_EQ(c.digest.size, 11872233u);
    EXPECT_EQ(c.digest.fnv, 0xc7db0a31cff2e78ULL) << fmt::format("{:#x}", c.digest.fnv);
}

// One table per 50-line page, keyed by the page's number: "PAGE 1" is part of
// "PAGE 10" and "PAGE 100", so each key must find the first line holding it.
// Some tables derive their layout from the report; the last table ends on
// the report's last line, which has no line end.
TEST(OutputChecksum, PagedReportOfManyTablesToCsv) {
    constexpr int kPages = 400;
    TempDir work;
    {
        ReportFile file(work / "paged.txt");
        std::string& out = file.Buffer();
        for (int p = 1; p <= kPages; ++p) {
            out += fmt::format("ACME SUPPLY CO.          TRIAL BALANCE          PAGE {}\r\n", p);
            out += "ACCOUNT    NAME                      DEBIT        CREDIT\r\n";
            out += "---------  --------------------  ------------  ------------\r\n";
            for (int r = 1; r <= 45; ++r) {
                std::string line = fmt::format("{:05}-{:03}  {:<20}  ", p * 7 + r, r % 1000,
                                               r % 5 ? "Accrued items" : "Taxes, \"other\"");
                AppendAmount(line, (p * 1009 + r * 31) % 9999999, 12);
                line += "  ";
                AppendAmount(line, r % 4 ? 0 : (p * 13 + r) * 1001, 12);
                out += line + "\r\n";
            }
            out += fmt::format("          TOTAL FOR PAGE {}\r\n", p);
        }
        out += "END OF REPORT";
    }
    std::string tables;
    for (int p = 1; p <= kPages; ++p) {
        const std::string parsing = p % 5 == 0   ? "=R"
                                    : p % 7 == 0 ? "=========== =R"
                                                 : "---------- ---------------------- "
                                                   "------------- ------------";
        if (p == kPages) {
            tables += TableSection(p, fmt::format("PAGE {}", p), 3, "END OF REPORT", -1, parsing);
        } else {
            tables += TableSection(p, fmt::format("PAGE {}", p), 3,
                                   fmt::format("TOTAL FOR PAGE {}", p), -1, parsing);
        }
    }
    WriteRecipe(work / "paged.rcp", tables);
    const Converted c = Convert(work, "paged.txt", "paged.rcp", "paged-report.csv.gz", 2000);
    EXPECT_EQ(c.run.exitCode, 0) << c.run.err;
    EXPECT_TRUE(c.difference.empty()) << c.difference;
    EXPECT_EQ(c.digest.size, 1101100u);
    EXPECT_EQ(c.digest.fnv, 0xb7d075a31a25f803ULL) << fmt::format("{:#x}", c.digest.fnv);
}

// A report marked up with ">>n", a template line and "<<n" around each table.
TEST(OutputChecksum, MarkedUpReportOfManyTablesToCsv) {
    constexpr int kTables = 300;
    TempDir work;
    {
        ReportFile file(work / "marked.txt");
        std::string& out = file.Buffer();
        for (int t = 1; t <= kTables; ++t) {
            out += fmt::format("STORE {} DAILY SALES\r\n", t);
            out += fmt::format(">>{}\r\n", t);
            out += t % 3 ? "--------- ---------------- =========R\r\n" : "=R\r\n";
            for (int r = 1; r <= 6; ++r) {
                std::string line =
                    fmt::format("{:09}  {:<15}", t * 100 + r, r % 2 ? "Widgets, blue" : "Gadgets");
                AppendAmount(line, (t * 97 + r * 13) * 11, 11);
                out += line + "\r\n";
            }
            out += fmt::format("<<{}\r\n\r\n", t);
        }
    }
    const Converted c = Convert(work, "marked.txt", "", "marked-up-report.csv.gz", 1'000'000);
    EXPECT_EQ(c.run.exitCode, 0) << c.run.err;
    EXPECT_TRUE(c.difference.empty()) << c.difference;
    EXPECT_EQ(c.digest.size, 79286u);
    EXPECT_EQ(c.digest.fnv, 0xb0df4254a1ae4cbfULL) << fmt::format("{:#x}", c.digest.fnv);
}

} // namespace
} // namespace vok::test
