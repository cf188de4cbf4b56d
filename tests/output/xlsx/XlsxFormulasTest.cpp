// A shared formula's text copied into another cell of its group, as a
// spreadsheet program copies it: what moves, what stays, and what cannot be.
#include "output/xlsx/XlsxFormulas.h"

#include <gtest/gtest.h>

namespace vok {
namespace {

std::string Shifted(std::string_view formula, int32_t rows, int32_t columns) {
    std::string out;
    EXPECT_TRUE(ShiftFormula(formula, rows, columns, out)) << formula;
    return out;
}

TEST(XlsxFormulasTest, RelativeReferencesMoveAndAbsoluteOnesStay) {
    EXPECT_EQ(Shifted("A1*2", 3, 0), "A4*2");
    EXPECT_EQ(Shifted("A1+$A$1+A$1+$A1", 2, 1), "B3+$A$1+B$1+$A3");
    EXPECT_EQ(Shifted("SUM(A$1:A1)", 9, 0), "SUM(A$1:A10)");
    EXPECT_EQ(Shifted("a1+xfd1", 1, 0), "A2+XFD2");
    // Whole columns and whole rows, on their own axis only.
    EXPECT_EQ(Shifted("SUM(A:B)+SUM($C:$C)", 5, 2), "SUM(C:D)+SUM($C:$C)");
    EXPECT_EQ(Shifted("SUM(1:2)+SUM($3:$3)", 5, 2), "SUM(6:7)+SUM($3:$3)");
    // Other sheets and books move alike; the names of sheets never do.
    EXPECT_EQ(Shifted("Sheet1!A1+'My Sheet'!B2+'It''s'!C3", 1, 0),
              "Sheet1!A2+'My Sheet'!B3+'It''s'!C4");
    EXPECT_EQ(Shifted("[1]Data!A1+Jan:Mar!B1", 1, 0), "[1]Data!A2+Jan:Mar!B2");
    EXPECT_EQ(Shifted("'AB1'!A1+AB1!A1", 1, 0), "'AB1'!A2+AB1!A2");
}

TEST(XlsxFormulasTest, TextFunctionsNamesAndTablesStay) {
    // Functions that read like cells, names, strings, errors, booleans, numbers.
    EXPECT_EQ(Shifted("LOG10(A1)+ATAN2(B1,C1)", 1, 0), "LOG10(A2)+ATAN2(B2,C2)");
    EXPECT_EQ(Shifted("IF(A1=\"B2 and \"\"C3\"\"\",Rate2024,TRUE)", 1, 1),
              "IF(B2=\"B2 and \"\"C3\"\"\",Rate2024,TRUE)");
    EXPECT_EQ(Shifted("IFERROR(A1,#N/A)+#REF!+#DIV/0!", 1, 0), "IFERROR(A2,#N/A)+#REF!+#DIV/0!");
    EXPECT_EQ(Shifted("1.5E+3*A1+.5", 1, 0), "1.5E+3*A2+.5");
    EXPECT_EQ(Shifted("_xlfn.XLOOKUP(A1,Sales[Key],Sales[[#This Row],[A1]])", 1, 0),
              "_xlfn.XLOOKUP(A2,Sales[Key],Sales[[#This Row],[A1]])");
    EXPECT_EQ(Shifted("ABCD1+Tax.A1+A1B", 1, 0), "ABCD1+Tax.A1+A1B");
    EXPECT_EQ(Shifted("A1#", 1, 0), "A2#");
    EXPECT_EQ(Shifted("", 1, 1), "");
}

TEST(XlsxFormulasTest, AReferenceThatWouldLeaveTheSheetIsRefused) {
    std::string out;
    EXPECT_FALSE(ShiftFormula("A1048576", 1, 0, out));
    EXPECT_FALSE(ShiftFormula("XFD1+1", 0, 1, out));
    EXPECT_FALSE(ShiftFormula("SUM(A:XFD)", 0, 1, out));
    EXPECT_FALSE(ShiftFormula("SUM(1048576:1048576)", 1, 0, out));
    EXPECT_FALSE(ShiftFormula("A2", -2, 0, out));
    EXPECT_TRUE(ShiftFormula("$A$1048576+XFD$1", 1, 0, out));
    EXPECT_EQ(out, "$A$1048576+XFD$1");
}

} // namespace
} // namespace vok
