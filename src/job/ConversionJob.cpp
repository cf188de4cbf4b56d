// The job, in steps:
//   BeginProcessing: build the file list (a pattern) or take the one file,
//     name each output, convert each file, then say "Conversion Complete" and
//     the elapsed time;
//   ConvertOneFile: choose CSV or workbook output, check recipe and input,
//     turn the recipe (or the marks in the input) into the export-specs
//     file, read it back and run it (RunRecipe), and report the
//     file's outcome.
#include "job/ConversionJob.h"

#include "base/AtomicFile.h"
#include "base/Clock.h"
#include "base/TextAccess.h"
#include "base/TextEncoding.h"
#include "base/TextIndex.h"
#include "base/modUtilityFile.h"
#include "base/modUtilityString.h"
#include "engine/InputChecks.h"
#include "engine/JobState.h"
#include "job/DatabaseRun.h"
#include "job/OutputFolderLock.h"
#include "job/ProgramFolderLock.h"
#include "output/CsvWriter.h"
#include "output/SheetTarget.h"
#include "output/SqliteDatabase.h"
#include "output/WorkbookConnection.h"
#include "recipe/ExportSpecFile.h"
#include "recipe/ProfileFile.h"
#include "recipe/SectionedFile.h"

#include <algorithm>
#include <fmt/format.h>
#include <new>
#include <sys/stat.h>
#include <system_error>
#include <unordered_map>

namespace vok {

namespace {

// The text of a path up to its last separator: the outputs of one folder share it.
std::string_view FolderText(const std::filesystem::path& path) {
    const std::string_view text = path.native();
    const size_t slash = text.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : text.substr(0, slash);
}

// A folder path ending in exactly one separator (a root keeps its own).
std::string WithTrailingSeparator(const std::filesystem::path& folder) {
    std::string text = folder.native();
    if (text.empty() || text.back() != '/') text.push_back('/');
    return text;
}

// How a folder job names the output of each input: computed once from the
// output pattern and the input pattern.
struct OutputNaming {
    std::string prefix;    // the output pattern up to its first "*"
    std::string inputBase; // the input pattern's folder, with its separator
    std::string extension; // the output pattern's extension
    bool besideInput = false;

    // The folder an input's output goes to, as text.
    std::string FolderTextFor(const std::filesystem::path& input) const {
        std::string folder = WithTrailingSeparator(GetParentFolderName(input));
        if (besideInput) return folder;
        return prefix + (folder.size() > inputBase.size() ? folder.substr(inputBase.size()) : "");
    }
    // The output of an input whose output folder is `folder` (FolderTextFor).
    std::filesystem::path OutputIn(std::string folder, const std::filesystem::path& input) const {
        folder.append(GetBaseName(input)).append(".").append(extension);
        return folder;
    }
    std::filesystem::path OutputFor(const std::filesystem::path& input) const {
        return OutputIn(FolderTextFor(input), input);
    }
};

// True when `inner` is `outer` or lies below it (both resolved).
bool IsWithin(const std::filesystem::path& inner, const std::filesystem::path& outer) {
    const auto [outerEnd, innerEnd] =
        std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
    return outerEnd == outer.end();
}

// An output folder inside the input tree holds the outputs of earlier runs
// among the inputs: converted again, they would nest outputs deeper at every
// run. A listed file the output pattern could have named, and that would not
// be its own output, is left out, and the user is told once.
void LeaveOutEarlierOutputs(std::vector<std::filesystem::path>& files, const OutputNaming& naming,
                            const std::filesystem::path& inputRoot, Messages& messages) {
    std::error_code ec;
    const std::filesystem::path patternFolder = FolderOfPath(naming.prefix);
    const std::filesystem::path outputFolder = std::filesystem::weakly_canonical(patternFolder, ec);
    if (patternFolder.empty() || ec || !IsWithin(outputFolder, inputRoot)) return;
    // What the resolved name of an earlier output starts with.
    const std::string lead =
        WithTrailingSeparator(outputFolder) + naming.prefix.substr(patternFolder.native().size());
    const size_t before = files.size();
    std::erase_if(files, [&](const std::filesystem::path& file) {
        if (!EqualsNoCase(GetExtensionName(file), naming.extension)) return false;
        const std::filesystem::path folder =
            std::filesystem::weakly_canonical(file.parent_path(), ec);
        return !ec && (folder / file.filename()).native().starts_with(lead) &&
               naming.OutputFor(file) != file;
    });
    const size_t left = before - files.size();
    if (left == 0) return;
    messages.Show(fmt::format("{} under the output folder {} {} the output pattern and {} left "
                              "out of the input list: {} of an earlier run.",
                              left == 1 ? std::string("1 file") : fmt::format("{} files", left),
                              outputFolder.string(), left == 1 ? "matches" : "match",
                              left == 1 ? "was" : "were",
                              left == 1 ? "it is an output" : "they are outputs"),
                  MessageIcon::Information, {}, MessageKind::Notice);
}

// The output a folder job names for an input, its folder made when missing.
// `madeFolder` is the folder the previous input's output went to: the files
// of one folder follow each other, and their folder is looked at once.
std::filesystem::path MadeOutputFor(const OutputNaming& naming, const std::filesystem::path& input,
                                    std::string& madeFolder) {
    std::string outputFolder = naming.FolderTextFor(input);
    if (!naming.besideInput && !outputFolder.empty() && outputFolder != madeFolder) {
        if (!FolderExistsFso(outputFolder)) MakeFolderPath(outputFolder);
        madeFolder = outputFolder;
    }
    return naming.OutputIn(std::move(outputFolder), input);
}

// The reports of a list whose outputs would have one name: those in one
// folder whose names differ only in their extension (a.prn and a.txt), as an
// output is named after its report's folder and base name. Found while the
// list is whole; each report keeps the nearest earlier one of its name.
class Namesakes {
public:
    // The nearest earlier report of this one's name whose output was written.
    const std::filesystem::path* WrittenBefore(size_t file) const {
        for (auto at = earlier_.find(file); at != earlier_.end(); at = earlier_.find(at->second)) {
            const Earlier& namesake = reports_.at(at->second);
            if (namesake.written) return &namesake.input;
        }
        return nullptr;
    }
    void Written(size_t file) {
        if (const auto at = reports_.find(file); at != reports_.end()) at->second.written = true;
    }

private:
    friend Namesakes FindNamesakes(const std::vector<std::filesystem::path>& files);
    struct Earlier {
        std::filesystem::path input;
        bool written = false;
    };
    std::unordered_map<size_t, size_t> earlier_;  // a report, the nearest earlier of its name
    std::unordered_map<size_t, Earlier> reports_; // the reports a later one names
};

Namesakes FindNamesakes(const std::vector<std::filesystem::path>& files) {
    Namesakes found;
    // Each report's path without its extension, as a view into the list.
    std::unordered_map<std::string_view, size_t> last;
    last.reserve(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        const auto [at, first] = last.try_emplace(WithoutExtension(files[i].native()), i);
        if (first) continue;
        found.earlier_.emplace(i, at->second);
        found.reports_.try_emplace(at->second, Namesakes::Earlier{files[at->second], false});
        at->second = i;
    }
    return found;
}

// The database a folder job writes, and the log files beside it, are no
// reports of the job.
void LeaveOutDatabase(std::vector<std::filesystem::path>& files,
                      const std::filesystem::path& database) {
    const std::string name = database.filename().native();
    const auto folder = [](const std::filesystem::path& file) {
        return file.parent_path().empty() ? std::filesystem::path(".") : file.parent_path();
    };
    std::error_code ec;
    std::erase_if(files, [&](const std::filesystem::path& file) {
        const std::string own = file.filename().native();
        return (own == name || own == name + "-wal" || own == name + "-shm" ||
                own == name + "-journal") &&
               std::filesystem::equivalent(folder(file), folder(database), ec);
    });
}

// What is at a name; an empty name holds nothing.
FileLook LookAt(const std::filesystem::path& path, bool followLink = true) {
    if (path.empty()) return {{}, ENOENT};
    return FileLook::Of(path, followLink);
}

FileOutcome Skipped(std::string reason) {
    return {FileOutcome::Kind::Skipped, std::move(reason)};
}

FileOutcome Failed(std::string reason) {
    return {FileOutcome::Kind::Failed, std::move(reason)};
}

} // namespace

class ConversionJob::FileMessages : public JobObserver {
public:
    explicit FileMessages(JobObserver& target) : target_(target) {}

    // Forgets the problems of the previous file.
    void StartFile() {
        firstProblem_.clear();
        errorsShown_ = 0;
    }
    const std::string& FirstProblem() const { return firstProblem_; }
    // Error messages (the error icon) shown for this file: any one of them
    // keeps the earlier output in place.
    int64_t ErrorsShown() const { return errorsShown_; }
    // Messages and questions of every kind shown so far in the job.
    int64_t MessagesShown() const { return messagesShown_; }

    void FileStarted(int64_t index, int64_t count, const std::filesystem::path& input) override {
        target_.FileStarted(index, count, input);
    }
    void TableStarted(int32_t table, int64_t firstLine, int64_t reportLines) override {
        target_.TableStarted(table, firstLine, reportLines);
    }
    void RowsDone(int64_t done, int64_t total) override { target_.RowsDone(done, total); }
    void StatusChanged(StatusTarget target, std::string_view text) override {
        target_.StatusChanged(target, text);
    }
    void FileFinished(const std::filesystem::path& input, const std::filesystem::path& output,
                      const FileOutcome& outcome) override {
        target_.FileFinished(input, output, outcome);
    }
    void Beep() override { target_.Beep(); }

protected:
    void DisplayMessage(std::string_view text, MessageIcon icon, std::string_view caption,
                        MessageKind kind) override {
        ++messagesShown_;
        if (kind == MessageKind::Failure && firstProblem_.empty()) firstProblem_.assign(text);
        if (kind == MessageKind::Failure && icon == MessageIcon::Critical) ++errorsShown_;
        target_.Show(text, icon, caption, kind);
    }
    bool DisplayQuestion(std::string_view text, MessageIcon icon,
                         std::string_view caption) override {
        ++messagesShown_;
        return target_.AskYesNo(text, icon, caption);
    }

private:
    JobObserver& target_;
    std::string firstProblem_;
    int64_t errorsShown_ = 0;
    int64_t messagesShown_ = 0;
};

ConversionJob::ConversionJob(const ProgramSettings& settings, clsConversionOptions options,
                             JobObserver& observer)
    : settings_(settings), options_(std::move(options)),
      fileMessages_(std::make_unique<FileMessages>(observer)),
      state_(std::make_unique<JobState>(*fileMessages_, stop_)),
      warnedAboutTabs_(settings.Settings.bWarnedAboutTabsInFile) {}

ConversionJob::~ConversionJob() = default;

JobResult ConversionJob::BeginProcessing() {
    JobState& state = *state_;
    result_ = {};
    // The start time.
    state.run.lTotalTimeStart = TickCount();

    if (options_.sInputFile.native().find('*') != std::string::npos) {
        // A pattern job.
        ConvertPatternJob();
    } else {
        // A single file.
        ConvertOneFile(1, 1);
    }
    database_.reset(); // a database is closed, its log folded in, before the job ends
    // Always the end texts, whatever happened.
    state.SetStatus(StatusTarget::Progress, "Conversion Complete");
    state.SetStatus(StatusTarget::ElapsedTime,
                    FormatElapsedSeconds(TickCount() - state.run.lTotalTimeStart));
    result_.stopped = state.run.StopAsked() || stop_.Interrupted() || result_.stopped;
    state.run.JobOver();
    result_.failuresShown = fileMessages_->FailuresShown();
    result_.bWarnedAboutTabsInFile = warnedAboutTabs_;
    return result_;
}

// A pattern job: the list of reports, the output named for each, each report in turn.
void ConversionJob::ConvertPatternJob() {
    Messages& messages = *fileMessages_;
    JobState& state = *state_;
    const std::string output = options_.sOutputFile.native();
    std::vector<std::filesystem::path> clnFiles;
    const Status listed =
        BuildOriginalFileList(options_.sInputFile, options_.bDoSubfolders, clnFiles);
    if (!listed) {
        // The reason is worth showing too: it names the missing folder.
        messages.Show("Unable to create file list" +
                          (listed.Error().empty() ? "" : "\r\n" + listed.Error()),
                      MessageIcon::None, kProgramTitle);
    } else if (output.find('*') == std::string::npos &&
               OutputTypeOf(options_.sOutputFile) != OutputType::Sqlite) {
        result_.code = -2;
        messages.Show("You must specify a proper output file which includes the wild "
                      "card\r\n\r\nFor example: C:\\Output\\*.CSV",
                      MessageIcon::Information, "Invalid Target Folder");
    } else {
        // Computed once: output prefix, input base, output extension.
        const OutputNaming naming{output.substr(0, output.find('*')),
                                  WithTrailingSeparator(GetParentFolderName(options_.sInputFile)),
                                  GetExtensionName(options_.sOutputFile),
                                  options_.bSaveInOriginalFolder};
        const bool oneDatabase = output.find('*') == std::string::npos; // takes every report
        if (oneDatabase) LeaveOutDatabase(clnFiles, options_.sOutputFile);
        if (!oneDatabase && !naming.besideInput)
            LeaveOutEarlierOutputs(clnFiles, naming, listRoot_, messages);
        const auto count = static_cast<int64_t>(clnFiles.size());
        // A database gathers every report of the job; any other output is one report's.
        Namesakes namesakes;
        if (OutputTypeOf(options_.sOutputFile) != OutputType::Sqlite)
            namesakes = FindNamesakes(clnFiles);
        // Each file in turn, its output folder made when missing.
        std::string madeFolder;
        inputsListed_ = true;
        // A job with a recipe never writes the recipe made from marks: a
        // listed report can be that file only if it was there when listed,
        // and it stays the file it was (written over in place by others).
        looks_.autoRecipe = LookAt(settings_.AutoRecipeFile);
        for (int64_t i = 0; i < count; ++i) {
            state.run.DoEvents();
            if (state.run.StopAsked()) break;
            options_.sInputFile = std::move(clnFiles[static_cast<size_t>(i)]);
            if (!oneDatabase)
                options_.sOutputFile = MadeOutputFor(naming, options_.sInputFile, madeFolder);
            const auto file = static_cast<size_t>(i);
            if (ConvertOneFile(i + 1, count, namesakes.WrittenBefore(file)))
                namesakes.Written(file);
        }
        inputsListed_ = false;
    }
}

Status ConversionJob::BuildOriginalFileList(const std::filesystem::path& sInput, bool bDoSubfolders,
                                            std::vector<std::filesystem::path>& clnFiles) {
    const std::string& text = sInput.native();
    const size_t star = text.find('*');
    if (star != std::string::npos) {
        // The folder before the first "*", the pattern from it.
        const std::filesystem::path folder = text.substr(0, star);
        const std::string pattern = text.substr(star);
        visited_.clear();
        listRoot_ = std::filesystem::weakly_canonical(folder.empty() ? "." : folder);
        if (listRoot_.filename().empty()) listRoot_ = listRoot_.parent_path();
        if (AddMatchingFiles(folder, pattern, clnFiles, bDoSubfolders) == -1)
            return Status::Failed("Folder: " + folder.string() + " does not exist");
        return Status::Ok();
    }
    // A single file.
    if (FileExists(sInput)) {
        clnFiles.push_back(sInput);
        return Status::Ok();
    }
    return Status::Failed("File: " + sInput.string() + " does not exist");
}

bool ConversionJob::LeadsBackIntoTheTree(const std::filesystem::path& link) const {
    std::error_code ec;
    const std::filesystem::path target = std::filesystem::canonical(link, ec);
    if (ec) return true; // a broken link leads nowhere worth listing
    // Inside the tree, or above it: either way its folders are listed already.
    const auto [rootEnd, targetEnd] =
        std::mismatch(listRoot_.begin(), listRoot_.end(), target.begin(), target.end());
    return rootEnd == listRoot_.end() || targetEnd == target.end();
}

bool ConversionJob::FirstVisit(const std::filesystem::path& folder) {
    FolderIdentity identity;
    if (!IdentifyFolder(folder, identity)) return true;
    return visited_.insert(identity).second;
}

int32_t ConversionJob::AddMatchingFiles(const std::filesystem::path& folderPath,
                                        const std::string& pattern,
                                        std::vector<std::filesystem::path>& clnFiles,
                                        bool bDoSubfolders) {
    JobState& state = *state_;
    if (!FolderExists(folderPath)) return -1;
    const std::string folder = WithTrailingSeparator(folderPath);
    // Each real folder once, however it is reached.
    if (!FirstVisit(folder)) return 0;
    // What is being listed.
    state.SetStatus(StatusTarget::Progress, "Creating files to do list: " + folder);
    state.SetStatus(StatusTarget::ElapsedTime,
                    FormatElapsedSeconds(TickCount() - state.run.lTotalTimeStart));
    state.run.DoEvents();
    FolderListing listing;
    std::string error;
    if (!ListFolder(folder, listing, error)) {
        // Reports in a folder that cannot be read would be left out without a word.
        state.messages.Show("Cannot list the folder " + folder + ": " + error +
                                ". Its reports are not converted.",
                            MessageIcon::Critical);
        return 0;
    }
    // The folder's own files first.
    for (const std::string& name : listing.files) {
        state.run.DoEvents();
        if (state.run.StopAsked()) return -2;
        const size_t dot = name.rfind('.');
        const std::string_view extension =
            dot == std::string::npos ? std::string_view() : std::string_view(name).substr(dot + 1);
        if (PatternMatchesExtension(pattern, extension)) clnFiles.emplace_back(folder + name);
    }
    // Then the sub-folders, depth first.
    if (bDoSubfolders) {
        for (const FolderListing::SubFolder& sub : listing.subFolders) {
            if (state.run.StopAsked()) return -2;
            const std::filesystem::path path = folder + sub.name;
            if (sub.isLink && LeadsBackIntoTheTree(path)) continue;
            AddMatchingFiles(path, pattern, clnFiles, bDoSubfolders);
        }
    }
    return 0;
}

bool ConversionJob::PatternMatchesExtension(std::string_view pattern, std::string_view extension) {
    if (pattern == "*.*") return true;
    return EqualsNoCase(pattern, "*." + AsciiUpper(extension));
}

bool ConversionJob::ConvertOneFile(int64_t index, int64_t count,
                                   const std::filesystem::path* takenBy) {
    JobState& state = *state_;
    Messages& messages = state.messages;
    fileMessages_->StartFile();
    fileMessages_->FileStarted(index, count, options_.sInputFile);
    lastFile_ = index >= count;
    state.SetStatus(
        StatusTarget::CurrentFile,
        fmt::format("{}   [{} of {} files]", options_.sInputFile.string(), index, count));
    // The current paths and tab size; nothing known of an earlier report is kept.
    state.recipe.Reports.Clear();
    state.job.gInputFile = options_.sInputFile;
    // The same recipe for every file of a job: not copied again.
    if (state.job.gRecipeFile.native() != options_.sRecipeFile.native())
        state.job.gRecipeFile = options_.sRecipeFile;
    state.job.gOutputFile = options_.sOutputFile;
    state.job.gTabSize = options_.lTabSize;

    FileOutcome outcome;
    // The output type, from the output's file name.
    if (const std::optional<OutputType> type = OutputTypeOf(state.job.gOutputFile)) {
        state.job.outputType = *type;
        bool outputExists = true;
        LookAtFiles();
        std::string clash = PathClash(outputExists, takenBy);
        if (const std::string kind = outputExists && !NonFileKind(looks_.output).empty()
                                         ? NonFileTarget(state.job.gOutputFile)
                                         : "";
            clash.empty() && !kind.empty())
            clash = fmt::format("The output file {} is {}; nothing was written. Choose a regular "
                                "file as output.",
                                state.job.gOutputFile.string(), kind);
        if (!clash.empty()) {
            messages.Show(clash, MessageIcon::Exclamation);
            outcome = Skipped(clash);
        } else {
            // Temporary files that killed runs left beside the outputs go, once a folder.
            if (const std::string_view folder = FolderText(state.job.gOutputFile);
                sweptFolders_.empty() || folder != lastSwept_) {
                lastSwept_ = folder;
                if (sweptFolders_.insert(state.job.gOutputFile.parent_path()).second)
                    SweepStaleTemporaries(state.job.gOutputFile);
            }
            outcome = ConvertGuarded();
        }
    } else {
        const std::string refusal = OutputTypeRefusal(state.job.gOutputFile);
        messages.Show(refusal, MessageIcon::Exclamation);
        outcome = Skipped(refusal);
        outcome.outputTypeKnown = false;
    }
    input_ = {};
    CountOutcome(outcome);
    fileMessages_->FileFinished(state.job.gInputFile, state.job.gOutputFile, outcome);
    return outcome.written;
}

FileOutcome ConversionJob::ConvertGuarded() {
    JobState& state = *state_;
    try {
        return ConvertWithRecipe(options_.bUseRecipe ? state.job.gRecipeFile
                                                     : settings_.AutoRecipeFile);
    } catch (const ProgramFolderLock::Stopped&) {
        // Stopped while another job had the working files: nothing was written.
        return StoppedBeforeOutput();
    } catch (const std::exception& e) {
        // A failure nothing foresaw (memory running out, say) ends this file
        // only, and names it; what was begun is dropped, the earlier output kept.
        state.sink.xlApp.reset();
        state.run.ExportOver();
        const bool memory = dynamic_cast<const std::bad_alloc*>(&e) != nullptr;
        const std::string text = fmt::format(
            "The conversion of {} stopped: {}. {} was not written.", state.job.gInputFile.string(),
            memory ? "there is not enough memory" : e.what(), state.job.gOutputFile.string());
        state.messages.Show(text, MessageIcon::Critical);
        return Failed(text);
    }
}

namespace {

// A name and what its look found.
struct Looked {
    const std::filesystem::path& path;
    const FileLook& look;
};

// SameFile on what was looked at: only names that lead nowhere (or could
// not be looked at) need SameFile's comparison of resolved names.
bool SameLooked(const Looked& a, const Looked& b) {
    if (a.path.empty() || b.path.empty()) return false;
    const int aError = a.look.error, bError = b.look.error;
    if (aError == 0 && bError == 0)
        return a.look.info.st_dev == b.look.info.st_dev && a.look.info.st_ino == b.look.info.st_ino;
    if ((aError == 0 && bError == ENOENT) || (aError == ENOENT && bError == 0)) return false;
    return SameFile(a.path, b.path);
}

} // namespace

void ConversionJob::LookAtFiles() {
    const JobState& state = *state_;
    looks_.outputName = LookAt(state.job.gOutputFile, false);
    // A link is followed for what it leads to; any other name looks the same either way.
    looks_.output = looks_.outputName.IsLink() ? LookAt(state.job.gOutputFile) : looks_.outputName;
    // A listed report is opened at once: the opening tells what a look would.
    std::string error;
    input_ = inputsListed_ ? OpenedFile::Of(state.job.gInputFile, error) : OpenedFile();
    looks_.input = input_.IsOpen() ? FileLook{input_.Info(), 0} : LookAt(state.job.gInputFile);
    looks_.recipe = options_.bUseRecipe ? LookAt(state.job.gRecipeFile) : FileLook{};
    if (!inputsListed_ || !options_.bUseRecipe)
        looks_.autoRecipe = LookAt(settings_.AutoRecipeFile);
    looks_.exportSpecs = LookAt(settings_.ExportSpecsFile);
}

TargetKnown ConversionJob::OutputKnown() {
    const std::filesystem::path& output = state_->job.gOutputFile;
    // The outputs of one folder follow each other: its limit is asked once.
    if (const std::string_view folder = FolderText(output);
        nameLimit_ == 0 || folder != limitFolder_) {
        limitFolder_ = folder;
        nameLimit_ = FolderNameLimit(folder.empty() ? std::filesystem::path(".")
                                                    : std::filesystem::path(folder));
    }
    return {looks_.outputName, nameLimit_};
}

std::string ConversionJob::PathClash(bool& outputExists,
                                     const std::filesystem::path* takenBy) const {
    const JobState& state = *state_;
    const std::filesystem::path& output = state.job.gOutputFile;
    const Looked out{output, looks_.output}, input{state.job.gInputFile, looks_.input};
    outputExists = out.look.error != ENOENT;
    if (takenBy)
        return fmt::format("The output file {} was written from {} earlier in this job; {} would "
                           "replace it, so nothing was written for it. Give the two reports "
                           "different names.",
                           output.string(), takenBy->string(), state.job.gInputFile.string());
    // Writing the output would destroy the report or the recipe before or
    // while it is read.
    if (SameLooked(out, input))
        return fmt::format("The output file {} is the input file {}; nothing was written. Choose "
                           "another output file.",
                           output.string(), state.job.gInputFile.string());
    if (options_.bUseRecipe && SameLooked(out, {state.job.gRecipeFile, looks_.recipe}))
        return fmt::format("The output file {} is the recipe file {}; nothing was written. "
                           "Choose another output file.",
                           output.string(), state.job.gRecipeFile.string());
    // The program's working files are replaced by every conversion.
    for (const auto& [working, look] : {Looked{settings_.AutoRecipeFile, looks_.autoRecipe},
                                        Looked{settings_.ExportSpecsFile, looks_.exportSpecs}}) {
        if (SameLooked(input, {working, look}))
            return fmt::format("The input file {} is the working file {}, which each conversion "
                               "replaces; nothing was written. Convert a copy of it instead.",
                               state.job.gInputFile.string(), working.string());
    }
    return {};
}

FileOutcome ConversionJob::NoTableWritten() {
    JobState& state = *state_;
    const std::string text = "No table was written to " + state.job.gOutputFile.string() + ".";
    state.messages.Show(text, MessageIcon::Critical);
    return Skipped(fileMessages_->FirstProblem().empty() ? text : fileMessages_->FirstProblem());
}

struct ConversionJob::ReadRecipe {
    std::filesystem::path path;
    struct stat file {};
    SectionedText text;
    bool holdsTables = false;          // checked once: it reads and holds a table section
    bool longFormat = false;           // an export-specs file, run as it stands
    std::vector<std::string> keyTexts; // every table's, for each report's index
    int64_t tables = 0;                // its table sections
};

struct ConversionJob::Expansion {
    int32_t tabSize = 0;
    int64_t tables = 0;     // the tables whose expansion the status texts tell
    clsExportSpecs specs;   // as read back, before any run
    struct stat working {}; // the working export-specs file as it was left
};

namespace {

// A long-format (export-specs) file rather than a recipe.
bool IsExportSpecText(const SectionedText& text) {
    return AsciiUpper(Trim(GetIniValue(text, "Header", "FileType", ""))) == "EXPORT SPEC";
}

bool SameFileState(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

} // namespace

const SectionedText& ConversionJob::RecipeText(const std::filesystem::path& recipeFile,
                                               const FileLook& look) {
    // The same file, unchanged since it was read: its text is still good.
    const struct stat& now = look.info;
    const bool known = look.Exists();
    if (recipe_ && known && recipe_->path == recipeFile && SameFileState(recipe_->file, now))
        return recipe_->text;
    expansion_.reset();
    recipe_ = std::make_unique<ReadRecipe>();
    recipe_->path = recipeFile;
    if (known) recipe_->file = now;
    recipe_->text = SectionedText::FromFile(recipeFile);
    recipe_->longFormat = IsExportSpecText(recipe_->text);
    recipe_->keyTexts = KeyTextsOf(recipe_->text);
    recipe_->tables = static_cast<int64_t>(recipe_->keyTexts.size() / 2); // a start and an end each
    // A file that changed while it was read, or could not be read (too many
    // open files may pass), is read again next time.
    if (!known || !recipe_->text.ReadError().empty()) recipe_->path.clear();
    return recipe_->text;
}

// A file that was written may still have met problems on the way; then it counts.
void ConversionJob::CountOutcome(FileOutcome& outcome) {
    const JobState& state = *state_;
    outcome.written = outcome.kind == FileOutcome::Kind::Converted;
    if (outcome.written && !fileMessages_->FirstProblem().empty()) {
        outcome.kind = FileOutcome::Kind::Failed;
        outcome.reason = fileMessages_->FirstProblem();
    } else if (outcome.written && state.run.StopAsked()) {
        outcome.kind = FileOutcome::Kind::Failed;
        outcome.reason = "the job was stopped; the output holds the rows written until then";
    }
    switch (outcome.kind) {
    case FileOutcome::Kind::Converted:
        ++result_.converted;
        break;
    case FileOutcome::Kind::Skipped:
        ++result_.skipped;
        break;
    case FileOutcome::Kind::Failed:
        ++result_.failed;
        break;
    }
}

namespace {

// A recipe that cannot be read, or holds no table (empty, not a recipe at
// all), writes nothing; said here. `tables`: its table sections.
bool RecipeHasTables(Messages& messages, const std::filesystem::path& recipeFile,
                     const SectionedText& recipeText, int64_t tables) {
    if (!RecipeReadProblem(messages, recipeText, recipeFile).empty()) return false;
    if (tables == 0) {
        messages.Show("The recipe file " + recipeFile.string() +
                          " holds no table section (a line [Table 1]).",
                      MessageIcon::Critical);
        return false;
    }
    return true;
}

} // namespace

FileOutcome ConversionJob::ConvertWithRecipe(const std::filesystem::path& recipeFile) {
    JobState& state = *state_;
    Messages& messages = state.messages;
    // Two jobs sharing the program folder take turns with its working files:
    // taken before the first is written, held to the file's end.
    std::optional<ProgramFolderLock> lock;

    // The recipe (in the recipe method), the input.
    if (std::string missing = MissingInput(); !missing.empty()) return Skipped(std::move(missing));
    // The recipe's text: the recipe file's, or, in the mark-up method, the
    // recipe made from the marks in the input file (one read of it).
    SectionWriter marked(recipeFile, AtomicFile::Durability::InPlace);
    SectionedText markedText;
    MarkedRecipe marks;
    // One read of the report (a PDF's text rebuilt first) serves the marks, keys and tabs.
    TextIndex& report = ReportIndex();
    if (!options_.bUseRecipe && report.Problem().empty()) {
        // The mark-up method. Faulty marks would convert some other stretch
        // of the report: they are said, and only the tables above them count.
        marks = MakeShortFromMarks(state.job.gInputFile, marked, report.ReadFrom());
        if (marks.read) markedText = marked.TakeText();
        // Tables above a fault still convert: the fault is a warning then.
        if (!marks.problem.empty())
            messages.Show(marks.problem, marks.read ? MessageIcon::Warning : MessageIcon::Critical);
    }
    const SectionedText& recipeText =
        options_.bUseRecipe ? RecipeText(recipeFile, looks_.recipe) : markedText;
    // A recipe that holds tables says nothing: checked once while it stays as it was.
    if (options_.bUseRecipe && !recipe_->holdsTables) {
        if (!RecipeHasTables(messages, recipeFile, recipeText, recipe_->tables))
            return NoTableWritten();
        recipe_->holdsTables = true;
    }
    // A report the marks could not be read from was said already.
    if (!PrepareReport(recipeText, report,
                       options_.bUseRecipe || marks.read || !report.Problem().empty()))
        return NoTableWritten();
    if (!options_.bUseRecipe) {
        // The recipe made from the marks is written for the user to see, over
        // the earlier one and only when it differs.
        std::string error;
        LockWorkingFiles(lock);
        if (!marks.read) {
            std::error_code ec;
            std::filesystem::remove(recipeFile, ec);
            return NoTableWritten();
        }
        if (!marked.CommitTaken(markedText, error)) {
            const std::string text =
                "Cannot write the recipe file " + recipeFile.string() + ": " + error;
            messages.Show(text, MessageIcon::Critical);
            return Failed(text);
        }
        if (marks.tables == 0) return NoTableWritten();
    }
    if (!PrepareExportSpecs(recipeFile, recipeText, report, lock))
        return Failed(fileMessages_->FirstProblem());
    FileOutcome outcome = RunRecipe();
    state.reportChecks = nullptr;
    return outcome;
}

TextIndex& ConversionJob::ReportIndex() {
    JobRecipe& recipe = state_->recipe;
    const std::filesystem::path& path = state_->job.gInputFile;
    // From the descriptor the listing opened, else by the look it took.
    return input_.IsOpen() ? recipe.Reports.For(path, std::move(input_))
                           : recipe.Reports.For(path, looks_.input);
}

bool ConversionJob::PrepareReport(const SectionedText& recipeText, TextIndex& report,
                                  bool checkRead) {
    JobState& state = *state_;
    // The key texts the tables search, found by the report's one scan.
    if (options_.bUseRecipe) {
        report.ExpectMany(recipe_->keyTexts.size());
        for (const std::string& key : recipe_->keyTexts)
            report.Expect(key);
    } else {
        ExpectKeyTexts(recipeText, report);
    }
    // The report's checks: now, or by the pass that converts a one-table job.
    state.reportChecks = nullptr;
    if (LeavesChecksToRun(report)) {
        state.reportChecks = [this](TextIndex& text) { return ReportUsable(text, true); };
        return true;
    }
    return ReportUsable(report, checkRead);
}

bool ConversionJob::ReportUsable(TextIndex& report, bool checkRead) {
    if (checkRead && !ReportReadProblem(state_->messages, report).empty()) return false;
    if (!warnedAboutTabs_ && report.HasTabs()) WarnAboutTabsInFile();
    return true;
}

bool ConversionJob::LeavesChecksToRun(TextIndex& report) const {
    return options_.bUseRecipe && state_->job.outputType == OutputType::Csv && !report.Scanned() &&
           report.ReadsItsOwnFile() && !recipe_->longFormat && recipe_->tables == 1;
}

std::string ConversionJob::MissingInput() {
    const JobState& state = *state_;
    std::string text;
    if (options_.bUseRecipe && !FileExists(state.job.gRecipeFile, looks_.recipe))
        text = NoSuchFileMessage("Recipe file ", state.job.gRecipeFile);
    // A listed report's name is the folder's own, never a pattern: "a?.txt" is a file.
    else if (inputsListed_ ? !looks_.input.IsFile()
                           : !FileExists(state.job.gInputFile, looks_.input))
        text = NoSuchFileMessage("Input file: ", state.job.gInputFile);
    if (!text.empty()) state_->messages.Show(text, MessageIcon::Exclamation);
    return text;
}

bool ConversionJob::PrepareExportSpecs(const std::filesystem::path& recipeFile,
                                       const SectionedText& recipeText, TextIndex& report,
                                       std::optional<ProgramFolderLock>& lock) {
    JobState& state = *state_;
    // A long-format file given as the recipe runs as it stands: no expansion,
    // nothing deleted or rewritten.
    if (options_.bUseRecipe ? recipe_->longFormat : IsExportSpecText(recipeText)) {
        ResetRecipeFor(recipeFile);
        state.recipe.ExportSpecs.ReadFromText(state.messages, recipeText, recipeFile);
        return true;
    }
    // The job's recipe expanded for an earlier report is this report's too.
    if (options_.bUseRecipe && ReuseExpansion()) return true;
    // The recipe expanded into the working export-specs file, which is
    // written for the user to see (over the earlier one, only when it differs)
    // and read back from memory.
    const int64_t messagesBefore = fileMessages_->MessagesShown();
    const bool missing = !recipeText.IsOpen() && !FileExists(recipeFile);
    if (missing)
        state.messages.Show("Cannot find recipe file: " + recipeFile.string(), MessageIcon::None);
    ResetRecipeFor(settings_.ExportSpecsFile);
    if (missing) state.messages.Show("short format recipe file does not exist!", MessageIcon::None);
    // The working file is written over as it is made, each table's sections
    // read back as they leave memory: the lock is taken before the file is
    // opened, and not before, for it holds a descriptor while the expansion
    // reads the report.
    SectionWriter specs(settings_.ExportSpecsFile, AtomicFile::Durability::InPlace);
    specs.BeforeOpening([&] { LockWorkingFiles(lock); });
    const int64_t tables = options_.bUseRecipe ? recipe_->tables : CountTableSections(recipeText);
    clsExportSpecs::PieceReader readBack(state.recipe.ExportSpecs, tables);
    ConvertShortToLong(*fileMessages_, state.Caption(), recipeText, specs, report,
                       state.job.gTabSize, readBack.Following(specs), tables);
    // A working file that could not be written ends the job before its
    // output: a job that says it failed leaves the earlier output alone.
    LockWorkingFiles(lock);
    std::string error;
    if (!specs.Commit(error)) {
        state.messages.Show("Cannot write the export-specs file " +
                                settings_.ExportSpecsFile.string() + ": " + error,
                            MessageIcon::Critical);
        return false;
    }
    readBack.Finish(state.messages, settings_.ExportSpecsFile);
    if (options_.bUseRecipe) KeepExpansion(recipeText, messagesBefore);
    return true;
}

void ConversionJob::LockWorkingFiles(std::optional<ProgramFolderLock>& lock) {
    if (lock) return;
    JobState& state = *state_;
    // The caption the wait replaces comes back when it ends, however it ends.
    std::optional<std::string> before;
    const auto restore = [&] {
        if (before) state.SetStatus(StatusTarget::Caption, *before);
    };
    try {
        lock.emplace(
            settings_.LockFile,
            [&] {
                before = state.Caption();
                state.SetStatus(StatusTarget::Caption,
                                "Waiting for another job using the working files in " +
                                    settings_.LockFile.parent_path().string() + ". Please wait...");
            },
            [&] { return GiveUpWaiting(); });
    } catch (const ProgramFolderLock::Stopped&) {
        restore();
        throw;
    }
    restore();
}

bool ConversionJob::GiveUpWaiting() {
    JobRun& run = state_->run;
    run.DoEvents();
    return run.StopHolds();
}

void ConversionJob::ResetRecipeFor(const std::filesystem::path& exportSpecsFile) {
    clsRecipe& recipe = state_->recipe.gRecipe;
    recipe.ResetRecipe();
    recipe.InputFileName[0] = state_->job.gInputFile;
    recipe.ExportSpecFileName = exportSpecsFile;
}

bool ConversionJob::ReuseExpansion() {
    JobState& state = *state_;
    if (!expansion_ || expansion_->tabSize != state.job.gTabSize) return false;
    // The working file as this job left it: nothing to write.
    if (!looks_.exportSpecs.Exists() ||
        !SameFileState(looks_.exportSpecs.info, expansion_->working))
        return false;
    // The status texts the expansion shows, as it shows them.
    const std::string caption = state.Caption();
    for (int64_t i = 1; i <= expansion_->tables; ++i)
        fileMessages_->StatusChanged(StatusTarget::Caption,
                                     caption + " - Scanning Table " + std::to_string(i));
    fileMessages_->StatusChanged(StatusTarget::Caption, caption);
    ResetRecipeFor(settings_.ExportSpecsFile);
    state.recipe.ExportSpecs = expansion_->specs;
    return true;
}

void ConversionJob::KeepExpansion(const SectionedText& recipeText, int64_t messagesBefore) {
    expansion_.reset();
    // The job's last report has no next one to keep the expansion for; the
    // copy costs as much as the run of a recipe of many tables.
    if (lastFile_) return;
    // A message said must be said again for the next report; a layout
    // derived from this report is not the next one's.
    if (fileMessages_->MessagesShown() != messagesBefore || ExpansionReadsTheReport(recipeText))
        return;
    auto kept = std::make_unique<Expansion>();
    if (::stat(settings_.ExportSpecsFile.c_str(), &kept->working) != 0) return;
    kept->tabSize = state_->job.gTabSize;
    kept->tables = recipe_->tables;
    kept->specs = state_->recipe.ExportSpecs;
    expansion_ = std::move(kept);
}

FileOutcome ConversionJob::RunRecipe() {
    JobState& state = *state_;
    Messages& messages = state.messages;
    // A workbook open in a spreadsheet program is left alone.
    if (IsWorkbook(state.job.outputType) && IsExcelRunning(state.job.gOutputFile)) {
        const std::string text = " Microsoft Excel is already open. Please close it then retry";
        messages.Show(text, MessageIcon::Information);
        return Skipped(std::string(Trim(text)));
    }
    // The sheet the sections of sheet 1 write into; a CSV output has none.
    SheetTarget target;
    std::string targetError;
    const bool targetRead = ParseSheetTarget(options_.sSheetTarget, target, targetError);
    if (!targetRead && IsWorkbook(state.job.outputType)) {
        messages.Show(targetError, MessageIcon::Exclamation);
        return Skipped(targetError);
    }
    // The caption comes back at the end.
    const std::string caption = state.Caption();
    FileOutcome outcome;
    if (state.job.outputType == OutputType::Sqlite) {
        if ((!targetRead || !target.IsFirstSheet()) && !sheetTargetNoticeShown_) {
            sheetTargetNoticeShown_ = true;
            messages.Show("The sheet target " + Echo(Trim(options_.sSheetTarget)) +
                              " applies to workbooks only; a database has tables, not sheets.",
                          MessageIcon::Information, {}, MessageKind::Notice);
        }
        outcome = RunIntoDatabase();
    } else if (state.job.outputType == OutputType::Csv) {
        // CSV output, replacing any earlier file when the run ends.
        state.SetStatus(StatusTarget::Caption, "Writing report to CSV file. Please wait...");
        if ((!targetRead || !target.IsFirstSheet()) && !sheetTargetNoticeShown_) {
            sheetTargetNoticeShown_ = true;
            messages.Show("The sheet target " + Echo(Trim(options_.sSheetTarget)) +
                              " applies to workbooks only; a CSV output has no sheets.",
                          MessageIcon::Information, {}, MessageKind::Notice);
        }
        outcome = RunIntoCsv();
    } else {
        // Workbook output.
        outcome = RunIntoWorkbook(target);
    }
    state.SetStatus(StatusTarget::Caption, caption);
    return outcome;
}

FileOutcome ConversionJob::RunIntoCsv() {
    JobState& state = *state_;
    Messages& messages = state.messages;
    FileOutcome outcome;
    const TargetKnown known = OutputKnown();
    CsvWriter csv(state.job.gOutputFile, TextEncoding::Utf8, &known);
    std::string error;
    if (!csv.Open(error)) {
        const std::string text =
            "Cannot create the CSV file " + state.job.gOutputFile.string() + ": " + error;
        messages.Show(text, MessageIcon::Critical);
        outcome = Failed(text);
    } else {
        state.recipe.ExportSpecs.Process(state, &csv);
        // A write that failed is said by Close, with its cause.
        if (std::optional<FileOutcome> withheld = csv.Failed() ? std::nullopt : OutputWithheld()) {
            csv.Discard();
            outcome = std::move(*withheld);
        } else if (!csv.Close(error, &stop_)) {
            if (stop_.Interrupted()) {
                outcome = StoppedBeforeOutput();
            } else {
                const std::string text =
                    "Cannot write the CSV file " + state.job.gOutputFile.string() + ": " + error;
                messages.Show(text, MessageIcon::Critical);
                outcome = Failed(text);
            }
        }
    }
    return outcome;
}

FileOutcome ConversionJob::RunIntoWorkbook(const SheetTarget& target) {
    JobState& state = *state_;
    Messages& messages = state.messages;
    // Another job saving a workbook into the same folder goes first: its save
    // is read, not dropped. A stop while waiting leaves the workbook alone.
    const OutputFolderLock folderLock(
        state.job.gOutputFile,
        [&](const std::filesystem::path& folder) {
            state.SetStatus(StatusTarget::Caption,
                            "Waiting for another job saving into the folder " + folder.string() +
                                ". Please wait...");
        },
        [&] { return GiveUpWaiting(); });
    if (folderLock.Stopped()) return StoppedBeforeOutput();
    state.SetStatus(StatusTarget::Caption, "Writing data to Microsoft Excel. Please wait...");
    std::string targetError;
    FileOutcome outcome;
    if (!OpenExcelWorkbook(messages, state.job.gOutputFile, state.job.outputType,
                           state.sink.xlApp)) {
        outcome = Skipped(fileMessages_->FirstProblem());
    } else if (const int32_t sheet = ResolveSheetTarget(*state.sink.xlApp, target, targetError);
               sheet == 0) {
        const std::string text = "Cannot write to the sheet target " +
                                 Echo(Trim(options_.sSheetTarget)) + " of " +
                                 state.job.gOutputFile.string() + ": " + targetError;
        messages.Show(text, MessageIcon::Critical);
        outcome = Skipped(text);
        CloseExcel(state.sink.xlApp);
    } else {
        state.sink.xlApp = WithSheetTarget(std::move(state.sink.xlApp), sheet);
        // Clearing empties the used range of the target sheet. It takes
        // effect only when the workbook is saved, after a run that wrote.
        if (options_.bClearOutputFileBeforeProcessing)
            state.sink.xlApp->ClearRange(1, state.sink.xlApp->UsedRange(1));
        state.recipe.ExportSpecs.Process(state, nullptr);
        if (std::optional<FileOutcome> withheld = OutputWithheld())
            outcome = std::move(*withheld);
        else if (!SaveExcelWorkbook(messages, state.job.gOutputFile, *state.sink.xlApp, &stop_))
            outcome =
                stop_.Interrupted() ? StoppedBeforeOutput() : Failed(fileMessages_->FirstProblem());
        CloseExcel(state.sink.xlApp);
    }
    return outcome;
}

FileOutcome ConversionJob::RunIntoDatabase() {
    JobState& state = *state_;
    Messages& messages = state.messages;
    state.SetStatus(StatusTarget::Caption, "Writing data to the database. Please wait...");
    // The report's rows are one transaction: committed by the save, rolled
    // back by anything else.
    // The database stays open for the job's next report into it.
    std::string error;
    if (database_ && database_->File() != state.job.gOutputFile) database_.reset();
    if (!database_) database_ = SqliteDatabase::Open(state.job.gOutputFile, error);
    std::unique_ptr<SqliteOutput> opened =
        database_ ? SqliteOutput::Open(
                        *database_, DatabaseTargetFor(state.job, state.recipe.ExportSpecs), error)
                  : nullptr;
    if (!opened) {
        database_.reset();
        messages.Show(error, MessageIcon::Critical);
        return Skipped(error);
    }
    SqliteOutput& database = *opened;
    state.sink.xlApp = std::move(opened);
    FileOutcome outcome;
    {
        DatabaseRun run(state, database);
        state.recipe.ExportSpecs.Process(state, nullptr);
        if (std::optional<FileOutcome> withheld = OutputWithheld())
            outcome = std::move(*withheld);
        else if (!run.WriteConsolidations() ||
                 !SaveExcelWorkbook(messages, state.job.gOutputFile, database))
            outcome = Failed(fileMessages_->FirstProblem());
    }
    CloseExcel(state.sink.xlApp);
    return outcome;
}

bool ConversionJob::RunFailed() const {
    // Warnings and notices leave a sound output; an error message says that
    // the run's output is not what the recipe asks for.
    return state_->recipe.ExportSpecs.FatalProcessError || fileMessages_->ErrorsShown() > 0;
}

std::optional<FileOutcome> ConversionJob::OutputWithheld() {
    JobState& state = *state_;
    // An interrupt that came after the last row counts too.
    state.run.DoEvents();
    if (state.run.Interrupted()) return StoppedBeforeOutput();
    if (state.recipe.ExportSpecs.TablesWritten == 0)
        return state.run.StopAsked() ? StoppedBeforeAnyRow() : NoTableWritten();
    if (RunFailed()) return OutputKept();
    return std::nullopt;
}

FileOutcome ConversionJob::StoppedBeforeOutput() const {
    // The command line says which outputs are complete, once for the job.
    FileOutcome outcome =
        Skipped("the job was stopped; " + state_->job.gOutputFile.string() + " was not changed");
    outcome.stopped = true;
    return outcome;
}

FileOutcome ConversionJob::StoppedBeforeAnyRow() {
    JobState& state = *state_;
    const std::string text = "The job was stopped before any row was written; nothing was "
                             "written to " +
                             state.job.gOutputFile.string() + ".";
    // The user's own choice: told, not reported as a problem.
    state.messages.Show(text, MessageIcon::Information, {}, MessageKind::Notice);
    return Skipped(text);
}

FileOutcome ConversionJob::OutputKept() {
    JobState& state = *state_;
    const std::string text =
        fmt::format("The conversion of {} did not complete; {} was not "
                    "written, and any earlier file of that name is unchanged.",
                    state.job.gInputFile.string(), state.job.gOutputFile.string());
    state.messages.Show(text, MessageIcon::Critical);
    return Failed(fileMessages_->FirstProblem().empty() ? text : fileMessages_->FirstProblem());
}

void ConversionJob::WarnAboutTabsInFile() {
    if (warnedAboutTabs_) return;
    warnedAboutTabs_ = true;
    state_->messages.Show(kTabsInFileNotice, MessageIcon::Information, {}, MessageKind::Notice);
}

bool ConversionJob::LaunchFile(Messages& messages, const std::filesystem::path& sFile,
                               const std::function<bool(const std::filesystem::path&)>& open) {
    if (!FileExists(sFile) && !FolderExists(sFile)) {
        messages.Show("File/Folder does not exist:\r\n\r\n" + sFile.string(),
                      MessageIcon::Information, "Error");
        return false;
    }
    return open(sFile);
}

} // namespace vok
