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

// The workbook engine, loaded on the first workbook job of the process and
// kept: the module of the program's layout (beside it, or in lib/vok/ of an
// installation), or the one in the build tree (for programs built into a
// folder of their own).
class WorkbookEngine {
public:
    using Open = void (*)(const std::filesystem::path*, int, WorkbookOpenResult*);

    WorkbookEngine() {
        const ProgramLayout layout = ThisProgramLayout();
        std::vector<std::filesystem::path> places;
        if (!layout.moduleFolder.empty()) places.push_back(layout.moduleFolder / kVokWorkbookModule);
        // An installation uses its own module only, never the build tree's.
        if (*VOK_WORKBOOK_MODULE_DIR && !layout.installed)
            places.push_back(std::filesystem::path(VOK_WORKBOOK_MODULE_DIR) / kVokWorkbookModule);
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

    Open open() const { return open_; }
    const std::string& error() const { return error_; }

private:
    Open open_ = nullptr;
    std::string error_;
};

} // namespace

WorkbookOpenResult OpenWorkbookFile(const std::filesystem::path& fileName, OutputType type) {
    // Loaded once, by whichever thread comes first; never changed afterwards.
    static const WorkbookEngine engine;
    WorkbookOpenResult result;
    if (!engine.open()) {
        result.error = fmt::format("Cannot open the workbook {}: the workbook engine {} cannot "
                                   "be loaded ({}).",
                                   fileName.string(), kVokWorkbookModule, engine.error());
        return result;
    }
    engine.open()(&fileName, static_cast<int>(type), &result);
    return result;
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
