// The workbook module's entry, as the program and the module both see it. The
// program and the module are built together, so C++ types may cross.
#pragma once

#include "output/Workbook.h"

#include <filesystem>

// The file names of the modules, which lie beside the program: the engines
// that open existing workbooks and write .xls ones, and the one that makes
// new .xlsx workbooks (a job that makes one needs nothing else).
inline constexpr const char* kVokWorkbookModule = "libvok-workbook.so";
inline constexpr const char* kVokNewXlsxModule = "libvok-xlsx.so";
inline constexpr const char* kVokWorkbookEntry = "vok_open_workbook";

// Opens or creates the workbook `fileName` of OutputType `type` into `result`;
// the new-workbook module only creates.
extern "C" void vok_open_workbook(const std::filesystem::path* fileName, int type,
                                  vok::WorkbookOpenResult* result);
