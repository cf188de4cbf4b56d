// The program-wide state: one object owned by Main and handed by reference to
// whatever needs it. A test builds a fresh state; two states can live in one
// process.
#pragma once

#include "base/Messages.h"
#include "app/clsConversionOptions.h"
#include "engine/clsLineProcessor.h"
#include "output/Workbook.h"
#include "recipe/clsRecipe.h"

#include <cstdint>
#include <memory>
#include <string>

namespace vok {

// Settings the conversion form keeps in config.ini's [General] section.
struct FormSettings {
    bool bWarnedAboutTabsInFile = false;
    bool bShowExcel = true;
    bool bClearOutputFileBeforeProcessing = true;
    std::string sSheetTarget = "1";
    int32_t lTabSize = 8;
    bool UseRecipeFile = false;
};

class ProgramState {
public:
    ProgramState(Messages& messages, std::string programFolder);

    Messages& messages;
    const std::string ProgramFolder;

    clsConversionOptions gConversionOptions;
    std::string gErrorLogFile;
    std::string gConfigFile;
    bool gCommandLineMode = false;
    int32_t gTabSize = 8;
    std::string gInputFile;
    std::string gOutputFile;
    std::string gRecipeFile;
    bool StopRequested = false;
    bool gExportRunning = false;
    // Ctrl+C in command-line mode: sticks until the job ends, so a stop asked
    // for while a recipe is being prepared still stops the job.
    bool Interrupted = false;

    FormSettings Settings;
    clsRecipe gRecipe;
    clsLineProcessor LineProcessor;
    std::unique_ptr<Workbook> xlApp; // the open workbook connection, if any
    int64_t lTotalTimeStart = 0;

    // Lets pending window events run; a stop request that arrives there sets
    // StopRequested while an export runs (and always in command-line mode).
    void DoEvents();

    // Path of a file of the program's own in the program folder.
    std::string ProgramFile(std::string_view name) const;
};

} // namespace vok
