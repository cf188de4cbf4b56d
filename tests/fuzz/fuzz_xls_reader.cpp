// The .xls reader: the input is a workbook file, opened, changed, saved
// and opened again (see RoundTripWorkbook).
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vok::fuzz::RoundTripWorkbook(vok::fuzz::Text(data, size), "book.xls", vok::OutputType::Xls);
    return 0;
}
