// Reads the sheets of an existing .xls workbook: names and cell values through
// FreeXL, number formats and exact date values from the record stream (which
// FreeXL turns into text).
#pragma once

#include "output/Biff8Inspector.h"
#include "output/SheetData.h"

#include <filesystem>
#include <string>
#include <vector>

namespace vok {

class XlsReader {
public:
    // False, with the reason, when the workbook cannot be read.
    static bool Read(const std::filesystem::path& path, const Biff8Contents& contents,
                     std::vector<SheetData>& sheets, FormatTable& formats, std::string& reason);
};

} // namespace vok
