// Formulas follow a renamed sheet, as they do in a spreadsheet.
#include "output/xlsx/XlsxSheetRenamer.h"

#include <gtest/gtest.h>

namespace vok {
namespace {

XlsxSheetRenamer Make(std::vector<std::pair<std::string, std::string>> renames) {
    return XlsxSheetRenamer(std::move(renames));
}

std::string Renamed(const XlsxSheetRenamer& renamer, std::string_view formula) {
    std::string out;
    return renamer.RenameInFormula(formula, out) ? out : "<unchanged>";
}

std::string RenamedOne(const char* from, const char* to, std::string_view formula) {
    return Renamed(Make({{from, to}}), formula);
}

TEST(XlsxSheetRenamerTest, ReferencesToTheSheetTakeItsNewName) {
    XlsxSheetRenamer renamer = Make({{"Data", "Sales (P1-3)"}, {"Old Name", "Plain"}});
    EXPECT_EQ(Renamed(renamer, "Data!A1+1"), "'Sales (P1-3)'!A1+1");
    EXPECT_EQ(Renamed(renamer, "SUM(data!$A$1:$B$9)"), "SUM('Sales (P1-3)'!$A$1:$B$9)");
    EXPECT_EQ(Renamed(renamer, "'Old Name'!B2*'Data'!C3"), "Plain!B2*'Sales (P1-3)'!C3");
    EXPECT_EQ(Renamed(renamer, "SUM(Data:Other!A1)"), "SUM('Sales (P1-3):Other'!A1)");
    EXPECT_EQ(Renamed(renamer, "Data!Total"), "'Sales (P1-3)'!Total");
    // Text, other sheets, other books and structured references stay as they are.
    EXPECT_EQ(Renamed(renamer, "\"Data!A1\"&Other!A1"), "<unchanged>");
    EXPECT_EQ(Renamed(renamer, "MyData!A1+DataX!A1+Data"), "<unchanged>");
    EXPECT_EQ(Renamed(renamer, "[1]Data!A1"), "<unchanged>");
    EXPECT_EQ(Renamed(renamer, "'[Book.xlsx]Data'!A1"), "<unchanged>");
    EXPECT_EQ(Renamed(renamer, "Table1[[#This Row],[Data]]"), "<unchanged>");
    EXPECT_EQ(Renamed(renamer, "\"say \"\"Data!A1\"\"\"&Data!A1"),
              "\"say \"\"Data!A1\"\"\"&'Sales (P1-3)'!A1");
}

TEST(XlsxSheetRenamerTest, NewNamesAreQuotedOnlyWhenTheyMustBe) {
    EXPECT_EQ(RenamedOne("S", "Ledger_2024.v2", "S!A1"), "Ledger_2024.v2!A1");
    EXPECT_EQ(RenamedOne("S", "AB12", "S!A1"), "'AB12'!A1");
    EXPECT_EQ(RenamedOne("S", "R1C1", "S!A1"), "'R1C1'!A1");
    EXPECT_EQ(RenamedOne("S", "2024", "S!A1"), "'2024'!A1");
    EXPECT_EQ(RenamedOne("S", "O'Brien", "S!A1"), "'O''Brien'!A1");
    EXPECT_EQ(RenamedOne("O'Brien", "S", "'O''Brien'!A1"), "S!A1");
    // Two sheets swapping names.
    EXPECT_EQ(Renamed(Make({{"A", "B"}, {"B", "A"}}), "A!X1+B!X2"), "B!X1+A!X2");
}

TEST(XlsxSheetRenamerTest, PartsChangeOnlyWhereFormulasAre) {
    XlsxSheetRenamer renamer = Make({{"R&D", "Research"}});
    std::string xml =
        "<worksheet><sheetData><row r=\"1\"><c r=\"A1\"><f>'R&amp;D'!A1&amp;\"x\"</f>"
        "<v>1</v></c><c r=\"B1\" t=\"inlineStr\"><is><t>'R&amp;D'!A1</t></is></c>"
        "</row></sheetData><hyperlinks><hyperlink ref=\"C1\" location=\"'R&amp;D'!B2\""
        " display=\"x\"/></hyperlinks></worksheet>";
    std::string out, error;
    ASSERT_TRUE(renamer.RenameInPart(xml, out, error)) << error;
    EXPECT_EQ(out, "<worksheet><sheetData><row r=\"1\"><c r=\"A1\"><f>Research!A1&amp;\"x\"</f>"
                   "<v>1</v></c><c r=\"B1\" t=\"inlineStr\"><is><t>'R&amp;D'!A1</t></is></c>"
                   "</row></sheetData><hyperlinks><hyperlink ref=\"C1\" location=\"Research!B2\""
                   " display=\"x\"/></hyperlinks></worksheet>");
    EXPECT_FALSE(renamer.RenameInPart("<worksheet><f>Other!A1</f></worksheet>", out, error));
    EXPECT_FALSE(renamer.RenameInPart("<worksheet><f>R&amp;D!A1", out, error));
    EXPECT_FALSE(error.empty());
}

// A formula is text: one holding an element is left as it stands, and so is
// the element. Its text was replaced up to the element's end tag, which was
// left without its start.
TEST(XlsxSheetRenamerTest, AFormulaHoldingAnElementIsLeftAsItStands) {
    XlsxSheetRenamer renamer = Make({{"Data", "New"}});
    const std::string kept = "<definedName name=\"a\">Data!A1<x>Data!B1</x></definedName>"
                             "<f>Data!D1<hyperlink location=\"Data!E1\"></hyperlink></f>";
    const std::string xml =
        "<workbook><definedNames>" + kept +
        "<definedName name=\"b\">Data!C1</definedName></definedNames></workbook>";
    std::string out, error;
    ASSERT_TRUE(renamer.RenameInPart(xml, out, error)) << error;
    EXPECT_EQ(out, "<workbook><definedNames>" + kept +
                       "<definedName name=\"b\">New!C1</definedName></definedNames></workbook>");
}

} // namespace
} // namespace vok
