// The report reader: the input is a report in any encoding with any line
// ends and tabs. It is read line by line, searched for key lines, its tabs
// expanded, and its lines cut into fields by the line processor.
#include "base/TextAccess.h"
#include "engine/JobState.h"
#include "fuzz/FuzzSupport.h"

#include <cstdlib>

using namespace vok;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text = fuzz::Text(data, size);
    const std::filesystem::path file = fuzz::ScratchFile("report.txt", text);
    const int32_t tabSize = size > 0 ? data[0] % 10 : 8;

    TextReader reader(file);
    int64_t lines = 0;
    std::string expanded;
    std::string_view line;
    while (reader.ReadLine(line)) {
        ++lines;
        expanded.clear();
        ExpandTabsInto(expanded, line, tabSize);
    }
    reader.Rewind();
    if (reader.SkipLines(lines + 5) != lines) std::abort();
    reader.Rewind();
    const std::string key(text.substr(0, std::min<size_t>(3, text.size())));
    find_key_line(reader, {key, "TOTAL", "END", "Col"});
    find_key_line(reader, {">>", {}, {}, {}}, 1, 2);

    fuzz::QuietObserver observer;
    StopRequest stop;
    JobState state(observer, stop);
    reader.Rewind();
    clsLineProcessor& processor = state.recipe.LineProcessor;
    std::string scratch;
    for (int64_t i = 0; i < lines && i < 200 && reader.ReadLine(line); ++i) {
        processor.SetRawRow(line, tabSize, false);
        processor.StoreRawRowInSlot1(false);
        for (const auto& [start, end] : {std::pair{1, 10}, std::pair{5, 6}, std::pair{3, 400},
                                         std::pair{1, 2147483647}, std::pair{2147483647, 1}}) {
            processor.FieldValue(state.messages, state.recipe.gRecipe, 0, start, end, scratch);
            processor.FieldValue(state.messages, state.recipe.gRecipe, 2, start, end, scratch);
        }
    }
    return 0;
}
