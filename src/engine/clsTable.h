// A table section: where one table lies in the report (a key text near its top
// and one near its bottom, each with a line offset) and its columns.
#pragma once

#include "engine/clsColumn.h"
#include "layout/LineRules.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

class JobState;
class Messages;
class RepeatFoldingMessages;
class ProfileFile;
class CsvWriter;
class TextIndex;
class TablePass;
class OnePassText;
struct ExpandedTable;

class clsTable {
public:
    int32_t WriteTableTopRow = 0;
    int32_t WriteTableBottomRow = 0;
    std::string ReadStartLine;
    int32_t ReadStartLineOffset = 0;
    std::string ReadEndLine;
    int32_t ReadEndLineOffset = 0;
    int32_t TotalColumns = 0;
    std::vector<clsColumn> ColumnsCollection;
    // The lines the table leaves out and the groups it carries onto its rows.
    LineRules Lines;

    // Where the last pass found the table: the lines holding its key texts
    // and its first and last data lines; 0 where the pass did not get so far.
    int64_t StartKeyLine = 0;
    int64_t EndKeyLine = 0;
    int64_t FirstDataLine = 0;
    int64_t LastDataLine = 0;

    void ReadFromFile(RepeatFoldingMessages& messages, const std::filesystem::path& file_name,
                      int32_t table_number);
    // The same on the file's text, read once for all its sections.
    void ReadFromFile(RepeatFoldingMessages& messages, const SectionedText& text,
                      int32_t table_number);
    void ReadFromFileSequentially(RepeatFoldingMessages& messages, SectionedCursor& file,
                                  int32_t table_number);
    // The table from the values the expansion just wrote into its sections,
    // as reading them back gives it, without the text: false, saying nothing,
    // where that reading would say something or read a value otherwise.
    bool TakeWritten(const ExpandedTable& written);
    void WriteToFile(ProfileFile& file, int32_t table_number) const;

    // Runs the table into the open CSV output, or into the workbook when
    // `csv` is null.
    void Process(JobState& state, CsvWriter* csv);

    // The sheet columns its rows fill, in ascending order, each once: its
    // fields' WriteColumn letters, then its groups' columns. Letters that
    // name no column are left out (the run says so).
    std::vector<int32_t> SheetColumns() const;

    // False once reading the section (or one of its columns) failed a check:
    // running it would write what the file does not say.
    bool Valid() const { return valid_; }

private:
    // The parts of the table's own section, read in file order; false after
    // a fault that was said.
    bool ReadKeyTexts(Messages& messages, SectionedCursor& file, const std::string& section);
    bool ReadColumns(RepeatFoldingMessages& messages, SectionedCursor& file,
                     const std::string& section, int32_t columns);
    // Where the table's lines lie: the report its keys are searched in, and
    // its first and last data lines.
    struct Span {
        const std::filesystem::path* keyFile = nullptr; // the recipe's
        TextIndex* keys = nullptr;
        int64_t first = 0, last = 0;
    };
    bool FindKeyLines(JobState& state, Span& span);
    bool CheckSpan(JobState& state, Span& span);
    // The checks of the columns a pass makes before its first row.
    bool CheckColumns(JobState& state, bool csv, int32_t columns);
    // A table that reads its key lines and its rows in one pass over the
    // report (see OnePassTable.cpp); false when it runs the usual way.
    bool FitsOnePass(JobState& state) const;
    bool ProcessInOnePass(JobState& state, CsvWriter& csv);
    // The rows to the table's last line; false when none of them counts.
    bool RowsInOnePass(JobState& state, OnePassText& text, TablePass& pass,
                       std::string_view pending, int64_t startOffset);
    bool FinishOnePass(JobState& state, OnePassText& text, TablePass& pass, int64_t startOffset);
    friend class TablePass;

    int32_t number_ = 0; // the section's number, for messages
    bool valid_ = true;
};

} // namespace vok
