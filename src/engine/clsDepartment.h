// One department of a consolidation: the key texts that bound its accounts in
// the table's account column, and the account names found there.
#pragma once

#include "recipe/SectionedFile.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

class Messages;
struct OutputSink;
class ProfileFile;

class clsDepartment {
public:
    std::vector<std::string> AccountsNames;
    std::vector<int32_t> AccReadRowNumbers;
    std::string ReadStartLine;
    int32_t ReadStartLineOffset = 0;
    std::string ReadEndLine;
    int32_t ReadEndLineOffset = 0;

    // False (after the message) when a key text is missing.
    bool ReadFromFileSequentially(Messages& messages, SectionedCursor& file, int32_t con_number,
                                  int32_t dept_number);
    void WriteToFile(ProfileFile& file, int32_t con_number, int32_t dept) const;

    // Fills the account names and their sheet-1 rows from the workbook.
    void ReadAccountNames(Messages& messages, const OutputSink& sink, int32_t table_start_row,
                          int32_t table_end_row, std::string_view accounts_column);

private:
    int32_t FindKeyRow(Messages& messages, const OutputSink& sink, int32_t sheet,
                       std::string_view letters, int32_t first_row, int32_t last_row,
                       const std::string& key) const;
};

} // namespace vok
