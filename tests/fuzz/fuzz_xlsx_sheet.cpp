// The worksheet part of an .xlsx workbook: the input is the first sheet's
// part, in any encoding, inside a package that is otherwise sound (stored,
// so that every byte of the part is the fuzzer's). The workbook is opened,
// changed, saved and opened again (see RoundTripWorkbook): the part's
// encoding, its formula groups and the rewriting of its cells.
#include "fuzz/FuzzPackage.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::filesystem::path file =
        vok::fuzz::StoredWorkbook("sheet.xlsx", {.sheet1 = vok::fuzz::Text(data, size)});
    vok::fuzz::RoundTripWorkbookFile(file, vok::OutputType::Xlsx);
    return 0;
}
