// New .xlsx workbooks, written by the engine's own writer with their sheets
// streamed to temporary files as they grow: the parts must be those the
// engine writes into an existing workbook for the same cells, whatever order
// the cells come in, and rows that left memory must still read and change.
#include "output/Workbook.h"
#include "output/xlsx_new/XlsxNewWorkbook.h"
#include "output/xlsx/XlsxTestSupport.h"
#include "output/xlsx/ZipPackage.h"
#include "output/xlsx_new/ZipWriter.h"
#include "support/TestSupport.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

namespace vok {
namespace {

using test::OpenOk;
using test::ReadPackage;
using test::SaveOk;
using test::TempDir;

// Many more rows than a sheet keeps in memory.
constexpr int32_t kRows = 5 * XlsxNewWorkbook::kRowsKept;

// A job's writes, and the ways a job goes back: to a row far behind (a
// consolidation adding into sheet 2, a table written over), reading one, and
// clearing some; number formats first used on a later sheet.
void Fill(Workbook& book) {
    std::string error;
    book.SetStandardFont("Courier New");
    ASSERT_TRUE(book.AddSheet("Extra & <more>", error)) << error;
    ASSERT_TRUE(book.SetSheetName(3, "Renamed", error)) << error;
    book.SetCellValue(2, 1, 1, "$5.00");
    for (int32_t r = 1; r <= kRows; ++r) {
        for (int32_t sheet : {1, 4}) {
            book.SetCellValue(sheet, r, 1, "Item " + std::to_string(r));
            book.SetCellValue(sheet, r, 2, r % 3 ? "1,234.50" : "(12.5)");
            book.SetCellValue(sheet, r, 4, r % 7 ? "  padded " : "");
        }
        if (r % 500 == 0) book.SetCellValue(2, r / 500 + 1, 2, std::to_string(r) + "%");
    }
    EXPECT_EQ(book.CellText(1, kRows, 1), "Item " + std::to_string(kRows));
    book.SetCellValue(4, 3, 3, "0.25");
    // Back to rows of sheet 4 far behind the last one written; sheet 1 is
    // saved from where its rows went.
    EXPECT_EQ(book.CellText(4, 7, 1), "Item 7");
    EXPECT_EQ(book.SetCellValue(4, 2, 3, "12-"), CellWrite::Written);
    book.ClearRange(4, {100, 1, 200, 2});
    book.SetCellValue(4, 150, 1, "after the clear");
}

TEST(XlsxNewWorkbookTest, SheetsStreamedOutHoldWhatTheExistingWorkbookEngineWrites) {
    TempDir dir;
    // Written into a new workbook, all at once.
    const std::string fresh = dir.File("fresh.xlsx");
    {
        auto book = OpenOk(fresh);
        ASSERT_TRUE(book);
        Fill(*book);
        EXPECT_EQ(book->CellText(4, 150, 1), "after the clear");
        EXPECT_EQ(book->CellText(4, 151, 1), "");
        const CellRange used = book->UsedRange(1);
        EXPECT_EQ(used.lastRow, kRows);
        EXPECT_EQ(used.lastColumn, 4);
        SaveOk(*book);
    }
    // The same writes into the saved empty workbook, by the engine that
    // rewrites existing ones.
    const std::string edited = dir.File("edited.xlsx");
    {
        auto blank = OpenOk(edited);
        SaveOk(*blank);
        auto book = OpenOk(edited);
        Fill(*book);
        SaveOk(*book);
    }
    std::map<std::string, std::string> a = ReadPackage(fresh), b = ReadPackage(edited);
    a.erase("docProps/core.xml"); // the time of creation
    b.erase("docProps/core.xml");
    ASSERT_EQ(a.size(), b.size());
    for (const auto& [name, content] : a) {
        EXPECT_TRUE(b.count(name)) << name;
        EXPECT_TRUE(content == b[name]) << name << " differs";
    }
    EXPECT_TRUE(test::Contains(a["xl/worksheets/sheet1.xml"], "<row r=\"5120\">"));
}

TEST(XlsxNewWorkbookTest, SavedTwiceOrDroppedTheWorkbookStaysWhole) {
    TempDir dir;
    const std::string file = dir.File("twice.xlsx");
    auto book = OpenOk(file);
    for (int32_t r = 1; r <= kRows; ++r)
        book->SetCellValue(1, r, 1, std::to_string(r));
    SaveOk(*book);
    // Written on after the save: the streamed rows are in the second save too.
    book->SetCellValue(1, kRows + 1, 1, "last");
    SaveOk(*book);
    book.reset();
    auto again = OpenOk(file);
    EXPECT_EQ(again->CellText(1, 1, 1), "1");
    EXPECT_EQ(again->CellText(1, kRows, 1), std::to_string(kRows));
    EXPECT_EQ(again->CellText(1, kRows + 1, 1), "last");
    // Nothing but the workbook is left in its folder.
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        EXPECT_EQ(entry.path().filename(), "twice.xlsx");
}

TEST(XlsxNewWorkbookTest, RowsThatCannotLeaveMemoryEndTheWriteWithTheReason) {
    TempDir dir;
    auto book = OpenOk(dir.File("full.xlsx"));
    // A disk that takes no more than 64 KB per file.
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = 64 << 10;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    CellWrite written = CellWrite::Written;
    for (int32_t r = 1; r <= 20 * XlsxNewWorkbook::kRowsKept && written == CellWrite::Written; ++r)
        written = book->SetCellValue(1, r, 1, "a row that takes up some room " + std::to_string(r));
    const std::string failure = book->WriteFailure();
    std::string error;
    const bool saved = book->Save(error);
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(written, CellWrite::OutputFailed);
    EXPECT_TRUE(test::Contains(failure, "File too large")) << failure;
    EXPECT_FALSE(saved);
    EXPECT_FALSE(std::filesystem::exists(dir.File("full.xlsx")));
}

TEST(XlsxNewWorkbookTest, PartsMarkedLargeCarry64BitSizes) {
    TempDir dir;
    const std::string file = dir.File("large.zip");
    const int fd = ::open(file.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    {
        ZipWriter zip(fd);
        ASSERT_TRUE(zip.AddPart("[Content_Types].xml", "<Types/>"));
        ASSERT_TRUE(zip.BeginPart("big.xml", true));
        for (int i = 0; i < 1000; ++i)
            ASSERT_TRUE(zip.Write("<row>" + std::to_string(i) + "</row>"));
        ASSERT_TRUE(zip.EndPart());
        ASSERT_TRUE(zip.AddPart("after.xml", std::string(3 << 20, 'x')));
        ASSERT_TRUE(zip.Finish()) << zip.Error();
    }
    ::close(fd);
    std::map<std::string, std::string> parts = ReadPackage(file);
    EXPECT_EQ(parts["[Content_Types].xml"], "<Types/>");
    EXPECT_EQ(parts["big.xml"].substr(0, 18), "<row>0</row><row>1");
    EXPECT_EQ(parts["after.xml"].size(), size_t{3} << 20);
}

} // namespace
} // namespace vok
