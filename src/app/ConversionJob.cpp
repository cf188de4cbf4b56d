#include "app/ConversionJob.h"

#include <fmt/format.h>

namespace vok {

int32_t ConversionJob::BeginProcessing() {
    const clsConversionOptions& o = state_.gConversionOptions;
    fmt::print(stderr, "vok will convert {} into {}{}\n", o.sInputFile, o.sOutputFile,
               o.bUseRecipe ? " with the recipe " + o.sRecipeFile : " using its mark-up");
    return 0;
}

} // namespace vok
