#include "engine/clsLineProcessor.h"
#include "support/JobFixture.h"

#include <gtest/gtest.h>

namespace vok {
namespace {

using test::StateFixture;

constexpr std::string_view kOutOfRange =
    "Error: The sum of a field is outside the currency range in ProcessField!";

class LineProcessorTest : public ::testing::Test {
protected:
    clsLineProcessor& processor() { return f.state.recipe.LineProcessor; }
    clsRecipe& recipe() { return f.state.recipe.gRecipe; }
    std::string Field(int32_t code, int32_t start, int32_t end) {
        return processor().ProcessField(f.state.messages, f.state.recipe.gRecipe, code, start, end);
    }
    void Periods(int32_t first, int32_t last) {
        recipe().InputFileFirst = first;
        recipe().InputFileLast = last;
    }

    StateFixture f;
};

TEST_F(LineProcessorTest, CutsRawFieldsByCharacterPositions) {
    processor().SetRow(f.state.messages, 1, "Cash    1,234.50  ");
    // Code 0 keeps blanks and the typed form.
    EXPECT_EQ(Field(clsLineProcessor::kLastPeriod, 8, 18), " 1,234.50  ");
    // Partly and wholly beyond the end of the line.
    EXPECT_EQ(Field(clsLineProcessor::kLastPeriod, 16, 30), "0  ");
    EXPECT_EQ(Field(clsLineProcessor::kLastPeriod, 40, 50), "");
    EXPECT_EQ(Field(clsLineProcessor::kSum, 40, 50), "");
    // An end before the start is empty for every operator, without a message.
    for (int32_t code = 0; code <= 3; ++code)
        EXPECT_EQ(Field(code, 5, 4), "") << code;
    // Positions before 1 hold nothing.
    EXPECT_EQ(Field(clsLineProcessor::kLastPeriod, -2, 2), "Ca");
    EXPECT_TRUE(f.messages.shown.empty());

    // Characters, not bytes, in a line that is not ASCII.
    processor().SetRow(f.state.messages, 1, "Größe  €12");
    EXPECT_EQ(Field(clsLineProcessor::kLastPeriod, 3, 5), "öße");
    EXPECT_EQ(Field(clsLineProcessor::kLastPeriod, 8, 10), "€12");
}

TEST_F(LineProcessorTest, SumsAreFormattedByTheRecipe) {
    processor().SetRow(f.state.messages, 1, "   1,234.5   (12.00)  12.00-       ");
    recipe().WriteDataFormat = "NearestCent";
    EXPECT_EQ(Field(clsLineProcessor::kSum, 1, 12), "1,234.50");
    EXPECT_EQ(Field(clsLineProcessor::kSum, 13, 21), "-12.00");
    EXPECT_EQ(Field(clsLineProcessor::kSum, 22, 29), "-12.00");
    recipe().WriteDataFormat = "NearestDollar";
    EXPECT_EQ(Field(clsLineProcessor::kSum, 1, 12), "1,235");
    recipe().WriteDataFormat = "";
    EXPECT_EQ(Field(clsLineProcessor::kSum, 1, 12), "1234.5");
    EXPECT_EQ(Field(clsLineProcessor::kSum, 13, 21), "-12");
    // An all-blank field is no number: its text comes back unformatted.
    recipe().WriteDataFormat = "NearestCent";
    EXPECT_EQ(Field(clsLineProcessor::kSum, 30, 35), "      ");
}

TEST_F(LineProcessorTest, PeriodsAreSummedAndAveraged) {
    Periods(1, 3);
    processor().SetRow(f.state.messages, 1, "  10.00");
    processor().SetRow(f.state.messages, 2, "  20.50");
    processor().SetRow(f.state.messages, 3, "  25.00");
    EXPECT_EQ(Field(clsLineProcessor::kSum, 1, 7), "55.5");
    EXPECT_EQ(Field(clsLineProcessor::kAverage, 1, 7), "18.5");
    EXPECT_EQ(Field(clsLineProcessor::kFirstPeriod, 1, 7), "  10.00");
    EXPECT_EQ(Field(clsLineProcessor::kLastPeriod, 1, 7), "  25.00");
    processor().SetRow(f.state.messages, 2, "  20.00");
    recipe().WriteDataFormat = "NearestCent";
    EXPECT_EQ(Field(clsLineProcessor::kAverage, 1, 7), "18.33");

    // A word in any period wins over the numbers of the others.
    processor().SetRow(f.state.messages, 2, "  total");
    EXPECT_EQ(Field(clsLineProcessor::kSum, 1, 7), "  total");
    EXPECT_TRUE(f.messages.shown.empty());
}

TEST_F(LineProcessorTest, ReportsProblemsInsteadOfWrongNumbers) {
    // An invalid operator: plain box, empty result.
    processor().SetRow(f.state.messages, 1, "12");
    EXPECT_EQ(Field(7, 1, 2), "");
    ASSERT_EQ(f.messages.shown.size(), 1u);
    EXPECT_EQ(f.messages.shown[0].text, "Invalid operator in ProcessField!");
    EXPECT_EQ(f.messages.shown[0].icon, MessageIcon::None);
    f.messages.shown.clear();

    // A sum beyond the currency range, once per pass.
    Periods(1, 2);
    processor().SetRow(f.state.messages, 1, "900,000,000,000,000");
    processor().SetRow(f.state.messages, 2, "900,000,000,000,000");
    EXPECT_EQ(Field(clsLineProcessor::kSum, 1, 19), "");
    EXPECT_EQ(Field(clsLineProcessor::kAverage, 1, 19), "");
    EXPECT_EQ(f.messages.Texts(), std::vector<std::string>{std::string(kOutOfRange)});
    // One field beyond the range is the same problem; a word still wins.
    processor().BeginPass();
    processor().SetRow(f.state.messages, 2, "1E20");
    EXPECT_EQ(Field(clsLineProcessor::kSum, 1, 19), "");
    EXPECT_EQ(f.messages.shown.size(), 2u);
    processor().SetRow(f.state.messages, 1, "none");
    EXPECT_EQ(Field(clsLineProcessor::kSum, 1, 19), "none");
    f.messages.shown.clear();

    // Periods without a slot, and a first period after the last.
    processor().BeginPass();
    Periods(1, 13);
    EXPECT_EQ(Field(clsLineProcessor::kLastPeriod, 1, 4), "");
    EXPECT_EQ(Field(clsLineProcessor::kSum, 1, 4), "");
    Periods(0, 1);
    EXPECT_EQ(Field(clsLineProcessor::kFirstPeriod, 1, 4), "");
    EXPECT_EQ(Field(clsLineProcessor::kLastPeriod, 1, 4), "none");
    Periods(3, 2);
    EXPECT_EQ(Field(clsLineProcessor::kAverage, 1, 4), "");
    EXPECT_EQ(f.messages.Texts(),
              (std::vector<std::string>{
                  "Error: Period 13 is outside 1 to 12 in ProcessField!",
                  "Error: Period 0 is outside 1 to 12 in ProcessField!",
                  "Error: The first period 3 lies after the last period 2 in ProcessField!"}));
    processor().SetRow(f.state.messages, 13, "x");
    EXPECT_EQ(f.messages.shown.back().text, "Invalid Index in CollectionItemSet!");
}

TEST_F(LineProcessorTest, ReadRowPeriod1OnlyAppendsABlankThenExpandsTabs) {
    const std::string path = f.dir.File("report.txt");
    test::WriteFile(path, test::CrLf({"abc", "a\tb", "", "x ", "end\t"}));
    processor().SetRow(f.state.messages, 2, "period two");
    TextReader closed;
    processor().ReadRowPeriod1Only(closed, 8);
    EXPECT_EQ(processor().Row(1), "");

    TextReader file(path);
    processor().ReadRowPeriod1Only(file, 8);
    EXPECT_EQ(processor().Row(1), "abc ");
    EXPECT_EQ(Field(clsLineProcessor::kLastPeriod, 4, 4), " ");
    processor().ReadRowPeriod1Only(file, 8);
    EXPECT_EQ(processor().Row(1), "a       b ");
    processor().ReadRowPeriod1Only(file, 8);
    EXPECT_EQ(processor().Row(1), "");
    processor().ReadRowPeriod1Only(file, 8);
    EXPECT_EQ(processor().Row(1), "x ");
    processor().ReadRowPeriod1Only(file, 0);
    EXPECT_EQ(processor().Row(1), "end\t ");
    // A closed file leaves slot 1 as it is; the other slots are never touched.
    processor().ReadRowPeriod1Only(closed, 8);
    EXPECT_EQ(processor().Row(1), "end\t ");
    EXPECT_EQ(processor().Row(2), "period two");
}

TEST_F(LineProcessorTest, ReadRowReadsEachPeriodsFileByLineNumber) {
    // More lines than 16 bits count: the line number must not be narrowed.
    std::string many;
    for (int i = 1; i <= 70'000; ++i)
        many += "line " + std::to_string(i) + "\n";
    test::WriteFile(f.dir.File("p1.txt"), many);
    test::WriteFile(f.dir.File("p3.txt"), "a\tb\r\n");
    recipe().InputFileName[0] = f.dir.File("p1.txt");
    recipe().InputFileName[1] = f.dir.File("missing.txt");
    recipe().InputFileName[2] = f.dir.File("p3.txt");
    Periods(1, 3);
    processor().SetRow(f.state.messages, 5, "stale");

    processor().ReadRow(f.state.messages, f.state.recipe.gRecipe, 70'000, 4);
    EXPECT_EQ(processor().Row(1), "line 70000"); // no blank appended
    EXPECT_EQ(processor().Row(2), "");
    EXPECT_EQ(processor().Row(3), ""); // beyond the end of the file
    EXPECT_EQ(processor().Row(5), ""); // all slots cleared first
    EXPECT_EQ(f.messages.Texts(),
              std::vector<std::string>{"Text File: " + f.dir.File("missing.txt") +
                                       " does not exist in ReadRow!"});
    EXPECT_EQ(f.messages.shown[0].icon, MessageIcon::Exclamation);

    processor().ReadRow(f.state.messages, f.state.recipe.gRecipe, 1, 4);
    EXPECT_EQ(processor().Row(3), "a   b");
    f.messages.shown.clear();

    processor().ReadRow(f.state.messages, f.state.recipe.gRecipe, 0, 4);
    Periods(12, 13);
    processor().ReadRow(f.state.messages, f.state.recipe.gRecipe, 1, 4);
    EXPECT_EQ(f.messages.Texts(),
              (std::vector<std::string>{" invalid Row number in clsLineProcessor.ReadRow!",
                                        "Invalid Index in CollectionItemSet!",
                                        "Text File:  does not exist in ReadRow!"}));
}

} // namespace
} // namespace vok
