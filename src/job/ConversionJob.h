// The conversion job: turns one set of options into output files. It decides
// which input files belong to the job (one file, or every file of a folder
// pattern, optionally with sub-folders), names each output, chooses CSV or
// workbook output per file, prepares the export-specs file from a recipe
// or from the marks in the input file, runs it and reports to its observer.
// The desktop's Convert button and the command line run the same code; the
// desktop runs it on a worker thread.
#pragma once

#include "base/AtomicFile.h"
#include "base/JobObserver.h"
#include "base/Outcome.h"
#include "base/StopRequest.h"
#include "base/modUtilityFileSystemObject.h"
#include "job/ProgramFolderLock.h"
#include "job/ProgramSettings.h"
#include "job/clsConversionOptions.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vok {

class JobState;
struct SheetTarget;
class SectionedText;
class SqliteDatabase;
class TextIndex;

// What a job did, for the exit status and the status bar.
struct JobResult {
    int32_t code = 0; // 0, or -2 when a pattern job has an output without "*"
    int64_t converted = 0;
    int64_t skipped = 0;
    int64_t failed = 0;
    bool stopped = false;
    int64_t failuresShown = 0;           // messages other than notices
    bool bWarnedAboutTabsInFile = false; // the tab notice has been shown, now or before

    // Nothing went wrong: every file converted, no problem said, not stopped.
    bool Succeeded() const { return failuresShown == 0 && skipped == 0 && failed == 0 && !stopped; }
};

class ConversionJob {
public:
    // The observer must outlive the job; the settings are read, never written.
    ConversionJob(const ProgramSettings& settings, clsConversionOptions options,
                  JobObserver& observer);
    ~ConversionJob();

    // Runs the job with the options as they stand.
    JobResult BeginProcessing();

    // Asks a running export to stop (the Pause button); safe from any thread.
    void ConversionJobPause() { stop_.RequestPause(); }
    // Stops the job at the next row, file or section (closing the window);
    // safe from any thread.
    void RequestStop() { stop_.RequestStop(); }
    // The same, and no output is put in place after it: an interrupt on the
    // command line. Once it returns, every output is either as it was or
    // complete.
    void RequestInterrupt() { stop_.RequestInterrupt(); }

    // The input files of a pattern or of a single file; failed, with the
    // reason, when the folder or the file does not exist.
    Status BuildOriginalFileList(const std::filesystem::path& sInput, bool bDoSubfolders,
                                 std::vector<std::filesystem::path>& clnFiles);

    // "*.txt" and "*.*" select files by extension; nothing else selects any.
    static bool PatternMatchesExtension(std::string_view pattern, std::string_view extension);

    // Opens a file with its program, or a folder in the file manager, through
    // `open`; a missing path is said. False when nothing was opened.
    static bool LaunchFile(Messages& messages, const std::filesystem::path& sFile,
                           const std::function<bool(const std::filesystem::path&)>& open);

private:
    void ConvertPatternJob();
    // Converts the current file; true when its output was written.
    // `takenBy`: in a folder job, the earlier report whose output this one's
    // would replace (a.txt after a.prn under "*.*"), when that was written.
    bool ConvertOneFile(int64_t index, int64_t count,
                        const std::filesystem::path* takenBy = nullptr);
    void CountOutcome(FileOutcome& outcome);
    FileOutcome ConvertWithRecipe(const std::filesystem::path& recipeFile);
    // The same for the job's recipe, with a failure nothing foresaw said as
    // this file's own.
    FileOutcome ConvertGuarded();
    // The designed message for a recipe (in the recipe method) or an input
    // that is no file, after showing it; "" when both are files.
    std::string MissingInput();
    // Expands the recipe and reads the export-specs file; false, after a
    // message, when the working file could not be written.
    bool PrepareExportSpecs(const std::filesystem::path& recipeFile,
                            const SectionedText& recipeText, TextIndex& report,
                            std::optional<ProgramFolderLock>& lock);
    // Takes the lock on the working files unless `lock` holds it already;
    // another job of the program folder goes first. A stop while waiting
    // throws ProgramFolderLock::Stopped, before anything is written.
    void LockWorkingFiles(std::optional<ProgramFolderLock>& lock);
    // Asked while the job waits for another process: true once it was stopped.
    bool GiveUpWaiting();
    // The job's recipe expanded and read for an earlier report, put in place
    // of a new expansion; false when there is none that still holds.
    bool ReuseExpansion();
    // The recipe emptied for this file's run: its one report and the
    // export-specs file its tables are read from.
    void ResetRecipeFor(const std::filesystem::path& exportSpecsFile);
    // Keeps the expansion just made for the job's next reports when it holds
    // for any report: the recipe file's, made without the report and without
    // a message since `messagesBefore`.
    void KeepExpansion(const SectionedText& recipeText, int64_t messagesBefore);
    // The recipe's text, read once per job while the file stays as it was.
    const SectionedText& RecipeText(const std::filesystem::path& recipeFile, const FileLook& look);
    FileOutcome RunRecipe();
    // The run into a SQLite database: one transaction for the report.
    FileOutcome RunIntoDatabase();
    // The run into the CSV file, or into the workbook's target sheet, and
    // the output put in place when the output rule allows.
    FileOutcome RunIntoCsv();
    FileOutcome RunIntoWorkbook(const SheetTarget& target);
    // Why the output must not be written (an earlier report of the job wrote
    // it, it is the input or the recipe, or the input is a working file); ""
    // when it may. `outputExists` tells whether anything is at the output's name.
    std::string PathClash(bool& outputExists, const std::filesystem::path* takenBy) const;
    // Looks once at each name the file's checks ask about (looks_).
    void LookAtFiles();
    // What a save into the output's folder needs to know of it.
    TargetKnown OutputKnown();
    // Says that nothing was written to the output; the earlier file stays.
    FileOutcome NoTableWritten();
    // True when the run showed an error message or a failure ended it.
    bool RunFailed() const;
    // Why the run's output must not replace the earlier file (stopped, no
    // table written, the run failed), as the file's outcome after saying
    // so; nothing when it may.
    std::optional<FileOutcome> OutputWithheld();
    // An interrupt ended the file before its output was put in place.
    FileOutcome StoppedBeforeOutput() const;
    // The user stopped the job before the run wrote a row: said as a notice.
    FileOutcome StoppedBeforeAnyRow();
    // Says that the output was not replaced after a run that did not complete.
    FileOutcome OutputKept();
    void WarnAboutTabsInFile();
    // The checks of the report before its tables: a read problem (when
    // `checkRead`), tabs. False when the report cannot be converted (said).
    // Makes the report ready for the run: the key texts it is to find, and
    // its checks done now or left to the run. False when it cannot be used.
    bool PrepareReport(const SectionedText& recipeText, TextIndex& report, bool checkRead);
    // The index of the file's report, read once for the whole conversion.
    TextIndex& ReportIndex();
    bool ReportUsable(TextIndex& report, bool checkRead);
    // A job whose report may be read once, its checks made by the run as it
    // reads: a recipe of one table into CSV, the report's own text.
    bool LeavesChecksToRun(TextIndex& report) const;
    // 0 done, -1 the folder does not exist, -2 stopped.
    int32_t AddMatchingFiles(const std::filesystem::path& folder, const std::string& pattern,
                             std::vector<std::filesystem::path>& clnFiles, bool bDoSubfolders);
    // A folder link whose target lies in the tree being listed, or above it.
    bool LeadsBackIntoTheTree(const std::filesystem::path& link) const;
    // True the first time this job lists the folder.
    bool FirstVisit(const std::filesystem::path& folder);

    // Passes everything on to the job's observer and keeps the first problem
    // said while a file is converted: the reason its outcome gives.
    class FileMessages;

    const ProgramSettings& settings_;
    clsConversionOptions options_;
    std::unique_ptr<FileMessages> fileMessages_;
    StopRequest stop_;
    // The database output of the job, open from its first report to its end
    // (declared before the state, whose open output uses it).
    std::unique_ptr<SqliteDatabase> database_;
    std::unique_ptr<JobState> state_;
    bool warnedAboutTabs_;
    bool sheetTargetNoticeShown_ = false;
    JobResult result_;
    // Folders listed by this job, so that links never lead round in a circle.
    std::set<FolderIdentity> visited_;
    std::filesystem::path listRoot_;
    // Output folders already swept of temporary files that killed runs left.
    std::set<std::filesystem::path> sweptFolders_;
    std::string lastSwept_; // the folder of the previous output, as text
    // What the current file's checks found at each name, looked at once.
    struct Looks {
        FileLook outputName; // not following a link
        FileLook output, input, recipe, autoRecipe, exportSpecs;
    } looks_;
    // The current report, opened by the look when the job listed it (a
    // listed file was a regular file, so opening it waits on nothing).
    OpenedFile input_;
    bool inputsListed_ = false;
    // The longest name in the folder of the previous output.
    std::string limitFolder_;
    size_t nameLimit_ = 0;
    // The recipe of a folder job is read once: its text, and what the file
    // was like when it was read.
    struct ReadRecipe;
    std::unique_ptr<ReadRecipe> recipe_;
    // Its expansion, made once while the recipe, the tab size and the working
    // file stay as they were.
    struct Expansion;
    std::unique_ptr<Expansion> expansion_;
    bool lastFile_ = true; // the report being converted is the job's last
};

} // namespace vok
