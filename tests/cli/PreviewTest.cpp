// The preview against the job it previews: for every example and for derived
// layouts, each row the preview shows is the CSV line a CSV job writes and
// the row of cells a workbook job writes, and its messages are the job's.
#include "base/ColumnLetters.h"
#include "base/NumericText.h"
#include "cli/PreviewText.h"
#include "engine/RecipePreview.h"
#include "job/ConversionJob.h"
#include "output/Workbook.h"
#include "support/JobFixture.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

namespace vok::test {
namespace {

const std::filesystem::path kExamples = VOK_EXAMPLES;

// A CSV line's fields, unquoted.
std::vector<std::string> CsvFields(std::string_view line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            fields.back().push_back('"');
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back().push_back(c);
        }
    }
    return fields;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find("\r\n", at);
        lines.push_back(text.substr(at, end - at));
        at = end == std::string::npos ? text.size() : end + 2;
    }
    return lines;
}

struct Case {
    std::string name;
    std::filesystem::path report;
    std::filesystem::path recipe; // empty: the marks in the report
};

struct Job {
    TempDir dir;
    RecordingObserver observer;
    ProgramSettings program{dir.Path()};

    JobResult Run(const Case& c, const std::filesystem::path& output) {
        clsConversionOptions options;
        options.sInputFile = c.report;
        options.sOutputFile = output;
        options.bUseRecipe = !c.recipe.empty();
        options.sRecipeFile = c.recipe;
        ConversionJob job(program, options, observer);
        return job.BeginProcessing();
    }
};

PreviewResult PreviewOf(const Case& c, OutputType type, int64_t rows = 1'000'000) {
    PreviewRequest request;
    request.source = c.recipe.empty() ? PreviewRequest::Source::MarkedReport
                                      : PreviewRequest::Source::RecipeFile;
    request.recipeFile = c.recipe;
    request.report = c.report;
    request.rowLimit = rows;
    request.outputType = type;
    StopRequest stop;
    return PreviewRecipe(request, stop);
}

// The text a workbook gives back for a cell the preview describes.
std::string WorkbookText(const PreviewCell& cell) {
    switch (cell.kind) {
    case TypedValue::Kind::Number:
        return DoubleToPlainText(cell.number);
    case TypedValue::Kind::Text:
        return cell.text;
    case TypedValue::Kind::Empty:
        break;
    }
    return {};
}

void ExpectPreviewIsTheJob(const Case& c) {
    SCOPED_TRACE(c.name);
    const PreviewResult preview = PreviewOf(c, OutputType::Xlsx);
    ASSERT_FALSE(preview.tables.empty());
    int64_t rows = 0;
    for (const PreviewTable& table : preview.tables) {
        EXPECT_TRUE(table.ran) << "table " << table.number;
        EXPECT_EQ(static_cast<int64_t>(table.rows.size()), table.rowCount);
        rows += table.rowCount;
    }
    ASSERT_GT(rows, 0);

    // The CSV job: one line per row of every table, in order.
    Job csvJob;
    const std::filesystem::path csv = csvJob.dir / "out.csv";
    csvJob.Run(c, csv);
    const std::vector<std::string> lines = Lines(ReadFile(csv));
    ASSERT_EQ(static_cast<int64_t>(lines.size()), rows);
    size_t line = 0;
    for (const PreviewTable& table : preview.tables) {
        for (const std::vector<PreviewCell>& row : table.rows) {
            const std::vector<std::string> fields = CsvFields(lines[line]);
            ASSERT_EQ(fields.size(), row.size()) << lines[line];
            for (size_t i = 0; i < row.size(); ++i)
                EXPECT_EQ(fields[i], row[i].text) << "line " << line + 1 << ", field " << i + 1;
            ++line;
        }
    }

    // The workbook job: every cell as typed input stored it, at its row.
    Job bookJob;
    const std::filesystem::path xlsx = bookJob.dir / "out.xlsx";
    bookJob.Run(c, xlsx);
    EXPECT_EQ(bookJob.observer.Texts(), [&] {
        std::vector<std::string> texts;
        for (const PreviewMessage& m : preview.messages)
            texts.push_back(m.text);
        return texts;
    }());
    WorkbookOpenResult opened = OpenWorkbookFile(xlsx, OutputType::Xlsx);
    ASSERT_TRUE(opened.workbook) << opened.error;
    for (const PreviewTable& table : preview.tables) {
        for (size_t r = 0; r < table.rows.size(); ++r) {
            const int32_t sheetRow = table.firstSheetRow + static_cast<int32_t>(r);
            for (size_t i = 0; i < table.columns.size(); ++i) {
                const int32_t column = AlphaToNum2(table.columns[i].letters).value;
                EXPECT_EQ(opened.workbook->CellText(1, sheetRow, column),
                          WorkbookText(table.rows[r][i]))
                    << "row " << sheetRow << ", column " << table.columns[i].letters;
            }
        }
    }
}

TEST(Preview, RowsAreWhatTheJobWritesForEveryExample) {
    for (const Case& c : std::vector<Case>{
             {"trial balance", kExamples / "trial-balance.txt", kExamples / "trial-balance.rcp"},
             {"marked trial balance", kExamples / "trial-balance-marked.txt", {}},
             {"derived ledger", kExamples / "general-ledger.txt", kExamples / "general-ledger.rcp"},
             {"ledger by department", kExamples / "general-ledger.txt",
              kExamples / "general-ledger-by-department.t2x"},
             {"tabs", kExamples / "vendor-balances-tabs.txt",
              kExamples / "vendor-balances-tabs.rcp"},
         })
        ExpectPreviewIsTheJob(c);
}

// Left- and right-justified derived layouts, a mixed template, and the
// messages a run shows for its cells: a value beginning with "=".
TEST(Preview, DerivedLayoutsAndTheRunsMessagesAreTheJobs) {
    TempDir dir;
    WriteFile(dir / "report.txt", CrLf({
                                      "TOP",
                                      "Cash            1,234.50      12.00",
                                      "Receivables       999.99     123.45",
                                      "Prepaid rent   12,345.67    =765.43",
                                      "BOTTOM",
                                      "LAST",
                                  }));
    auto recipe = [&](std::string_view name, std::string_view parsing, std::string_view end,
                      int32_t endOffset) {
        WriteFile(dir / name, CrLf({"[Header]", "Product=VOK-B", "FileType=RECIPE",
                                    "FileFormat=1.0", "[Table 1]", "ReadStartLine=TOP",
                                    "ReadStartLineOffset=1", "ReadEndLine=" + std::string(end),
                                    "ReadEndLineOffset=" + std::to_string(endOffset),
                                    "Parsing=" + std::string(parsing), "WriteColumn=C"}));
        return dir / name;
    };
    ExpectPreviewIsTheJob({"=R", dir / "report.txt", recipe("r.rcp", "=R", "BOTTOM", -1)});
    ExpectPreviewIsTheJob({"=", dir / "report.txt", recipe("l.rcp", "=", "BOTTOM", -1)});
    ExpectPreviewIsTheJob(
        {"mixed", dir / "report.txt", recipe("m.rcp", "-------------- ====R", "LAST", -1)});

    const PreviewResult left =
        PreviewOf({"=", dir / "report.txt", dir / "l.rcp"}, OutputType::Xlsx);
    ASSERT_EQ(left.tables.size(), 1u);
    const PreviewTable& table = left.tables[0];
    std::vector<std::pair<int32_t, int32_t>> bounds;
    for (const PreviewColumn& c : table.columns)
        bounds.emplace_back(c.start, c.end);
    EXPECT_EQ(bounds, (std::vector<std::pair<int32_t, int32_t>>{{1, 15}, {16, 28}, {29, 36}}));
    EXPECT_EQ(table.columns[0].letters, "C");
    EXPECT_EQ(table.columns[2].letters, "E");
    EXPECT_EQ(table.startKeyLine, 1);
    EXPECT_EQ(table.endKeyLine, 5);
    EXPECT_EQ(table.firstLine, 2);
    EXPECT_EQ(table.lastLine, 4);
    ASSERT_EQ(table.rows.size(), 3u);
    EXPECT_EQ(table.rows[0][0].kind, TypedValue::Kind::Text);
    EXPECT_EQ(table.rows[0][1].kind, TypedValue::Kind::Number);
    EXPECT_EQ(table.rows[0][1].number, 1234.5);
    EXPECT_EQ(table.rows[0][1].numberFormat, "#,##0.00");
    EXPECT_EQ(table.rows[2][2].kind, TypedValue::Kind::Text); // "=765.43" is never a formula
}

TEST(Preview, TextShowsLinesRulerAndAlignedRows) {
    const PreviewResult result =
        PreviewOf({"tb", kExamples / "trial-balance.txt", kExamples / "trial-balance.rcp"},
                  OutputType::Xlsx, 10);
    ReportLineSource report(result.report, 8);
    const std::string text = FormatPreview(result, report);
    EXPECT_NE(text.find("Table 1: lines 6 to 17, 12 rows\n"
                        "  start key \"PAGE 1\" on line 1, offset 5; end key \"CONTINUED ON NEXT "
                        "PAGE\" on line 19, offset -2\n"
                        "  columns: A 1-12, B 13-44, C 45-61, D 62-76\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("      A           B                               C                D\n"
                        "      |-----------|-------------------------------|----------------|----"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("   6  1000-00     CASH IN BANK - OPERATING              48,213.50\n"),
              std::string::npos);
    // Numbers right-aligned and trimmed, text as stored.
    EXPECT_NE(text.find("    4 | 1150-00      | ALLOWANCE FOR DOUBTFUL ACCTS     | "
                        "                  |  2,500.00\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("  ... and 2 more rows\n"), std::string::npos);
}

// The text of a preview of many tables reads each part of the report once,
// not the report again for every table's ruler.
TEST(Preview, TextOfManyTablesReadsEachPartOfTheReportOnce) {
    TempDir dir;
    std::string report;
    constexpr int kTables = 700;
    for (int t = 1; t <= kTables; ++t)
        report += fmt::format(">>{0}\r\n-----  ----\r\nT{0:04} {1:4}\r\n<<{0}\r\n", t, t % 97);
    const Case marked{"marked", dir / "marked.txt", {}};
    WriteFile(marked.report, report);
    const PreviewResult result = PreviewOf(marked, OutputType::Xlsx, 10);
    ASSERT_EQ(result.tables.size(), static_cast<size_t>(kTables));
    ReportLineSource lines(marked.report, 8);
    const std::string text = FormatPreview(result, lines);
    // Every table with its ruler over its line, the last one too.
    EXPECT_NE(text.find("Table 700: lines 2799 to 2799, 1 row\n"), std::string::npos);
    EXPECT_NE(text.find("  2799  T0700   21\n"), std::string::npos);
    EXPECT_EQ(lines.LineCount(), 4 * kTables);
    const int64_t blocks = (lines.LineCount() + 255) / 256;
    EXPECT_EQ(lines.BlocksRead(), blocks);
}

TEST(Preview, RulerMarksEachFieldAndWhyNoRowsSaysWhy) {
    const std::vector<std::string> ruler = PreviewRuler({{1, 3, "A"}, {5, 12, "AB"}}, 14, 2);
    EXPECT_EQ(ruler, (std::vector<std::string>{"  ....+....1....", "  A   AB", "  |-- |-------"}));
    PreviewTable table;
    table.expanded = true;
    table.columns = {{1, 3, "A"}};
    EXPECT_EQ(WhyNoRows(table), "its start key is not in the report");
    table.startKeyLine = 4;
    table.endKeyLine = 2;
    table.firstLine = 5;
    table.lastLine = 1;
    EXPECT_EQ(WhyNoRows(table), "its end key comes before its start key");
    table.firstLine = -1;
    table.lastLine = 1;
    table.ran = true;
    EXPECT_EQ(WhyNoRows(table),
              "its first or last line lies before the report's first line: a job skips it");
}

} // namespace
} // namespace vok::test
