#include "app/ProgramSettings.h"

#include "base/HelpTopics.h"
#include "base/Messages.h"
#include "base/TextAccess.h"
#include "base/TextEncoding.h"
#include "base/modUtilityFile.h"
#include "base/modUtilityFileSystemObject.h"
#include "base/modUtilityString.h"
#include "recipe/ProfileFile.h"
#include "recipe/SectionedFile.h"

#include <cstdlib>
#include <system_error>

namespace vok {

ProgramSettings::ProgramSettings(std::filesystem::path programFolder)
    : ProgramFolder(std::move(programFolder)), gErrorLogFile(ProgramFolder / "ErrorLog.txt"),
      gConfigFile(ProgramFolder / "config.ini"), AutoRecipeFile(ProgramFolder / "_AutoRecipe.rcp"),
      ExportSpecsFile(ProgramFolder / "_ExportSpecs.t2x"), LockFile(ProgramFolder / "vok.lock") {}

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
    s.UseRecipeFile =
        AsciiUpper(Trim(GetIniValue(gConfigFile, "General", "UseRecipeFile", "NO"))) == "YES";
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

bool ProgramSettings::SaveSettings(std::string& error) const {
    ProfileFile config(gConfigFile);
    WriteSettings(config);
    return config.Commit(error);
}

std::filesystem::path ProgramFolderPath() {
    if (const char* home = std::getenv("VOK_HOME"); home && *home) {
        if (!FolderExists(home)) MakeFolderPath(home);
        return home;
    }
    std::filesystem::path folder = ExecutableFolder();
    std::error_code ec;
    if (folder.empty()) folder = std::filesystem::current_path(ec);
    return folder;
}

} // namespace vok
