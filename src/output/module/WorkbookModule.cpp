// The entry of the workbook module (libvok-workbook.so): the one function the
// program looks up when it loads the module for its first workbook job.
#include "output/WorkbookModule.h"

#include "output/xls/XlsWorkbook.h"
#include "output/xlsx/XlsxWorkbook.h"

extern "C" __attribute__((visibility("default"))) void
vok_open_workbook(const std::filesystem::path* fileName, int type,
                  vok::WorkbookOpenResult* result) {
    using vok::OutputType;
    const auto format = static_cast<OutputType>(type);
    *result = format == OutputType::Xls ? vok::OpenXlsWorkbook(*fileName)
                                        : vok::OpenXlsxWorkbook(*fileName, format);
}
