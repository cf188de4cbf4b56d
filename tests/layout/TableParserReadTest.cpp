// Loading a table's rows from a report and deriving its layout the way the
// recipe expansion does.
#include "base/TextEncoding.h"
#include "base/TextIndex.h"
#include "layout/clsTableParser.h"
#include "support/RecordingObserver.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utility>

namespace vok {
namespace {

using Fields = std::vector<std::pair<int32_t, int32_t>>;

// `text` placed so that its last character lands on 1-based position `end`.
std::string EndingAt(std::string row, std::string_view text, size_t end) {
    const size_t start = end - text.size();
    if (row.size() < start) row.append(start - row.size(), ' ');
    return row.append(text);
}

// The keyword expansion the recipe expansion applies before deriving a layout.
std::string ExpandKeyword(const std::string& keyword, int32_t width) {
    if (keyword == "=") return std::string(static_cast<size_t>(width), '=');
    if (keyword == "=L" || keyword == "=R") {
        return std::string(static_cast<size_t>(width - 1), '=') + keyword.back();
    }
    return keyword;
}

Fields FieldsOf(clsTableParser& parser, const std::string& templ) {
    std::vector<int32_t> start, end;
    std::vector<std::string> op;
    parser.analyze_template(templ, start, end, op);
    Fields fields;
    for (size_t i = 0; i < start.size(); ++i)
        fields.emplace_back(start[i], end[i]);
    return fields;
}

Fields DerivedFields(clsTableParser& parser, const std::string& keyword) {
    return FieldsOf(parser,
                    parser.VariableToFixedTemplate(ExpandKeyword(keyword, parser.TableWidth)));
}

class TableParserRead : public ::testing::Test {
protected:
    // A report whose table rows lie between the lines "TOP" and "END".
    void Load(const std::vector<std::string>& rows, int32_t tabSize = 8) {
        std::string text = "Report header\r\nTOP\r\n";
        for (const std::string& row : rows)
            text += row + "\r\n";
        text += "END\r\ntrailer\r\n";
        test::WriteFile(file, text);
        parser.ReadFromFile(file, "TOP", 1, "END", -1, tabSize);
    }

    test::TempDir dir;
    std::string file = dir.File("report.txt");
    RecordingObserver messages;
    clsTableParser parser{messages};
};

TEST_F(TableParserRead, WorkedExampleGivesTheDesignedLayouts) {
    Load({EndingAt(EndingAt("Cash", "1,234,567", 24), "45,000", 35),
          EndingAt(EndingAt("Receivables", "12.50", 24), "7", 35),
          EndingAt(EndingAt("Fixed assets", "300", 24), "900", 35)});
    ASSERT_EQ(parser.TableWidth, 36);
    EXPECT_EQ(parser.MarkerTopLoc, 2);
    EXPECT_EQ(parser.MarkerBotLoc, 6);
    EXPECT_EQ(parser.DataTopLoc, 3);
    EXPECT_EQ(parser.DataBotLoc, 5);
    for (const std::string& row : parser.TextRows)
        EXPECT_LE(row.size(), 36u);

    EXPECT_EQ(parser.VariableToFixedTemplate(ExpandKeyword("=R", 36)),
              "------------ ----------- ---------- ");
    EXPECT_EQ(DerivedFields(parser, "=R"), (Fields{{1, 13}, {14, 25}, {26, 36}}));
    EXPECT_EQ(DerivedFields(parser, "="), (Fields{{1, 15}, {16, 29}, {30, 36}}));
    EXPECT_EQ(DerivedFields(parser, "=L"), (Fields{{1, 15}, {16, 29}, {30, 36}}));

    // Without joining, the blank columns in front of a field are fields of their own.
    parser.OptionNoSpaceColumns = false;
    EXPECT_EQ(DerivedFields(parser, "=R"),
              (Fields{{1, 13}, {14, 15}, {16, 25}, {26, 29}, {30, 36}}));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(TableParserRead, RowsGetTabsExpandedAndAClosingBlankButNoPadding) {
    // A closing space is added only where a row does not end in one; an empty
    // row stays empty; tabs are expanded; lines past the end of file are
    // empty. Rows are not padded: past its end a row counts as blank.
    test::WriteFile(file, test::CrLf({"TOP", "ab\tc", "", "xyz   ", "END"}));
    parser.ReadFromFile(file, "TOP", 1, "END", 2, 8);
    EXPECT_EQ(parser.DataBotLoc, 7);
    EXPECT_EQ(parser.TableWidth, 10);
    EXPECT_EQ(parser.TextRows,
              (std::vector<std::string>{"ab      c ", "", "xyz   ", "END ", "", ""}));

    // Tab size 0 leaves tabs as they are; a new load discards the old one,
    // including a switched-off joining of blank columns.
    parser.OptionNoSpaceColumns = false;
    parser.ReadFromFile(file, "TOP", 1, "TOP", 1, 0);
    EXPECT_TRUE(parser.OptionNoSpaceColumns);
    EXPECT_EQ(parser.TextRows, (std::vector<std::string>{"ab\tc "}));

    // Trailing blank columns form a final all-blank field.
    Load({"abc   ", "ab", "a"});
    ASSERT_EQ(parser.TableWidth, 6);
    EXPECT_EQ(DerivedFields(parser, "=R"), (Fields{{1, 4}, {5, 6}}));
}

TEST_F(TableParserRead, KeyLinesDecideTheBlock) {
    test::WriteFile(file, test::CrLf({"a", "TOTAL 1", "b"}));
    // Equal key texts with no later line: the block is the top line alone.
    parser.ReadFromFile(file, "TOTAL", 0, "TOTAL", 0, 8);
    EXPECT_EQ(parser.MarkerTopLoc, 2);
    EXPECT_EQ(parser.MarkerBotLoc, 2);
    EXPECT_EQ(parser.TextRows, (std::vector<std::string>{"TOTAL 1 "}));

    // A later line holding the bottom key closes the block there.
    test::WriteFile(file, test::CrLf({"a", "TOTAL 1", "b", "TOTAL 2", "c"}));
    parser.ReadFromFile(file, "TOTAL", 0, "TOTAL", 0, 8);
    EXPECT_EQ(parser.MarkerBotLoc, 4);
    EXPECT_EQ(parser.TextRows.size(), 3u);

    // The bottom key only above the top key: not found, everything reset.
    test::WriteFile(file, test::CrLf({"END", "x", "TOP", "y"}));
    parser.ReadFromFile(file, "TOP", 1, "END", -1, 8);
    EXPECT_EQ(parser.MarkerTopLoc, 0);
    EXPECT_EQ(parser.TableWidth, 0);
    EXPECT_TRUE(parser.TextRows.empty());

    // Key texts match case-sensitively.
    test::WriteFile(file, test::CrLf({"top", "x", "END"}));
    parser.ReadFromFile(file, "TOP", 1, "END", -1, 8);
    EXPECT_EQ(parser.TableWidth, 0);

    // Offsets that put the first data line after the last: no rows.
    test::WriteFile(file, test::CrLf({"TOP", "x", "END"}));
    parser.ReadFromFile(file, "TOP", 2, "END", -1, 8);
    EXPECT_EQ(parser.DataTopLoc, 3);
    EXPECT_EQ(parser.DataBotLoc, 2);
    EXPECT_EQ(parser.TableWidth, 0);
    EXPECT_TRUE(parser.TextRows.empty());

    // A missing file is a table not found, without a message.
    parser.ReadFromFile(dir.File("missing.txt"), "TOP", 1, "END", -1, 8);
    EXPECT_EQ(parser.TableWidth, 0);
    EXPECT_EQ(parser.MarkerTopLoc, 0);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(TableParserRead, AtMost9999RowsAreRead) {
    std::vector<std::string> rows(clsTableParser::kMaxRows, "  12.50 x");
    rows.back() = "1234567.00 x";
    Load(rows);
    EXPECT_TRUE(messages.shown.empty());
    ASSERT_EQ(parser.TextRows.size(), 9999u);
    EXPECT_EQ(parser.TableWidth, 13);
    EXPECT_EQ(DerivedFields(parser, "=R"), (Fields{{1, 11}, {12, 13}}));

    rows.push_back("one too many");
    Load(rows);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Error: A table must have no more than 9999 rows!");
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::None);
    EXPECT_EQ(parser.TableWidth, 0);
    EXPECT_EQ(parser.MarkerTopLoc, 0);
    EXPECT_TRUE(parser.TextRows.empty());
}

TEST_F(TableParserRead, ATableFarDownALongReportIsReadWithItsLineNumbers) {
    std::string text;
    for (int i = 0; i < 40000; ++i)
        text += "filler line\r\n";
    text += test::CrLf({"TOP", "alpha  1", "beta  22", "END"});
    test::WriteFile(file, text);
    parser.ReadFromFile(file, "TOP", 1, "END", -1, 8);
    EXPECT_EQ(parser.MarkerTopLoc, 40001);
    EXPECT_EQ(parser.DataTopLoc, 40002);
    EXPECT_EQ(parser.DataBotLoc, 40003);
    EXPECT_EQ(parser.TextRows, (std::vector<std::string>{"alpha  1 ", "beta  22 "}));
    EXPECT_TRUE(messages.shown.empty());
}

// Rows that cannot be read are no empty rows: the load says why, and one
// wide row leaves the others as they are.
TEST_F(TableParserRead, RowsThatCannotBeReadGiveTheCauseAndWideRowsStayAlone) {
    Load({"alpha 1", std::string(100000, 'w'), "beta 22"});
    EXPECT_EQ(parser.TableWidth, 100001);
    EXPECT_EQ(parser.TextRows[0], "alpha 1 ");
    EXPECT_TRUE(parser.LoadProblem.empty());
    // Scanned, then the file gives way to a named pipe before its rows are read.
    TextIndex report(file);
    report.Expect("TOP");
    report.Expect("END");
    ASSERT_EQ(report.LineCount(), 7);
    std::filesystem::remove(file);
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    parser.ReadFromFile(report, "TOP", 1, "END", -1, 8);
    EXPECT_EQ(parser.TableWidth, 0);
    EXPECT_TRUE(parser.TextRows.empty());
    EXPECT_EQ(parser.LoadProblem, "it is a named pipe (FIFO), not a file");
}

TEST_F(TableParserRead, LoneCarriageReturnsAndLineFeedsEndLines) {
    for (const char* end : {"\r", "\n"}) {
        const std::string e = end;
        test::WriteFile(file, "head" + e + "TOP" + e + "a  1" + e + "bb 2" + e + "END" + e);
        parser.ReadFromFile(file, "TOP", 1, "END", -1, 8);
        EXPECT_EQ(parser.MarkerTopLoc, 2);
        EXPECT_EQ(parser.MarkerBotLoc, 5);
        EXPECT_EQ(parser.TextRows, (std::vector<std::string>{"a  1 ", "bb 2 "}));
    }
}

TEST_F(TableParserRead, PositionsCountCharactersOfUtf8Text) {
    Load({"Café crème    12", "Ærø            3", "naïve        100"});
    ASSERT_EQ(parser.TableWidth, 17);
    for (const std::string& row : parser.TextRows)
        EXPECT_EQ(CharCount(row), 17u);
    EXPECT_EQ(parser.TextRows[2], "naïve        100 ");
    EXPECT_EQ(DerivedFields(parser, "=R"), (Fields{{1, 11}, {12, 17}}));
    EXPECT_EQ(DerivedFields(parser, "=L"), (Fields{{1, 13}, {14, 17}}));
}

TEST_F(TableParserRead, NoBreakSpaceCountsAsBlank) {
    // UTF-8 report: column 3 holds a no-break space in one row.
    Load({"ab\u00A0cd", "xy ef"});
    EXPECT_EQ(DerivedFields(parser, "=R"), (Fields{{1, 3}, {4, 6}}));
    // The same in a Windows-1252 report, where it is byte 160.
    Load({"ab\xA0"
          "cd",
          "xy ef"});
    ASSERT_EQ(parser.TableWidth, 6);
    EXPECT_EQ(parser.TextRows[0], "ab\u00A0cd ");
    EXPECT_EQ(DerivedFields(parser, "=R"), (Fields{{1, 3}, {4, 6}}));
}

TEST_F(TableParserRead, ADerivedLayoutSeesOnlyTheLinesKept) {
    // The page headers, the group line and the skipped total are wider than
    // the rows and would join their columns; a form feed shifts nothing.
    test::WriteFile(dir.File("pages.txt"),
              test::CrLf({"TOP", "\fHEADING RUNS ACROSS ALL", "DEPT 10 OVER THE FIELDS",
                          "ab   1", "abc 20", "TOTAL ACROSS THE COLUMNS", "\fHEADING RUNS "
                          "ACROSS ALL", "a   30", "END"}));
    LineRules rules;
    rules.pageHeaderLines = 1;
    rules.skipTexts = {"TOTAL"};
    rules.groups.push_back({"DEPT", "-", "E", 5, {1}, {1}});
    TextIndex report(dir.File("pages.txt"));
    parser.ReadFromFile(report, "TOP", 1, "END", -1, 8, &rules);
    EXPECT_EQ(parser.TextRows, (std::vector<std::string>{"ab   1 ", "abc 20 ", "a   30 "}));
    EXPECT_EQ(FieldsOf(parser, parser.VariableToFixedTemplate(ExpandKeyword("=R", parser.TableWidth))),
              (Fields{{1, 4}, {5, 7}}));
    // Without the rules every line is a row and the layout is one field.
    parser.ReadFromFile(report, "TOP", 1, "END", -1, 8);
    EXPECT_EQ(parser.TextRows.size(), 7u);
    EXPECT_EQ(parser.TextRows[0], "HEADING RUNS ACROSS ALL ");
}

} // namespace
} // namespace vok
