// The export-specs object: the file read into tables, titles and consolidations, and its run.
#include "engine/clsExportSpecs.h"

#include "base/Clock.h"
#include "base/ColumnLetters.h"
#include "base/Messages.h"
#include "base/TextAccess.h"
#include "base/modUtilityFile.h"
#include "base/modUtilityString.h"
#include "engine/JobState.h"
#include "output/CsvWriter.h"
#include "recipe/ProfileFile.h"
#include "recipe/SectionedFile.h"

#include <filesystem>
#include <fmt/format.h>

namespace vok {

int32_t clsExportSpecs::getWritePointer(Messages& messages, int32_t sheet) const {
    if (sheet == 1) return writePointer1_;
    if (sheet == 2) return writePointer2_;
    messages.Show("Invalid sheet number in clsExportSpecs.getWritePointer!", MessageIcon::Critical);
    return 0;
}

void clsExportSpecs::setWritePointer(Messages& messages, int32_t sheet, int32_t write_pointer) {
    if (sheet == 1)
        writePointer1_ = write_pointer;
    else if (sheet == 2)
        writePointer2_ = write_pointer;
    else
        messages.Show("Invalid sheet number in clsExportSpecs.setWritePointer!",
                      MessageIcon::Critical);
}

void clsExportSpecs::ReadFromFile(JobState& state, const std::filesystem::path& file_name) {
    ReadFromText(state, SectionedText::FromFile(file_name), file_name);
}

void clsExportSpecs::ReadFromText(JobState& state, const SectionedText& text,
                                  const std::filesystem::path& file_name) {
    // 1. A file of another kind leaves everything as it was.
    if (FileHeaderIsInvalid(state.messages, text, FileHeader_Product, FileHeader_FileType,
                            FileHeader_FileFormat))
        return;
    // 2. The name.
    Name = GetIniValue(text, "General", "Name", "");
    // 3. Section counts; column sections hold "Col" and are not tables.
    titleCount_ = static_cast<int32_t>(CountKeyLines(text, {"[Title ", {}, {}, {}}));
    tableCount_ = static_cast<int32_t>(CountKeyLines(text, {"[Table ", {}, {}, "Col"}));
    conCount_ = static_cast<int32_t>(CountKeyLines(text, {"[Consolidate ", {}, {}, {}}));
    // 4. The run order.
    BuildSectionSequence(text);
    // 5-6. The sections of each kind, in number order, each looked up from the
    // top of the file; a section that fails its checks still takes its place.
    TitlesCollection.clear();
    for (int32_t n = 1; n <= titleCount_; ++n)
        TitlesCollection.emplace_back().ReadFromFile(state, text, file_name, n);
    TablesCollection.clear();
    for (int32_t n = 1; n <= tableCount_; ++n)
        TablesCollection.emplace_back().ReadFromFile(state, text, n);
    ConsolidateCollection.clear();
    for (int32_t n = 1; n <= conCount_; ++n)
        ConsolidateCollection.emplace_back().ReadFromFile(state, text, file_name, n);
}

void clsExportSpecs::BuildSectionSequence(const SectionedText& text) {
    // 1. The sequence is rebuilt from the file's section header lines.
    SectionedCursor file(text);
    SectionSequenceCollection.clear();
    // 2. One search per section; the sign and size of the result tell the kind.
    const int32_t sections = titleCount_ + tableCount_ + conCount_;
    for (int32_t i = 0; i < sections; ++i) {
        const int64_t r = find_key_line(file, {"[Title ", "[Table ", "[Consolidate ", "Col"});
        if (r > kEndKeyOffset)
            SectionSequenceCollection.emplace_back("Consolidate");
        else if (r > 0)
            SectionSequenceCollection.emplace_back("Title");
        else if (r < 0)
            SectionSequenceCollection.emplace_back("Table");
    }
}

bool clsExportSpecs::WriteToFile(JobState& state, const std::filesystem::path& file_name) const {
    ProfileFile file(file_name);
    // 1. Header and name.
    file.Write("Header", "Product", FileHeader_Product);
    file.Write("Header", "FileType", FileHeader_FileType);
    file.Write("Header", "FileFormat", FileHeader_FileFormat);
    file.Write("General", "Name", Name);
    // 2. The sections in run order, numbered within their kind.
    size_t t = 0, k = 0, c = 0;
    for (const std::string& item : SectionSequenceCollection) {
        if (item == "Title" && t < TitlesCollection.size()) {
            ++t;
            TitlesCollection[t - 1].WriteToFile(file, static_cast<int32_t>(t));
        } else if (item == "Table" && k < TablesCollection.size()) {
            ++k;
            TablesCollection[k - 1].WriteToFile(file, static_cast<int32_t>(k));
        } else if (item == "Consolidate" && c < ConsolidateCollection.size()) {
            ++c;
            ConsolidateCollection[c - 1].WriteToFile(file, static_cast<int32_t>(c));
        } else {
            state.messages.Show("Invalid item in SectionSequenceCollection!",
                                MessageIcon::Critical);
        }
    }
    std::string error;
    if (file.Commit(error)) return true;
    state.messages.Show("Cannot write the export-specs file " + file_name.string() + ": " + error,
                        MessageIcon::Critical);
    return false;
}

void clsExportSpecs::Process(JobState& state, CsvWriter* csv) {
    Messages& messages = state.messages;
    clsRecipe& recipe = state.gRecipe;
    TablesWritten = 0;
    // 1. The run order must cover every section read.
    if (titleCount_ + tableCount_ + conCount_ !=
        static_cast<int32_t>(SectionSequenceCollection.size())) {
        messages.Show("Error in csExportSpecs: Invalid Section Count!", MessageIcon::Critical);
        return;
    }
    // 2. The period label: "1", or "2-5" for a range.
    std::string periods = std::to_string(recipe.InputFileFirst);
    if (recipe.InputFileFirst < recipe.InputFileLast)
        periods += "-" + std::to_string(recipe.InputFileLast);
    // 3. A workbook gets its sheet names and the standard font.
    if (!csv && state.xlApp) {
        const std::string* names[] = {&recipe.Sheet1Name, &recipe.Sheet2Name};
        for (int32_t sheet = 1; sheet <= 2; ++sheet) {
            const std::string& base = *names[sheet - 1];
            if (Trim(base).empty()) continue;
            std::string error;
            if (!state.xlApp->SetSheetName(sheet, base + " (P" + periods + ")", error))
                messages.Show(error, MessageIcon::Critical);
        }
        state.xlApp->SetStandardFont("Courier New");
    }
    // 4. A fresh run state.
    setWritePointer(messages, 1, 1);
    setWritePointer(messages, 2, 1);
    ProcessedTables = 0;
    FatalProcessError = false;
    state.StopRequested = state.Interrupted;
    state.gExportRunning = true;
    // The report is read once for the key texts of every table.
    if (recipe.InputFileFirst >= 1 &&
        recipe.InputFileFirst <= static_cast<int32_t>(recipe.InputFileName.size())) {
        TextIndex& report =
            state.Reports.For(recipe.InputFileName[static_cast<size_t>(recipe.InputFileFirst - 1)]);
        for (const clsTable& table : TablesCollection) {
            report.Expect(table.ReadStartLine);
            report.Expect(table.ReadEndLine);
        }
    }
    // 5. The sections in run order.
    size_t t = 0, k = 0, c = 0;
    bool consolidationNoticeShown = false;
    for (const std::string& item : SectionSequenceCollection) {
        // 5.1. Progress.
        state.SetStatus(StatusTarget::ElapsedTime,
                        FormatElapsedSeconds(TickCount() - state.lTotalTimeStart));
        if (item == "Title" && t < TitlesCollection.size()) {
            // 5.2. A title: progress, then its lines into the workbook.
            ++t;
            state.DoEvents();
            state.SetStatus(StatusTarget::Caption,
                            fmt::format("Writing Title {}  Please wait...", t));
            if (!csv) TitlesCollection[t - 1].Process(state);
            if (FatalProcessError) break;
        } else if (item == "Table" && k < TablesCollection.size()) {
            // 5.3. A table: progress, then its rows.
            ++k;
            state.DoEvents();
            state.SetStatus(StatusTarget::Caption, fmt::format(" Exporting Table {}:", k));
            // A section whose reading failed would write what the file does
            // not say; the run ends before it, as after any failed table.
            if (!TablesCollection[k - 1].Valid()) {
                messages.Show(fmt::format("Table {} of {} was not run: its section has "
                                          "errors (see above).",
                                          k, recipe.ExportSpecFileName.string()),
                              MessageIcon::Critical);
                FatalProcessError = true;
                break;
            }
            const int32_t rowBefore = writePointer1_;
            if (state.tableWatcher)
                state.tableWatcher->TableStarting(k - 1, TablesCollection[k - 1]);
            TablesCollection[k - 1].Process(state, csv);
            if (state.tableWatcher)
                state.tableWatcher->TableFinished(k - 1, TablesCollection[k - 1]);
            if (writePointer1_ > rowBefore) ++TablesWritten;
            if (FatalProcessError) break;
            ++ProcessedTables;
        } else if (item == "Consolidate" && c < ConsolidateCollection.size()) {
            // 5.4. Consolidations read the workbook; a CSV output has none.
            ++c;
            if (csv) {
                if (!consolidationNoticeShown) {
                    messages.Show("Consolidations are written to workbooks only; this CSV "
                                  "output has none.",
                                  MessageIcon::Information, {}, MessageKind::Notice);
                    consolidationNoticeShown = true;
                }
            } else if (!ConsolidateCollection[c - 1].Valid()) {
                messages.Show(fmt::format("Consolidation {} of {} was not run: its section "
                                          "has errors (see above).",
                                          c, recipe.ExportSpecFileName.string()),
                              MessageIcon::Critical);
                FatalProcessError = true;
            } else {
                ConsolidateCollection[c - 1].Process(state);
            }
            if (FatalProcessError) break;
        } else {
            // 5.5. A section of no known kind ends the run.
            messages.Show("invalid section type in clsExportSpecs.Process!", MessageIcon::Critical);
            break;
        }
        // 5.6. A stop that was asked for and confirmed ends the run.
        if (state.StopRequested) break;
    }
    // 6. The export is over; Pause no longer applies.
    state.gExportRunning = false;
}

} // namespace vok
