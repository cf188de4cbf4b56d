#include "output/WorkbookConnection.h"

#include "base/Messages.h"

namespace vok {

bool IsExcelRunning(const std::filesystem::path& outputFile) {
    return WorkbookIsLocked(outputFile);
}

bool OpenExcelWorkbook(Messages& messages, const std::filesystem::path& fileName, OutputType type,
                       std::unique_ptr<Workbook>& xlApp) {
    xlApp.reset();
    WorkbookOpenResult opened = OpenWorkbookFile(fileName, type);
    if (!opened.workbook) {
        messages.Show(opened.error, MessageIcon::Critical);
        return false;
    }
    xlApp = std::move(opened.workbook);
    return true;
}

bool SaveExcelWorkbook(Messages& messages, const std::filesystem::path& fileName, Workbook& xlApp,
                       const StopRequest* stop) {
    std::string error;
    if (xlApp.Save(error, stop)) return true;
    // An interrupt kept the earlier file: the job says so itself.
    if (stop && stop->Interrupted()) return false;
    messages.Show(error.empty() ? "Cannot save the workbook " + fileName.string() : error,
                  MessageIcon::Critical);
    return false;
}

void CloseExcel(std::unique_ptr<Workbook>& xlApp) {
    xlApp.reset();
}

} // namespace vok
