// The export specification: the working form of a recipe. An ordered list of
// sections (titles, tables, consolidations), their long-format file, the
// expansion of recipes and marked-up reports into it, and the run state the
// sections share: per-sheet write pointers, the fatal-error flag and the count
// of processed tables.
#pragma once

#include "base/TextReader.h"
#include "engine/clsCon.h"
#include "engine/clsTable.h"
#include "engine/clsTitle.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vok {

class Messages;
class ProgramState;
class CsvWriter;

class clsExportSpecs {
public:
    int32_t ProcessedTables = 0;
    bool FatalProcessError = false;
    std::string FileHeader_Product = "VOK";
    std::string FileHeader_FileType = "EXPORT SPEC";
    std::string FileHeader_FileFormat = "1.1";
    std::string Name;
    std::vector<std::string> SectionSequenceCollection; // "Title", "Table" or "Consolidate"
    std::vector<clsTitle> TitlesCollection;
    std::vector<clsTable> TablesCollection;
    std::vector<clsCon> ConsolidateCollection;

    // Expands a short-format recipe into a long-format file, deriving layouts
    // from the report where a template asks for it.
    void FileConvertShortToLong(ProgramState& state, const std::string& short_file,
                                const std::string& long_file, const std::string& textDataFile);
    // Writes a short-format recipe from the ">>" and "<<" marks of a report.
    void FileCreateShort(ProgramState& state, const std::string& text_file,
                         const std::string& short_file);

    int32_t getWritePointer(Messages& messages, int32_t sheet) const;
    void setWritePointer(Messages& messages, int32_t sheet, int32_t write_pointer);

    void ReadFromFile(ProgramState& state, const std::string& file_name);
    bool WriteToFile(ProgramState& state, const std::string& file_name) const;

    // Runs all sections into the open CSV output, or the workbook when `csv` is null.
    void Process(ProgramState& state, CsvWriter* csv);

    void PropertyPrintCons() const {}
    void PropertyPrintTables() const {}

    int32_t TitleCount() const { return titleCount_; }
    int32_t TableCount() const { return tableCount_; }
    int32_t ConsolidationCount() const { return conCount_; }

private:
    void BuildSectionSequence(const std::string& file_name);
    struct MarkedTable {
        int64_t startLine = 0;
        int64_t endLine = 0;
        std::string templateLine;
    };
    MarkedTable FindMarkedTable(TextReader& file, std::string_view startMark,
                                std::string_view endMark);

    int32_t titleCount_ = 0;
    int32_t tableCount_ = 0;
    int32_t conCount_ = 0;
    int32_t writePointer1_ = 1;
    int32_t writePointer2_ = 1;
};

} // namespace vok
