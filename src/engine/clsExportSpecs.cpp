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

#include <algorithm>
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

void clsExportSpecs::ReadFromFile(RepeatFoldingMessages& messages,
                                  const std::filesystem::path& file_name) {
    ReadFromText(messages, SectionedText::FromFile(file_name), file_name);
}

void clsExportSpecs::ReadFromText(RepeatFoldingMessages& messages, const SectionedText& text,
                                  const std::filesystem::path& file_name) {
    // 1. A file of another kind leaves everything as it was.
    if (FileHeaderIsInvalid(messages, text, FileHeader_Product, FileHeader_FileType,
                            FileHeader_FileFormat))
        return;
    // 2. The name.
    Name = GetIniValue(text, "General", "Name", "");
    // 3. Section counts; column sections hold "Col" and are not tables.
    titleCount_ = static_cast<int32_t>(CountKeyLines(text, {"[Title ", {}, {}, {}}));
    tableCount_ = static_cast<int32_t>(CountTableSections(text));
    conCount_ = static_cast<int32_t>(CountKeyLines(text, {"[Consolidate ", {}, {}, {}}));
    // 4. The run order.
    BuildSectionSequence(text);
    // 5-6. The sections of each kind, in number order, each looked up from the
    // top of the file; a section that fails its checks still takes its place.
    TitlesCollection.clear();
    for (int32_t n = 1; n <= titleCount_; ++n)
        TitlesCollection.emplace_back().ReadFromFile(messages, text, file_name, n);
    TablesCollection.clear();
    // One block for the tables the file holds (each counted line is in it).
    TablesCollection.reserve(static_cast<size_t>(tableCount_));
    for (int32_t n = 1; n <= tableCount_; ++n)
        TablesCollection.emplace_back().ReadFromFile(messages, text, n);
    ConsolidateCollection.clear();
    for (int32_t n = 1; n <= conCount_; ++n)
        ConsolidateCollection.emplace_back().ReadFromFile(messages, text, file_name, n,
                                                          TablesCollection.size());
}

clsExportSpecs::PieceReader::PieceReader(clsExportSpecs& specs, int64_t tablesExpected)
    : specs_(specs) {
    specs_.Name.clear();
    specs_.TitlesCollection.clear();
    specs_.TablesCollection.clear();
    specs_.ConsolidateCollection.clear();
    specs_.TablesCollection.reserve(static_cast<size_t>(std::max<int64_t>(tablesExpected, 0)));
}

void clsExportSpecs::PieceReader::Read(const SectionedText& piece) {
    if (whole_) return;
    // The sections the whole reading counts: a table's own header, once.
    const int64_t titles = CountKeyLines(piece, {"[Title ", {}, {}, {}});
    const int64_t tables = CountTableSections(piece);
    const int64_t cons = CountKeyLines(piece, {"[Consolidate ", {}, {}, {}});
    if (titles != 0 || cons != 0 || tables != (headRead_ ? 1 : 0)) {
        whole_ = true;
        return;
    }
    heard_.said = false;
    if (!headRead_) {
        headRead_ = true;
        whole_ = FileHeaderIsInvalid(quiet_, piece, specs_.FileHeader_Product,
                                     specs_.FileHeader_FileType, specs_.FileHeader_FileFormat);
        specs_.Name = GetIniValue(piece, "General", "Name", "");
        return;
    }
    const auto number = static_cast<int32_t>(specs_.TablesCollection.size() + 1);
    specs_.TablesCollection.emplace_back().ReadFromFile(quiet_, piece, number);
    if (heard_.said) said_.emplace_back(number, piece);
}

bool clsExportSpecs::PieceReader::Take(const ExpandedTable& written) {
    // The whole file is read at the end: nothing to take now.
    if (whole_) return true;
    if (!headRead_ || written.number != static_cast<int32_t>(specs_.TablesCollection.size() + 1))
        return false;
    if (specs_.TablesCollection.emplace_back().TakeWritten(written)) {
        ++taken_;
        return true;
    }
    specs_.TablesCollection.pop_back();
    return false;
}

std::function<void(const ExpandedTable*)>
clsExportSpecs::PieceReader::Following(SectionWriter& writer) {
    return [this, &writer](const ExpandedTable* table) {
        if (table && Take(*table))
            writer.FlushToFile();
        else
            Read(writer.Flush());
    };
}

void clsExportSpecs::PieceReader::Finish(RepeatFoldingMessages& messages,
                                         const std::filesystem::path& file_name) {
    if (whole_ || !headRead_) {
        specs_.ReadFromText(messages, SectionedText::FromFile(file_name), file_name);
        return;
    }
    specs_.titleCount_ = specs_.conCount_ = 0;
    specs_.tableCount_ = static_cast<int32_t>(specs_.TablesCollection.size());
    specs_.SectionSequenceCollection.assign(specs_.TablesCollection.size(), "Table");
    for (const auto& [number, piece] : said_) {
        clsTable& table = specs_.TablesCollection[static_cast<size_t>(number - 1)];
        table = clsTable();
        table.ReadFromFile(messages, piece, number);
    }
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

bool clsExportSpecs::WriteToFile(Messages& messages, const std::filesystem::path& file_name) const {
    ProfileFile file(file_name);
    // 1. Header and name.
    file.Write("Header", "Product", FileHeader_Product);
    file.Write("Header", "FileType", FileHeader_FileType);
    file.Write("Header", "FileFormat", FileHeader_FileFormat);
    file.Write("General", "Name", Name);
    // 2. The sections in run order, numbered within their kind.
    SectionCounts done;
    for (const std::string& item : SectionSequenceCollection) {
        switch (NextSectionKind(item, done)) {
        case SectionKind::Title:
            ++done.titles;
            TitlesCollection[done.titles - 1].WriteToFile(file, static_cast<int32_t>(done.titles));
            break;
        case SectionKind::Table:
            ++done.tables;
            TablesCollection[done.tables - 1].WriteToFile(file, static_cast<int32_t>(done.tables));
            break;
        case SectionKind::Consolidate:
            ++done.consolidations;
            ConsolidateCollection[done.consolidations - 1].WriteToFile(
                file, static_cast<int32_t>(done.consolidations));
            break;
        case SectionKind::Unknown:
            messages.Show("Invalid item in SectionSequenceCollection!", MessageIcon::Critical);
            break;
        }
    }
    std::string error;
    if (file.Commit(error)) return true;
    messages.Show("Cannot write the export-specs file " + file_name.string() + ": " + error,
                  MessageIcon::Critical);
    return false;
}

clsExportSpecs::SectionKind clsExportSpecs::NextSectionKind(std::string_view item,
                                                            const SectionCounts& done) const {
    // A name of no known kind, or one past the sections read of its kind, is unknown.
    if (item == "Title" && done.titles < TitlesCollection.size()) return SectionKind::Title;
    if (item == "Table" && done.tables < TablesCollection.size()) return SectionKind::Table;
    if (item == "Consolidate" && done.consolidations < ConsolidateCollection.size())
        return SectionKind::Consolidate;
    return SectionKind::Unknown;
}

void clsExportSpecs::PrepareWorkbook(JobState& state) const {
    const clsRecipe& recipe = state.recipe.gRecipe;
    // The period label: "1", or "2-5" for a range.
    std::string periods = std::to_string(recipe.InputFileFirst);
    if (recipe.InputFileFirst < recipe.InputFileLast)
        periods += "-" + std::to_string(recipe.InputFileLast);
    // Each named sheet carries the periods it holds; then the standard font.
    const std::string* names[] = {&recipe.Sheet1Name, &recipe.Sheet2Name};
    for (int32_t sheet = 1; sheet <= 2; ++sheet) {
        const std::string& base = *names[sheet - 1];
        if (Trim(base).empty()) continue;
        std::string error;
        if (!state.sink.xlApp->SetSheetName(sheet, base + " (P" + periods + ")", error))
            state.messages.Show(error, MessageIcon::Critical);
    }
    state.sink.xlApp->SetStandardFont("Courier New");
}

void clsExportSpecs::ResetRunState(JobState& state) {
    setWritePointer(state.messages, 1, 1);
    setWritePointer(state.messages, 2, 1);
    ProcessedTables = 0;
    FatalProcessError = false;
    state.run.ExportStarting();
    state.recipe.rowReader = {};
    state.recipe.runReport = {};
    // The report is read once for the key texts of every table.
    const clsRecipe& recipe = state.recipe.gRecipe;
    if (recipe.InputFileFirst >= 1 &&
        recipe.InputFileFirst <= static_cast<int32_t>(recipe.InputFileName.size())) {
        const std::filesystem::path& path =
            recipe.InputFileName[static_cast<size_t>(recipe.InputFileFirst - 1)];
        TextIndex& report = state.recipe.Reports.For(path);
        state.recipe.runReport = {path, &report};
        for (const clsTable& table : TablesCollection) {
            report.Expect(table.ReadStartLine);
            report.Expect(table.ReadEndLine);
        }
    }
}

bool clsExportSpecs::RunTitle(JobState& state, CsvWriter* csv, size_t number) {
    // Progress, then its lines into the workbook.
    state.run.DoEvents();
    state.SetStatus(StatusTarget::Caption, fmt::format("Writing Title {}  Please wait...", number));
    if (!csv) TitlesCollection[number - 1].Process(state);
    return !FatalProcessError;
}

bool clsExportSpecs::RunTable(JobState& state, CsvWriter* csv, size_t number) {
    // Progress, then its rows.
    state.run.DoEvents();
    state.SetStatus(StatusTarget::Caption, fmt::format(" Exporting Table {}:", number));
    clsTable& table = TablesCollection[number - 1];
    // A section whose reading failed would write what the file does not say;
    // the run ends before it, as after any failed table.
    if (!table.Valid()) {
        state.messages.Show(fmt::format("Table {} of {} was not run: its section has "
                                        "errors (see above).",
                                        number, state.recipe.gRecipe.ExportSpecFileName.string()),
                            MessageIcon::Critical);
        FatalProcessError = true;
        return false;
    }
    const int32_t rowBefore = writePointer1_;
    if (state.tableWatcher) state.tableWatcher->TableStarting(number - 1, table);
    table.Process(state, csv);
    if (state.tableWatcher) state.tableWatcher->TableFinished(number - 1, table);
    if (writePointer1_ > rowBefore) ++TablesWritten;
    if (FatalProcessError) return false;
    ++ProcessedTables;
    return true;
}

bool clsExportSpecs::RunConsolidation(JobState& state, CsvWriter* csv, size_t number,
                                      bool& csvNoticeShown) {
    // Consolidations read the workbook; a CSV output has none, which is said once.
    if (csv) {
        if (!csvNoticeShown) {
            state.messages.Show("Consolidations are written to workbooks only; this CSV "
                                "output has none.",
                                MessageIcon::Information, {}, MessageKind::Notice);
            csvNoticeShown = true;
        }
    } else if (!ConsolidateCollection[number - 1].Valid()) {
        state.messages.Show(fmt::format("Consolidation {} of {} was not run: its section "
                                        "has errors (see above).",
                                        number, state.recipe.gRecipe.ExportSpecFileName.string()),
                            MessageIcon::Critical);
        FatalProcessError = true;
    } else {
        ConsolidateCollection[number - 1].Process(state);
    }
    return !FatalProcessError;
}

void clsExportSpecs::Process(JobState& state, CsvWriter* csv) {
    TablesWritten = 0;
    // The run order must cover every section read.
    if (titleCount_ + tableCount_ + conCount_ !=
        static_cast<int32_t>(SectionSequenceCollection.size())) {
        state.messages.Show("Error in csExportSpecs: Invalid Section Count!",
                            MessageIcon::Critical);
        return;
    }
    // A workbook gets its sheet names and the standard font; then a fresh run state.
    if (!csv && state.sink.xlApp) PrepareWorkbook(state);
    ResetRunState(state);
    // The sections in run order, each after a progress update; a failed
    // section, one of no known kind or a confirmed stop ends the run.
    SectionCounts done;
    bool csvNoticeShown = false;
    for (const std::string& item : SectionSequenceCollection) {
        state.SetStatus(StatusTarget::ElapsedTime,
                        FormatElapsedSeconds(TickCount() - state.run.lTotalTimeStart));
        bool goOn = false;
        switch (NextSectionKind(item, done)) {
        case SectionKind::Title:
            goOn = RunTitle(state, csv, ++done.titles);
            break;
        case SectionKind::Table:
            goOn = RunTable(state, csv, ++done.tables);
            break;
        case SectionKind::Consolidate:
            goOn = RunConsolidation(state, csv, ++done.consolidations, csvNoticeShown);
            break;
        case SectionKind::Unknown:
            state.messages.Show("invalid section type in clsExportSpecs.Process!",
                                MessageIcon::Critical);
            break;
        }
        if (!goOn || state.run.StopAsked()) break;
    }
    // The export is over; Pause no longer applies, and the report is closed.
    state.run.ExportOver();
    state.recipe.rowReader = {};
    state.recipe.runReport = {};
}

} // namespace vok
