#include "recipe/ProfileFile.h"
#include "support/JobFixture.h"

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
    clsExportSpecs& specs = f.state.recipe.ExportSpecs;
    specs.ReadFromFile(f.state.messages, f.dir.File("in.t2x"));
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

    ASSERT_TRUE(specs.WriteToFile(f.state.messages, f.dir.File("out.t2x")));
    EXPECT_EQ(ReadFile(f.dir.File("out.t2x")), kLongFile);
}

TEST(ExportSpecs, WrongHeaderKeepsThePreviousExportSpecs) {
    StateFixture f;
    WriteFile(f.dir.File("in.t2x"), kLongFile);
    clsExportSpecs& specs = f.state.recipe.ExportSpecs;
    specs.ReadFromFile(f.state.messages, f.dir.File("in.t2x"));
    std::string wrong = kLongFile;
    wrong.replace(wrong.find("FileFormat=1.1"), 14, "FileFormat=2.0");
    WriteFile(f.dir.File("wrong.t2x"), wrong);
    specs.ReadFromFile(f.state.messages, f.dir.File("wrong.t2x"));
    EXPECT_EQ(f.messages.Texts(), std::vector<std::string>{"Incorrect file format!"});
    EXPECT_EQ(specs.SectionSequenceCollection.size(), 4u);
}

TEST(ExportSpecs, OnlySheetsOneAndTwoHaveAWritePointer) {
    StateFixture f;
    clsExportSpecs& specs = f.state.recipe.ExportSpecs;
    specs.setWritePointer(f.messages, 1, 7);
    specs.setWritePointer(f.messages, 0, 5);
    EXPECT_EQ(specs.getWritePointer(f.messages, 1), 7);
    EXPECT_EQ(specs.getWritePointer(f.messages, 2), 1);
    EXPECT_EQ(specs.getWritePointer(f.messages, 3), 0);
    EXPECT_EQ(f.messages.Texts(), (std::vector<std::string>{
                                      "Invalid sheet number in clsExportSpecs.setWritePointer!",
                                      "Invalid sheet number in clsExportSpecs.getWritePointer!"}));
}

TEST(ExportSpecs, FullRecipeFormKeepsOnlyTheExactNumberFormats) {
    StateFixture f;
    WriteFile(f.dir.File("r.rcp"),
              CrLf({"[Header]", "Product=VOK", "FileType=RECIPE", "FileFormat=1.1", "[Output File]",
                    "InputFileFirst=1", "InputFileLast=1", "WriteDataFormat=nearestcent",
                    "ExportSpecFileName=" + f.dir.File("none.t2x")}));
    f.state.recipe.gRecipe.LoadFromFile(f.messages, f.dir.File("r.rcp"));
    EXPECT_EQ(f.state.recipe.gRecipe.WriteDataFormat, "");
    EXPECT_TRUE(f.messages.shown.empty());
}

} // namespace
} // namespace vok::test
