// The settings of the program: where the program's own files lie, and what
// config.ini's [General] section says. They live as long as the program (the
// desktop) or the one command-line job; a job only reads them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace vok {

class Messages;
class ProfileFile;
struct ProgramLayout;

// Where the program's own files lie: config.ini in the settings folder; the
// error log, the working files and their lock in the state folder, where the
// bare names of the switch syntax lie too. A build folder or a portable copy
// keeps both in the program folder beside the executable; an installed vok
// never writes into its installation and keeps each user's files in the XDG
// folders of that user. VOK_HOME names one folder for both.
struct ProgramFolders {
    std::filesystem::path settings;
    std::filesystem::path state;
    bool perUser = false; // a user's XDG folders, made readable for that user alone
};

// What of the environment decides the folders, read once where it enters.
// A relative XDG folder counts as unset, as the XDG rules say.
struct FolderEnvironment {
    std::filesystem::path vokHome;
    std::filesystem::path xdgConfigHome;
    std::filesystem::path xdgStateHome;
    std::filesystem::path home; // HOME, or the user's home from the password file

    static FolderEnvironment OfProcess();
};

ProgramFolders ProgramFoldersFor(const ProgramLayout& layout, const FolderEnvironment& environment);

// The folders of the running program.
ProgramFolders ThisProgramFolders();

// Makes the folders that are missing, with their missing parents (mode 0700
// for a user's XDG folders). False, with a message naming the folder and the
// cause, when one cannot be made.
bool MakeProgramFolders(const ProgramFolders& folders, std::string& error);

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
    explicit ProgramSettings(const ProgramFolders& folders);
    // Everything in one folder, as in a build folder or under VOK_HOME.
    explicit ProgramSettings(const std::filesystem::path& programFolder);

    // The folder of the switch syntax's bare names and the file dialogs' first
    // folder: the state folder.
    const std::filesystem::path ProgramFolder;
    const std::filesystem::path SettingsFolder;
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
};

} // namespace vok
