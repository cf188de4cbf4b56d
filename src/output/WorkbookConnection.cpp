#include "output/WorkbookConnection.h"

#include "app/ProgramState.h"

#include <fmt/format.h>

namespace vok {

bool IsExcelRunning(ProgramState& state) {
    return WorkbookIsLocked(state.gOutputFile);
}

bool OpenExcelWorkbook(ProgramState& state, const std::string& fileName) {
    state.xlApp.reset();
    WorkbookOpenResult opened = OpenWorkbookFile(fileName);
    if (!opened.workbook) {
        state.messages.Show(opened.error, MessageIcon::Critical);
        return false;
    }
    state.xlApp = std::move(opened.workbook);
    return true;
}

bool SaveExcelWorkbook(ProgramState& state, const std::string& fileName) {
    if (!state.xlApp) return false;
    std::string error;
    if (state.xlApp->Save(error)) return true;
    state.messages.Show(error.empty() ? "Cannot save the workbook " + fileName : error,
                        MessageIcon::Critical);
    return false;
}

void CloseExcel(ProgramState& state) {
    state.xlApp.reset();
}

bool WriteCell(ProgramState& state, int32_t sheet, int32_t row, int32_t column,
               std::string_view text) {
    if (!state.xlApp) return false;
    switch (state.xlApp->SetCellValue(sheet, row, column, text)) {
    case CellWrite::Written:
        return true;
    case CellWrite::BeyondLastRow:
        state.messages.Show(fmt::format("Cannot write row {} of sheet {}: the workbook {} holds "
                                        "at most {} rows. The conversion of this file ends here.",
                                        row, sheet, state.gOutputFile, state.xlApp->MaxRows()),
                            MessageIcon::Critical);
        break;
    case CellWrite::BeyondLastColumn:
        state.messages.Show(fmt::format("Cannot write column {} of sheet {}: the workbook {} "
                                        "holds at most {} columns. The conversion of this file "
                                        "ends here.",
                                        column, sheet, state.gOutputFile,
                                        state.xlApp->MaxColumns()),
                            MessageIcon::Critical);
        break;
    case CellWrite::TextTooLong:
        state.messages.Show(fmt::format("Cannot write the cell at row {}, column {} of sheet {}: "
                                        "its text is longer than the 32,767 characters a cell "
                                        "holds. The conversion of this file ends here.",
                                        row, column, sheet),
                            MessageIcon::Critical);
        break;
    case CellWrite::NoSuchSheet:
        state.messages.Show(
            fmt::format("The workbook {} has no sheet {}.", state.gOutputFile, sheet),
            MessageIcon::Critical);
        break;
    }
    state.gRecipe.ExportSpecs.FatalProcessError = true;
    return false;
}

std::string ReadCell(ProgramState& state, int32_t sheet, int32_t row, int32_t column) {
    if (!state.xlApp) return {};
    return state.xlApp->CellText(sheet, row, column);
}

} // namespace vok
