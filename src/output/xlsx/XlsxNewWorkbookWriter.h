// Creates a new, empty .xlsx workbook through libxlsxwriter: the package with
// its sheets, styles, theme and document properties. Cells reach it afterwards
// like any existing workbook's, through the engine's own sheet writer.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vok {

class XlsxNewWorkbookWriter {
public:
    // Writes to `path` as it is (the caller passes a temporary file).
    static bool Write(const std::filesystem::path& path, const std::vector<std::string>& sheetNames,
                      std::string& error);
};

} // namespace vok
