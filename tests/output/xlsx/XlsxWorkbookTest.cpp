// The .xlsx engine through the Workbook interface: creating, reading, typed
// writing, limits, sheet names, clearing, saving and its failures.
#include "output/Workbook.h"
#include "output/xlsx/XlsxTestSupport.h"
#include "output/xlsx/ZipPackage.h"
#include "support/TestSupport.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace vok {
namespace {

using test::OpenOk;
using test::ReadFile;
using test::SaveOk;
using test::TempDir;
using test::WriteFile;

std::string Part(const std::string& file, const std::string& name) {
    return test::ReadPackage(file)[name];
}

TEST(XlsxWorkbookTest, MissingOrEmptyFileBecomesANewWorkbookWhenSaved) {
    TempDir dir;
    for (bool empty : {false, true}) {
        std::string file = dir.File(empty ? "empty.xlsx" : "new.xlsx");
        if (empty) WriteFile(file, "");
        {
            // A workbook dropped unsaved leaves the name as it was.
            auto dropped = OpenOk(file);
            ASSERT_TRUE(dropped);
        }
        EXPECT_EQ(std::filesystem::exists(file), empty);
        auto book = OpenOk(file);
        ASSERT_TRUE(book);
        SaveOk(*book);
        ASSERT_TRUE(std::filesystem::exists(file));
        EXPECT_EQ(ReadFile(file).substr(0, 2), "PK");
        EXPECT_EQ(book->SheetCount(), 3);
        EXPECT_EQ(book->SheetName(1), "Sheet1");
        EXPECT_EQ(book->SheetName(2), "Sheet2");
        EXPECT_EQ(book->SheetName(3), "Sheet3");
        EXPECT_EQ(book->MaxRows(), 1'048'576);
        EXPECT_EQ(book->MaxColumns(), 16'384);
        EXPECT_TRUE(book->UsedRange(1).Empty());
    }
    // Nothing beside the file is left over from saving.
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        EXPECT_EQ(entry.path().extension(), ".xlsx") << entry.path();
    }
    WorkbookOpenResult nowhere =
        OpenWorkbookFile(dir.File("no/such/folder/a.xlsx"), OutputType::Xlsx);
    EXPECT_FALSE(nowhere.workbook);
    EXPECT_NE(nowhere.error.find("no/such/folder/a.xlsx"), std::string::npos) << nowhere.error;
}

TEST(XlsxWorkbookTest, ValuesSurviveSavingAndReopening) {
    TempDir dir;
    std::string file = dir.File("book.xlsx");
    const std::string texts[] = {
        "Plain text",
        "  blanks around  ",
        "x < y & \"z\" > w",
        "literal _x0041_ escape",
        "control\x01\x1F char",
        "line\r\nbreak",
        "Gr\xC3\xBC\xC3\x9F"
        "e \xE2\x82\xAC \xF0\x9F\x98\x80",
        "00123",
        "=A1+B1",
        "1234567890123456",
    };
    {
        auto book = OpenOk(file);
        for (size_t i = 0; i < std::size(texts); ++i) {
            EXPECT_EQ(book->SetCellValue(1, static_cast<int32_t>(i + 1), 1, texts[i]),
                      CellWrite::Written);
        }
        book->SetCellValue(2, 1, 1, "1,234.50");
        book->SetCellValue(2, 1, 2, "1200");
        book->SetCellValue(2, 1, 3, "12-");
        book->SetCellValue(2, 1, 4, "($1,000.25)");
        book->SetCellValue(2, 1, 5, "1.5E+3");
        book->SetCellValue(2, 100000, 16384, "far away");
        // Read back before saving, too.
        EXPECT_EQ(book->CellText(2, 1, 1), "1234.5");
        SaveOk(*book);
    }
    auto book = OpenOk(file);
    for (size_t i = 0; i < std::size(texts); ++i) {
        EXPECT_EQ(book->CellText(1, static_cast<int32_t>(i + 1), 1), texts[i]) << i;
    }
    EXPECT_EQ(book->CellText(2, 1, 1), "1234.5");
    EXPECT_EQ(book->CellText(2, 1, 2), "1200");
    EXPECT_EQ(book->CellText(2, 1, 3), "-12");
    EXPECT_EQ(book->CellText(2, 1, 4), "-1000.25");
    EXPECT_EQ(book->CellText(2, 1, 5), "1500");
    EXPECT_EQ(book->CellText(2, 100000, 16384), "far away");
    EXPECT_EQ(book->CellText(2, 2, 2), "");
    CellRange used = book->UsedRange(2);
    EXPECT_EQ(used.lastRow, 100000);
    EXPECT_EQ(used.lastColumn, 16384);
}

TEST(XlsxWorkbookTest, WritesBeyondTheLimitsAreRefusedAndWriteNothing) {
    TempDir dir;
    auto book = OpenOk(dir.File("limits.xlsx"));
    EXPECT_EQ(book->SetCellValue(1, 1'048'577, 1, "x"), CellWrite::BeyondLastRow);
    EXPECT_EQ(book->SetCellValue(1, 1, 16'385, "x"), CellWrite::BeyondLastColumn);
    EXPECT_EQ(book->SetCellValue(1, 1, 1, std::string(32'768, 'x')), CellWrite::TextTooLong);
    EXPECT_EQ(book->SetCellValue(4, 1, 1, "x"), CellWrite::NoSuchSheet);
    EXPECT_EQ(book->SetCellValue(0, 1, 1, "x"), CellWrite::NoSuchSheet);
    EXPECT_TRUE(book->UsedRange(1).Empty());
    EXPECT_EQ(book->SetCellValue(1, 1'048'576, 16'384, std::string(32'767, 'x')),
              CellWrite::Written);
    SaveOk(*book);
    auto reopened = OpenOk(dir.File("limits.xlsx"));
    EXPECT_EQ(reopened->CellText(1, 1'048'576, 16'384).size(), 32'767u);
}

TEST(XlsxWorkbookTest, SheetNamesAreCheckedKeptOnRefusalAndSaved) {
    TempDir dir;
    std::string file = dir.File("names.xlsx");
    {
        auto book = OpenOk(file);
        std::string error;
        EXPECT_FALSE(book->SetSheetName(1, "Too:Bad", error));
        EXPECT_NE(error.find("Too:Bad"), std::string::npos) << error;
        EXPECT_FALSE(book->SetSheetName(1, std::string(32, 'n'), error));
        EXPECT_FALSE(book->SetSheetName(1, "sheet2", error));
        EXPECT_FALSE(book->SetSheetName(9, "Fine", error));
        EXPECT_EQ(book->SheetName(1), "Sheet1");
        EXPECT_TRUE(book->SetSheetName(1, "Ledger & Co", error)) << error;
        // Swapping two names through a third works as in the spreadsheet.
        EXPECT_TRUE(book->SetSheetName(2, "Tmp", error));
        EXPECT_TRUE(book->SetSheetName(3, "Sheet2", error));
        EXPECT_TRUE(book->SetSheetName(2, "Sheet3", error));
        SaveOk(*book);
    }
    auto book = OpenOk(file);
    EXPECT_EQ(book->SheetName(1), "Ledger & Co");
    EXPECT_EQ(book->SheetName(2), "Sheet3");
    EXPECT_EQ(book->SheetName(3), "Sheet2");
    std::string app = Part(file, "docProps/app.xml");
    EXPECT_NE(app.find("<vt:lpstr>Ledger &amp; Co</vt:lpstr><vt:lpstr>Sheet3</vt:lpstr>"
                       "<vt:lpstr>Sheet2</vt:lpstr>"),
              std::string::npos)
        << app;
}

TEST(XlsxWorkbookTest, ReopeningWritesOverOldCellsOrClearsThemFirst) {
    TempDir dir;
    std::string file = dir.File("rerun.xlsx");
    {
        auto book = OpenOk(file);
        for (int32_t r = 1; r <= 10; ++r)
            book->SetCellValue(1, r, 1, "old " + std::to_string(r));
        book->SetCellValue(1, 12, 3, "500");
        SaveOk(*book);
    }
    {
        // Without clearing: new cells over the old ones, the rest stays.
        auto book = OpenOk(file);
        for (int32_t r = 1; r <= 3; ++r)
            book->SetCellValue(1, r, 1, "new " + std::to_string(r));
        book->SetCellValue(1, 2, 1, ""); // an empty text empties the cell
        SaveOk(*book);
    }
    {
        auto book = OpenOk(file);
        EXPECT_EQ(book->CellText(1, 1, 1), "new 1");
        EXPECT_EQ(book->CellText(1, 2, 1), "");
        EXPECT_EQ(book->CellText(1, 4, 1), "old 4");
        EXPECT_EQ(book->CellText(1, 12, 3), "500");
        CellRange used = book->UsedRange(1);
        EXPECT_EQ(used.lastRow, 12);
        EXPECT_EQ(used.lastColumn, 3);
        // With clearing: only the new cells remain.
        book->ClearRange(1, book->UsedRange(1));
        EXPECT_TRUE(book->UsedRange(1).Empty());
        book->SetCellValue(1, 2, 2, "only");
        SaveOk(*book);
    }
    auto book = OpenOk(file);
    CellRange used = book->UsedRange(1);
    EXPECT_EQ(used.firstRow, 2);
    EXPECT_EQ(used.firstColumn, 2);
    EXPECT_EQ(used.lastRow, 2);
    EXPECT_EQ(used.lastColumn, 2);
    EXPECT_EQ(book->CellText(1, 2, 2), "only");
}

TEST(XlsxWorkbookTest, StandardFontBecomesTheDefaultStylesFont) {
    TempDir dir;
    std::string file = dir.File("font.xlsx");
    {
        auto book = OpenOk(file);
        book->SetStandardFont("Courier New");
        book->SetCellValue(1, 1, 1, "1,000.00");
        SaveOk(*book);
    }
    std::string styles = Part(file, "xl/styles.xml");
    size_t fonts = styles.find("<fonts");
    ASSERT_NE(fonts, std::string::npos);
    size_t firstFontEnd = styles.find("</font>", fonts);
    std::string firstFont = styles.substr(fonts, firstFontEnd - fonts);
    EXPECT_NE(firstFont.find("<name val=\"Courier New\"/>"), std::string::npos) << firstFont;
    EXPECT_EQ(firstFont.find("<scheme"), std::string::npos) << firstFont;
    {
        // The same font again changes nothing in the styles.
        auto book = OpenOk(file);
        book->SetStandardFont("Courier New");
        book->SetCellValue(1, 2, 1, "2,000.00");
        SaveOk(*book);
    }
    EXPECT_EQ(Part(file, "xl/styles.xml"), styles);
}

TEST(XlsxWorkbookTest, FilesThatAreNoWorkbookAreLeftUntouched) {
    TempDir dir;
    struct Case {
        const char* name;
        std::string content;
    } cases[] = {
        {"text.xlsx", "just some text, not a workbook\n"},
        {"truncated.xlsx", std::string("PK\x03\x04", 4) + std::string(200, '\0')},
    };
    for (const Case& c : cases) {
        std::string file = dir.File(c.name);
        WriteFile(file, c.content);
        WorkbookOpenResult opened = OpenWorkbookFile(file, OutputType::Xlsx);
        EXPECT_FALSE(opened.workbook) << c.name;
        EXPECT_NE(opened.error.find(file), std::string::npos) << opened.error;
        EXPECT_EQ(ReadFile(file), c.content) << c.name;
    }
    // A zip package that holds no workbook.
    std::string other = dir.File("other.xlsx");
    {
        auto book = OpenOk(other);
        SaveOk(*book);
    }
    std::string error;
    auto zip = ZipPackage::Open(other, error);
    ASSERT_TRUE(zip);
    std::string stripped = dir.File("stripped.xlsx");
    const Status copied = zip->WriteCopy(stripped, {}, {"_rels/.rels"});
    ASSERT_TRUE(copied) << copied.Error();
    std::string before = ReadFile(stripped);
    WorkbookOpenResult opened = OpenWorkbookFile(stripped, OutputType::Xlsx);
    EXPECT_FALSE(opened.workbook);
    EXPECT_NE(opened.error.find("stripped.xlsx"), std::string::npos) << opened.error;
    EXPECT_EQ(ReadFile(stripped), before);
    // A folder by the name.
    std::filesystem::create_directory(dir.File("folder.xlsx"));
    EXPECT_FALSE(OpenWorkbookFile(dir.File("folder.xlsx"), OutputType::Xlsx).workbook);
}

TEST(XlsxWorkbookTest, FailedSaveKeepsTheEarlierFileAndNamesIt) {
    TempDir dir;
    std::filesystem::create_directory(dir.File("out"));
    std::string file = dir.File("out/book.xlsx");
    auto book = OpenOk(file);
    book->SetCellValue(1, 1, 1, "first");
    SaveOk(*book);
    std::string saved = ReadFile(file);

    // The folder goes away (a network share dropping, a removed stick).
    std::filesystem::rename(dir.File("out"), dir.File("moved"));
    book->SetCellValue(1, 1, 1, "second");
    std::string error;
    EXPECT_FALSE(book->Save(error));
    EXPECT_NE(error.find(file), std::string::npos) << error;
    EXPECT_EQ(ReadFile(dir.File("moved/book.xlsx")), saved);
    for (const auto& entry : std::filesystem::directory_iterator(dir.File("moved"))) {
        EXPECT_EQ(entry.path().filename(), "book.xlsx");
    }
}

TEST(XlsxWorkbookTest, LockFilesBesideTheWorkbookMarkItOpen) {
    TempDir dir;
    std::string file = dir.File("report.xlsx");
    EXPECT_FALSE(WorkbookIsLocked(file));
    WriteFile(dir.File(".~lock.report.xlsx#"), "x");
    EXPECT_TRUE(WorkbookIsLocked(file));
    std::filesystem::remove(dir.File(".~lock.report.xlsx#"));
    WriteFile(dir.File("~$report.xlsx"), "x");
    EXPECT_TRUE(WorkbookIsLocked(file));
    EXPECT_FALSE(WorkbookIsLocked(dir.File("other.xlsx")));
}

// The name decides once, through OutputTypeOf, and the engine follows it.
TEST(XlsxWorkbookTest, TheNameChoosesTheFormat) {
    TempDir dir;
    for (const char* name : {"a.xls", "b.XLS", "c.Xls"}) {
        WorkbookOpenResult opened = OpenWorkbookFile(dir.File(name), *OutputTypeOf(name));
        ASSERT_TRUE(opened.workbook) << opened.error;
        EXPECT_EQ(opened.workbook->MaxRows(), 65'536) << name;
        SaveOk(*opened.workbook);
        EXPECT_EQ(ReadFile(dir.File(name)).substr(0, 4), "\xD0\xCF\x11\xE0") << name;
    }
    for (const char* name : {"d.xlsx", "e.XLSX", "g.xls.bak"}) {
        WorkbookOpenResult opened = OpenWorkbookFile(dir.File(name), *OutputTypeOf(name));
        ASSERT_TRUE(opened.workbook) << opened.error;
        EXPECT_EQ(opened.workbook->MaxRows(), 1'048'576) << name;
        SaveOk(*opened.workbook);
        EXPECT_EQ(ReadFile(dir.File(name)).substr(0, 2), "PK") << name;
    }
}

} // namespace
} // namespace vok
