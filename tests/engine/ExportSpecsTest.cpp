#include "base/TextIndex.h"
#include "recipe/ExportSpecFile.h"
#include "recipe/ProfileFile.h"
#include "recipe/SectionedFile.h"
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

// A short recipe expanded into the working file and read back two ways: the
// whole text at once, and each table as it is written (taken from its values,
// or read from its text where that is needed). The files, the tables and
// every message must be the same. Gives the messages and the tables taken.
std::pair<std::vector<std::string>, size_t> ExpandBothWays(const std::string& recipe) {
    StateFixture whole, pieces;
    WriteFile(whole.dir.File("r.rcp"), recipe);
    const SectionedText shortText = SectionedText::FromFile(whole.dir.File("r.rcp"));
    TextIndex report(whole.dir.File("none.txt"));
    // The whole text, as the job read it before.
    const std::string wholeFile = whole.dir.File("whole.t2x");
    SectionWriter wholeWriter(wholeFile, AtomicFile::Durability::InPlace);
    ConvertShortToLong(whole.messages, "", shortText, wholeWriter, report, 8);
    std::string error;
    EXPECT_TRUE(wholeWriter.Commit(error)) << error;
    whole.state.recipe.ExportSpecs.ReadFromText(whole.state.messages, wholeWriter.TakeText(),
                                                wholeFile);
    // Piece after piece, over a file that held something else.
    const std::string piecesFile = pieces.dir.File("pieces.t2x");
    WriteFile(piecesFile, std::string(100000, 'x'));
    SectionWriter writer(piecesFile, AtomicFile::Durability::InPlace);
    clsExportSpecs::PieceReader reader(pieces.state.recipe.ExportSpecs, 2);
    ConvertShortToLong(pieces.messages, "", shortText, writer, report, 8, reader.Following(writer));
    EXPECT_TRUE(writer.Commit(error)) << error;
    reader.Finish(pieces.state.messages, piecesFile);

    EXPECT_EQ(ReadFile(piecesFile), ReadFile(wholeFile));
    EXPECT_EQ(pieces.messages.Texts(), whole.messages.Texts());
    const clsExportSpecs& a = whole.state.recipe.ExportSpecs;
    const clsExportSpecs& b = pieces.state.recipe.ExportSpecs;
    EXPECT_EQ(b.SectionSequenceCollection, a.SectionSequenceCollection);
    EXPECT_EQ(b.TablesCollection.size(), a.TablesCollection.size());
    for (size_t t = 0; t < std::min(a.TablesCollection.size(), b.TablesCollection.size()); ++t)
        EXPECT_EQ(b.TablesCollection[t].Valid(), a.TablesCollection[t].Valid()) << t;
    // What was read, written back out.
    EXPECT_TRUE(a.WriteToFile(whole.state.messages, whole.dir.File("a.t2x")));
    EXPECT_TRUE(b.WriteToFile(pieces.state.messages, pieces.dir.File("b.t2x")));
    EXPECT_EQ(ReadFile(pieces.dir.File("b.t2x")), ReadFile(whole.dir.File("a.t2x")));
    return {whole.messages.Texts(), reader.Taken()};
}

std::string ShortRecipe(const std::vector<std::string>& tables) {
    std::string recipe = "[Header]\r\nProduct=VOK-B\r\nFileType=RECIPE\r\nFileFormat=1.0\r\n";
    for (size_t t = 0; t < tables.size(); ++t)
        recipe += "[Table " + std::to_string(t + 1) + "]\r\n" + tables[t];
    return recipe;
}

// Plain tables, a table whose line keys cannot be used (its reading says so,
// after the file is written), a key text holding "[Table " (a section header
// to the whole reading, so the file is read back whole), and tables whose
// values the reading refuses (a missing key text, columns past "Z" as the
// reading compares letters): plain tables are taken from their values, the
// others read from their text.
TEST(ExportSpecs, ReadingThePiecesAsWrittenGivesWhatTheWholeFileGives) {
    const std::vector<std::string> tableKeys = {
        "ReadStartLine=A1\r\nReadStartLineOffset=1\r\nReadEndLine=Z1\r\nReadEndLineOffset=0\r\n"
        "Parsing=---- -----\r\nWriteColumn=B\r\n",
        "ReadStartLine=A2\r\nReadEndLine=Z2\r\nParsing=--- -- -\r\nWriteColumn=A\r\n"
        "SkipLine1=PAGE\r\nGroupParsing1=---\r\n",
        "ReadStartLine=A3\r\nReadEndLine=Z3\r\nParsing= ------\r\nWriteColumn=C\r\n",
        "ReadStartLine=[Table 9\r\nReadEndLine=Z4\r\nParsing=--\r\nWriteColumn=A\r\n",
        "ReadStartLine=-999999\r\nReadEndLine=Z5\r\nParsing=-- --\r\nWriteColumn=A\r\n",
        "ReadStartLine=A6\r\nReadEndLine=Z6\r\nParsing=-- --\r\nWriteColumn=ZA\r\n",
        "ReadStartLine= B7  x \r\nReadStartLineOffset=-2\r\nReadEndLine=Z7;note\r\n"
        "ReadEndLineOffset=3\r\nParsing=-- -- -- --\r\nWriteColumn=y\r\n",
        "ReadStartLine=A8\r\nParsing=--\r\nWriteColumn=A\r\n"};
    struct Case {
        std::vector<size_t> tables;
        size_t said;  // messages the reading says; kSome: at least one
        size_t taken; // tables taken from their values
    };
    constexpr size_t kSome = 99;
    for (const Case& c :
         {Case{{0, 2, 0}, 0, 3}, Case{{0, 1, 2, 1}, 2, 2}, Case{{0, 3, 1, 2}, kSome, 1},
          Case{{6, 4, 0, 5, 6}, kSome, 3}, Case{{7, 6}, kSome, 1}}) {
        std::vector<std::string> tables;
        for (const size_t t : c.tables)
            tables.push_back(tableKeys[t]);
        const auto [said, taken] = ExpandBothWays(ShortRecipe(tables));
        if (c.said == kSome)
            EXPECT_FALSE(said.empty());
        else
            EXPECT_EQ(said.size(), c.said);
        EXPECT_EQ(taken, c.taken);
    }
}

// Recipes of tables whose keys are drawn from texts that read back as
// written and texts that do not (blanks, comments, brackets, the missing-key
// sentinel, signs, letters past "Z", unknown keys): whatever they hold,
// taking a table from its values gives what reading its text gives.
TEST(ExportSpecs, TablesTakenFromTheirValuesMatchTheirReadingWhateverTheKeysHold) {
    const std::vector<std::string> texts = {"A",   " B ", "x;y", "[T", "-999999",    "",   "7",
                                            "-3",  "+2",  "2x",  "Z",  "ZA",         "aa", "\tC",
                                            "a=b", "Col", "XFD", " ",  "99999999999"};
    const std::vector<std::string> numbers = {"0", "2", "-1", " 3 ", "+4", "x", "", "5;six"};
    const std::vector<std::string> letters = {"A", "b", " C ", "Z", "Y", "ZA", "AB", "", "1"};
    const std::vector<std::string> templates = {"---- ---", " -- - ---", "--", "AUTO", "x - x", ""};
    uint32_t seed = 12345;
    const auto pick = [&seed](size_t n) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<size_t>((seed >> 8) % n);
    };
    size_t takenInAll = 0;
    for (int recipe = 0; recipe < 150; ++recipe) {
        std::vector<std::string> tables;
        for (size_t t = 0, n = 1 + pick(4); t < n; ++t) {
            std::string keys;
            const auto key = [&](const std::string& name, const std::string& value) {
                if (pick(8) != 0) keys += name + "=" + value + "\r\n";
            };
            key("ReadStartLine", texts[pick(texts.size())]);
            key("ReadStartLineOffset", numbers[pick(numbers.size())]);
            key("ReadEndLine", texts[pick(texts.size())]);
            key("ReadEndLineOffset", numbers[pick(numbers.size())]);
            key("Parsing", templates[pick(templates.size())]);
            key("WriteColumn",
                pick(4) == 0 ? texts[pick(texts.size())] : letters[pick(letters.size())]);
            tables.push_back(keys);
        }
        SCOPED_TRACE(ShortRecipe(tables));
        takenInAll += ExpandBothWays(ShortRecipe(tables)).second;
        if (::testing::Test::HasFailure()) return;
    }
    // Both ways were compared, not only the reading of text.
    EXPECT_GT(takenInAll, 10u);
}

} // namespace
} // namespace vok::test
