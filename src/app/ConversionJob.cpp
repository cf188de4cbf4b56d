// The job, in steps:
//   BeginProcessing: build the file list (a pattern) or take the one file,
//     name each output, convert each file, then say "Conversion Complete" and
//     the elapsed time;
//   ConvertOneFile: choose CSV or workbook output, check recipe and input,
//     turn the recipe (or the marks in the input) into the export
//     specification, read it back and run it (RunRecipe).
#include "app/ConversionJob.h"

#include "base/Clock.h"
#include "app/ProgramFolderLock.h"
#include "base/modUtilityFile.h"
#include "base/modUtilityFileSystemObject.h"
#include "base/modUtilityString.h"
#include "output/CsvWriter.h"
#include "base/TextAccess.h"
#include "output/WorkbookConnection.h"
#include "recipe/SectionedFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fmt/format.h>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>

extern char** environ;

namespace vok {

namespace {

// A folder path ending in exactly one separator (a root keeps its own).
std::string WithTrailingSeparator(std::string folder) {
    if (folder.empty() || !IsPathSeparator(folder.back())) folder.push_back('/');
    return folder;
}

bool ContainsNoCase(std::string_view text, std::string_view part) {
    return AsciiUpper(text).find(AsciiUpper(part)) != std::string::npos;
}

} // namespace

int32_t ConversionJob::BeginProcessing() {
    Messages& messages = state_.messages;
    clsConversionOptions& options = state_.gConversionOptions;
    int32_t result = 0;
    // 2-4. A fresh list, the start time, the toolbar.
    std::vector<std::string> clnFiles;
    state_.lTotalTimeStart = TickCount();

    if (options.sInputFile.find('*') != std::string::npos) {
        // 5. A pattern job.
        std::string sErr;
        if (!BuildOriginalFileList(options.sInputFile, options.bDoSubfolders, clnFiles, sErr)) {
            // The reason is worth showing too: it names the missing folder.
            messages.Show("Unable to create file list" + (sErr.empty() ? "" : "\r\n" + sErr),
                          MessageIcon::None, kProgramTitle);
        } else if (options.sOutputFile.find('*') == std::string::npos) {
            result = -2;
            messages.Show("You must specify a proper output file which includes the wild "
                          "card\r\n\r\nFor example: C:\\Output\\*.CSV",
                          MessageIcon::Information, "Invalid Target Folder");
        } else {
            // 5.3. Computed once: output prefix, input base, output extension.
            const std::string prefix = options.sOutputFile.substr(0, options.sOutputFile.find('*'));
            const std::string inputBase =
                WithTrailingSeparator(GetParentFolderName(options.sInputFile));
            const std::string extension = GetExtensionName(options.sOutputFile);
            // 5.4. Each file in turn.
            for (size_t i = 0; i < clnFiles.size(); ++i) {
                state_.DoEvents();
                if (state_.StopRequested) break;
                options.sInputFile = clnFiles[i];
                const std::string folder =
                    WithTrailingSeparator(GetParentFolderName(options.sInputFile));
                const std::string base = GetBaseName(options.sInputFile);
                if (options.bSaveInOriginalFolder) {
                    options.sOutputFile = folder + base + "." + extension;
                } else {
                    const std::string relative =
                        folder.size() > inputBase.size() ? folder.substr(inputBase.size()) : "";
                    const std::string outputFolder = prefix + relative;
                    if (!outputFolder.empty() && !FolderExistsFso(outputFolder))
                        MakeFolderPath(outputFolder);
                    options.sOutputFile = outputFolder + base + "." + extension;
                }
                messages.SetStatus(StatusTarget::CurrentFile,
                                   fmt::format("{}   [{} of {} files]", options.sInputFile, i + 1,
                                               clnFiles.size()));
                ConvertOneFile();
            }
        }
    } else {
        // 6. A single file.
        messages.SetStatus(StatusTarget::CurrentFile, options.sInputFile + "   [1 of 1 files]");
        ConvertOneFile();
        result = options.lErr;
    }
    // 7-9. Always the end texts, whatever happened.
    messages.SetStatus(StatusTarget::Progress, "Conversion Complete");
    messages.SetStatus(StatusTarget::ElapsedTime,
                       FormatElapsedSeconds(TickCount() - state_.lTotalTimeStart));
    state_.StopRequested = false;
    state_.Interrupted = false;
    return result;
}

bool ConversionJob::BuildOriginalFileList(const std::string& sInput, bool bDoSubfolders,
                                          std::vector<std::string>& clnFiles, std::string& sErr) {
    const size_t star = sInput.find('*');
    if (star != std::string::npos) {
        // 2. The folder before the first "*", the pattern from it.
        const std::string folder = sInput.substr(0, star);
        const std::string pattern = sInput.substr(star);
        if (AddMatchingFiles(folder, pattern, clnFiles, bDoSubfolders) == -1) {
            sErr = "Folder: " + folder + " does not exist";
            return false;
        }
        return true;
    }
    // 3. A single file.
    if (FileExists(sInput)) {
        clnFiles.push_back(sInput);
        return true;
    }
    sErr = "File: " + sInput + " does not exist";
    return false;
}

int32_t ConversionJob::AddMatchingFiles(std::string folder, const std::string& pattern,
                                        std::vector<std::string>& clnFiles, bool bDoSubfolders) {
    Messages& messages = state_.messages;
    // 1-2.
    if (!FolderExists(folder)) return -1;
    folder = WithTrailingSeparator(folder);
    // 4. What is being listed.
    messages.SetStatus(StatusTarget::Progress, "Creating files to do list: " + folder);
    messages.SetStatus(StatusTarget::ElapsedTime,
                       FormatElapsedSeconds(TickCount() - state_.lTotalTimeStart));
    state_.DoEvents();
    FolderListing listing;
    if (!ListFolder(folder, listing)) return 0;
    // 5. The folder's own files first.
    for (const std::string& name : listing.files) {
        state_.DoEvents();
        if (state_.StopRequested) return -2;
        const std::string path = folder + name;
        if (PatternMatchesExtension(pattern, GetExtensionName(path))) clnFiles.push_back(path);
    }
    // 6. Then the sub-folders, depth first.
    if (bDoSubfolders) {
        for (const std::string& name : listing.subFolders) {
            if (state_.StopRequested) return -2;
            AddMatchingFiles(folder + name, pattern, clnFiles, bDoSubfolders);
        }
    }
    return 0;
}

bool ConversionJob::PatternMatchesExtension(std::string_view pattern, std::string_view extension) {
    if (pattern == "*.*") return true;
    return EqualsNoCase(pattern, "*." + AsciiUpper(extension));
}

void ConversionJob::ConvertOneFile() {
    Messages& messages = state_.messages;
    const clsConversionOptions& options = state_.gConversionOptions;
    // 1. The current paths and tab size.
    state_.gInputFile = options.sInputFile;
    state_.gRecipeFile = options.sRecipeFile;
    state_.gOutputFile = options.sOutputFile;
    state_.gTabSize = options.lTabSize;
    // 2. The output type; ".CSV" is tested first.
    bool csv;
    if (ContainsNoCase(state_.gOutputFile, ".CSV"))
        csv = true;
    else if (ContainsNoCase(state_.gOutputFile, ".XLS"))
        csv = false;
    else {
        messages.Show("Output File must be of type XLS or CSV", MessageIcon::Exclamation);
        return;
    }
    // Two jobs sharing the program folder take turns with its working files.
    const ProgramFolderLock lock(state_.ProgramFile("vok.lock"));

    // 3.1-3.3 and 4.1-4.2: the recipe (in the recipe method), the input, the tab notice.
    if (options.bUseRecipe && !FileExists(state_.gRecipeFile)) {
        messages.Show("Recipe file " + state_.gRecipeFile + " does not exist!",
                      MessageIcon::Exclamation);
        return;
    }
    if (!FileExists(state_.gInputFile)) {
        messages.Show("Input file: " + state_.gInputFile + " does not exist!",
                      MessageIcon::Exclamation);
        return;
    }
    if (!state_.Settings.bWarnedAboutTabsInFile && file_has_tabs(state_.gInputFile))
        WarnAboutTabsInFile();
    std::string recipeFile = state_.gRecipeFile;
    if (!options.bUseRecipe) {
        // 4.3-4.4. The mark-up method: a recipe from the marks in the input file.
        recipeFile = state_.ProgramFile("_AutoRecipe.rcp");
        std::error_code ec;
        std::filesystem::remove(NativePath(recipeFile), ec);
        state_.gRecipe.ExportSpecs.FileCreateShort(state_, state_.gInputFile, recipeFile);
    }
    PrepareExportSpecs(recipeFile);
    RunRecipe(csv);
    messages.FileConverted(state_.gInputFile, state_.gOutputFile);
}

void ConversionJob::PrepareExportSpecs(const std::string& recipeFile) {
    clsRecipe& recipe = state_.gRecipe;
    // A long-format file given as the recipe runs as it stands: no expansion,
    // nothing deleted or rewritten.
    if (AsciiUpper(Trim(GetIniValue(recipeFile, "Header", "FileType", ""))) == "EXPORT SPEC") {
        recipe.ResetRecipe();
        recipe.InputFileName[0] = state_.gInputFile;
        recipe.ExportSpecFileName = recipeFile;
    } else {
        // 3.4. The recipe expanded into the working export specification.
        recipe.LoadFromFileShort(state_, recipeFile);
    }
    // 3.5. Read back; the run goes on with what the object holds otherwise.
    if (FileExists(recipe.ExportSpecFileName))
        recipe.ExportSpecs.ReadFromFile(state_, recipe.ExportSpecFileName);
    else
        state_.messages.Show("Cannot find Export Specs file: " + recipe.ExportSpecFileName,
                             MessageIcon::None);
}

void ConversionJob::RunRecipe(bool filetype_csv) {
    Messages& messages = state_.messages;
    clsExportSpecs& specs = state_.gRecipe.ExportSpecs;
    // 1. A workbook open in a spreadsheet program is left alone.
    if (!filetype_csv && IsExcelRunning(state_)) {
        messages.Show(" Microsoft Excel is already open. Please close it then retry",
                      MessageIcon::Information);
        return;
    }
    // 2. The caption comes back at the end.
    const std::string caption = messages.Status(StatusTarget::Caption);
    if (filetype_csv) {
        // 3. CSV output: created, or emptied when it exists.
        messages.SetStatus(StatusTarget::Caption, "Writing report to CSV file. Please wait...");
        CsvWriter csv(state_.gOutputFile, TextEncoding::Utf8);
        if (!csv.IsOpen()) {
            messages.Show(fmt::format("Cannot create the CSV file {}: {}", state_.gOutputFile,
                                      std::strerror(errno)),
                          MessageIcon::Critical);
        } else {
            specs.Process(state_, &csv);
            if (!csv.Close())
                messages.Show("Cannot write the CSV file " + state_.gOutputFile +
                                  " completely; it is incomplete.",
                              MessageIcon::Critical);
        }
    } else {
        // 4. Workbook output.
        messages.SetStatus(StatusTarget::Caption,
                           "Writing data to Microsoft Excel. Please wait...");
        if (OpenExcelWorkbook(state_, state_.gOutputFile)) {
            // 4.3. Clearing empties the used range of the first sheet itself.
            if (state_.gConversionOptions.bClearOutputFileBeforeProcessing)
                state_.xlApp->ClearRange(1, state_.xlApp->UsedRange(1));
            specs.Process(state_, nullptr);
            // 4.5. What was written is saved, also after a failure.
            SaveExcelWorkbook(state_, state_.gOutputFile);
            CloseExcel(state_);
        }
    }
    // 5.
    messages.SetStatus(StatusTarget::Caption, caption);
}

void ConversionJob::WarnAboutTabsInFile() {
    if (state_.Settings.bWarnedAboutTabsInFile) return;
    state_.Settings.bWarnedAboutTabsInFile = true;
    state_.messages.Show("NOTE: The text in the Input File contains tab characters.\n"
                         "To specify the tab stop, change the options.",
                         MessageIcon::Information, {}, MessageKind::Notice);
}

bool ConversionJob::LaunchFile(const std::string& sFile) {
    if (!FileExists(sFile) && !FolderExists(sFile)) {
        state_.messages.Show("File/Folder does not exist:\r\n\r\n" + sFile,
                             MessageIcon::Information, "Error");
        return false;
    }
    // The desktop's opener shows a file in its program and a folder in the file manager.
    const std::string path = NativePath(sFile).string();
    const char* argv[] = {"xdg-open", path.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char* const*>(argv), environ) !=
        0)
        return false;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void ConversionJob::ConversionJobPause() {
    if (state_.gExportRunning) state_.StopRequested = true;
}

} // namespace vok
