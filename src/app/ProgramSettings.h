// The settings of the program folder: where the program's own files lie, and
// what config.ini's [General] section says. They live as long as the program
// (the desktop) or the one command-line job; a job only reads them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace vok {

class Messages;
class ProfileFile;

// The settings the conversion form keeps in config.ini's [General] section.
struct FormSettings {
    bool bWarnedAboutTabsInFile = false;
    bool bShowExcel = true;
    bool bClearOutputFileBeforeProcessing = true;
    std::string sSheetTarget = "1";
    int32_t lTabSize = 8;
    bool UseRecipeFile = false;
};

class ProgramSettings {
public:
    explicit ProgramSettings(std::filesystem::path programFolder);

    const std::filesystem::path ProgramFolder;
    const std::filesystem::path gErrorLogFile;
    const std::filesystem::path gConfigFile;
    const std::filesystem::path AutoRecipeFile;  // the recipe made from a marked-up report
    const std::filesystem::path ExportSpecsFile; // the working export-specs file
    const std::filesystem::path LockFile;        // held while a job uses the working files

    FormSettings Settings;

    // Reads the [General] section of config.ini; shows "<path> can not be
    // found!" and keeps the built-in values when the file is missing.
    void ReadSettings(Messages& messages);

    // Writes the [General] keys of the settings into the file in memory, so
    // that the desktop saves them with its window placement and recent lists
    // in one commit.
    void WriteSettings(ProfileFile& config) const;

    // Writes the [General] keys to config.ini in one commit; the file is
    // rewritten only when a value changed. False, with the reason, when it
    // could not be written.
    bool SaveSettings(std::string& error) const;
};

// The folder that holds the executable, or the folder VOK_HOME names.
std::filesystem::path ProgramFolderPath();

} // namespace vok
