// A title: a few fixed lines of text written into one column of a sheet,
// above or between tables. Titles are written to workbooks only.
#pragma once

#include "recipe/SectionedFile.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vok {

class JobState;
class Messages;
class ProfileFile;

class clsTitle {
public:
    int32_t WriteSheet = 1;
    std::string WriteColumn = "A";
    std::vector<std::string> TextLines;

    void ReadFromFile(Messages& messages, const std::filesystem::path& file_name,
                      int32_t title_number);
    // The same on the file's text, read once for all its sections.
    void ReadFromFile(Messages& messages, const SectionedText& text,
                      const std::filesystem::path& file_name, int32_t title_number);
    void ReadFromFileSequentially(Messages& messages, SectionedCursor& file, int32_t title_number);
    void WriteToFile(ProfileFile& file, int32_t title_number) const;

    // Writes the lines into the workbook and moves the sheet's write pointer.
    void Process(JobState& state);
};

} // namespace vok
