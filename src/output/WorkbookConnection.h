// The workbook connection of one output file, from opening to saving and
// closing, and the cell access the sections use through it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vok {

class ProgramState;

// True when the output workbook is open in a spreadsheet program.
bool IsExcelRunning(ProgramState& state);

// Opens or creates the output workbook as the state's connection; false (after
// a message naming the file) when it cannot be opened and must be left alone.
bool OpenExcelWorkbook(ProgramState& state, const std::string& fileName);

// Saves the connection's workbook; false (after a message) when that failed.
bool SaveExcelWorkbook(ProgramState& state, const std::string& fileName);

// Ends the connection without saving.
void CloseExcel(ProgramState& state);

// Assigns a cell of the open workbook as typed input. When the workbook cannot
// take it (past the format's last row or column) it shows the message, sets
// the export specification's FatalProcessError and returns false.
bool WriteCell(ProgramState& state, int32_t sheet, int32_t row, int32_t column,
               std::string_view text);

// A cell's value as text; "" when no workbook is open.
std::string ReadCell(ProgramState& state, int32_t sheet, int32_t row, int32_t column);

} // namespace vok
