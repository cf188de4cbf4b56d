// An existing workbook read lazily: every sheet is read only when first used,
// and the shared-string table in blocks of a few bytes, as a workbook of
// large sheets is read. The input is the first sheet's part, the shared-string
// table and the second sheet's part, cut by "--8<--" lines (a missing second
// sheet is one that refers to the first). Sheet 1 is written into while sheet
// 2 stays unread through a rename and a save; then sheet 2 is read from the
// saved file, written and saved again; what vok saved must open again, its
// sheet 1 must read, and its XML parts must be as well-formed as they were.
#include "fuzz/FuzzPackage.h"
#include "fuzz/FuzzSupport.h"
#include "output/xlsx/XlsxWorkbook.h"

#include <cstdio>
#include <cstdlib>

using namespace vok;

namespace {

// A failed save must say why.
bool Saved(Workbook& book) {
    std::string error;
    if (book.Save(error)) return true;
    if (error.empty()) std::abort();
    return false;
}

void ReadBack(const std::filesystem::path& file, const XlsxReadLimits& limits) {
    const WorkbookOpenResult again = XlsxWorkbook::Open(file, OutputType::Xlsx, limits);
    if (!again.workbook) {
        std::fprintf(stderr, "vok cannot open what it saved: %s\n", again.error.c_str());
        std::abort();
    }
    again.workbook->UsedRange(1);
    if (!again.workbook->WriteFailure().empty()) {
        std::fprintf(stderr, "vok cannot read the sheet it saved: %s\n",
                     again.workbook->WriteFailure().c_str());
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string_view> parts = fuzz::Parts(fuzz::Text(data, size), 3);
    fuzz::WorkbookParts workbook{.sheet1 = parts[0], .sharedStrings = &parts[1]};
    if (!parts[2].empty()) workbook.sheet2 = parts[2];
    const std::filesystem::path file = fuzz::StoredWorkbook("lazy.xlsx", workbook);
    const fuzz::XmlPartsBefore before(file);
    const XlsxReadLimits limits{.readAtOpen = 0, .stringsBlock = 1 + size % 61};

    WorkbookOpenResult opened = XlsxWorkbook::Open(file, OutputType::Xlsx, limits);
    if (!opened.workbook) {
        if (opened.error.empty()) std::abort();
        return 0;
    }
    Workbook& book = *opened.workbook;
    book.SetCellValue(1, 2, 2, "1,234.50");
    book.SetCellValue(1, 3, 1, "text <&> \"quoted\"");
    std::string error;
    book.SetSheetName(2, "Other (2)", error);
    book.AddSheet("Added", error);
    if (!Saved(book)) return 0;
    book.CellText(2, 1, 1);
    book.SetCellValue(2, 1, 2, "7");
    Saved(book);
    opened.workbook.reset();
    before.ExpectStillWellFormed();
    ReadBack(file, limits);
    return 0;
}
