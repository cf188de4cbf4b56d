#include "output/typed_input/TypedInput.h"

#include <gtest/gtest.h>

namespace vok {
namespace {

struct NumberCase {
    const char* text;
    double number;
    const char* format;
};

TEST(TypedInputTest, NumbersKeepTheLookTheyWereTypedWith) {
    const NumberCase cases[] = {
        {"12", 12, ""},
        {"  12  ", 12, ""},
        {"12-", -12, ""},
        {"0", 0, ""},
        {"12.50", 12.5, "0.00"},
        {"1,234.50", 1234.5, "#,##0.00"},
        {"-1,234", -1234, "#,##0"},
        {"(12.00)", -12, "#,##0.00_);(#,##0.00)"},
        {"(1,234)", -1234, "#,##0_);(#,##0)"},
        {"$1,234", 1234, "$#,##0"},
        {"-$1,234.5", -1234.5, "$#,##0.0"},
        {"($12.00)", -12, "$#,##0.00_);($#,##0.00)"},
        {"1.5E+3", 1500, "0.0E+00"},
        {"2e5", 200000, "0E+00"},
        {"0.5", 0.5, "0.0"},
        {"123456789012345", 123456789012345, ""},
    };
    TypedValue value;
    for (const NumberCase& c : cases) {
        InterpretTypedInput(c.text, value);
        EXPECT_EQ(value.kind, TypedValue::Kind::Number) << c.text;
        EXPECT_DOUBLE_EQ(value.number, c.number) << c.text;
        EXPECT_EQ(value.numberFormat, c.format) << c.text;
    }
}

TEST(TypedInputTest, TextThatWouldLoseSomethingStaysText) {
    TypedValue value;
    for (const char* text :
         {"=SUM(A1:A3)", "  =1", "00123", " 0123 ", "-0123", "$0,123", "1234567890123456",
          "0.1234567890123456", "12345678901234567890", "Total", "12 34", "   ", "1E400"}) {
        InterpretTypedInput(text, value);
        EXPECT_EQ(value.kind, TypedValue::Kind::Text) << text;
        EXPECT_EQ(value.numberFormat, "") << text;
    }
    InterpretTypedInput("", value);
    EXPECT_EQ(value.kind, TypedValue::Kind::Empty);
}

TEST(TypedInputTest, TheReusedBufferCarriesNothingOver) {
    TypedValue value;
    InterpretTypedInput("($1,234.50)", value);
    ASSERT_EQ(value.kind, TypedValue::Kind::Number);
    InterpretTypedInput("7", value);
    EXPECT_EQ(value.numberFormat, "");
    EXPECT_EQ(value.number, 7);
    InterpretTypedInput("1,234.50", value);
    InterpretTypedInput("word", value);
    EXPECT_EQ(value.kind, TypedValue::Kind::Text);
    EXPECT_EQ(value.number, 0);
    EXPECT_EQ(value.numberFormat, "");
}

} // namespace
} // namespace vok
