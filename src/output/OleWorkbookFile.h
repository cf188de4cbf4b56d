// The OLE2 compound file around an .xls workbook's record stream.
//
// Reading gives the "Workbook" stream and the names of the other top-level
// entries (macros and embedded objects live there). Writing builds the whole
// container in memory, then replaces the file atomically: a temporary file
// beside it, flushed to disk, renamed over it. A failed write leaves the
// earlier file as it was.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

struct OleWorkbookContents {
    bool hasWorkbookStream = false;
    bool hasOldBookStream = false;   // "Book": Excel 5.0/95
    std::string workbook;            // the Workbook stream
    std::vector<std::string> others; // names of the other top-level entries
};

class OleWorkbookFile {
public:
    // False, with the reason, when the file is no OLE2 compound file or cannot
    // be read.
    static bool Read(const std::filesystem::path& path, OleWorkbookContents& contents,
                     std::string& reason);

    // Writes `workbook` as the Workbook stream of a new container at `path`.
    // False, with the reason, when that failed; the earlier file is intact.
    static bool Write(const std::filesystem::path& path, std::string_view workbook,
                      std::string& reason);
};

} // namespace vok
