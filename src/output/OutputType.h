// The kind of output a file name asks for, decided once per output file from
// its name: ".CSV" anywhere in the file name (letter case ignored) makes a CSV
// file, otherwise ".XLS" anywhere makes a workbook. Only the file name counts,
// never its folders. A workbook whose name ends in ".xls" is an Excel 97-2003
// workbook, one ending in ".xlsm" a macro-enabled Office Open XML workbook,
// any other an Office Open XML workbook; a name ending in ".xlsb" asks for a
// binary workbook, which vok cannot write. A name ending in ".sqlite",
// ".sqlite3" or ".db" (any case) is a SQLite database, whatever else it holds.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vok {

enum class OutputType { Csv, Xls, Xlsx, Xlsm, Sqlite };

// Empty when the name asks for no type vok writes; OutputTypeRefusal says why.
std::optional<OutputType> OutputTypeOf(const std::filesystem::path& file);

// The message for a name OutputTypeOf refuses.
std::string OutputTypeRefusal(const std::filesystem::path& file);

// A workbook of one of the engines (sheets, cells, a lock file beside it).
inline bool IsWorkbook(OutputType type) {
    return type != OutputType::Csv && type != OutputType::Sqlite;
}

// An Office Open XML workbook (.xlsx or .xlsm).
inline bool IsOpenXml(OutputType type) {
    return type == OutputType::Xlsx || type == OutputType::Xlsm;
}

// The largest sheet of a workbook type: the engines refuse a cell beyond it,
// and the recipe preview judges a run by the same limits.
struct SheetLimits {
    int32_t maxRows;
    int32_t maxColumns;
};
constexpr SheetLimits SheetLimitsOf(OutputType workbook) {
    return workbook == OutputType::Xls ? SheetLimits{65'536, 256} : SheetLimits{1'048'576, 16'384};
}
// Characters a workbook cell holds, in either format.
inline constexpr int32_t kMaxCellTextChars = 32'767;

} // namespace vok
