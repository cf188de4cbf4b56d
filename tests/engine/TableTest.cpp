#include "output/CsvWriter.h"
#include "recipe/ProfileFile.h"
#include "recipe/SectionedFile.h"
#include "support/JobFixture.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

namespace vok::test {
namespace {

// Runs one table to CSV over the report and returns the CSV text.
struct TableRun : StateFixture {
    clsTable table;

    TableRun(const std::string& report, std::string_view start, int32_t startOffset,
             std::string_view end, int32_t endOffset) {
        WriteFile(dir.File("report.txt"), report);
        state.recipe.gRecipe.InputFileName[0] = dir.File("report.txt");
        table.ReadStartLine = start;
        table.ReadStartLineOffset = startOffset;
        table.ReadEndLine = end;
        table.ReadEndLineOffset = endOffset;
    }
    void AddColumn(int32_t from, int32_t to, std::string_view letters = "A") {
        clsColumn& c = table.ColumnsCollection.emplace_back();
        c.ReadColumnStart = from;
        c.ReadColumnEnd = to;
        c.WriteColumn = letters;
        table.TotalColumns = static_cast<int32_t>(table.ColumnsCollection.size());
    }
    std::string Run() {
        CsvWriter csv(dir / "out.csv");
        std::string error;
        if (!csv.Open(error)) return error;
        table.Process(state, &csv);
        if (!csv.Close(error)) return error;
        return ReadFile(dir / "out.csv");
    }
};

const std::string kFramed = CrLf({"HEADING", "a,1  x", "", "b\"2  y", "TOTAL"});

TEST(Table, OffsetsFrameTheRowsAndEveryLineBecomesARow) {
    TableRun t(kFramed, "HEADING", 1, "TOTAL", -1);
    t.AddColumn(4, 6, "C"); // written first although its letter is later
    t.AddColumn(1, 3, "A");
    EXPECT_EQ(t.Run(), CrLf({"  x,\"a,1\"", ",", "  y,\"b\"\"2\""}));
    EXPECT_TRUE(t.messages.shown.empty());
    EXPECT_EQ(t.table.WriteTableTopRow, 1);
    EXPECT_EQ(t.table.WriteTableBottomRow, 3);
    EXPECT_EQ(t.state.recipe.ExportSpecs.getWritePointer(t.messages, 1), 4);
}

TEST(Table, KeyLinesNotFoundOrAboveTheReportSkipTheTableAndSaySo) {
    {
        // The end key also below the start does not help: both are searched from line 1.
        TableRun t(CrLf({"x", "END", "y", "START", "z", "END"}), "START", 0, "END", 0);
        t.AddColumn(1, 1);
        t.Run();
        EXPECT_EQ(t.messages.Texts(),
                  std::vector<std::string>{"Error in Table specs: ReadEndLine key text [END] was "
                                           "found before ReadStartLine key text [START]"});
        EXPECT_TRUE(t.state.recipe.ExportSpecs.FatalProcessError);
    }
    {
        // A first line at or before 0 skips the table, and says so: a start
        // offset leading above the report lost the table without a word.
        TableRun t(kFramed, "HEADING", -1, "TOTAL", 0);
        t.AddColumn(1, 1);
        EXPECT_EQ(t.Run(), "");
        ASSERT_EQ(t.messages.shown.size(), 1u);
        EXPECT_NE(t.messages.Texts()[0].find("Table 0: its first line (0) lies before the start "
                                             "of the report"),
                  std::string::npos)
            << t.messages.Texts()[0];
        EXPECT_FALSE(t.state.recipe.ExportSpecs.FatalProcessError);
        EXPECT_EQ(t.table.WriteTableTopRow, 0);
    }
    {
        // Bad positions are found on the first line.
        TableRun t(kFramed, "HEADING", 1, "TOTAL", -1);
        t.AddColumn(1, 2);
        t.AddColumn(5, 4);
        EXPECT_EQ(t.Run(), "");
        EXPECT_EQ(t.messages.Texts(),
                  std::vector<std::string>{"Invalid table specs (column 2): ReadColumnStart is "
                                           "smaller than 1 or larger than ReadColumnEnd!"});
        EXPECT_EQ(t.state.recipe.ExportSpecs.getWritePointer(t.messages, 1), 1);
    }
}

TEST(Table, StopQuestionNoGoesOnYesEndsWithTheRowsSoFar) {
    std::string report = "HEADING\r\n";
    for (int i = 1; i <= 6; ++i)
        report += "row" + std::to_string(i) + "\r\n";
    {
        TableRun t(report, "HEADING", 1, "row6", 0);
        t.AddColumn(1, 4);
        t.state.run.ExportStarting();
        // A stop asked for during the first row is seen at the second.
        t.messages.onRowsDone = [&](int64_t done, int64_t) {
            if (done == 0) t.stop.RequestPause();
        };
        t.messages.answers = {false};
        EXPECT_EQ(t.Run(), CrLf({"row1", "row2", "row3", "row4", "row5", "row6"}));
        EXPECT_EQ(t.messages.asked.size(), 1u);
        EXPECT_FALSE(t.state.run.StopAsked());
    }
    {
        TableRun t(report, "HEADING", 1, "row6", 0);
        t.AddColumn(1, 4);
        t.state.run.ExportStarting();
        t.messages.onRowsDone = [&](int64_t done, int64_t) {
            if (done == 1) t.stop.RequestPause();
        };
        t.messages.answers = {true};
        EXPECT_EQ(t.Run(), CrLf({"row1", "row2"}));
        EXPECT_EQ(t.messages.asked[0].text, "Do you want to terminate the process?");
        EXPECT_TRUE(t.state.run.StopAsked());
        EXPECT_EQ(t.state.recipe.ExportSpecs.getWritePointer(t.messages, 1), 3);
    }
}

TEST(Table, ATableFarDownALongReportIsFoundAndRead) {
    std::string report;
    for (int i = 0; i < 40000; ++i)
        report += "filler line\r\n";
    report += "START\r\nlast one\r\nEND\r\n";
    TableRun t(report, "START", 1, "END", -1);
    t.AddColumn(1, 8);
    EXPECT_EQ(t.Run(), CrLf({"last one"}));
}

// Tables that go down a report read on from where the last one stopped; any
// other order (back up, overlapping, far below) reads from a known place. Each
// table gives its own lines whichever way its reader came.
TEST(Table, TablesInAnyOrderGiveTheirOwnLines) {
    StateFixture f;
    std::vector<std::string> report;
    std::string reportText;
    for (int i = 1; i <= 3000; ++i) {
        report.push_back(fmt::format("L{:04d}", i));
        reportText += report.back() + "\r\n";
    }
    WriteFile(f.dir.File("report.txt"), reportText);
    f.state.recipe.gRecipe.InputFileName[0] = f.dir.File("report.txt");
    const std::vector<std::pair<int, int>> spans = {
        {10, 12}, {13, 14}, {12, 13}, {20, 20}, {2500, 2501}, {2501, 2502}, {2503, 2503}, {1, 2}};
    std::string expected;
    std::vector<std::string> text = {"[Header]", "Product=VOK", "FileType=EXPORT SPEC",
                                     "FileFormat=1.1"};
    for (size_t t = 0; t < spans.size(); ++t) {
        const auto [first, last] = spans[t];
        for (int line = first; line <= last; ++line)
            expected += report[static_cast<size_t>(line - 1)] + "\r\n";
        const auto section = fmt::format("Table {}", t + 1);
        for (const std::string& line :
             {"[" + section + "]", fmt::format("ReadStartLine=L{:04d}", first),
              std::string("ReadStartLineOffset=0"), fmt::format("ReadEndLine=L{:04d}", last),
              std::string("ReadEndLineOffset=0"), std::string("TotalColumns=1"),
              "[" + section + " Col 1]", std::string("ReadColumnStart=1"),
              std::string("ReadColumnEnd=5"), std::string("WriteColumn=A")})
            text.push_back(line);
    }
    f.state.recipe.ExportSpecs.ReadFromText(f.state.messages, SectionedText(text), f.dir / "specs.t2x");
    CsvWriter csv(f.dir / "out.csv");
    std::string error;
    ASSERT_TRUE(csv.Open(error)) << error;
    f.state.recipe.ExportSpecs.Process(f.state, &csv);
    ASSERT_TRUE(csv.Close(error)) << error;
    EXPECT_EQ(ReadFile(f.dir / "out.csv"), expected);
    EXPECT_TRUE(f.messages.shown.empty());
    EXPECT_EQ(f.state.recipe.ExportSpecs.ProcessedTables, static_cast<int32_t>(spans.size()));
    // The run leaves no report open.
    EXPECT_FALSE(f.state.recipe.rowReader.reader.IsOpen());
}

TEST(Table, ColumnSectionsAreValidatedWhenRead) {
    StateFixture f;
    auto read = [&](std::string_view column, std::string_view op) {
        WriteFile(
            f.dir.File("t.t2x"),
            CrLf({"[Table 1]", "ReadStartLine=A", "ReadStartLineOffset=0", "ReadEndLine=B",
                  "ReadEndLineOffset=0", "TotalColumns=1", "[Table 1 Col 1]", "ReadColumnStart=3",
                  "ReadColumnEnd=9", "WriteColumn=" + std::string(column),
                  "PeriodOperator=" + std::string(op)}));
        f.messages.shown.clear();
        clsTable table;
        table.ReadFromFile(f.state.messages, f.dir.File("t.t2x"), 1);
        return table;
    };
    clsTable table = read("c", "sum");
    EXPECT_TRUE(f.messages.shown.empty());
    EXPECT_EQ(table.ColumnsCollection[0].WriteColumn, "c");
    EXPECT_EQ(table.ColumnsCollection[0].OperatorCode(f.state.messages), 2);
    EXPECT_EQ(table.ColumnsCollection[0].PeriodOperator, "SUM");
    read("AB", "");
    EXPECT_TRUE(f.messages.shown.empty());
    read("ZA", "");
    EXPECT_EQ(f.messages.Texts(),
              std::vector<std::string>{"Error in Table 1 Col 1 : Write Column must be (A-Z)!"});
    read("A", "avg");
    EXPECT_EQ(f.messages.Texts(), std::vector<std::string>{"Invalid Multi-file operator!"});
    // DUPLICATE passes the reader but is unknown to the operator code: said once per pass.
    table = read("A", "duplicate");
    EXPECT_EQ(table.ColumnsCollection[0].OperatorCode(f.state.messages), 0);
    EXPECT_EQ(table.ColumnsCollection[0].OperatorCode(f.state.messages), 0);
    EXPECT_EQ(
        f.messages.Texts(),
        std::vector<std::string>{"Unrecognized operator: DUPLICATE in clsColumn.OperatorCode!"});
}

TEST(Table, AWrittenSectionReadsBackTheSame) {
    StateFixture f;
    clsTable table;
    table.ReadStartLine = "ACCOUNT NO";
    table.ReadStartLineOffset = 2;
    table.ReadEndLine = "TOTALS";
    table.ReadEndLineOffset = -1;
    for (int i = 0; i < 3; ++i) {
        clsColumn& c = table.ColumnsCollection.emplace_back();
        c.ReadColumnStart = 1 + 10 * i;
        c.ReadColumnEnd = 10 + 10 * i;
        c.WriteColumn = std::string(1, static_cast<char>('B' + i));
    }
    table.TotalColumns = 3;
    ProfileFile file(f.dir.File("t.t2x"));
    table.WriteToFile(file, 4);
    std::string error;
    ASSERT_TRUE(file.Commit(error));
    clsTable back;
    back.ReadFromFile(f.state.messages, f.dir.File("t.t2x"), 4);
    EXPECT_TRUE(f.messages.shown.empty());
    EXPECT_EQ(back.ReadStartLine, "ACCOUNT NO");
    EXPECT_EQ(back.ReadEndLineOffset, -1);
    ASSERT_EQ(back.ColumnsCollection.size(), 3u);
    EXPECT_EQ(back.ColumnsCollection[2].ReadColumnEnd, 30);
    EXPECT_EQ(back.ColumnsCollection[2].WriteColumn, "D");
}

} // namespace
} // namespace vok::test
