// Column letters both ways, with the designed texts of codes out of range.
#include "base/ColumnLetters.h"

#include "base/Messages.h"
#include "support/RecordingObserver.h"

#include <gtest/gtest.h>

namespace vok {
namespace {

using Problems = std::vector<std::string_view>;

TEST(ColumnLettersTest, NumbersBecomeLettersAndOutOfRangeIsAProblem) {
    EXPECT_EQ(NumToAlpha2(1).value, "A");
    EXPECT_EQ(NumToAlpha2(26).value, "Z");
    EXPECT_EQ(NumToAlpha2(27).value, "AA");
    EXPECT_EQ(NumToAlpha2(52).value, "AZ");
    EXPECT_EQ(NumToAlpha2(53).value, "BA");
    EXPECT_EQ(NumToAlpha2(702).value, "ZZ");
    EXPECT_TRUE(NumToAlpha2(702).ok());
    for (const int32_t n : {0, 703, -5}) {
        const Checked<std::string> letters = NumToAlpha2(n);
        EXPECT_EQ(letters.value, "");
        EXPECT_EQ(letters.problems, Problems{"unexpected number code in xl.NumToAlpha2!"});
    }
}

TEST(ColumnLettersTest, LettersBecomeNumbersAndAWrongLengthIsAProblem) {
    EXPECT_EQ(AlphaToNum2("a").value, 1);
    EXPECT_EQ(AlphaToNum2("AZ").value, 52);
    EXPECT_EQ(AlphaToNum2("zz").value, 702);
    EXPECT_EQ(AlphaToNum2("bA").value, 53);
    EXPECT_TRUE(AlphaToNum2("bA").ok());
    for (const std::string_view letters : {"", "AAA"}) {
        const Checked<int32_t> column = AlphaToNum2(letters);
        EXPECT_EQ(column.value, 0);
        EXPECT_EQ(column.problems, Problems{"unexpected letter code in xl.AlphaToNum2!"});
    }
}

TEST(ColumnLettersTest, WrongCharactersGiveTheSingleLetterProblem) {
    const Problems bad{"unexpected Letter code in utilities.AlphaToNum!"};
    // A letter then a digit: the digit counts 0 and is reported.
    EXPECT_EQ(AlphaToNum2("A1").value, 26);
    EXPECT_EQ(AlphaToNum2("A1").problems, bad);
    // One accented letter is one character: one problem, not one per byte.
    EXPECT_EQ(AlphaToNum2("é").value, 0);
    EXPECT_EQ(AlphaToNum2("é").problems, bad);
    EXPECT_EQ(AlphaToNum2("Aé").value, 26);
    EXPECT_EQ(AlphaToNum2("Aé").problems, bad);
    EXPECT_EQ(AlphaToNum2("[").value, 0);
    EXPECT_EQ(AlphaToNum2("[").problems, bad);
    // Two bad letters are two problems.
    EXPECT_EQ(AlphaToNum2("[[").problems, Problems(2, bad[0]));
}

TEST(ColumnLettersTest, TheCallerShowsTheProblemsInOrderAsCritical) {
    RecordingObserver m;
    EXPECT_EQ(ShowProblems(m, AlphaToNum2("1A"), MessageIcon::Critical), 1);
    EXPECT_EQ(ShowProblems(m, AlphaToNum2("[["), MessageIcon::Critical), 0);
    EXPECT_EQ(m.Texts(),
              std::vector<std::string>(3, "unexpected Letter code in utilities.AlphaToNum!"));
    EXPECT_EQ(m.shown[0].icon, MessageIcon::Critical);
}

TEST(ColumnLettersTest, BothWaysAreInverseOverTheWholeRange) {
    for (int32_t n = 1; n <= 702; ++n) {
        const Checked<std::string> letters = NumToAlpha2(n);
        const Checked<int32_t> column = AlphaToNum2(letters.value);
        ASSERT_TRUE(letters.ok() && column.ok());
        ASSERT_EQ(column.value, n);
    }
}

} // namespace
} // namespace vok
