// The workbook connection of one output file, from opening to saving and
// closing: what the spreadsheet application offered the conversion, met by
// the embedded engine.
#pragma once

#include "output/OutputType.h"
#include "output/Workbook.h"

#include <filesystem>
#include <memory>

namespace vok {

class Messages;

// True when the output workbook is open in a spreadsheet program.
bool IsExcelRunning(const std::filesystem::path& outputFile);

// Opens or creates the output workbook of the given type as `xlApp`; false
// (after a message naming the file) when it cannot be opened and must be left
// alone.
bool OpenExcelWorkbook(Messages& messages, const std::filesystem::path& fileName, OutputType type,
                       std::unique_ptr<Workbook>& xlApp);

// Saves the workbook; false (after a message with the reason) when that
// failed, or (without one) when an interrupt came before the rename.
bool SaveExcelWorkbook(Messages& messages, const std::filesystem::path& fileName, Workbook& xlApp,
                       const StopRequest* stop = nullptr);

// Ends the connection without saving.
void CloseExcel(std::unique_ptr<Workbook>& xlApp);

} // namespace vok
