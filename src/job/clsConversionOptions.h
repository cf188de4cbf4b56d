// The options of one conversion job. The command line fills them once in
// command-line mode; the conversion form fills them before each job. Paths are
// typed where they enter (the command line, the form's path boxes); the job
// never re-reads them as text.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace vok {

class clsConversionOptions {
public:
    std::filesystem::path sInputFile;  // a file, or a folder and pattern containing "*"
    std::filesystem::path sOutputFile; // a file, or with a pattern input a folder pattern with "*"
    std::filesystem::path sRecipeFile;
    bool bUseRecipe = false; // false converts with the mark-up in the input file
    bool bDoSubfolders = false;
    bool bSaveInOriginalFolder = false;
    std::filesystem::path sLogFile;
    bool bVerbose = false;
    // No progress line on a terminal (--quiet, /Q); messages still show.
    bool bQuiet = false;
    bool bShowExcel = false;
    bool bClearOutputFileBeforeProcessing = true;
    std::string sSheetTarget = "1";
    int32_t lTabSize = 8;
    // Show what the job would write instead of writing anything (--preview,
    // /P), with this many rows of each table.
    bool bPreview = false;
    int64_t lPreviewRows = 10;
};

} // namespace vok
