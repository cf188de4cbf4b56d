#include "engine/clsTitle.h"
#include "recipe/ProfileFile.h"
#include "support/FakeWorkbook.h"
#include "support/JobFixture.h"

#include <gtest/gtest.h>

namespace vok {
namespace {

using test::CrLf;
using test::FakeWorkbook;

class TitleTest : public ::testing::Test {
protected:
    FakeWorkbook& OpenBook(int32_t maxRows = 65'536) {
        auto book = std::make_unique<FakeWorkbook>(3, maxRows);
        FakeWorkbook& ref = *book;
        fx.state.sink.xlApp = std::move(book);
        return ref;
    }
    std::string SpecFile(std::initializer_list<std::string_view> lines) {
        const std::string path = fx.dir.File("spec.t2x");
        test::WriteFile(path, CrLf(lines));
        return path;
    }
    clsTitle Read(const std::string& path, int32_t number) {
        clsTitle title;
        title.ReadFromFile(fx.state.messages, path, number);
        return title;
    }
    int32_t Pointer(int32_t sheet) {
        return fx.state.recipe.ExportSpecs.getWritePointer(fx.messages, sheet);
    }

    test::StateFixture fx;
};

TEST_F(TitleTest, WorkedExampleKeepsTheBlankLinesRow) {
    const std::string path =
        SpecFile({"[Title 1]", "WriteSheet=1", "WriteColumn=A", "TotalLines=3",
                  "Text1=QUARTERLY LEDGER SUMMARY", "Text2=", "Text3=All amounts in dollars"});
    clsTitle title = Read(path, 1);
    EXPECT_EQ(title.WriteSheet, 1);
    EXPECT_EQ(title.WriteColumn, "A");
    EXPECT_EQ(title.TextLines,
              (std::vector<std::string>{"QUARTERLY LEDGER SUMMARY", "", "All amounts in dollars"}));

    FakeWorkbook& book = OpenBook();
    book.SetCellValue(1, 2, 1, "kept"); // the blank line's row is not touched
    title.Process(fx.state);
    EXPECT_EQ(book.CellText(1, 1, 1), "QUARTERLY LEDGER SUMMARY");
    EXPECT_EQ(book.CellText(1, 2, 1), "kept");
    EXPECT_EQ(book.CellText(1, 3, 1), "All amounts in dollars");
    EXPECT_EQ(book.CellCount(1), 3u);
    EXPECT_EQ(Pointer(1), 4);
    EXPECT_EQ(Pointer(2), 1);
    EXPECT_TRUE(fx.messages.shown.empty());
}

TEST_F(TitleTest, TwoTitlesOnSheetTwoStackAndValuesAreCleaned) {
    const std::string path = SpecFile({
        "[Title 1]",
        "WriteSheet=2",
        "WriteColumn=c",
        "TotalLines=2",
        "Text1=   Padded heading   ", // only the first line is present
        "",
        "[Title 2]",
        "WriteSheet=2",
        "WriteColumn=C",
        "TotalLines=1",
        "Text1=Net sales ; a comment",
    });
    clsTitle first = Read(path, 1);
    clsTitle second = Read(path, 2);
    EXPECT_EQ(first.WriteColumn, "c");
    EXPECT_EQ(first.TextLines, (std::vector<std::string>{"Padded heading", ""}));
    EXPECT_EQ(second.TextLines, (std::vector<std::string>{"Net sales"}));

    FakeWorkbook& book = OpenBook();
    first.Process(fx.state);
    second.Process(fx.state);
    EXPECT_EQ(book.CellText(2, 1, 3), "Padded heading"); // lower-case "c" is column C
    EXPECT_EQ(book.CellText(2, 2, 3), "");
    EXPECT_EQ(book.CellText(2, 3, 3), "Net sales");
    EXPECT_EQ(book.CellCount(1), 0u);
    EXPECT_EQ(Pointer(2), 4);
    EXPECT_EQ(Pointer(1), 1);
    EXPECT_TRUE(fx.messages.shown.empty());
}

TEST_F(TitleTest, ValidationStopsAtTheFirstBadKey) {
    const std::string path = SpecFile({
        "[Title 1]", "WriteColumn=A", "TotalLines=1",   "Text1=x", // no sheet
        "[Title 2]", "WriteSheet=2",  "WriteColumn=ZA", "TotalLines=1",
        "[Title 3]", "WriteSheet=1",  "WriteColumn=AB", "TotalLines=0",
        "[Title 4]", "WriteSheet=1",  "WriteColumn=B",  "TotalLines=three",
        "[Title 5]", "WriteSheet=0",  "WriteColumn=B",  "TotalLines=1",
        "[Title 6]", "WriteSheet=1",  "WriteColumn=B",  "TotalLines=2000000000",
    });
    clsTitle t1 = Read(path, 1);
    EXPECT_EQ(t1.WriteSheet, 1); // initial values kept
    EXPECT_TRUE(t1.TextLines.empty());
    clsTitle t2 = Read(path, 2);
    EXPECT_EQ(t2.WriteSheet, 2); // stored before the column failed
    EXPECT_EQ(t2.WriteColumn, "A");
    clsTitle t3 = Read(path, 3);
    EXPECT_EQ(t3.WriteColumn, "AB"); // "AB" sorts between "A" and "Z"
    Read(path, 4);
    Read(path, 5);
    clsTitle t6 = Read(path, 6);
    EXPECT_TRUE(t6.TextLines.empty());
    Read(fx.dir.File("missing.t2x"), 1);

    EXPECT_EQ(fx.messages.Texts(),
              (std::vector<std::string>{
                  "Error in Title 1 : Write sheet number must be > 0!",
                  "Error in Title 2 : Write Column must be (A-Z)!",
                  "Error in Title 3 : Number of lines must be > 0!",
                  "Error in Title 4 : TotalLines is not a whole number: three",
                  "Error in Title 5 : Write sheet number must be > 0!",
                  "Error in Title 6 : Number of lines must be <= 1048576!",
                  "Cannot open " + fx.dir.File("missing.t2x") + " to read Title 1!",
              }));
    for (const auto& entry : fx.messages.shown)
        EXPECT_EQ(entry.icon, MessageIcon::Critical);
}

TEST_F(TitleTest, ProcessWritesOnlyWhereItCan) {
    clsTitle title;
    title.TextLines = {"one", "two"};

    // No workbook (a CSV run): nothing written, the pointer stays.
    title.Process(fx.state);
    EXPECT_EQ(Pointer(1), 1);
    EXPECT_TRUE(fx.messages.shown.empty());

    // A sheet without a write pointer: the pointer's message, then nothing.
    FakeWorkbook& book = OpenBook(3);
    title.WriteSheet = 3;
    title.Process(fx.state);
    EXPECT_EQ(book.writes, 0);
    EXPECT_EQ(fx.messages.Texts(), (std::vector<std::string>{
                                       "Invalid sheet number in clsExportSpecs.getWritePointer!"}));

    // Letters that pass the read's check but name no column: reported, nothing written.
    fx.messages.shown.clear();
    title.WriteSheet = 1;
    title.WriteColumn = "ABC";
    title.Process(fx.state);
    EXPECT_EQ(book.writes, 0);
    EXPECT_EQ(Pointer(1), 1);
    EXPECT_EQ(fx.messages.Texts(),
              (std::vector<std::string>{"unexpected letter code in xl.AlphaToNum2!"}));

    // Past the sheet's last row: the run ends and the pointer does not move.
    fx.messages.shown.clear();
    title.WriteColumn = "A";
    fx.state.recipe.ExportSpecs.setWritePointer(fx.messages, 1, 3);
    title.Process(fx.state);
    EXPECT_EQ(book.CellText(1, 3, 1), "one");
    EXPECT_EQ(fx.messages.shown.size(), 1u);
    EXPECT_TRUE(fx.state.recipe.ExportSpecs.FatalProcessError);
    EXPECT_EQ(Pointer(1), 3);
}

TEST_F(TitleTest, WrittenSectionReadsBackTheSame) {
    clsTitle title;
    title.WriteSheet = 2;
    title.WriteColumn = "D";
    title.TextLines = {"Heading", "", "Third line"};
    const std::string path = fx.dir.File("out.t2x");
    {
        ProfileFile file(path);
        clsTitle other;
        other.TextLines = {"first title"};
        other.WriteToFile(file, 1);
        title.WriteToFile(file, 2);
        std::string error;
        ASSERT_TRUE(file.Commit(error));
    }
    EXPECT_NE(test::ReadFile(path).find("[Title 2]\r\nWriteSheet=2\r\nWriteColumn=D\r\n"
                                        "TotalLines=3\r\nText1=Heading\r\nText2=\r\n"
                                        "Text3=Third line\r\n"),
              std::string::npos);
    clsTitle back = Read(path, 2);
    EXPECT_EQ(back.WriteSheet, 2);
    EXPECT_EQ(back.WriteColumn, "D");
    EXPECT_EQ(back.TextLines, title.TextLines);
    EXPECT_TRUE(fx.messages.shown.empty());
}

} // namespace
} // namespace vok
