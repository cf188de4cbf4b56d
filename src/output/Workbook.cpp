#include "output/Workbook.h"

#include "output/WorkbookModule.h"

#include "base/ProgramLayout.h"

#include <dlfcn.h>
#include <filesystem>
#include <fmt/format.h>
#include <system_error>
#include <vector>

#ifndef VOK_WORKBOOK_MODULE_DIR
#define VOK_WORKBOOK_MODULE_DIR ""
#endif

namespace vok {

namespace {

// A workbook engine, loaded on the first workbook job of the process that
// needs it and kept: the module of the program's layout (beside it, or in
// lib/vok/ of an installation), or the one in the build tree (for programs
// built into a folder of their own).
class WorkbookEngine {
public:
    using Open = void (*)(const std::filesystem::path*, int, WorkbookOpenResult*);

    explicit WorkbookEngine(const char* moduleName) : name_(moduleName) {
        const ProgramLayout layout = ThisProgramLayout();
        std::vector<std::filesystem::path> places;
        if (!layout.moduleFolder.empty()) places.push_back(layout.moduleFolder / moduleName);
        // An installation uses its own module only, never the build tree's.
        if (*VOK_WORKBOOK_MODULE_DIR && !layout.installed)
            places.push_back(std::filesystem::path(VOK_WORKBOOK_MODULE_DIR) / moduleName);
        for (const std::filesystem::path& place : places) {
            // The module stays loaded: the workbooks it makes use its code until the end.
            void* module = ::dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (!module) {
                if (error_.empty()) error_ = ::dlerror();
                continue;
            }
            open_ = reinterpret_cast<Open>(::dlsym(module, kVokWorkbookEntry));
            if (open_) return;
            error_ = fmt::format("{} has no entry {}", place.string(), kVokWorkbookEntry);
        }
        if (error_.empty()) error_ = "the program's own folder is unknown";
    }

    WorkbookOpenResult OpenFile(const std::filesystem::path& fileName, OutputType type) const {
        WorkbookOpenResult result;
        if (!open_) {
            result.error = fmt::format("Cannot open the workbook {}: the workbook engine {} "
                                       "cannot be loaded ({}).",
                                       fileName.string(), name_, error_);
            return result;
        }
        open_(&fileName, static_cast<int>(type), &result);
        return result;
    }

private:
    const char* name_;
    Open open_ = nullptr;
    std::string error_;
};

// A missing or empty file becomes a new workbook.
bool IsNewWorkbookFile(const std::filesystem::path& fileName) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(fileName, ec);
    if (status.type() == fs::file_type::not_found) return true;
    return !ec && fs::is_regular_file(status) && fs::file_size(fileName, ec) == 0 && !ec;
}

} // namespace

WorkbookOpenResult OpenWorkbookFile(const std::filesystem::path& fileName, OutputType type) {
    // Each engine is loaded once, by whichever thread comes first, and only
    // when a job needs it; never changed afterwards.
    if (IsOpenXml(type) && IsNewWorkbookFile(fileName)) {
        static const WorkbookEngine newXlsx(kVokNewXlsxModule);
        return newXlsx.OpenFile(fileName, type);
    }
    static const WorkbookEngine engines(kVokWorkbookModule);
    return engines.OpenFile(fileName, type);
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
