// The conversion job: turns one set of options into output files. It decides
// which input files belong to the job (one file, or every file of a folder
// pattern, optionally with sub-folders), names each output, chooses CSV or
// workbook output per file, prepares the export specification from a recipe
// or from the marks in the input file, runs it and keeps the user informed.
// The desktop's Convert button and the command line run the same code.
#pragma once

#include "app/ProgramState.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vok {

class ConversionJob {
public:
    explicit ConversionJob(ProgramState& state) : state_(state) {}

    // Runs one job with the options as they stand: 0, -2 when a pattern job
    // has an output without "*", or the options' lErr after a single file.
    int32_t BeginProcessing();

    // The input files of a pattern or of a single file; false with the reason in sErr.
    bool BuildOriginalFileList(const std::string& sInput, bool bDoSubfolders,
                               std::vector<std::string>& clnFiles, std::string& sErr);

    // Writes the output file from the loaded export specification.
    void RunRecipe(bool filetype_csv);

    void WarnAboutTabsInFile();

    // Opens a file with its associated program, or a folder in the file
    // manager; a missing path is said. False when nothing was opened.
    bool LaunchFile(const std::string& sFile);
    void ConversionJobPause();

    // "*.txt" and "*.*" select files by extension; nothing else selects any.
    static bool PatternMatchesExtension(std::string_view pattern, std::string_view extension);

private:
    void ConvertOneFile();
    // 0 done, -1 the folder does not exist, -2 stopped.
    int32_t AddMatchingFiles(std::string folder, const std::string& pattern,
                             std::vector<std::string>& clnFiles, bool bDoSubfolders);
    void PrepareExportSpecs(const std::string& recipeFile);

    ProgramState& state_;
};

} // namespace vok
