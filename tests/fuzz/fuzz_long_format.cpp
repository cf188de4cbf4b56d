// The long-format reader and its run: the input is a long-format recipe
// (an export-specs file) and a report (cut by a line "--8<--"). The recipe is read, then run
// into a CSV file and into a workbook held in memory (titles and
// consolidations included).
#include "engine/JobState.h"
#include "fuzz/FuzzSupport.h"
#include "output/CsvWriter.h"
#include "support/FakeWorkbook.h"

using namespace vok;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string_view> parts = fuzz::Parts(fuzz::Text(data, size), 2);
    const std::filesystem::path spec = fuzz::ScratchFile("spec.t2x", parts[0]);
    const std::filesystem::path report = fuzz::ScratchFile("report.txt", parts[1]);
    fuzz::QuietObserver observer;
    StopRequest stop;
    JobState state(observer, stop);
    state.job.gInputFile = report;
    state.recipe.gRecipe.InputFileName[0] = report;
    state.job.gTabSize = size > 0 ? data[0] % 10 : 8;

    state.recipe.ExportSpecs.ReadFromFile(state.messages, spec);

    CsvWriter csv(fuzz::ScratchPath("out.csv"));
    std::string error;
    if (csv.Open(error)) {
        state.recipe.ExportSpecs.Process(state, &csv);
        csv.Discard();
    }
    state.sink.xlApp = std::make_unique<test::FakeWorkbook>(3, 65'536, 256);
    state.recipe.ExportSpecs.Process(state, nullptr);
    state.sink.xlApp.reset();
    return 0;
}
