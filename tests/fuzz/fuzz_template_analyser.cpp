// The template analyser: the input's first line is a template, the rest a
// report whose table lies between a line holding ">>1" and one holding "<<1".
// The template is cut into fields, and layouts are derived from the report.
#include "fuzz/FuzzSupport.h"
#include "layout/clsTableParser.h"

#include <cstdlib>

using namespace vok;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text = fuzz::Text(data, size);
    const size_t newline = std::min(text.find('\n'), text.size());
    const std::string_view templ = text.substr(0, newline);
    const std::filesystem::path report =
        fuzz::ScratchFile("report.txt", text.substr(std::min(newline + 1, text.size())));
    const int32_t offset = size > 1 ? static_cast<int8_t>(data[1]) % 4 : 1;
    fuzz::QuietObserver messages;

    clsTableParser parser(messages);
    std::vector<int32_t> starts, ends;
    std::vector<std::string> operators;
    if (parser.analyze_template(templ, starts, ends, operators)) {
        if (starts.size() != ends.size()) std::abort();
        for (size_t i = 0; i < starts.size(); ++i)
            if (starts[i] < 1 || ends[i] < starts[i]) std::abort();
    }
    parser.ReadFromFile(report, ">>1", offset, "<<1", -offset, size > 0 ? data[0] % 10 : 8);
    const std::string fixed = parser.VariableToFixedTemplate(templ);
    parser.analyze_template(fixed, starts, ends, operators);
    return 0;
}
