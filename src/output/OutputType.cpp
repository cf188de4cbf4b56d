#include "output/OutputType.h"

#include "base/TextEncoding.h"

#include <fmt/format.h>
#include <string>

namespace vok {

namespace {

// What a file name asks for, the names vok cannot honour among them.
enum class NameKind { Csv, Xls, Xlsx, Xlsm, BinaryWorkbook, Sqlite, Unknown };

NameKind KindOf(const std::filesystem::path& file) {
    const std::string name = AsciiUpper(file.filename().native());
    // A database's ending wins over ".csv" or ".xls" earlier in the name.
    if (name.ends_with(".SQLITE") || name.ends_with(".SQLITE3") || name.ends_with(".DB"))
        return NameKind::Sqlite;
    if (name.find(".CSV") != std::string::npos) return NameKind::Csv;
    if (name.find(".XLS") == std::string::npos) return NameKind::Unknown;
    if (name.ends_with(".XLS")) return NameKind::Xls;
    if (name.ends_with(".XLSM")) return NameKind::Xlsm;
    if (name.ends_with(".XLSB")) return NameKind::BinaryWorkbook;
    return NameKind::Xlsx;
}

} // namespace

std::optional<OutputType> OutputTypeOf(const std::filesystem::path& file) {
    switch (KindOf(file)) {
    case NameKind::Csv:
        return OutputType::Csv;
    case NameKind::Xls:
        return OutputType::Xls;
    case NameKind::Xlsx:
        return OutputType::Xlsx;
    case NameKind::Xlsm:
        return OutputType::Xlsm;
    case NameKind::Sqlite:
        return OutputType::Sqlite;
    case NameKind::BinaryWorkbook:
    case NameKind::Unknown:
        break;
    }
    return std::nullopt;
}

std::string OutputTypeRefusal(const std::filesystem::path& file) {
    if (KindOf(file) == NameKind::BinaryWorkbook) {
        return fmt::format("vok cannot write binary workbooks (.xlsb): {}. Name the output "
                           ".xlsx, .xlsm or .xls.",
                           file.string());
    }
    return "Output File must be of type XLS or CSV";
}

} // namespace vok
