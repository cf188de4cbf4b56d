// Column letters both ways, with the messages for codes out of range.
#include "base/ColumnLetters.h"

#include "support/RecordingObserver.h"

#include <gtest/gtest.h>

namespace vok {
namespace {

using Texts = std::vector<std::string>;

TEST(ColumnLettersTest, NumbersToLetters) {
    RecordingObserver m;
    EXPECT_EQ(NumToAlpha2(m, 1), "A");
    EXPECT_EQ(NumToAlpha2(m, 26), "Z");
    EXPECT_EQ(NumToAlpha2(m, 27), "AA");
    EXPECT_EQ(NumToAlpha2(m, 52), "AZ");
    EXPECT_EQ(NumToAlpha2(m, 53), "BA");
    EXPECT_EQ(NumToAlpha2(m, 702), "ZZ");
    EXPECT_TRUE(m.shown.empty());
    EXPECT_EQ(NumToAlpha2(m, 0), "");
    EXPECT_EQ(NumToAlpha2(m, 703), "");
    EXPECT_EQ(NumToAlpha2(m, -5), "");
    EXPECT_EQ(m.Texts(), Texts(3, "unexpected number code in xl.NumToAlpha2!"));
    EXPECT_EQ(m.shown[0].icon, MessageIcon::Critical);
}

TEST(ColumnLettersTest, LettersToNumbers) {
    RecordingObserver m;
    EXPECT_EQ(AlphaToNum2(m, "a"), 1);
    EXPECT_EQ(AlphaToNum2(m, "AZ"), 52);
    EXPECT_EQ(AlphaToNum2(m, "zz"), 702);
    EXPECT_EQ(AlphaToNum2(m, "bA"), 53);
    EXPECT_TRUE(m.shown.empty());
    EXPECT_EQ(AlphaToNum2(m, ""), 0);
    EXPECT_EQ(AlphaToNum2(m, "AAA"), 0);
    EXPECT_EQ(m.Texts(), Texts(2, "unexpected letter code in xl.AlphaToNum2!"));
    EXPECT_EQ(m.shown[1].icon, MessageIcon::Critical);
}

TEST(ColumnLettersTest, WrongCharactersGiveTheSingleLetterMessage) {
    RecordingObserver m;
    // A letter then a digit: the digit counts 0 and is reported.
    EXPECT_EQ(AlphaToNum2(m, "A1"), 26);
    EXPECT_EQ(m.Texts(), Texts{"unexpected Letter code in utilities.AlphaToNum!"});
    // One accented letter is one character: one message, not one per byte.
    m.shown.clear();
    EXPECT_EQ(AlphaToNum2(m, "é"), 0);
    EXPECT_EQ(m.Texts(), Texts{"unexpected Letter code in utilities.AlphaToNum!"});
    m.shown.clear();
    EXPECT_EQ(AlphaToNum2(m, "Aé"), 26);
    EXPECT_EQ(m.Texts(), Texts{"unexpected Letter code in utilities.AlphaToNum!"});
    m.shown.clear();
    EXPECT_EQ(AlphaToNum(m, "["), 0);
    EXPECT_EQ(NumToAlpha(m, 27), "");
    EXPECT_EQ(m.Texts(), (Texts{"unexpected Letter code in utilities.AlphaToNum!",
                                "unexpected number code in utilities.NumToAlpha!"}));
}

TEST(ColumnLettersTest, BothWaysAreInverseOverTheWholeRange) {
    RecordingObserver m;
    for (int32_t n = 1; n <= 702; ++n) {
        ASSERT_EQ(AlphaToNum2(m, NumToAlpha2(m, n)), n);
    }
    EXPECT_TRUE(m.shown.empty());
}

} // namespace
} // namespace vok
