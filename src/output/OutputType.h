// The kind of output a file name asks for, decided once per output file from
// its name: ".CSV" anywhere in the file name (letter case ignored) makes a CSV
// file, otherwise ".XLS" anywhere makes a workbook. Only the file name counts,
// never its folders. A workbook whose name ends in ".xls" is an Excel 97-2003
// workbook, any other an Office Open XML workbook.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace vok {

enum class OutputType { Csv, Xls, Xlsx };

// Empty when the name asks for neither.
std::optional<OutputType> OutputTypeOf(const std::filesystem::path& file);

inline bool IsWorkbook(OutputType type) {
    return type != OutputType::Csv;
}

} // namespace vok
