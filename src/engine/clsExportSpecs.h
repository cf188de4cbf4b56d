// The export-specs file: the working form of a recipe. An ordered list of
// sections (titles, tables, consolidations), read from and written to its
// long-format file, the run that walks them, and the run state the sections
// share: per-sheet write pointers, the fatal-error flag and the count
// of processed tables.
#pragma once

#include "base/Messages.h"
#include "base/TextReader.h"
#include "engine/clsCon.h"
#include "engine/clsTable.h"
#include "engine/clsTitle.h"
#include "recipe/ExportSpecFile.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

class Messages;
class RepeatFoldingMessages;
class JobState;
class CsvWriter;
class SectionWriter;

class clsExportSpecs {
public:
    int32_t ProcessedTables = 0;
    // Tables of the last run that wrote at least one row: a run that wrote
    // none must not replace the output the user had.
    int32_t TablesWritten = 0;
    bool FatalProcessError = false;
    std::string FileHeader_Product{kExportSpecProduct};
    std::string FileHeader_FileType{kExportSpecFileType};
    std::string FileHeader_FileFormat{kExportSpecFileFormat};
    std::string Name;
    std::vector<std::string> SectionSequenceCollection; // "Title", "Table" or "Consolidate"
    std::vector<clsTitle> TitlesCollection;
    std::vector<clsTable> TablesCollection;
    std::vector<clsCon> ConsolidateCollection;

    int32_t getWritePointer(Messages& messages, int32_t sheet) const;
    void setWritePointer(Messages& messages, int32_t sheet, int32_t write_pointer);

    void ReadFromFile(RepeatFoldingMessages& messages, const std::filesystem::path& file_name);
    // The same on the file's text, read once: `file_name` names it in messages.
    void ReadFromText(RepeatFoldingMessages& messages, const SectionedText& text,
                      const std::filesystem::path& file_name);
    bool WriteToFile(Messages& messages, const std::filesystem::path& file_name) const;

    // Reads an export-specs file a piece at a time as it is written
    // (SectionWriter::Flush): its header and [General], then each table with
    // its columns, so that the whole text is never held. The result is what
    // ReadFromText gives on the whole file: a piece the whole reading would
    // take otherwise (one holding a section header it counts) has Finish read
    // the file back whole, and tables whose reading said something are read
    // again at the end, so that what they say comes after the file's writing,
    // in table order.
    class PieceReader {
    public:
        PieceReader(clsExportSpecs& specs, int64_t tablesExpected);
        void Read(const SectionedText& piece);
        // The next table from the values just written into its sections,
        // without reading their text; false (nothing taken) when the table
        // must be read from the text after all, for that reading would say
        // something or take a value otherwise.
        bool Take(const ExpandedTable& written);
        // What the expansion calls after each piece it wrote into `writer`:
        // a table written as plain keys is taken from its values and its
        // text only goes to the file; any other piece is read from its text.
        std::function<void(const ExpandedTable*)> Following(SectionWriter& writer);
        void Finish(RepeatFoldingMessages& messages, const std::filesystem::path& file_name);
        // The tables taken from their values rather than read from their text.
        size_t Taken() const { return taken_; }

    private:
        // Whether anything was said, which is then dropped.
        class Heard final : public Messages {
        public:
            bool said = false;

        protected:
            void DisplayMessage(std::string_view, MessageIcon, std::string_view,
                                MessageKind) override {
                said = true;
            }
            bool DisplayQuestion(std::string_view, MessageIcon, std::string_view) override {
                said = true;
                return false;
            }
        };
        clsExportSpecs& specs_;
        bool headRead_ = false;
        bool whole_ = false; // the file is read back whole at the end
        size_t taken_ = 0;
        std::vector<std::pair<int32_t, SectionedText>> said_;
        Heard heard_;
        RepeatFoldingMessages quiet_{heard_};
    };

    // Runs all sections into the open CSV output, or the workbook when `csv` is null.
    void Process(JobState& state, CsvWriter* csv);

private:
    enum class SectionKind { Title, Table, Consolidate, Unknown };
    // Sections of each kind met so far in run order.
    struct SectionCounts {
        size_t titles = 0;
        size_t tables = 0;
        size_t consolidations = 0;
    };

    void BuildSectionSequence(const SectionedText& text);
    SectionKind NextSectionKind(std::string_view item, const SectionCounts& done) const;
    void PrepareWorkbook(JobState& state) const;
    void ResetRunState(JobState& state);
    // Each runs the numbered section of its kind; false ends the run.
    bool RunTitle(JobState& state, CsvWriter* csv, size_t number);
    bool RunTable(JobState& state, CsvWriter* csv, size_t number);
    bool RunConsolidation(JobState& state, CsvWriter* csv, size_t number, bool& csvNoticeShown);

    int32_t titleCount_ = 0;
    int32_t tableCount_ = 0;
    int32_t conCount_ = 0;
    int32_t writePointer1_ = 1;
    int32_t writePointer2_ = 1;
};

} // namespace vok
