#include "base/NumericText.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace vok {
namespace {

constexpr Currency kMax = std::numeric_limits<Currency>::max();
constexpr Currency kMin = std::numeric_limits<Currency>::min();

TEST(NumericTextTest, AcceptsTheFormsOfALenientNumberParser) {
    for (const char* text :
         {"12",     " 1,234.50 ", "+12", "12-",  "-12",   "12 -",        "(12.00)",
          "( 12 )", "$1,234",     "12$", "-$12", "$-12",  "($1,234.50)", "1.5E+3",
          "1e-2",   "2E5",        ".5",  "5.",   "1,2,3", "\t7\t"}) {
        EXPECT_TRUE(IsNumeric(text)) << text;
    }
}

TEST(NumericTextTest, RejectsWhatIsNoSingleNumber) {
    for (const char* text :
         {"",      "   ",    ".",      "-",         "+",     "$",     "()",    "( )", "0x1F",
          "&H1F",  "&O17",   "--12",   "+-12",      "-12-",  "(-12)", "(12)-", "(12", "12)",
          ",123",  "1,234,", "1,,234", "1.2.3",     "12a",   "1 234", "1E",    "E5",  "1E+",
          "1E5.5", "$$12",   "12$$",   "1,234.5,6", "1E400", "- ",    "Inf",   "NaN", "12%"}) {
        EXPECT_FALSE(IsNumeric(text)) << text;
    }
}

TEST(NumericTextTest, TellsHowTheNumberWasTyped) {
    ParsedNumber n;
    ASSERT_TRUE(IsNumeric(" ($1,234.50) ", &n));
    EXPECT_DOUBLE_EQ(n.value, -1234.5);
    EXPECT_TRUE(n.shape.thousands && n.shape.currency && n.shape.parentheses && n.shape.negative);
    EXPECT_EQ(n.shape.decimals, 2);
    EXPECT_FALSE(n.shape.wholeNumber);

    ASSERT_TRUE(IsNumeric("00123", &n));
    EXPECT_EQ(n.value, 123);
    EXPECT_EQ(n.shape.leadingZeros, 2);
    EXPECT_EQ(n.shape.wholeDigits, 5);
    EXPECT_EQ(n.shape.significantDigits, 3);
    EXPECT_TRUE(n.shape.wholeNumber);

    ASSERT_TRUE(IsNumeric("1.5E+3", &n));
    EXPECT_EQ(n.value, 1500);
    EXPECT_TRUE(n.shape.exponent);
    EXPECT_FALSE(n.shape.wholeNumber);

    ASSERT_TRUE(IsNumeric("0.001200", &n));
    EXPECT_EQ(n.shape.significantDigits, 4); // written zeros count
    ASSERT_TRUE(IsNumeric("1E-400", &n));    // too small for a double: zero
    EXPECT_EQ(n.value, 0);
}

TEST(NumericTextTest, CurrencyRoundsTheDigitsToFourDecimals) {
    auto currency = [](std::string_view text) {
        Currency value = -42;
        EXPECT_EQ(ParseCurrency(text, value), CurrencyParse::Ok) << text;
        return value;
    };
    EXPECT_EQ(currency(" 1,234.5 "), 12'345'000);
    EXPECT_EQ(currency("(12.00)"), -120'000);
    EXPECT_EQ(currency("12.00-"), -120'000);
    EXPECT_EQ(currency("$1.5E+3"), 15'000'000);
    EXPECT_EQ(currency("0.00005"), 1); // halves away from zero
    EXPECT_EQ(currency("-0.00005"), -1);
    EXPECT_EQ(currency("0.000049999"), 0);
    EXPECT_EQ(currency("0.99995"), 10'000);
    EXPECT_EQ(currency("1E-400"), 0);
    EXPECT_EQ(currency("922,337,203,685,477.5807"), kMax);
    EXPECT_EQ(currency("-922337203685477.5808"), kMin);
}

TEST(NumericTextTest, CurrencyTellsOutOfRangeFromNotNumeric) {
    Currency value = 0;
    EXPECT_EQ(ParseCurrency("922337203685477.5808", value), CurrencyParse::OutOfRange);
    EXPECT_EQ(ParseCurrency("922337203685477.58075", value), CurrencyParse::OutOfRange);
    EXPECT_EQ(ParseCurrency("1E20", value), CurrencyParse::OutOfRange);
    EXPECT_EQ(ParseCurrency("12345678901234567890123", value), CurrencyParse::OutOfRange);
    EXPECT_EQ(ParseCurrency("1E400", value), CurrencyParse::NotNumeric);
    EXPECT_EQ(ParseCurrency("abc", value), CurrencyParse::NotNumeric);
    EXPECT_FALSE(ToCurrency("1E20", value));

    Currency sum = 0;
    EXPECT_TRUE(AddCurrency(kMax - 1, 1, sum));
    EXPECT_EQ(sum, kMax);
    EXPECT_FALSE(AddCurrency(kMax, 1, sum));
    EXPECT_FALSE(AddCurrency(kMin, -1, sum));
}

// The texts a sum is written as, for each number format of the recipe.
std::string Plain(Currency value) {
    return FormatByWriteDataFormat(value, "");
}
std::string Formatted(Currency value, int32_t decimals) {
    return FormatByWriteDataFormat(value, decimals == 0 ? "NearestDollar" : "NearestCent");
}
std::string Cents(double value) {
    std::string out;
    FormatDoubleByWriteDataFormatInto(out, value, "NearestCent");
    return out;
}

TEST(NumericTextTest, PlainTextsHaveNoSeparatorsAndNoTrailingZeros) {
    EXPECT_EQ(Plain(12'345'000), "1234.5");
    EXPECT_EQ(Plain(12'000'000), "1200");
    EXPECT_EQ(Plain(-120'000), "-12");
    EXPECT_EQ(Plain(0), "0");
    EXPECT_EQ(Plain(kMax), "922337203685477.5807");
    EXPECT_EQ(Plain(kMin), "-922337203685477.5808");

    EXPECT_EQ(DoubleToPlainText(1234.5), "1234.5");
    EXPECT_EQ(DoubleToPlainText(1.0 / 3), "0.333333333333333");
    EXPECT_EQ(DoubleToPlainText(-2.0 / 3), "-0.666666666666667");
    EXPECT_EQ(DoubleToPlainText(0.1 + 0.2), "0.3");
    EXPECT_EQ(DoubleToPlainText(0.00001 / 3), "0.00000333333333333333");
    EXPECT_EQ(DoubleToPlainText(1e20), "100000000000000000000");
    EXPECT_EQ(DoubleToPlainText(-0.0), "0");
    EXPECT_EQ(DoubleToPlainText(std::nan("")), "");
}

TEST(NumericTextTest, FormatsRoundHalvesAwayFromZeroAndGroupThousands) {
    EXPECT_EQ(Formatted(12'345'000, 0), "1,235");
    EXPECT_EQ(Formatted(12'345'000, 2), "1,234.50");
    EXPECT_EQ(Formatted(25'000, 0), "3");
    EXPECT_EQ(Formatted(-25'000, 0), "-3");
    EXPECT_EQ(Formatted(50, 2), "0.01");
    EXPECT_EQ(Formatted(-50, 2), "-0.01");
    EXPECT_EQ(Formatted(49, 2), "0.00");
    EXPECT_EQ(Formatted(9'999'950, 2), "1,000.00");
    EXPECT_EQ(Formatted(12'345'678'910, 2), "1,234,567.89");
    EXPECT_EQ(Formatted(-12'345'670'000, 0), "-1,234,567");
    EXPECT_EQ(Formatted(-4'000, 0), "-0"); // negative, as spreadsheets show it
    EXPECT_EQ(Formatted(kMax, 2), "922,337,203,685,477.58");
    EXPECT_EQ(Formatted(kMax, 0), "922,337,203,685,478");
    EXPECT_EQ(Formatted(kMin, 0), "-922,337,203,685,478");

    EXPECT_EQ(Cents(2.675), "2.68"); // from 15 digits, not the binary value
    EXPECT_EQ(Cents(-0.125), "-0.13");
    EXPECT_EQ(Cents(0.004999999), "0.00");

    EXPECT_EQ(FormatByWriteDataFormat(12'345'000, "NearestDollar"), "1,235");
    EXPECT_EQ(FormatByWriteDataFormat(12'345'000, "NearestCent"), "1,234.50");
    EXPECT_EQ(FormatByWriteDataFormat(12'345'000, "nearestcent"), "1234.5");
    EXPECT_EQ(Cents(55.0 / 3), "18.33");
    std::string plain;
    FormatDoubleByWriteDataFormatInto(plain, 55.0 / 3, "");
    EXPECT_EQ(plain, "18.3333333333333");
}

} // namespace
} // namespace vok
