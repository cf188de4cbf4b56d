#include "output/OutputType.h"

#include "base/TextEncoding.h"

#include <string>

namespace vok {

std::optional<OutputType> OutputTypeOf(const std::filesystem::path& file) {
    const std::string name = AsciiUpper(file.filename().native());
    if (name.find(".CSV") != std::string::npos) return OutputType::Csv;
    if (name.find(".XLS") == std::string::npos) return std::nullopt;
    constexpr std::string_view kXls = ".XLS";
    const bool endsInXls = name.size() >= kXls.size() && name.ends_with(kXls);
    return endsInXls ? OutputType::Xls : OutputType::Xlsx;
}

} // namespace vok
