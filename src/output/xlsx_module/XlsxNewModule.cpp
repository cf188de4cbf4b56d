// The entry of the new-workbook module (libvok-xlsx.so): a new .xlsx or .xlsm
// workbook needs none of the libraries that read existing workbooks, so a job
// that makes one loads this small module alone.
#include "output/WorkbookModule.h"

#include "output/xlsx_new/XlsxNewWorkbook.h"

extern "C" __attribute__((visibility("default"))) void
vok_open_workbook(const std::filesystem::path* fileName, int type,
                  vok::WorkbookOpenResult* result) {
    *result = vok::CreateXlsxWorkbook(*fileName, static_cast<vok::OutputType>(type));
}
