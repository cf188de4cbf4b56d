// The options of one conversion job. The command line fills them once in
// command-line mode; the conversion form refreshes them before each job.
#pragma once

#include <cstdint>
#include <string>

namespace vok {

class clsConversionOptions {
public:
    std::string sInputFile;  // a file, or a folder and pattern containing "*"
    std::string sOutputFile; // a file, or with a pattern input a folder pattern with "*"
    std::string sRecipeFile;
    bool bUseRecipe = false; // false converts with the mark-up in the input file
    bool bDoSubfolders = false;
    bool bSaveInOriginalFolder = false;
    std::string sLogFile;
    bool bVerbose = false;
    bool bShowExcel = false;
    bool bClearOutputFileBeforeProcessing = true;
    std::string sSheetTarget = "1";
    int32_t lTabSize = 8;
    int32_t lCommandLineExitCode = 0;
    std::string sErr;
    int32_t lErr = 0;
};

} // namespace vok
