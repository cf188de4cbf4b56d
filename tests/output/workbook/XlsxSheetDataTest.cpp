// The in-memory sheet model both workbook engines share, and the typed-input
// and sheet-name rules built on it.
#include "output/typed_input/TypedInput.h"
#include "output/workbook/SheetData.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace vok {
namespace {

std::string TextAt(const SheetData& sheet, int32_t row, int32_t column) {
    CellValue v = sheet.Get(row, column);
    return v.type == CellValue::Type::Text ? std::string(v.text) : "<not text>";
}

TEST(XlsxSheetDataTest, CellsKeepTheirValuesWhateverTheOrderOfWriting) {
    SheetData sheet("S");
    sheet.SetText(3, 5, "e3");
    sheet.SetNumber(3, 2, 1.5, 2);
    sheet.SetText(3, 9, "i3");
    sheet.SetText(1, 1, "a1");
    sheet.SetText(3, 5, "E3 again, longer than before");
    sheet.SetNumber(3, 9, -7, 0); // text becomes a number

    EXPECT_EQ(TextAt(sheet, 1, 1), "a1");
    EXPECT_EQ(TextAt(sheet, 3, 5), "E3 again, longer than before");
    CellValue b3 = sheet.Get(3, 2);
    EXPECT_EQ(b3.type, CellValue::Type::Number);
    EXPECT_EQ(b3.number, 1.5);
    EXPECT_EQ(b3.format, 2);
    EXPECT_EQ(sheet.Get(3, 9).number, -7);
    EXPECT_EQ(sheet.Get(2, 1).type, CellValue::Type::Empty);
    EXPECT_EQ(sheet.Get(99, 99).type, CellValue::Type::Empty);
    EXPECT_EQ(sheet.CellCount(), 4);

    std::vector<std::string> order;
    sheet.ForEachCell([&](int32_t r, int32_t c, const CellValue&) {
        order.push_back(std::to_string(r) + "," + std::to_string(c));
    });
    EXPECT_EQ(order, (std::vector<std::string>{"1,1", "3,2", "3,5", "3,9"}));
}

TEST(XlsxSheetDataTest, TheUsedRangeFollowsTheCellsWrittenAndShrinksWhenTheyAreCleared) {
    SheetData sheet;
    EXPECT_TRUE(sheet.UsedRange().Empty());
    sheet.SetText(2, 3, "x");
    sheet.SetText(5, 2, "y");
    sheet.SetNumber(4, 7, 1, 0);
    CellRange used = sheet.UsedRange();
    EXPECT_EQ(used.firstRow, 2);
    EXPECT_EQ(used.firstColumn, 2);
    EXPECT_EQ(used.lastRow, 5);
    EXPECT_EQ(used.lastColumn, 7);

    // An emptied cell no longer counts.
    sheet.ClearCell(4, 7);
    EXPECT_EQ(sheet.UsedRange().lastColumn, 3);

    sheet.ClearRange({1, 1, 4, 10});
    EXPECT_EQ(sheet.Get(2, 3).type, CellValue::Type::Empty);
    EXPECT_EQ(TextAt(sheet, 5, 2), "y");
    sheet.ClearRange(sheet.UsedRange());
    EXPECT_TRUE(sheet.UsedRange().Empty());
    EXPECT_EQ(sheet.CellCount(), 0);
}

TEST(XlsxSheetDataTest, EditsSinceLoadingAreTracked) {
    SheetData sheet;
    sheet.SetText(1, 1, "loaded");
    sheet.SetText(2, 2, "loaded too");
    sheet.MarkUnchanged();
    EXPECT_FALSE(sheet.Changed());
    EXPECT_FALSE(sheet.Touched(1, 1));
    EXPECT_EQ(sheet.NextTouchedRow(1), 0);

    sheet.SetNumber(4, 2, 3, 0);
    sheet.ClearCell(2, 2); // emptied: touched, still visible as empty
    sheet.ClearCell(6, 6); // never held anything: touched all the same
    sheet.ClearRange({8, 1, 9, 3});
    EXPECT_TRUE(sheet.Changed());
    EXPECT_FALSE(sheet.Touched(1, 1));
    EXPECT_TRUE(sheet.Touched(2, 2));
    EXPECT_EQ(sheet.Get(2, 2).type, CellValue::Type::Empty);
    EXPECT_EQ(sheet.NextTouchedRow(1), 2);
    EXPECT_EQ(sheet.NextTouchedRow(3), 4);
    EXPECT_EQ(sheet.NextTouchedRow(5), 6);
    EXPECT_EQ(sheet.NextTouchedRow(7), 0);
    EXPECT_TRUE(sheet.InClearedRange(9, 3));
    EXPECT_FALSE(sheet.InClearedRange(9, 4));

    std::vector<int32_t> touchedInRow2;
    sheet.ForEachTouchedInRow(2, [&](int32_t c, const CellValue& v) {
        touchedInRow2.push_back(c);
        EXPECT_EQ(v.type, CellValue::Type::Empty);
    });
    EXPECT_EQ(touchedInRow2, std::vector<int32_t>{2});
    EXPECT_EQ(sheet.CellCount(), 2); // empties do not count

    sheet.MarkUnchanged();
    EXPECT_FALSE(sheet.Touched(2, 2));
    EXPECT_TRUE(sheet.ClearedRanges().empty());
    EXPECT_EQ(TextAt(sheet, 1, 1), "loaded");
}

TEST(XlsxSheetDataTest, OverwrittenTextsAreReclaimedWithoutLosingOthers) {
    SheetData sheet;
    const std::string keep(100, 'k');
    sheet.SetText(1, 1, keep);
    // Rewrite one cell with large texts until the arena must have been compacted.
    for (int i = 0; i < 200; ++i)
        sheet.SetText(2, 1, std::string(4000, static_cast<char>('a' + i % 26)));
    EXPECT_EQ(TextAt(sheet, 1, 1), keep);
    EXPECT_EQ(TextAt(sheet, 2, 1), std::string(4000, static_cast<char>('a' + 199 % 26)));
    // A text copied from a cell of the same sheet survives its own storing.
    std::string_view source = sheet.Get(1, 1).text;
    sheet.SetText(3, 1, source);
    EXPECT_EQ(TextAt(sheet, 3, 1), keep);
}

TEST(XlsxSheetDataTest, TypedInputRespectsTheFormatsLimits) {
    SheetData sheet;
    FormatTable formats;
    TypedValue scratch;
    const SheetLimits limits{100, 10};
    EXPECT_EQ(AssignTypedInput(sheet, formats, scratch, limits, 101, 1, "x"),
              CellWrite::BeyondLastRow);
    EXPECT_EQ(AssignTypedInput(sheet, formats, scratch, limits, 1, 11, "x"),
              CellWrite::BeyondLastColumn);
    EXPECT_EQ(AssignTypedInput(sheet, formats, scratch, limits, 0, 1, "x"),
              CellWrite::BeyondLastRow);
    // 32,767 characters fit (counted as characters, not bytes); one more does not.
    std::string longest;
    for (int i = 0; i < kMaxCellTextChars; ++i)
        longest += "\xC3\xA9"; // é
    EXPECT_EQ(AssignTypedInput(sheet, formats, scratch, limits, 1, 1, longest), CellWrite::Written);
    EXPECT_EQ(AssignTypedInput(sheet, formats, scratch, limits, 1, 2, longest + "x"),
              CellWrite::TextTooLong);
    EXPECT_EQ(sheet.CellCount(), 1);

    EXPECT_EQ(AssignTypedInput(sheet, formats, scratch, limits, 2, 1, "1,234.50"),
              CellWrite::Written);
    CellValue v = sheet.Get(2, 1);
    EXPECT_EQ(v.type, CellValue::Type::Number);
    EXPECT_EQ(formats.Code(v.format), "#,##0.00");
    EXPECT_EQ(AssignTypedInput(sheet, formats, scratch, limits, 2, 2, "9,999.99"),
              CellWrite::Written);
    EXPECT_EQ(sheet.Get(2, 2).format, v.format); // one format, interned once

    // An empty text empties the cell.
    EXPECT_EQ(AssignTypedInput(sheet, formats, scratch, limits, 2, 1, ""), CellWrite::Written);
    EXPECT_EQ(sheet.Get(2, 1).type, CellValue::Type::Empty);
}

TEST(XlsxSheetDataTest, SheetNamesFollowTheFormatsRules) {
    std::vector<SheetData> sheets;
    sheets.emplace_back("Sheet1");
    sheets.emplace_back("Données");
    EXPECT_EQ(SheetNameProblem("Ledger 2024", sheets, 0), "");
    EXPECT_EQ(SheetNameProblem("sheet1", sheets, 0), ""); // its own name in other case
    EXPECT_EQ(SheetNameProblem(std::string(31, 'x'), sheets, 0), "");
    EXPECT_EQ(SheetNameProblem(std::string(31, 'x') + "\xC3\xA9", sheets, 0).empty(), false);
    for (const char* bad : {"a:b", "a\\b", "a/b", "a?b", "a*b", "a[b", "a]b", "'quoted", "end'", "",
                            "history", "SHEET1", "DONNÉES"}) {
        EXPECT_NE(SheetNameProblem(bad, sheets, sheets.size()), "") << bad;
    }
    EXPECT_NE(SheetNameProblem("a[1]", sheets, 0).find("cannot contain"), std::string::npos);
    EXPECT_NE(SheetNameProblem("données", sheets, 0).find("already has a sheet"),
              std::string::npos);
}

} // namespace
} // namespace vok
