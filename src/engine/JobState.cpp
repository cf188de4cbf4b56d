#include "engine/JobState.h"

#include "base/modUtilityFile.h"
#include "pdf/PdfReport.h"

#include <fmt/format.h>

namespace vok {

JobState::JobState(JobObserver& observer_, StopRequest& stop)
    : observer(observer_), messages(observer_),
      // A report printed to PDF is read through its rebuilt text; Ctrl+C or
      // closing the window stops the rebuilding.
      recipe(TextIndexCache(PdfAwareSources([this] {
          run.DoEvents();
          return run.StopHolds();
      }))),
      run(stop) {}

void JobRun::DoEvents() {
    switch (stop_.Take()) {
    case StopRequest::Kind::None:
        return;
    case StopRequest::Kind::Pause:
        // The Pause button counts only while an export runs.
        if (state_ == RunState::Exporting) state_ = RunState::PauseAsked;
        return;
    case StopRequest::Kind::Stop:
        Raise(RunState::StopAsked);
        return;
    case StopRequest::Kind::Interrupt:
        Raise(RunState::Interrupted);
        return;
    }
}

void JobState::SetStatus(StatusTarget target, std::string_view text) {
    if (target == StatusTarget::Caption) caption_.assign(text);
    observer.StatusChanged(target, text);
}

bool WriteCell(JobState& state, int32_t sheet, int32_t row, int32_t column, std::string_view text) {
    if (!state.sink.xlApp) return false;
    Workbook& workbook = *state.sink.xlApp;
    const CellWrite written = workbook.SetCellValue(sheet, row, column, text);
    if (written == CellWrite::Written) return true;
    // Only a failure names the file: this runs for every cell.
    const std::string file = state.job.gOutputFile.string();
    switch (written) {
    case CellWrite::Written:
        return true;
    case CellWrite::BeyondLastRow:
        state.messages.Show(fmt::format("Cannot write row {} of sheet {}: the workbook {} holds "
                                        "at most {} rows. The conversion of this file ends here.",
                                        row, sheet, file, workbook.MaxRows()),
                            MessageIcon::Critical);
        break;
    case CellWrite::BeyondLastColumn:
        state.messages.Show(fmt::format("Cannot write column {} of sheet {}: the workbook {} "
                                        "holds at most {} columns. The conversion of this file "
                                        "ends here.",
                                        column, sheet, file, workbook.MaxColumns()),
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
        state.messages.Show(fmt::format("The workbook {} has no sheet {}.", file, sheet),
                            MessageIcon::Critical);
        break;
    case CellWrite::ChartSheet:
        state.messages.Show(fmt::format("Cannot write to sheet {} of the workbook {}: it is a "
                                        "chart sheet, which holds no cells. Choose another "
                                        "sheet target.",
                                        sheet, file),
                            MessageIcon::Critical);
        break;
    case CellWrite::OutputFailed:
        state.messages.Show(fmt::format("Cannot write to {}: {}. The conversion of this file "
                                        "ends here.",
                                        file, workbook.WriteFailure()),
                            MessageIcon::Critical);
        break;
    }
    state.recipe.ExportSpecs.FatalProcessError = true;
    return false;
}

std::string ReadCell(const OutputSink& sink, int32_t sheet, int32_t row, int32_t column) {
    if (!sink.xlApp) return {};
    return sink.xlApp->CellText(sheet, row, column);
}

} // namespace vok
