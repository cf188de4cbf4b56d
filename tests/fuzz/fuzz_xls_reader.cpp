// The .xls reader: the input is a workbook file. When vok opens it,
// cells are typed in, a sheet is renamed, added and cleared, the workbook is
// saved (every rewriting path of the package), and what vok saved must open
// again.
#include "fuzz/FuzzSupport.h"
#include "output/Workbook.h"

#include <cstdio>
#include <cstdlib>

using namespace vok;

namespace {

void Exercise(Workbook& book) {
    const int32_t sheets = book.SheetCount();
    for (int32_t s = 1; s <= sheets && s <= 8; ++s) {
        book.SheetName(s);
        const CellRange used = book.UsedRange(s);
        book.CellText(s, std::max(used.firstRow, 1), std::max(used.firstColumn, 1));
    }
    book.SetCellValue(1, 1, 1, "1,234.50");
    book.SetCellValue(1, 2, 3, "(12.00)");
    book.SetCellValue(1, 3, 2, "text <&> \"quoted\"");
    book.SetCellValue(1, 4, 1, "");
    std::string error;
    book.SetSheetName(1, "Fuzz (P1)", error);
    book.AddSheet("Added", error);
    if (sheets >= 2) book.ClearRange(2, book.UsedRange(2));
    book.SetStandardFont("Courier New");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::filesystem::path file = fuzz::ScratchFile("book.xls", fuzz::Text(data, size));
    WorkbookOpenResult opened = OpenWorkbookFile(file, OutputType::Xls);
    if (!opened.workbook) {
        if (opened.error.empty()) std::abort();
        return 0;
    }
    Exercise(*opened.workbook);
    std::string error;
    if (!opened.workbook->Save(error)) return 0;
    opened.workbook.reset();
    WorkbookOpenResult again = OpenWorkbookFile(file, OutputType::Xls);
    if (!again.workbook) {
        std::fprintf(stderr, "vok cannot open what it saved: %s\n", again.error.c_str());
        std::abort();
    }
    return 0;
}
