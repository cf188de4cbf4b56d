// A consolidation: after a table is written to sheet 1, its departments'
// accounts are merged by name into one row per account on sheet 2, amounts of
// accounts that occur in several departments added up.
#pragma once

#include "engine/clsDepartment.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vok {

class JobState;
class Messages;
class ProfileFile;

class clsCon {
public:
    int32_t WriteConTopRow = 0;
    int32_t WriteConBottomRow = 0;
    int32_t Table = 0;
    int32_t ReadAccountsColumn = 1;
    int32_t TotalDepartments = 1;
    std::vector<clsDepartment> DepartmentsCollection;
    std::vector<std::string> AccNames;
    std::vector<int32_t> AccReadRowNumbers;
    std::vector<int32_t> DupAccReadRowNumbers;
    std::vector<int32_t> DupAccWriteRowNumbers;

    // `tables`: how many tables the export-specs file holds before it; the
    // section must name one of them.
    void ReadFromFile(Messages& messages, const std::filesystem::path& file_name,
                      int32_t con_number, size_t tables);
    // The same on the file's text, read once for all its sections.
    void ReadFromFile(Messages& messages, const SectionedText& text,
                      const std::filesystem::path& file_name, int32_t con_number, size_t tables);
    void ReadFromFileSequentially(Messages& messages, SectionedCursor& file, int32_t con_number,
                                  size_t tables);
    void WriteToFile(ProfileFile& file, int32_t con_number) const;

    // Runs the consolidation on the open workbook.
    void Process(JobState& state);

    // False once reading the section (or a department's) failed a check.
    bool Valid() const { return valid_; }

private:
    void MergeAccounts(Messages& messages);
    bool CopyAccountRows(JobState& state);
    bool CopyRow(JobState& state, int32_t read_row, int32_t write_row, bool add);
    bool CopyCell(JobState& state, int32_t read_row, int32_t write_row, int32_t column, bool add);

    // Sheet column numbers of the consolidated table's columns, worked out
    // once per pass instead of once per cell.
    std::vector<int32_t> copyColumns_;
    bool valid_ = true;
};

} // namespace vok
