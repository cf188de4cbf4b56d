// The OLE2 compound file around an .xls workbook's record stream.
//
// Reading gives the "Workbook" stream and every other entry (document
// properties, macros and embedded objects live there). Writing builds the
// whole container in memory, the other entries as they were read, then
// replaces the file atomically: a temporary file beside it, renamed over it.
// A failed write leaves the earlier file as it was.
#pragma once

#include "base/StopRequest.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

using OleClassId = std::array<uint8_t, 16>;

// An entry of the container: a stream and its bytes, or a storage with its
// class and its own entries.
struct OleEntry {
    std::string name;
    bool storage = false;
    std::string bytes;
    OleClassId classId{};
    std::vector<OleEntry> children;
};

struct OleWorkbookContents {
    bool hasWorkbookStream = false;
    bool hasOldBookStream = false; // "Book": Excel 5.0/95
    std::string workbook;          // the Workbook stream
    OleClassId rootClassId{};
    std::vector<OleEntry> others; // the other top-level entries, in the file's order
};

class OleWorkbookFile {
public:
    // False, with the reason, when the file is no OLE2 compound file or cannot
    // be read.
    static bool Read(const std::filesystem::path& path, OleWorkbookContents& contents,
                     std::string& reason);

    // Writes `workbook` as the Workbook stream of a new container at `path`,
    // with the other entries and the class of an existing one.
    // False, with the reason, when that failed; the earlier file is intact.
    // With `stop`, an interrupt before the rename leaves the earlier file.
    static bool Write(const std::filesystem::path& path, std::string_view workbook,
                      std::string& reason, const StopRequest* stop = nullptr);
    static bool Write(const std::filesystem::path& path, std::string_view workbook,
                      const std::vector<OleEntry>& others, const OleClassId& rootClassId,
                      std::string& reason, const StopRequest* stop = nullptr);
};

} // namespace vok
