// The conversion job: turns one set of options into output files.
#pragma once

#include "app/ProgramState.h"

#include <cstdint>

namespace vok {

class ConversionJob {
public:
    explicit ConversionJob(ProgramState& state) : state_(state) {}

    // Runs one job with the options as they stand.
    int32_t BeginProcessing();

private:
    ProgramState& state_;
};

} // namespace vok
