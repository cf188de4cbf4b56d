// The .xls workbook through the Workbook interface: creating, reopening,
// refusing files it cannot keep, limits, sheet names and failed saves.
#include "output/xls/XlsWorkbook.h"

#include "output/xls/Biff8Inspector.h"
#include "output/xls/OleWorkbookFile.h"
#include "support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace vok {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

std::unique_ptr<Workbook> Open(const std::string& file) {
    WorkbookOpenResult opened = OpenXlsWorkbook(file);
    EXPECT_EQ(opened.error, "");
    return std::move(opened.workbook);
}

std::string Repeat(std::string_view piece, size_t times) {
    std::string s;
    for (size_t i = 0; i < times; ++i)
        s += piece;
    return s;
}

TEST(XlsWorkbookTest, MissingOrEmptyFileBecomesANewWorkbookWhenSaved) {
    TempDir dir;
    for (const std::string& file : {dir.File("new.xls"), dir.File("empty.XLS")}) {
        const bool empty = file.ends_with("XLS");
        if (empty) WriteFile(file, "");
        // A workbook dropped unsaved leaves the name as it was.
        Open(file);
        EXPECT_EQ(std::filesystem::exists(file), empty);
        auto book = Open(file);
        ASSERT_TRUE(book);
        std::string error;
        ASSERT_TRUE(book->Save(error)) << error;
        EXPECT_GT(std::filesystem::file_size(file), 4096u);
        auto again = Open(file);
        ASSERT_TRUE(again);
        ASSERT_EQ(again->SheetCount(), 3);
        EXPECT_EQ(again->SheetName(1), "Sheet1");
        EXPECT_EQ(again->SheetName(3), "Sheet3");
        EXPECT_TRUE(again->UsedRange(1).Empty());
    }
    // No temporary file is left beside them.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);
}

TEST(XlsWorkbookTest, ReopenKeepsValuesFormatsNamesAndFont) {
    TempDir dir;
    const std::string file = dir.File("book.xls");
    {
        auto book = Open(file);
        std::string error;
        ASSERT_TRUE(book->SetSheetName(1, "Sales (P1-3)", error)) << error;
        book->SetStandardFont("Courier New");
        EXPECT_EQ(book->SetCellValue(1, 1, 1, "Name"), CellWrite::Written);
        EXPECT_EQ(book->SetCellValue(1, 1, 2, "1,234.50"), CellWrite::Written);
        EXPECT_EQ(book->SetCellValue(1, 2, 2, "(12.00)"), CellWrite::Written);
        EXPECT_EQ(book->SetCellValue(1, 3, 2, "0.1"), CellWrite::Written);
        EXPECT_EQ(book->SetCellValue(1, 4, 1, "00123"), CellWrite::Written);
        EXPECT_EQ(book->SetCellValue(2, 1, 1, "\xC3\x84rger \xE6\xBC\xA2 \xF0\x9F\x98\x80"),
                  CellWrite::Written);
        EXPECT_EQ(book->CellText(1, 1, 2), "1234.5");
        ASSERT_TRUE(book->Save(error)) << error;
    }
    auto book = Open(file);
    ASSERT_TRUE(book);
    EXPECT_EQ(book->SheetName(1), "Sales (P1-3)");
    EXPECT_EQ(book->CellText(1, 1, 1), "Name");
    EXPECT_EQ(book->CellText(1, 1, 2), "1234.5");
    EXPECT_EQ(book->CellText(1, 2, 2), "-12");
    EXPECT_EQ(book->CellText(1, 3, 2), "0.1");
    EXPECT_EQ(book->CellText(1, 4, 1), "00123");
    EXPECT_EQ(book->CellText(2, 1, 1), "\xC3\x84rger \xE6\xBC\xA2 \xF0\x9F\x98\x80");
    const CellRange used = book->UsedRange(1);
    EXPECT_EQ(used.lastRow, 4);
    EXPECT_EQ(used.lastColumn, 2);

    // Writing again keeps the old cells, their formats and the font.
    EXPECT_EQ(book->SetCellValue(1, 5, 1, "added"), CellWrite::Written);
    std::string error;
    ASSERT_TRUE(book->Save(error)) << error;
    OleWorkbookContents ole;
    ASSERT_TRUE(OleWorkbookFile::Read(file, ole, error)) << error;
    const Biff8Contents contents = Biff8Inspector::Inspect(ole.workbook);
    EXPECT_EQ(contents.font.name, "Courier New");
    std::vector<std::string> codes;
    for (const Biff8NumberCell& cell : contents.numbers[0]) {
        codes.push_back(contents.xfFormatCodes[cell.xf]);
    }
    EXPECT_EQ(codes, (std::vector<std::string>{"#,##0.00", "#,##0.00_);(#,##0.00)", "0.0"}));
    EXPECT_EQ(Open(file)->CellText(1, 5, 1), "added");
}

TEST(XlsWorkbookTest, DatesOfAnExistingWorkbookKeepTheirValues) {
    TempDir dir;
    const std::string file = dir.File("dates.xls");
    std::vector<SheetData> sheets{SheetData("Dates")};
    FormatTable formats;
    sheets[0].SetNumber(1, 1, 45000, formats.Intern("yyyy-mm-dd"));
    sheets[0].SetNumber(2, 1, 45000.123456789, formats.Intern("yyyy-mm-dd hh:mm:ss"));
    sheets[0].SetNumber(3, 1, 0.75, formats.Intern("hh:mm"));
    std::string error;
    ASSERT_TRUE(XlsWorkbook(file, std::move(sheets), std::move(formats), XlsFont{}, nullptr).Save(error));
    auto book = Open(file);
    ASSERT_TRUE(book);
    EXPECT_EQ(book->CellText(1, 1, 1), "45000");
    EXPECT_EQ(book->CellText(1, 2, 1), "45000.123456789");
    EXPECT_EQ(book->CellText(1, 3, 1), "0.75");
}

TEST(XlsWorkbookTest, FilesThatAreNoWorkbookAreLeftAlone) {
    TempDir dir;
    const std::string text = dir.File("notes.xls");
    WriteFile(text, "just some text, not a workbook\n");
    const std::string zip = dir.File("really.xlsx.xls");
    WriteFile(zip, std::string("PK\x03\x04", 4) + std::string(200, 'x'));
    for (const std::string& file : {text, zip}) {
        const std::string before = ReadFile(file);
        WorkbookOpenResult opened = OpenXlsWorkbook(file);
        EXPECT_FALSE(opened.workbook);
        EXPECT_NE(opened.error.find(file), std::string::npos) << opened.error;
        EXPECT_NE(opened.error.find("not an Excel 97-2003 workbook"), std::string::npos);
        EXPECT_EQ(ReadFile(file), before);
    }
    // An OLE2 file whose Workbook stream holds no records.
    std::string reason;
    const std::string old = dir.File("old.xls");
    ASSERT_TRUE(OleWorkbookFile::Write(old, std::string(5000, '\0'), reason));
    WorkbookOpenResult opened = OpenXlsWorkbook(old);
    EXPECT_FALSE(opened.workbook);
    EXPECT_NE(opened.error.find("old.xls"), std::string::npos);
    // A folder of that name.
    std::filesystem::create_directory(dir.File("folder.xls"));
    opened = OpenXlsWorkbook(dir.File("folder.xls"));
    EXPECT_FALSE(opened.workbook);
    EXPECT_NE(opened.error.find("not a file"), std::string::npos);
}

TEST(XlsWorkbookTest, LimitsRefuseAndWriteNothing) {
    TempDir dir;
    auto book = Open(dir.File("limits.xls"));
    EXPECT_EQ(book->MaxRows(), 65536);
    EXPECT_EQ(book->MaxColumns(), 256);
    EXPECT_EQ(book->SetCellValue(1, 65536, 256, "last"), CellWrite::Written);
    EXPECT_EQ(book->SetCellValue(1, 65537, 1, "x"), CellWrite::BeyondLastRow);
    EXPECT_EQ(book->SetCellValue(1, 1, 257, "x"), CellWrite::BeyondLastColumn);
    EXPECT_EQ(book->SetCellValue(4, 1, 1, "x"), CellWrite::NoSuchSheet);
    // The longest texts the cell reader takes back, placed mid-record.
    EXPECT_EQ(book->SetCellValue(1, 1, 1, std::string(16444, 'a')), CellWrite::Written);
    EXPECT_EQ(book->SetCellValue(1, 2, 1, Repeat("\xE6\xBC\xA2", 8221)), CellWrite::Written);
    EXPECT_EQ(book->SetCellValue(1, 1, 2, std::string(32768, 'a')), CellWrite::TextTooLong);
    // 16,384 characters beyond U+FFFF take 32,768 units in the file.
    EXPECT_EQ(book->SetCellValue(1, 1, 3, Repeat("\xF0\x9F\x98\x80", 16384)),
              CellWrite::TextTooLong);
    const CellRange used = book->UsedRange(1);
    EXPECT_EQ(used.firstRow, 1);
    EXPECT_EQ(used.firstColumn, 1);
    EXPECT_EQ(used.lastRow, 65536);
    EXPECT_EQ(used.lastColumn, 256);
    EXPECT_EQ(book->CellText(1, 1, 2), "");
    std::string error;
    ASSERT_TRUE(book->Save(error)) << error;
    auto again = Open(dir.File("limits.xls"));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->CellText(1, 65536, 256), "last");
    EXPECT_EQ(again->CellText(1, 1, 1).size(), 16444u);
    EXPECT_EQ(again->CellText(1, 2, 1), Repeat("\xE6\xBC\xA2", 8221));

    again->ClearRange(1, again->UsedRange(1));
    EXPECT_TRUE(again->UsedRange(1).Empty());
}

// Shared strings that run on over several CONTINUE records, switching
// between one and two bytes a character, read back whole: they used to be
// refused on reopening, as the cell library could not take them apart.
TEST(XlsWorkbookTest, LongTextsReadBackWhole) {
    TempDir dir;
    const std::string file = dir.File("long.xls");
    const std::string plain(32767, 'a');
    const std::string mixed = Repeat("ab\xE2\x82\xAC", 8000); // "ab€" over records
    {
        auto book = Open(file);
        EXPECT_EQ(book->SetCellValue(1, 1, 1, plain), CellWrite::Written);
        EXPECT_EQ(book->SetCellValue(1, 2, 1, mixed), CellWrite::Written);
        EXPECT_EQ(book->SetCellValue(1, 3, 1, "after"), CellWrite::Written);
        std::string error;
        ASSERT_TRUE(book->Save(error)) << error;
    }
    auto again = Open(file);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->CellText(1, 1, 1), plain);
    EXPECT_EQ(again->CellText(1, 2, 1), mixed);
    EXPECT_EQ(again->CellText(1, 3, 1), "after");
}

TEST(XlsWorkbookTest, SheetNamesTheFormatForbidsKeepTheOldName) {
    TempDir dir;
    auto book = Open(dir.File("names.xls"));
    std::string error;
    for (const std::string& bad : std::vector<std::string>{
             "", "a:b", "a/b", "a\\b", "a?b", "a*b", "[a]", "'quoted'", "History", "sheet2",
             std::string(32, 'x'), Repeat("\xF0\x9F\x98\x80", 16)}) {
        EXPECT_FALSE(book->SetSheetName(1, bad, error)) << bad;
        EXPECT_NE(error, "") << bad;
        EXPECT_EQ(book->SheetName(1), "Sheet1");
    }
    EXPECT_TRUE(book->SetSheetName(1, "SHEET1", error)) << error; // itself, other case
    EXPECT_TRUE(book->SetSheetName(2, std::string(31, 'y'), error)) << error;
    EXPECT_TRUE(book->SetSheetName(3,
                                   "\xC3\x9C"
                                   "bersicht",
                                   error))
        << error;
    EXPECT_FALSE(book->SetSheetName(9, "Nine", error));
    ASSERT_TRUE(book->Save(error)) << error;
    auto again = Open(dir.File("names.xls"));
    EXPECT_EQ(again->SheetName(1), "SHEET1");
    EXPECT_EQ(again->SheetName(2), std::string(31, 'y'));
    EXPECT_EQ(again->SheetName(3), "\xC3\x9C"
                                   "bersicht");
}

TEST(XlsWorkbookTest, FailedSaveIsReportedAndLeavesNothingBehind) {
    TempDir dir;
    const std::string file = dir.File("book.xls");
    auto book = Open(file);
    ASSERT_TRUE(book);
    // Something else took the name: the rename cannot replace a folder.
    std::filesystem::remove(file);
    std::filesystem::create_directory(file);
    WriteFile(file + "/keep.txt", "keep");
    book->SetCellValue(1, 1, 1, "data");
    std::string error;
    EXPECT_FALSE(book->Save(error));
    EXPECT_NE(error.find(file), std::string::npos) << error;
    EXPECT_EQ(ReadFile(file + "/keep.txt"), "keep");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);

    // A folder that does not exist: the new workbook cannot be created.
    WorkbookOpenResult opened = OpenXlsWorkbook(dir.File("missing/book.xls"));
    EXPECT_FALSE(opened.workbook);
    EXPECT_NE(opened.error.find("missing/book.xls"), std::string::npos) << opened.error;
}

} // namespace
} // namespace vok
