// The export-specs file (the long format, ".t2x") as the recipe
// layer makes it: the expansion of a short-format recipe into it, the
// short-format recipe made from the ">>" and "<<" marks of a report, and the
// table and column sections, spelled here once for every writer.
//
// Expansion of a short-format recipe (FileConvertShortToLong), per table:
//   read its keys from the recipe;
//   upper-case the template; a template with "=", or one of the keywords
//     "=", "=L", "=R", "-", reads the table from the report and is expanded
//     to the table's width, then its "=" stretches are resolved;
//   cut the template into fields and make one column per field, numbered
//     from the recipe's first column;
//   write the table and its columns to the long-format file.
// The long-format file is written in memory and committed once at the end.
#pragma once

#include "layout/LineRules.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

class JobObserver;
class Messages;
class ProfileWriter;
class SectionedCursor;
class SectionedText;
class TextIndex;

// The header every export-specs file carries.
inline constexpr std::string_view kExportSpecProduct = "VOK";
inline constexpr std::string_view kExportSpecFileType = "EXPORT SPEC";
inline constexpr std::string_view kExportSpecFileFormat = "1.1";

// Expands a short-format recipe into a long-format file, deriving layouts
// from the report `textDataFile` where a template asks for it. `caption` is
// the caption the progress texts build on; it is given back at the end.
// The job converts from memory (ConvertShortToLong); this file-to-file face
// serves LoadFromFileShort, the tests and the fuzz target.
void FileConvertShortToLong(JobObserver& observer, std::string_view caption,
                            const std::filesystem::path& short_file,
                            const std::filesystem::path& long_file,
                            const std::filesystem::path& textDataFile, int32_t tabSize);

// Writes a short-format recipe from the ">>" and "<<" marks of a report: one
// table per block marked soundly above the first fault of the marks (a mark
// never closed, out of order or without a template line), which is said with
// the line where the reading of marks stopped. False, after a message, when
// the report cannot be read, the recipe cannot be written or it holds no table.
// The job and the preview call MakeShortFromMarks into memory; this file face
// serves the tests and the fuzz target.
bool FileCreateShort(JobObserver& observer, const std::filesystem::path& text_file,
                     const std::filesystem::path& short_file);

// True when expanding the recipe `shortText` reads the report: a table's
// template derives its layout from it. Otherwise the expansion is the same for
// every report, and a job of many reports may make it once.
bool ExpansionReadsTheReport(const SectionedText& shortText);

// The same two in memory, as a job runs them: the long format of the recipe
// `shortText` into `longFile`, the report read through its index; and the
// recipe of a marked report into `recipe`, in one read of the report. The
// caller commits the files.
// `piecesDone`, when given, is called once the header and [General] are
// written (with null) and again after each table's sections: with the values
// written into them where the table's section holds its keys only, else
// with null. `tables`, when given, is CountTableSections(shortText), which
// a job counts once for all its uses.
struct ExpandedTable;
void ConvertShortToLong(JobObserver& observer, std::string_view caption,
                        const SectionedText& shortText, ProfileWriter& longFile, TextIndex& report,
                        int32_t tabSize,
                        const std::function<void(const ExpandedTable*)>& piecesDone = {},
                        std::optional<int64_t> tables = std::nullopt);
struct MarkedRecipe {
    bool read = false;   // false: the report could not be read, `problem` says why
    int64_t tables = 0;  // the tables of the recipe
    std::string problem; // the first fault of the marks, or ""
};
// `readFrom`, when given, is where the report's text lies (the text rebuilt
// from a PDF report); messages name `text_file`.
MarkedRecipe MakeShortFromMarks(const std::filesystem::path& text_file, ProfileWriter& recipe,
                                const std::filesystem::path& readFrom = {});

// Announces to the report's index the key texts of every table of a recipe or
// export-specs file, so that one read of the report finds them all.
void ExpectKeyTexts(const SectionedText& recipe, TextIndex& report);
// Those key texts (each table's start and end), in table order.
std::vector<std::string> KeyTextsOf(const SectionedText& recipe);

// The keys of a table section "Table n", in the order readers expect.
struct TableSectionKeys {
    std::string_view ReadStartLine;
    int32_t ReadStartLineOffset = 0;
    std::string_view ReadEndLine;
    int32_t ReadEndLineOffset = 0;
    int32_t TotalColumns = 0;
    // The lines left out and the group lines, written after the keys above
    // only where set, so that a table without them is written as before.
    const LineRules* Lines = nullptr;
};
void WriteTableSection(ProfileWriter& file, int32_t table_number, const TableSectionKeys& keys);

// The optional keys of a table section that say which lines it leaves out
// and which carry group values, read into `rules`: SkipLine<n> (from 1 up to
// the first missing number), SkipBlankLines, PageHeaderLines, and GroupLine<k>
// with GroupParsing<k> and GroupWriteColumn<k>. `lookup(key, trimMode)` gives
// a key's value in the table's section, or kMissing. False after a message
// naming the section and the key when a value is unusable.
using SectionKeyLookup = std::function<std::string(std::string_view key, int32_t trimMode)>;
bool ReadLineRules(Messages& messages, const SectionKeyLookup& lookup, std::string_view section,
                   LineRules& rules);
// False when the keys of a section from `from` on (up to the line that ends
// it) hold none of the keys ReadLineRules looks up: the section has no line
// rules then, and they need not be looked up one by one.
bool MayHoldLineRules(const SectionedCursor& from);
void WriteLineRules(ProfileWriter& file, std::string_view section, const LineRules& rules);

// The keys of a column section "Table n Col c".
struct ColumnSectionKeys {
    int32_t ReadColumnStart = 1;
    int32_t ReadColumnEnd = 1;
    std::string_view WriteColumn;
    std::string_view PeriodOperator;
};
void WriteColumnSection(ProfileWriter& file, int32_t table_number, int32_t col,
                        const ColumnSectionKeys& keys);

// A table as the expansion wrote it: its section (without lines left out or
// groups) and its columns' sections in order. Views, valid during the call.
struct ExpandedTable {
    int32_t number = 0;
    const TableSectionKeys& keys;
    std::span<const ColumnSectionKeys> columns;
};

} // namespace vok
