#include "recipe/ProfileFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace vok::test {
namespace {

// Title, table, title, consolidation: the run order is the order of the headers.
const std::string kLongFile = CrLf({
    "[Header]",
    "Product=VOK",
    "FileType=EXPORT SPEC",
    "FileFormat=1.1",
    "[General]",
    "Name=Month end",
    "[Title 1]",
    "WriteSheet=1",
    "WriteColumn=A",
    "TotalLines=2",
    "Text1=LEDGER",
    "Text2=",
    "[Table 1]",
    "ReadStartLine=ACCOUNT NO",
    "ReadStartLineOffset=2",
    "ReadEndLine=TOTALS",
    "ReadEndLineOffset=-1",
    "TotalColumns=2",
    "[Table 1 Col 1]",
    "ReadColumnStart=1",
    "ReadColumnEnd=10",
    "WriteColumn=B",
    "PeriodOperator=",
    "[Table 1 Col 2]",
    "ReadColumnStart=11",
    "ReadColumnEnd=20",
    "WriteColumn=C",
    "PeriodOperator=SUM",
    "[Title 2]",
    "WriteSheet=2",
    "WriteColumn=B",
    "TotalLines=1",
    "Text1=BY DEPARTMENT",
    "[Consolidate 1]",
    "Table=1",
    "ReadAccountsColumn=1",
    "TotalDepartments=1",
    "[Con 1 Dept 1]",
    "ReadStartLine=CASH",
    "ReadStartLineOffset=0",
    "ReadEndLine=RENT",
    "ReadEndLineOffset=0",
});

TEST(ExportSpecs, ReadsSectionsInRunOrderAndWritesThemBackUnchanged) {
    StateFixture f;
    WriteFile(f.dir.File("in.t2x"), kLongFile);
    clsExportSpecs& specs = f.state.gRecipe.ExportSpecs;
    specs.ReadFromFile(f.state, f.dir.File("in.t2x"));
    EXPECT_TRUE(f.messages.shown.empty());
    EXPECT_EQ(specs.Name, "Month end");
    EXPECT_EQ(specs.SectionSequenceCollection,
              (std::vector<std::string>{"Title", "Table", "Title", "Consolidate"}));
    ASSERT_EQ(specs.TablesCollection.size(), 1u);
    EXPECT_EQ(specs.TablesCollection[0].TotalColumns, 2);
    EXPECT_EQ(specs.TablesCollection[0].ColumnsCollection[1].PeriodOperator, "SUM");
    ASSERT_EQ(specs.TitlesCollection.size(), 2u);
    EXPECT_EQ(specs.TitlesCollection[1].TextLines, std::vector<std::string>{"BY DEPARTMENT"});
    ASSERT_EQ(specs.ConsolidateCollection.size(), 1u);

    ASSERT_TRUE(specs.WriteToFile(f.state, f.dir.File("out.t2x")));
    EXPECT_EQ(ReadFile(f.dir.File("out.t2x")), kLongFile);
}

TEST(ExportSpecs, WrongHeaderKeepsThePreviousSpecification) {
    StateFixture f;
    WriteFile(f.dir.File("in.t2x"), kLongFile);
    clsExportSpecs& specs = f.state.gRecipe.ExportSpecs;
    specs.ReadFromFile(f.state, f.dir.File("in.t2x"));
    std::string wrong = kLongFile;
    wrong.replace(wrong.find("FileFormat=1.1"), 14, "FileFormat=2.0");
    WriteFile(f.dir.File("wrong.t2x"), wrong);
    specs.ReadFromFile(f.state, f.dir.File("wrong.t2x"));
    EXPECT_EQ(f.messages.Texts(), std::vector<std::string>{"Incorrect file format!"});
    EXPECT_EQ(specs.SectionSequenceCollection.size(), 4u);
}

TEST(ExportSpecs, WritePointersOfSheetsOneAndTwoOnly) {
    StateFixture f;
    clsExportSpecs& specs = f.state.gRecipe.ExportSpecs;
    specs.setWritePointer(f.messages, 1, 7);
    specs.setWritePointer(f.messages, 0, 5);
    EXPECT_EQ(specs.getWritePointer(f.messages, 1), 7);
    EXPECT_EQ(specs.getWritePointer(f.messages, 2), 1);
    EXPECT_EQ(specs.getWritePointer(f.messages, 3), 0);
    EXPECT_EQ(f.messages.Texts(), (std::vector<std::string>{
                                      "Invalid sheet number in clsExportSpecs.setWritePointer!",
                                      "Invalid sheet number in clsExportSpecs.getWritePointer!"}));
}

TEST(ExportSpecs, ShortRecipeExpansion) {
    StateFixture f;
    const std::string report = CrLf({"TOP", "abc  12", "de    3", "END"});
    WriteFile(f.dir.File("report.txt"), report);
    auto expand = [&](const std::string& tables) {
        WriteFile(f.dir.File("r.rcp"), CrLf({"[Header]", "Product=VOK-B"}) + tables);
        std::filesystem::remove(f.dir.File("long.t2x"));
        f.messages.shown.clear();
        f.state.gRecipe.ExportSpecs.FileConvertShortToLong(
            f.state, f.dir.File("r.rcp"), f.dir.File("long.t2x"), f.dir.File("report.txt"));
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

TEST(ExportSpecs, MarkedReportYieldsARecipeUpToTheFirstEmptyTemplate) {
    StateFixture f;
    WriteFile(f.dir.File("marked.txt"), CrLf({">>1", "---  ---", "a    b", "<<1", ">>2", "", "x",
                                              "<<2", ">>3", "--", "y", "<<3"}));
    f.state.gRecipe.ExportSpecs.FileCreateShort(f.state, f.dir.File("marked.txt"),
                                                f.dir.File("auto.rcp"));
    const std::string recipe = ReadFile(f.dir.File("auto.rcp"));
    EXPECT_NE(recipe.find("[Table 1]\r\nReadStartLine=>>1\r\n"), std::string::npos);
    EXPECT_NE(recipe.find("Parsing=---  ---\r\nWriteColumn=A\r\n"), std::string::npos);
    EXPECT_EQ(recipe.find("[Table 2]"), std::string::npos);
}

} // namespace
} // namespace vok::test
