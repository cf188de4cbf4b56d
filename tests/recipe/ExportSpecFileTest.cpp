// The recipe layer's long-format file: a short recipe expanded into it, and a
// recipe made from the marks of a report.
#include "recipe/ExportSpecFile.h"
#include "recipe/ProfileFile.h"
#include "recipe/SectionedFile.h"

#include "support/RecordingObserver.h"
#include "support/TestSupport.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <map>

namespace vok::test {
namespace {

struct Fixture {
    TempDir dir;
    RecordingObserver messages;
};

TEST(ExportSpecFile, AShortRecipeExpandsToOneSectionPerTableAndField) {
    Fixture f;
    const std::string report = CrLf({"TOP", "abc  12", "de    3", "END"});
    WriteFile(f.dir.File("report.txt"), report);
    auto expand = [&](const std::string& tables) {
        WriteFile(f.dir.File("r.rcp"), CrLf({"[Header]", "Product=VOK-B"}) + tables);
        std::filesystem::remove(f.dir.File("long.t2x"));
        f.messages.shown.clear();
        FileConvertShortToLong(f.messages, "", f.dir / "r.rcp", f.dir / "long.t2x",
                               f.dir / "report.txt", 8);
        return ReadFile(f.dir.File("long.t2x"));
    };
    auto table = [](int n, std::string_view parsing, std::string_view column) {
        return CrLf({"[Table " + std::to_string(n) + "]", "ReadStartLine=TOP",
                     "ReadStartLineOffset=1", "ReadEndLine=END", "ReadEndLineOffset=-1",
                     "Parsing=" + std::string(parsing), "WriteColumn=" + std::string(column)});
    };
    // No tables: header and [General] only.
    EXPECT_EQ(expand(""), CrLf({"[Header]", "Product=VOK", "FileType=EXPORT SPEC", "FileFormat=1.1",
                                "[General]", "Name="}));
    // Column letters run on from the first column, past Z.
    std::string out = expand(table(1, "-- -- --", "Z"));
    EXPECT_NE(out.find("WriteColumn=Z\r\n"), std::string::npos);
    EXPECT_NE(out.find("WriteColumn=AA\r\n"), std::string::npos);
    EXPECT_NE(out.find("WriteColumn=AB\r\n"), std::string::npos);
    // A table without a template is not found, and the tables after it are not converted.
    out = expand(table(1, "----", "A") + table(2, "", "A") + table(3, "----", "A"));
    EXPECT_EQ(f.messages.Texts(), std::vector<std::string>{"Table 2 not found!"});
    EXPECT_EQ(f.messages.shown[0].icon, MessageIcon::Warning);
    EXPECT_NE(out.find("[Table 1]"), std::string::npos);
    EXPECT_EQ(out.find("[Table 3]"), std::string::npos);
    // Tables numbered 1 and 3 count two tables; table 2 has only defaults.
    expand(table(1, "----", "A") + table(3, "----", "A"));
    EXPECT_EQ(f.messages.Texts(), std::vector<std::string>{"Table 2 not found!"});
    // "-" reads the report: one column over the table's width (7 characters plus a blank).
    out = expand(table(1, "-", "A"));
    EXPECT_NE(out.find("ReadColumnStart=1\r\nReadColumnEnd=8\r\n"), std::string::npos);
    // A non-numeric offset is named, and the expansion stops there.
    out = expand(CrLf({"[Table 1]", "ReadStartLine=TOP", "ReadStartLineOffset=two"}));
    EXPECT_EQ(f.messages.Texts(),
              std::vector<std::string>{"Error in Table 1 : ReadStartLineOffset is not a whole "
                                       "number: two"});
    EXPECT_EQ(out.find("[Table 1]"), std::string::npos);
}

// Tables one after the other that share a template, a first column or both
// each get the columns their own section makes, and a column past ZZ is said
// for every table that has one.
TEST(ExportSpecFile, TablesSharingTheirTemplateGetTheColumnsOfTheirOwnSections) {
    Fixture f;
    WriteFile(f.dir.File("report.txt"), CrLf({"TOP", "a b c", "END"}));
    const std::vector<std::pair<std::string, std::string>> tables = {
        {"-- ---", "A"}, {"-- ---", "A"}, {"-- ---", "C"}, {"- - -", "C"},
        {"-- ---", "C"}, {"- - -", "ZY"}, {"- - -", "ZY"}, {"- - -", "B"}};
    std::string recipe = CrLf({"[Header]", "Product=VOK-B"});
    for (size_t t = 0; t < tables.size(); ++t)
        recipe += CrLf({"[Table " + std::to_string(t + 1) + "]", "ReadStartLine=TOP",
                        "ReadStartLineOffset=1", "ReadEndLine=END", "ReadEndLineOffset=-1",
                        "Parsing=" + tables[t].first, "WriteColumn=" + tables[t].second});
    WriteFile(f.dir.File("r.rcp"), recipe);
    FileConvertShortToLong(f.messages, "", f.dir / "r.rcp", f.dir / "long.t2x",
                           f.dir / "report.txt", 8);
    const SectionedText out = SectionedText::FromFile(f.dir / "long.t2x");
    // Each column as its table's template and first column make it.
    const auto columns = [&](int table) {
        std::string text;
        for (int c = 1;; ++c) {
            const std::string section = fmt::format("Table {} Col {}", table, c);
            const std::string start = GetIniValue(out, section, "ReadColumnStart", "");
            if (start.empty()) return text;
            text += fmt::format("{}-{}{} ", start, GetIniValue(out, section, "ReadColumnEnd", ""),
                                GetIniValue(out, section, "WriteColumn", ""));
        }
    };
    EXPECT_EQ(columns(1), "1-3A 4-6B ");
    EXPECT_EQ(columns(2), "1-3A 4-6B ");
    EXPECT_EQ(columns(3), "1-3C 4-6D ");
    EXPECT_EQ(columns(4), "1-2C 3-4D 5-5E ");
    EXPECT_EQ(columns(5), "1-3C 4-6D ");
    EXPECT_EQ(columns(6), "1-2ZY 3-4ZZ 5-5 ");
    EXPECT_EQ(columns(7), "1-2ZY 3-4ZZ 5-5 ");
    EXPECT_EQ(columns(8), "1-2B 3-4C 5-5D ");
    EXPECT_EQ(GetIniValue(out, "Table 8", "TotalColumns", ""), "3");
    // The column past ZZ of tables 6 and 7: said for each.
    ASSERT_EQ(f.messages.Texts().size(), 2u);
    EXPECT_EQ(f.messages.Texts()[0], f.messages.Texts()[1]);
}

// The first fault in the marks ends their reading: the tables marked soundly
// above it make the recipe, and the message names the fault's line and where
// the reading stopped (the start of the table the fault belongs to).
TEST(ExportSpecFile, FaultyMarksKeepTheTablesMarkedSoundlyAboveThem) {
    Fixture f;
    const std::vector<std::string_view> sound = {">>1", "---  ---", "a    b", "<<1",
                                                 ">>2", "--",       "c",      "<<2"};
    struct Case {
        std::vector<std::string_view> after; // lines after the two sound tables
        int64_t line;                        // the fault's line, as the message names it
        std::string fault;
        int64_t stop;
    };
    const std::vector<Case> cases = {
        {{">>3", "", "x", "<<3", ">>4", "--", "y", "<<4"},
         9,
         "the mark >>3 is not followed by a template line.",
         9},
        {{">>3", "--", "x"}, 9, "the table marked >>3 has no end mark (a line beginning with <<3).", 9},
        {{"<<3", ">>3", "--", "x", "<<3"}, 9, "the end mark <<3 has no start mark >>3 above it.", 9},
        {{">>2", "--", "x", "<<2"},
         9,
         "the mark should read >>3; marked tables are numbered 1, 2, 3 ... from the top of the "
         "report.",
         9},
        {{">>3", "--", "x", "<<4"},
         12,
         "the end mark should read <<3, to close the table marked >>3 on line 9.",
         9},
        {{">>3", "--", "x", ">>4", "--", "<<4"},
         12,
         "a new table is marked before the table marked >>3 on line 9 ends with a line beginning "
         "with <<3.",
         9},
    };
    const std::string report = f.dir.File("marked.txt");
    for (const Case& c : cases) {
        std::vector<std::string_view> lines = sound;
        lines.insert(lines.end(), c.after.begin(), c.after.end());
        std::string text;
        for (const std::string_view line : lines)
            text += std::string(line) + "\r\n";
        WriteFile(report, text);
        f.messages.shown.clear();
        SCOPED_TRACE(c.fault);
        EXPECT_TRUE(FileCreateShort(f.messages, report, f.dir / "auto.rcp"));
        EXPECT_EQ(f.messages.Texts(),
                  std::vector<std::string>{fmt::format(
                      "Line {} of the report {}: {} The reading of the marks stopped at line {}: "
                      "only tables 1 and 2, above it, are converted.",
                      c.line, report, c.fault, c.stop)});
        const std::string recipe = ReadFile(f.dir.File("auto.rcp"));
        EXPECT_NE(recipe.find("[Table 1]\r\nReadStartLine=>>1\r\nReadStartLineOffset=2\r\n"
                              "ReadEndLine=<<1\r\nReadEndLineOffset=-1\r\nParsing=---  ---\r\n"
                              "WriteColumn=A\r\n"),
                  std::string::npos);
        EXPECT_NE(recipe.find("[Table 2]\r\nReadStartLine=>>2\r\n"), std::string::npos);
        EXPECT_EQ(recipe.find("[Table 3]"), std::string::npos);
    }
    // One table above the fault; none: nothing to convert, and no word of a stop.
    WriteFile(report, CrLf({">>1", "---", "a", "<<1", ">>2", "", "x", "<<2"}));
    f.messages.shown.clear();
    EXPECT_TRUE(FileCreateShort(f.messages, report, f.dir / "auto.rcp"));
    EXPECT_EQ(f.messages.Texts(),
              std::vector<std::string>{"Line 5 of the report " + report +
                                       ": the mark >>2 is not followed by a template line. The "
                                       "reading of the marks stopped at line 5: only table 1, "
                                       "above it, is converted."});
    WriteFile(report, CrLf({"x", ">>1", "---", "a", "<<2"}));
    f.messages.shown.clear();
    std::filesystem::remove(f.dir / "auto.rcp"); // the caller's part, as in a job
    EXPECT_FALSE(FileCreateShort(f.messages, report, f.dir / "auto.rcp"));
    EXPECT_EQ(f.messages.Texts(),
              std::vector<std::string>{"Line 5 of the report " + report +
                                       ": the end mark should read <<1, to close the table "
                                       "marked >>1 on line 2."});
    EXPECT_EQ(ReadFile(f.dir.File("auto.rcp")).find("[Table"), std::string::npos);
}

// A report whose reading fails halfway is said, not taken for one without
// its later marks (reading /proc/self/mem from its start fails with EIO).
TEST(ExportSpecFile, AReportThatCannotBeReadMakesNoRecipe) {
    Fixture f;
    ProfileFile recipe(f.dir / "auto.rcp");
    const MarkedRecipe marked = MakeShortFromMarks("/proc/self/mem", recipe);
    EXPECT_FALSE(marked.read);
    EXPECT_EQ(marked.tables, 0);
    EXPECT_EQ(marked.problem, "Cannot read the report /proc/self/mem: Input/output error");
}

TEST(ExportSpecFile, LineRulesAreReadOnceAndWrittenInTheirOrder) {
    auto read = [](std::map<std::string, std::string> keys, LineRules& rules,
                   RecordingObserver& messages) {
        const SectionKeyLookup lookup = [&keys](std::string_view key, int32_t) {
            const auto found = keys.find(std::string(key));
            return found == keys.end() ? std::string(kMissing) : found->second;
        };
        return ReadLineRules(messages, lookup, "Table 2", rules);
    };
    RecordingObserver messages;
    LineRules rules;
    // Skip texts up to the first missing number; YES in any case; groups in order.
    ASSERT_TRUE(read({{"SkipLine1", "SUB"}, {"SkipLine2", "PAGE"}, {"SkipLine4", "lost"},
                      {"SkipBlankLines", "yes"}, {"PageHeaderLines", "999"},
                      {"GroupLine1", "DEPT"}, {"GroupParsing1", "     --- ----"},
                      {"GroupWriteColumn1", "e"}, {"GroupLine2", "ACCT"},
                      {"GroupParsing2", "-"}, {"GroupWriteColumn2", "AB"}},
                     rules, messages));
    EXPECT_EQ(rules.skipTexts, (std::vector<std::string>{"SUB", "PAGE"}));
    EXPECT_TRUE(rules.skipBlankLines);
    EXPECT_EQ(rules.pageHeaderLines, 999);
    ASSERT_EQ(rules.groups.size(), 2u);
    EXPECT_EQ(rules.groups[0].column, 5);
    EXPECT_EQ(rules.groups[0].fieldStart, (std::vector<int32_t>{6, 10}));
    EXPECT_EQ(rules.groups[0].fieldEnd, (std::vector<int32_t>{9, 13}));
    EXPECT_EQ(rules.groups[1].column, 28);
    EXPECT_TRUE(messages.shown.empty());
    // Written after the table's keys, in the order they are listed, and only when set.
    Fixture f;
    ProfileFile file(f.dir / "t.t2x");
    WriteTableSection(file, 2, {"A", 0, "B", 0, 1, &rules});
    LineRules none;
    WriteTableSection(file, 3, {"A", 0, "B", 0, 1, &none});
    std::string error;
    ASSERT_TRUE(file.Commit(error));
    EXPECT_EQ(ReadFile(f.dir / "t.t2x"),
              CrLf({"[Table 2]", "ReadStartLine=A", "ReadStartLineOffset=0", "ReadEndLine=B",
                    "ReadEndLineOffset=0", "TotalColumns=1", "SkipLine1=SUB", "SkipLine2=PAGE",
                    "SkipBlankLines=YES", "PageHeaderLines=999", "GroupLine1=DEPT",
                    "GroupParsing1=     --- ----", "GroupWriteColumn1=e", "GroupLine2=ACCT",
                    "GroupParsing2=-", "GroupWriteColumn2=AB", "[Table 3]", "ReadStartLine=A",
                    "ReadStartLineOffset=0", "ReadEndLine=B", "ReadEndLineOffset=0",
                    "TotalColumns=1"}));
    // Other values of SkipBlankLines mean no; bad values are refused by name.
    ASSERT_TRUE(read({{"SkipBlankLines", "Y"}}, rules, messages));
    EXPECT_FALSE(rules.skipBlankLines);
    const std::vector<std::pair<std::map<std::string, std::string>, std::string>> bad = {
        {{{"PageHeaderLines", "0"}}, "PageHeaderLines must be a whole number from 1 to 999: 0"},
        {{{"GroupParsing1", "--"}, {"GroupWriteColumn1", "A"}},
         "GroupLine1 is missing: a group needs the text of its lines (GroupParsing1 and "
         "GroupWriteColumn1 belong to it)"},
        {{{"GroupLine1", "D"}, {"GroupParsing1", "--"}, {"GroupWriteColumn1", "A1"}},
         "GroupWriteColumn1 is not a column (A to ZZ): A1"},
        {{{"GroupLine1", "D"}, {"GroupParsing1", "--"}, {"GroupWriteColumn1", "ABC"}},
         "GroupWriteColumn1 is not a column (A to ZZ): ABC"}};
    for (const auto& [keys, text] : bad) {
        messages.shown.clear();
        EXPECT_FALSE(read(keys, rules, messages)) << text;
        ASSERT_EQ(messages.shown.size(), 1u) << text;
        EXPECT_EQ(messages.shown[0].text, "Error in Table 2 : " + text);
    }
}

} // namespace
} // namespace vok::test
