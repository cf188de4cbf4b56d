// Short-recipe expansion: the input is a recipe and a report (cut by a line
// "--8<--"); the recipe is expanded into the long format against the report,
// and the report's marks are turned into a recipe and expanded in turn.
#include "fuzz/FuzzSupport.h"
#include "recipe/ExportSpecFile.h"

using namespace vok;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string_view> parts = fuzz::Parts(fuzz::Text(data, size), 2);
    const std::filesystem::path recipe = fuzz::ScratchFile("recipe.rcp", parts[0]);
    const std::filesystem::path report = fuzz::ScratchFile("report.txt", parts[1]);
    const int32_t tabSize = size > 0 ? data[0] % 10 : 8;
    fuzz::QuietObserver observer;

    FileConvertShortToLong(observer, "", recipe, fuzz::ScratchPath("long.t2x"), report, tabSize);

    const std::filesystem::path marked = fuzz::ScratchPath("auto.rcp");
    FileCreateShort(observer, report, marked);
    FileConvertShortToLong(observer, "", marked, fuzz::ScratchPath("auto.t2x"), report, tabSize);
    return 0;
}
