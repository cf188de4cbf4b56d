// A table's first row goes the general way (the line into the line
// processor's slot, each field through ProcessField); the rows after it are
// cut from the line's own bytes. Every kind of line is put into a table twice
// in a row, and both rows must come out the same, in CSV and in cells.
#include "output/CsvWriter.h"
#include "support/FakeWorkbook.h"
#include "support/JobFixture.h"

#include <gtest/gtest.h>

namespace vok::test {
namespace {

const std::vector<std::string> kLines = {
    "",
    "abc",
    "abc    ",
    "a,bc\"d\" e,f  =g",
    "=SUM  x    y",
    "   =1  ,   ",
    "ab\tc\td",
    "\t\t",
    "short",
    std::string(1500, 'x') + ",\"" + std::string(30, 'y'),
};

// Each line twice, each pair a table of its own between marks.
std::string Report(const std::vector<std::string>& lines, std::string_view end) {
    std::string report;
    for (size_t i = 0; i < lines.size(); ++i) {
        report += "START " + std::to_string(i) + std::string(end);
        report += lines[i] + std::string(end) + lines[i] + std::string(end);
        report += "STOP " + std::to_string(i) + std::string(end);
    }
    return report;
}

struct Pairs : StateFixture {
    std::vector<clsTable> tables;
    FakeWorkbook* cells_ = nullptr; // the workbook of Cells()

    Pairs(const std::string& report, size_t count, int32_t tabSize) {
        WriteFile(dir.File("report.txt"), report);
        state.recipe.gRecipe.InputFileName[0] = dir.File("report.txt");
        state.job.gTabSize = tabSize;
        // Fields inside the line, over its end, and far beyond it.
        const int32_t bounds[][2] = {{1, 3}, {4, 8}, {9, 12}, {13, 40}, {41, 1600}, {1601, 1700}};
        for (size_t i = 0; i < count; ++i) {
            clsTable& table = tables.emplace_back();
            table.ReadStartLine = "START " + std::to_string(i);
            table.ReadStartLineOffset = 1;
            table.ReadEndLine = "STOP " + std::to_string(i);
            table.ReadEndLineOffset = -1;
            for (const auto& b : bounds) {
                clsColumn& c = table.ColumnsCollection.emplace_back();
                c.ReadColumnStart = b[0];
                c.ReadColumnEnd = b[1];
                c.WriteColumn = std::string(1, static_cast<char>('A' + table.TotalColumns));
                ++table.TotalColumns;
            }
        }
    }

    // The CSV lines of all tables.
    std::vector<std::string> Csv() {
        CsvWriter csv(dir / "out.csv");
        std::string error;
        EXPECT_TRUE(csv.Open(error)) << error;
        for (clsTable& table : tables)
            table.Process(state, &csv);
        EXPECT_TRUE(csv.Close(error)) << error;
        std::vector<std::string> lines;
        const std::string text = ReadFile(dir / "out.csv");
        for (size_t at = 0; at < text.size();) {
            const size_t end = text.find("\r\n", at);
            lines.push_back(text.substr(at, end - at));
            at = end + 2;
        }
        return lines;
    }

    // The cells of all tables, row by row.
    std::vector<std::vector<std::string>> Cells() {
        auto book = std::make_unique<FakeWorkbook>();
        FakeWorkbook& cells = *book;
        cells_ = &cells;
        state.sink.xlApp = std::move(book);
        for (clsTable& table : tables)
            table.Process(state, nullptr);
        std::vector<std::vector<std::string>> rows;
        for (int32_t r = 1; r <= state.recipe.ExportSpecs.getWritePointer(messages, 1) - 1; ++r) {
            std::vector<std::string>& row = rows.emplace_back();
            for (int32_t c = 1; c <= 6; ++c)
                row.push_back(cells.CellText(1, r, c));
        }
        return rows;
    }
};

template <typename Rows> void ExpectPairsEqual(const Rows& rows, size_t count) {
    ASSERT_EQ(rows.size(), 2 * count);
    for (size_t i = 0; i < count; ++i)
        EXPECT_EQ(rows[2 * i + 1], rows[2 * i]) << "line " << i;
}

TEST(TableRowPath, EveryKindOfLineComesOutAsTheDesignedPathWritesIt) {
    for (const int32_t tabSize : {8, 0}) {
        for (const std::string_view end : {"\r\n", "\n", "\r"}) {
            SCOPED_TRACE(tabSize);
            Pairs csv(Report(kLines, end), kLines.size(), tabSize);
            const std::vector<std::string> lines = csv.Csv();
            ExpectPairsEqual(lines, kLines.size());
            // A field over the line's end holds the blank the row ends with.
            EXPECT_EQ(lines[2], "abc, ,,,,");
            EXPECT_EQ(lines[4], "abc,    ,,,,");
            EXPECT_EQ(lines[6], "\"a,b\",\"c\"\"d\"\" \",\"e,f \", =g ,,");
            Pairs cells(Report(kLines, end), kLines.size(), tabSize);
            ExpectPairsEqual(cells.Cells(), kLines.size());
        }
    }
}

// Windows-1252 bytes are cut and written as the file holds them; cells get
// them as Unicode text.
TEST(TableRowPath, Windows1252AndUtf8ReportsGiveTheSameRowsOnBothPaths) {
    const std::vector<std::string> latin = {"caf\xE9 \x80 12,5  \x93quoted\x94", "\xE9\t\xE8x"};
    Pairs csv(Report(latin, "\r\n"), latin.size(), 8);
    const std::vector<std::string> lines = csv.Csv();
    ExpectPairsEqual(lines, latin.size());
    EXPECT_EQ(lines[0], "caf,\xE9 \x80 1,\"2,5 \", \x93quoted\x94 ,,");
    Pairs cells(Report(latin, "\r\n"), latin.size(), 8);
    const auto rows = cells.Cells();
    ExpectPairsEqual(rows, latin.size());
    EXPECT_EQ(rows[0][1], "\xC3\xA9 \xE2\x82\xAC 1");

    const std::vector<std::string> utf8 = {"caf\xC3\xA9 \xE2\x82\xAC 12,5  x",
                                           "\xC3\xA9\t\xC3\xA8x"};
    Pairs wide(Report(utf8, "\r\n"), utf8.size(), 8);
    const std::vector<std::string> wideLines = wide.Csv();
    ExpectPairsEqual(wideLines, utf8.size());
    EXPECT_EQ(wideLines[0], "caf,\xC3\xA9 \xE2\x82\xAC 1,\"2,5 \", x ,,");
}

// Each field that begins with "=" is said on every row, on either path.
// Fields 1 ("=a "), 2 (" =b  ") and 4 ("= d "), not 3 ("c=  "), on each of
// the two rows: said once with the first cell's place, then with the count
// of the others, in the CSV line path as in the cell path.
TEST(TableRowPath, EqualSignsAreSaidOnceWithTheirPlaceAndCount) {
    constexpr std::string_view kText =
        "Error: Source Data field begin with Equal Sign! This may not be accepted by Excel!";
    Pairs csv(Report({"=a  =b  c=  = d"}, "\r\n"), 1, 8);
    csv.Csv();
    EXPECT_EQ(csv.messages.Texts(),
              (std::vector<std::string>{std::string(kText) + " (line 1, field 1)",
                                        std::string(kText) + " (repeated 5 times)"}));
    Pairs cells(Report({"=a  =b  c=  = d"}, "\r\n"), 1, 8);
    cells.Cells();
    EXPECT_EQ(cells.messages.Texts(),
              (std::vector<std::string>{std::string(kText) + " (row 1, column A)",
                                        std::string(kText) + " (repeated 5 times)"}));
}

// With lines left out and groups: the first row kept goes the general way,
// the same line later the per-line way, and both come out the same, form
// feeds passed over and group values (Windows-1252 here) on every row.
TEST(TableRowPath, LinesLeftOutAndGroupValuesComeOutAlikeOnBothPaths) {
    const std::string report =
        CrLf({"START 0", "\fPAGE 1", "HEAD", "GRP caf\xE9,9", "", "\fab\tc,d", "\fab\tc,d", "GRP x",
              "TOTAL 5", "\fPAGE 2", "HEAD", "\fab\tc,d", "STOP 0"});
    for (const bool cells : {false, true}) {
        Pairs pass(report, 1, 8);
        LineRules& rules = pass.tables[0].Lines;
        // Form feeds here start no page header: they are only passed over.
        rules.skipTexts = {"TOTAL", "PAGE", "HEAD"};
        rules.skipBlankLines = true;
        rules.groups.push_back({"GRP", "    ----- --", "H", 8, {5, 11}, {10, 12}});
        if (!cells) {
            EXPECT_EQ(pass.Csv(), (std::vector<std::string>{"ab ,     ,\"c,d \",,,,\"caf\xE9,9\", ",
                                                            "ab ,     ,\"c,d \",,,,\"caf\xE9,9\", ",
                                                            "ab ,     ,\"c,d \",,,,x ,"}));
            EXPECT_TRUE(pass.messages.shown.empty()) << pass.messages.Texts()[0];
            continue;
        }
        const auto rows = pass.Cells();
        ASSERT_EQ(rows.size(), 3u);
        EXPECT_EQ(rows[0], rows[1]);
        EXPECT_EQ(rows[0][0], "ab ");
        EXPECT_EQ(pass.cells_->CellText(1, 1, 8), "caf\xC3\xA9,9");
        EXPECT_EQ(pass.cells_->CellText(1, 2, 9), " ");
        EXPECT_EQ(pass.cells_->CellText(1, 3, 8), "x ");
        EXPECT_EQ(pass.tables[0].WriteTableBottomRow, 3);
    }
}

} // namespace
} // namespace vok::test
