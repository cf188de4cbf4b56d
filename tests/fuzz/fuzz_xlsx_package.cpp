// The .xlsx package reader: the input is a workbook file, opened, changed, saved
// and opened again (see RoundTripWorkbook).
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vok::fuzz::RoundTripWorkbook(vok::fuzz::Text(data, size), "book.xlsx", vok::OutputType::Xlsx);
    return 0;
}
