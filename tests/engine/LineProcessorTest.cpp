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
        std::string scratch;
        return std::string(processor().FieldValue(f.state.messages, f.state.recipe.gRecipe, code,
                                                  start, end, scratch));
    }
    // Slot 1 as a table pass fills it from the next line of the report.
    void ReadIntoSlot1(TextReader& file, int32_t tabSize) {
        std::string_view line;
        if (!file.ReadLine(line)) return;
        processor().SetRawRow(line, tabSize, false);
        processor().StoreRawRowInSlot1(false);
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

TEST_F(LineProcessorTest, ALineReadIntoSlot1GetsABlankAtItsEndAndItsTabsExpanded) {
    const std::string path = f.dir.File("report.txt");
    test::WriteFile(path, test::CrLf({"abc", "a\tb", "", "x ", "end\t"}));
    processor().SetRow(f.state.messages, 2, "period two");

    TextReader file(path);
    ReadIntoSlot1(file, 8);
    EXPECT_EQ(processor().Row(1), "abc ");
    EXPECT_EQ(Field(clsLineProcessor::kLastPeriod, 4, 4), " ");
    ReadIntoSlot1(file, 8);
    EXPECT_EQ(processor().Row(1), "a       b ");
    ReadIntoSlot1(file, 8);
    EXPECT_EQ(processor().Row(1), "");
    ReadIntoSlot1(file, 8);
    EXPECT_EQ(processor().Row(1), "x ");
    ReadIntoSlot1(file, 0);
    EXPECT_EQ(processor().Row(1), "end\t ");
    // The other slots are never touched.
    EXPECT_EQ(processor().Row(2), "period two");
}

} // namespace
} // namespace vok
