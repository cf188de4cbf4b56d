// The sheet target of -w / /W: what the text means, which sheet it finds or
// adds, and where the sections' sheets 1 and 2 then write.
#include "output/SheetTarget.h"

#include "support/FakeWorkbook.h"

#include <gtest/gtest.h>

namespace vok {
namespace {

TEST(SheetTargetTest, ANumberOrANameIsTakenAndTextsNoSheetMayCarryAreRefused) {
    SheetTarget target;
    std::string error;
    for (const auto& [text, number] : {std::pair{"", 1}, std::pair{"  ", 1}, std::pair{" 2 ", 2},
                                       std::pair{"007", 7}, std::pair{"255", 255}}) {
        ASSERT_TRUE(ParseSheetTarget(text, target, error)) << text;
        EXPECT_EQ(target.number, number);
        EXPECT_TRUE(target.name.empty());
    }
    EXPECT_TRUE(ParseSheetTarget(" Trial Balance ", target, error));
    EXPECT_EQ(target.name, "Trial Balance");
    EXPECT_TRUE(ParseSheetTarget("2.5", target, error)); // a name, not a number
    EXPECT_EQ(target.name, "2.5");
    for (const char* bad : {"0", "256", "99999999999", "a:b", "History", "'quoted'"}) {
        EXPECT_FALSE(ParseSheetTarget(bad, target, error)) << bad;
        EXPECT_NE(error.find("sheet target"), std::string::npos) << error;
    }
    // A signed number is a number, not a sheet named "-1": refused as 0 is.
    for (const char* bad : {"-1", " -1 ", "-0", "+0", "+256"}) {
        EXPECT_FALSE(ParseSheetTarget(bad, target, error)) << bad;
        EXPECT_NE(error.find("is no sheet number from 1 to 255"), std::string::npos) << error;
    }
    EXPECT_TRUE(ParseSheetTarget("+3", target, error));
    EXPECT_EQ(target.number, 3);
    EXPECT_TRUE(ParseSheetTarget("-", target, error)); // a name
    EXPECT_EQ(target.name, "-");
}

TEST(SheetTargetTest, MissingSheetsAreAddedAndNamesMatchWithoutCase) {
    test::FakeWorkbook book(3);
    std::string error;
    ASSERT_TRUE(book.SetSheetName(2, "Sheet5", error));
    EXPECT_EQ(ResolveSheetTarget(book, {6, ""}, error), 6);
    EXPECT_EQ(book.SheetCount(), 6);
    EXPECT_EQ(book.SheetName(4), "Sheet4");
    EXPECT_EQ(book.SheetName(5), "Sheet5 (2)"); // "Sheet5" names sheet 2 already
    EXPECT_EQ(book.SheetName(6), "Sheet6");
    EXPECT_EQ(ResolveSheetTarget(book, {1, "sheet5"}, error), 2);
    EXPECT_EQ(ResolveSheetTarget(book, {1, "Data"}, error), 7);
    EXPECT_EQ(book.SheetName(7), "Data");
}

TEST(SheetTargetTest, SectionsOfSheetsOneAndTwoNeverMeet) {
    // Target 3: sheet 1's sections go there, sheet 2's stay on sheet 2.
    auto owned = std::make_unique<test::FakeWorkbook>(3);
    test::FakeWorkbook& inner = *owned;
    auto book = WithSheetTarget(std::move(owned), 3);
    book->SetCellValue(1, 1, 1, "table");
    book->SetCellValue(2, 1, 1, "consolidation");
    EXPECT_EQ(inner.CellText(3, 1, 1), "table");
    EXPECT_EQ(inner.CellText(2, 1, 1), "consolidation");
    EXPECT_EQ(inner.CellCount(1), 0u);

    // Target 2: sheet 2's sections move to the sheet after it, added when
    // first written.
    owned = std::make_unique<test::FakeWorkbook>(2);
    test::FakeWorkbook& two = *owned;
    book = WithSheetTarget(std::move(owned), 2);
    book->SetCellValue(1, 1, 1, "table");
    EXPECT_EQ(two.SheetCount(), 2);
    EXPECT_EQ(book->SetCellValue(2, 1, 1, "consolidation"), CellWrite::Written);
    EXPECT_EQ(two.SheetCount(), 3);
    EXPECT_EQ(two.CellText(2, 1, 1), "table");
    EXPECT_EQ(two.CellText(3, 1, 1), "consolidation");
    std::string error;
    EXPECT_TRUE(book->SetSheetName(1, "Ledger (P1)", error));
    EXPECT_EQ(two.SheetName(2), "Ledger (P1)");
    book->ClearRange(1, book->UsedRange(1));
    EXPECT_EQ(two.CellCount(2), 0u);
    EXPECT_EQ(two.CellCount(3), 1u);
}

} // namespace
} // namespace vok
