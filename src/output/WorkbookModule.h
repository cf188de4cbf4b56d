// The workbook module's entry, as the program and the module both see it. The
// program and the module are built together, so C++ types may cross.
#pragma once

#include "output/Workbook.h"

#include <filesystem>

// The file name of the module, which lies beside the program.
inline constexpr const char* kVokWorkbookModule = "libvok-workbook.so";
inline constexpr const char* kVokWorkbookEntry = "vok_open_workbook";

// Opens or creates the workbook `fileName` of OutputType `type` into `result`.
extern "C" void vok_open_workbook(const std::filesystem::path* fileName, int type,
                                  vok::WorkbookOpenResult* result);
