#include "job/ProgramSettings.h"

#include "base/Messages.h"
#include "base/ProgramLayout.h"
#include "base/TextAccess.h"
#include "base/TextEncoding.h"
#include "base/modUtilityFile.h"
#include "base/modUtilityFileSystemObject.h"
#include "base/modUtilityString.h"
#include "recipe/ProfileFile.h"
#include "recipe/SectionedFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fmt/format.h>
#include <pwd.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace vok {

ProgramSettings::ProgramSettings(const ProgramFolders& folders)
    : ProgramFolder(folders.state), SettingsFolder(folders.settings),
      gErrorLogFile(ProgramFolder / "ErrorLog.txt"), gConfigFile(SettingsFolder / "config.ini"),
      AutoRecipeFile(ProgramFolder / "_AutoRecipe.rcp"),
      ExportSpecsFile(ProgramFolder / "_ExportSpecs.t2x"), LockFile(ProgramFolder / "vok.lock") {}

ProgramSettings::ProgramSettings(const std::filesystem::path& programFolder)
    : ProgramSettings(ProgramFolders{programFolder, programFolder}) {}

void ProgramSettings::ReadSettings(Messages& messages) {
    if (!FileExists(gConfigFile)) {
        messages.Show(gConfigFile.string() + " can not be found!", MessageIcon::Critical);
        return;
    }
    const ProfileFile config(gConfigFile);
    auto flag = [&](std::string_view key, std::string_view defaultValue) {
        return AsciiUpper(config.Get("General", key, defaultValue)) != "FALSE";
    };
    FormSettings& s = Settings;
    s.bWarnedAboutTabsInFile = flag("bWarnedAboutTabsInFile", "FALSE");
    s.bShowExcel = flag("bShowExcel", "TRUE");
    s.bClearOutputFileBeforeProcessing = flag("bClearOutputFileBeforeProcessing", "TRUE");
    s.sSheetTarget = config.Get("General", "sSheetTarget", "1");
    // A tab size the options dialog would refuse (edited by hand) reads as the usual 8.
    int32_t tabSize = 8;
    s.lTabSize = ParseWholeNumber(config.Get("General", "lTabSize", "8"), tabSize) &&
                         tabSize >= kSmallestTabSize && tabSize <= kLargestTabSize
                     ? tabSize
                     : 8;
    // This key is looked up by the sectioned files' own rules, in the lines
    // already read: the file is read once.
    s.UseRecipeFile = AsciiUpper(Trim(GetIniValue(SectionedText(config.Lines()), "General",
                                                  "UseRecipeFile", "NO"))) == "YES";
}

void ProgramSettings::WriteSettings(ProfileFile& config) const {
    auto flag = [](bool value) { return value ? "TRUE" : "FALSE"; };
    const FormSettings& s = Settings;
    config.Write("General", "bWarnedAboutTabsInFile", flag(s.bWarnedAboutTabsInFile));
    config.Write("General", "bShowExcel", flag(s.bShowExcel));
    config.Write("General", "bClearOutputFileBeforeProcessing",
                 flag(s.bClearOutputFileBeforeProcessing));
    config.Write("General", "sSheetTarget", s.sSheetTarget);
    config.Write("General", "lTabSize", std::to_string(s.lTabSize));
    config.Write("General", "UseRecipeFile", s.UseRecipeFile ? "YES" : "NO");
}

namespace {

namespace fs = std::filesystem;

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// An XDG folder must be absolute; anything else counts as unset.
fs::path AbsoluteOrNone(const std::string& value) {
    const fs::path folder(value);
    return folder.is_absolute() ? folder : fs::path();
}

fs::path HomeFromPasswordFile() {
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->pw_dir)
        return {};
    return AbsoluteOrNone(found->pw_dir);
}

// Makes the folder after its missing parents; an existing folder is left as
// it is. `cause` names the folder that could not be made and why.
bool MakeFolder(const fs::path& folder, mode_t mode, std::string& cause) {
    std::error_code ec;
    if (fs::is_directory(folder, ec)) return true;
    const fs::path parent = folder.parent_path();
    if (!parent.empty() && parent != folder && !MakeFolder(parent, mode, cause)) return false;
    if (::mkdir(folder.c_str(), mode) == 0) return true;
    const int error = errno;
    if (error == EEXIST && fs::is_directory(folder, ec)) return true;
    cause = folder.string() + ": " +
            (error == EEXIST ? std::string("a file of that name is in the way")
                             : std::string(std::strerror(error)));
    return false;
}

bool MakeOneFolder(const fs::path& folder, std::string_view what, std::string_view variable,
                   mode_t mode, std::string& error) {
    if (folder.empty()) {
        error = fmt::format("Cannot tell where the {} folder lies: neither {} nor HOME names "
                            "a folder.",
                            what, variable);
        return false;
    }
    std::string cause;
    if (MakeFolder(folder, mode, cause)) return true;
    error = fmt::format("Cannot make the {} folder {} ({}).", what, folder.string(), cause);
    return false;
}

} // namespace

FolderEnvironment FolderEnvironment::OfProcess() {
    FolderEnvironment environment;
    environment.vokHome = EnvironmentValue("VOK_HOME");
    environment.xdgConfigHome = AbsoluteOrNone(EnvironmentValue("XDG_CONFIG_HOME"));
    environment.xdgStateHome = AbsoluteOrNone(EnvironmentValue("XDG_STATE_HOME"));
    environment.home = AbsoluteOrNone(EnvironmentValue("HOME"));
    if (environment.home.empty()) environment.home = HomeFromPasswordFile();
    return environment;
}

ProgramFolders ProgramFoldersFor(const ProgramLayout& layout,
                                 const FolderEnvironment& environment) {
    // VOK_HOME names one folder for everything.
    if (!environment.vokHome.empty()) return {environment.vokHome, environment.vokHome, false};
    // A build folder or a portable copy: the program folder beside the executable.
    if (!layout.installed) {
        fs::path folder = layout.executableFolder;
        std::error_code ec;
        if (folder.empty()) folder = fs::current_path(ec);
        return {folder, folder, false};
    }
    // An installation: each user's own XDG folders.
    auto under = [&](const fs::path& xdg, const fs::path& fallback) {
        if (!xdg.empty()) return xdg / "vok";
        return environment.home.empty() ? fs::path() : environment.home / fallback / "vok";
    };
    return {under(environment.xdgConfigHome, ".config"),
            under(environment.xdgStateHome, fs::path(".local") / "state"), true};
}

ProgramFolders ThisProgramFolders() {
    return ProgramFoldersFor(ThisProgramLayout(), FolderEnvironment::OfProcess());
}

bool MakeProgramFolders(const ProgramFolders& folders, std::string& error) {
    if (!folders.perUser)
        return MakeOneFolder(folders.state, "program", "VOK_HOME", 0777, error);
    return MakeOneFolder(folders.settings, "settings", "XDG_CONFIG_HOME", 0700, error) &&
           MakeOneFolder(folders.state, "state", "XDG_STATE_HOME", 0700, error);
}

} // namespace vok
