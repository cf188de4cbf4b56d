// The recipe preview in the engine: what it says of tables that cannot be
// found, how many rows it keeps, the editor's text in either format, and how
// a newer preview stops an older one.
#include "engine/RecipePreview.h"

#include "support/TestSupport.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>

namespace vok::test {
namespace {

const std::string& kReport = SmallLedger();

std::string Recipe(std::initializer_list<std::string_view> tables) {
    std::string text = CrLf({"[Header]", "Product=VOK-B", "FileType=RECIPE", "FileFormat=1.0"});
    for (const std::string_view table : tables)
        text += table;
    return text;
}

std::string Table(int number, std::string_view start, std::string_view end,
                  std::string_view parsing) {
    return CrLf({"[Table " + std::to_string(number) + "]", "ReadStartLine=" + std::string(start),
                 "ReadStartLineOffset=2", "ReadEndLine=" + std::string(end), "ReadEndLineOffset=-1",
                 "Parsing=" + std::string(parsing), "WriteColumn=B"});
}

struct Fixture {
    TempDir dir;
    PreviewRequest request;
    StopRequest stop;

    explicit Fixture(const std::string& report = kReport) {
        WriteFile(dir / "report.txt", report);
        request.report = dir / "report.txt";
    }
    PreviewResult Run(const std::string& recipe) {
        request.recipeText = recipe;
        return PreviewRecipe(request, stop);
    }
};

std::vector<std::string> Texts(const PreviewResult& result) {
    std::vector<std::string> texts;
    for (const PreviewMessage& m : result.messages)
        texts.push_back(m.text);
    return texts;
}

// Messages other than notices: what makes a job end with status 1.
int64_t Failures(const PreviewResult& result) {
    return std::count_if(result.messages.begin(), result.messages.end(),
                         [](const PreviewMessage& m) { return m.kind == MessageKind::Failure; });
}

// A fixed template's table is looked for by the run: the usual message,
// no rows, and the tables after it are not run. A derived one is looked for
// by the expansion, which stops there.
TEST(RecipePreview, AMissingKeyTextGivesTheDesignedMessageAndNoRows) {
    Fixture f;
    PreviewResult result =
        f.Run(Recipe({Table(1, "ACCOUNT NUMBER", "TOTALS", "---------- ---------"),
                      Table(2, "ACCOUNT NO", "TOTALS", "---------- ---------")}));
    EXPECT_EQ(Texts(result),
              std::vector<std::string>{"Error in Table specs: Can not find ReadStartLine: "
                                       "ACCOUNT NUMBER"});
    EXPECT_EQ(Failures(result), 1);
    ASSERT_EQ(result.tables.size(), 2u);
    const PreviewTable& missing = result.tables[0];
    EXPECT_TRUE(missing.expanded);
    EXPECT_TRUE(missing.ran);
    EXPECT_EQ(missing.startKeyLine, 0);
    EXPECT_EQ(missing.endKeyLine, 8); // looked up all the same, to show where it is
    EXPECT_EQ(missing.rowCount, 0);
    EXPECT_TRUE(missing.rows.empty());
    EXPECT_EQ(missing.columns.size(), 2u);
    EXPECT_FALSE(result.tables[1].ran);
    EXPECT_TRUE(result.tables[1].rows.empty());
    EXPECT_EQ(result.tables[1].startKeyLine, 2);

    result =
        f.Run(Recipe({Table(1, "ACCOUNT NO", "TOTALS", "---------- ---------"),
                      Table(2, "NOWHERE", "TOTALS", "=R"), Table(3, "ACCOUNT NO", "TOTALS", "=")}));
    EXPECT_EQ(Texts(result), std::vector<std::string>{"Table 2 not found!"});
    ASSERT_EQ(result.tables.size(), 3u);
    EXPECT_EQ(result.tables[0].rowCount, 4);
    for (size_t i : {1u, 2u}) {
        EXPECT_FALSE(result.tables[i].expanded);
        EXPECT_EQ(result.tables[i].number, static_cast<int32_t>(i + 1));
        EXPECT_TRUE(result.tables[i].columns.empty());
        EXPECT_TRUE(result.tables[i].rows.empty());
    }
    EXPECT_EQ(result.tables[1].startKey, "NOWHERE");
    EXPECT_EQ(result.tables[2].startKeyLine, 2);
    EXPECT_EQ(result.tables[2].firstLine, 4);

    // No report, no recipe: a job's own first words.
    f.request.report = f.dir / "missing.txt";
    result = f.Run(Recipe({}));
    EXPECT_EQ(Texts(result), std::vector<std::string>{"Input file: " + f.dir.File("missing.txt") +
                                                      " does not exist!"});
    f.request.source = PreviewRequest::Source::RecipeFile;
    f.request.recipeFile = f.dir / "missing.rcp";
    result = f.Run({});
    EXPECT_EQ(Texts(result), std::vector<std::string>{"Recipe file " + f.dir.File("missing.rcp") +
                                                      " does not exist!"});
    EXPECT_TRUE(result.tables.empty());
}

// Faulty marks are said as a job says them, with the line and where their
// reading stopped; the tables marked soundly before the fault are shown as
// the job converts them, in a report with either line end.
TEST(RecipePreview, FaultyMarksAreSaidWithTheirLine) {
    Fixture f(CrLf({">>1", "----------  ------------------", "1000-00     Cash in bank", "<<1",
                    "text", ">>2", "----------", "2000-00"}));
    f.request.source = PreviewRequest::Source::MarkedReport;
    PreviewResult result = f.Run({});
    EXPECT_EQ(Texts(result), std::vector<std::string>{
                                 "Line 6 of the report " + f.dir.File("report.txt") +
                                 ": the table marked >>2 has no end mark (a line beginning with "
                                 "<<2). The reading of the marks stopped at line 6: only table "
                                 "1, above it, is converted."});
    EXPECT_EQ(Failures(result), 1);
    ASSERT_EQ(result.tables.size(), 1u);
    EXPECT_EQ(result.tables[0].rowCount, 1);
    for (const std::string_view end : {"\r\n", "\n"}) {
        std::string report;
        for (const std::string_view line : {">>1", "----- ----", "alpha 1234", "beta    56", "<<1",
                                            ">>2", "", "gamma 7890", "<<2"})
            report += std::string(line) + std::string(end);
        WriteFile(f.dir / "report.txt", report);
        result = f.Run({});
        EXPECT_EQ(Texts(result), std::vector<std::string>{
                                     "Line 6 of the report " + f.dir.File("report.txt") +
                                     ": the mark >>2 is not followed by a template line. The "
                                     "reading of the marks stopped at line 6: only table 1, "
                                     "above it, is converted."});
        ASSERT_EQ(result.tables.size(), 1u);
        ASSERT_EQ(result.tables[0].rows.size(), 2u);
        EXPECT_EQ(result.tables[0].rows[1][0].text, "beta  ");
        EXPECT_EQ(result.tables[0].rows[1][1].number, 56);
    }
}

// Rows are kept up to the limit, counted in full; the editor's text may have
// any line ends, and may be the long format.
TEST(RecipePreview, KeepsTheFirstRowsOfATableAndReadsEitherFormat) {
    Fixture f;
    f.request.rowLimit = 2;
    PreviewResult result = f.Run(
        Recipe({Table(1, "ACCOUNT NO", "TOTALS", "---------- ------------------- ---------")}));
    ASSERT_EQ(result.tables.size(), 1u);
    const PreviewTable& table = result.tables[0];
    EXPECT_EQ(table.rowCount, 4); // the blank line above the totals too
    EXPECT_EQ(table.firstSheetRow, 1);
    ASSERT_EQ(table.rows.size(), 2u);
    EXPECT_EQ(table.rows[1][0].text, "2000-00    ");
    EXPECT_EQ(table.rows[1][2].text, " (12.00) "); // the blank each row gets at its end
    EXPECT_EQ(table.rows[1][2].kind, TypedValue::Kind::Number);
    EXPECT_EQ(table.rows[1][2].number, -12);
    EXPECT_EQ(table.columns[1].letters, "C");

    // The same table in the long format, with LF line ends as a text box holds them.
    std::string longFormat = "[Header]\nProduct=VOK\nFileType=EXPORT SPEC\nFileFormat=1.1\n"
                             "[General]\nName=\n[Table 1]\nReadStartLine=ACCOUNT NO\n"
                             "ReadStartLineOffset=2\nReadEndLine=TOTALS\nReadEndLineOffset=-1\n"
                             "TotalColumns=1\n[Table 1 Col 1]\nReadColumnStart=12\n"
                             "ReadColumnEnd=31\nWriteColumn=AA\nPeriodOperator=\n";
    f.request.rowLimit = 0;
    result = f.Run(longFormat);
    ASSERT_EQ(result.tables.size(), 1u);
    EXPECT_EQ(result.tables[0].rowCount, 4);
    EXPECT_TRUE(result.tables[0].rows.empty());
    EXPECT_EQ(result.tables[0].columns[0].letters, "AA");
    EXPECT_TRUE(result.messages.empty());
}

TEST(RecipePreview, AStopEndsTheRunAtItsFirstRowWithoutAQuestion) {
    Fixture f;
    f.stop.RequestStop();
    const PreviewResult result =
        f.Run(Recipe({Table(1, "ACCOUNT NO", "TOTALS", "---------- ---------"),
                      Table(2, "ACCOUNT NO", "TOTALS", "---------- ---------")}));
    EXPECT_TRUE(result.stopped);
    EXPECT_TRUE(result.messages.empty());
    ASSERT_EQ(result.tables.size(), 2u);
    EXPECT_EQ(result.tables[0].rowCount, 0);
    EXPECT_FALSE(result.tables[1].ran);
}

TEST(RecipePreview, AViewerSeesTheReportsLinesAsTheTablePassDoes) {
    Fixture f(std::string("one\r\nt\two\r\n") + "\xe9t\xe9\r\n");
    ReportLineSource lines(f.request.report, 4);
    EXPECT_EQ(lines.LineCount(), 3);
    EXPECT_EQ(lines.Line(2), "t   wo");
    EXPECT_EQ(lines.Line(3), "\xc3\xa9t\xc3\xa9");
    EXPECT_EQ(lines.Line(4), "");
    ReportLineSource unexpanded(f.request.report, 0);
    EXPECT_EQ(unexpanded.LineCount(), 3);
    EXPECT_EQ(unexpanded.Line(2), "t\two");
}

// A viewer's lines, in any order across many blocks, are the report's lines.
TEST(RecipePreview, AViewersLinesAreTheReportsAcrossBlocks) {
    std::string report;
    for (int i = 1; i <= 3000; ++i)
        report += "line " + std::to_string(i) + (i % 7 == 0 ? "\tx" : "") + "\r\n";
    Fixture f(report);
    ReportLineSource lines(f.request.report, 4);
    EXPECT_EQ(lines.LineCount(), 3000);
    // A tab after "line N" goes to the next stop of 4 (none when it stands on one).
    auto expected = [](int64_t n) {
        std::string text = "line " + std::to_string(n);
        if (n % 7 == 0) text += std::string((4 - text.size() % 4) % 4, ' ') + "x";
        return text;
    };
    for (const int64_t line : {2999, 1, 256, 257, 1500, 14, 3000, 700, 2, 2600, 1800, 900, 5})
        EXPECT_EQ(lines.Line(line), expected(line)) << line;
    EXPECT_EQ(lines.Line(14), "line 14 x"); // the tab expanded to the next stop of 4
    EXPECT_EQ(lines.Line(0), "");
    EXPECT_EQ(lines.Line(3001), "");
    ReportLineSource none(f.dir / "none.txt", 8);
    EXPECT_FALSE(none.Exists());
    EXPECT_EQ(none.LineCount(), 0);
    EXPECT_EQ(none.Line(1), "");
}

// A request made while another runs: only the newest result is handed on,
// and a result never follows a newer one.
TEST(RecipePreview, TheWorkerHandsOnTheNewestResultOnly) {
    std::string big = CrLf({"START"});
    for (int i = 0; i < 200'000; ++i)
        big += "line " + std::to_string(i) + "    " + std::to_string(i * 7) + ".25\r\n";
    big += "END\r\n";
    Fixture f(big);
    f.request.recipeText = Recipe({Table(1, "START", "END", "---------- ---------")});

    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::shared_ptr<const PreviewResult>> results;
    PreviewWorker worker([&](std::shared_ptr<const PreviewResult> result) {
        const std::lock_guard lock(mutex);
        results.push_back(std::move(result));
        arrived.notify_all();
    });
    EXPECT_EQ(worker.Submit(f.request), 1u);
    PreviewRequest smaller = f.request;
    smaller.rowLimit = 3;
    EXPECT_EQ(worker.Submit(smaller), 2u);
    EXPECT_EQ(worker.Latest(), 2u);
    std::unique_lock lock(mutex);
    ASSERT_TRUE(arrived.wait_for(lock, std::chrono::seconds(60), [&] {
        return !results.empty() && results.back()->generation == 2;
    }));
    for (const auto& result : results)
        EXPECT_FALSE(result->stopped);
    EXPECT_LE(results.size(), 2u);
    EXPECT_EQ(results.back()->tables.at(0).rows.size(), 3u);
    EXPECT_EQ(results.back()->tables.at(0).rowCount, 199'999);
}

TEST(RecipePreview, LinesLeftOutAreMarkedAndRowsKnowTheirLines) {
    Fixture f(CrLf({"TOP", "\fPAGE 1", "DEPT 10", "a 1", "", "b 2", "\fPAGE 2", "c 3", "END"}));
    const PreviewResult result =
        f.Run(Recipe({CrLf({"[Table 1]", "ReadStartLine=TOP", "ReadStartLineOffset=1",
                            "ReadEndLine=END", "ReadEndLineOffset=-1", "Parsing=-- -",
                            "WriteColumn=A", "SkipBlankLines=YES", "PageHeaderLines=1",
                            "GroupLine1=DEPT", "GroupParsing1=     --", "GroupWriteColumn1=Z"})}));
    ASSERT_EQ(result.tables.size(), 1u);
    const PreviewTable& table = result.tables[0];
    EXPECT_TRUE(result.messages.empty());
    std::vector<std::string> marks;
    for (const PreviewLineMark& mark : table.leftOut)
        marks.push_back(std::to_string(mark.line) + " " + LineMarkText(mark.kind));
    EXPECT_EQ(marks, (std::vector<std::string>{"2 page", "3 group 1", "5 skip", "7 page"}));
    EXPECT_EQ(table.rowCount, 3);
    EXPECT_EQ(PreviewRowLine(table, 0), 4);
    EXPECT_EQ(PreviewRowLine(table, 1), 6);
    EXPECT_EQ(PreviewRowLine(table, 2), 8);
    EXPECT_EQ(PreviewLastLine(table), 8);
    EXPECT_EQ(PreviewGroupLine(table, 1, 8), 3);
    EXPECT_EQ(PreviewLineKind(table, 6).kind, LineKind::Kept);
    // The group's field follows the table's own, in its column, on every row.
    ASSERT_EQ(table.columns.size(), 3u);
    EXPECT_EQ(table.columns[2].letters, "Z");
    EXPECT_EQ(table.columns[2].group, 1);
    ASSERT_EQ(table.rows.size(), 3u);
    EXPECT_EQ(table.rows[2][0].text, "c 3");
    EXPECT_EQ(table.rows[2][2].text, "10");
    EXPECT_EQ(table.rows[2][2].kind, TypedValue::Kind::Number);
}

} // namespace
} // namespace vok::test
