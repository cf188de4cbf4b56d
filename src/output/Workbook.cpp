#include "output/Workbook.h"

#include "output/XlsWorkbook.h"
#include "output/XlsxWorkbook.h"

#include <filesystem>

namespace vok {

WorkbookOpenResult OpenWorkbookFile(const std::filesystem::path& fileName, OutputType type) {
    if (type == OutputType::Xls) return OpenXlsWorkbook(fileName);
    return OpenXlsxWorkbook(fileName);
}

bool WorkbookIsLocked(const std::filesystem::path& fileName) {
    namespace fs = std::filesystem;
    fs::path path(fileName);
    std::string name = path.filename().string();
    if (name.empty()) return false;
    fs::path folder = path.parent_path();
    std::error_code ec;
    // The lock files spreadsheet programs leave beside an open workbook.
    return fs::exists(folder / (".~lock." + name + "#"), ec) ||
           fs::exists(folder / ("~$" + name), ec);
}

} // namespace vok
