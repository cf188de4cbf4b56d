#include "recipe/clsRecipe.h"

#include "base/JobObserver.h"
#include "base/modUtilityFile.h"
#include "base/modUtilityString.h"
#include "recipe/ExportSpecFile.h"
#include "recipe/ProfileFile.h"
#include "recipe/SectionedFile.h"

#include <system_error>

namespace vok {

void clsRecipe::ResetRecipe() {
    OutputFileTitle.clear();
    OutputFileName.clear();
    ExportSpecFileName.clear();
    WriteDataFormat.clear();
    Sheet1Name.clear();
    Sheet2Name.clear();
    InputFileFirst = 1;
    InputFileLast = 1;
    // Emptied in place: a job resets them for every report.
    InputFileTitle.resize(12);
    InputFileName.resize(12);
    for (std::string& title : InputFileTitle)
        title.clear();
    for (std::filesystem::path& name : InputFileName)
        name.clear();
}

void clsRecipe::LoadFromFileShort(JobObserver& observer, std::string_view caption,
                                  const std::filesystem::path& short_recipe,
                                  const std::filesystem::path& inputFile,
                                  const std::filesystem::path& exportSpecFile, int32_t tabSize) {
    // A missing recipe is said here and once more by the expansion.
    if (!FileExists(short_recipe))
        observer.Show("Cannot find recipe file: " + short_recipe.string(), MessageIcon::None);
    ResetRecipe();
    // The job's current input file is the first period.
    InputFileName[0] = inputFile;
    // The export-specs file is always written into a new file.
    ExportSpecFileName = exportSpecFile;
    std::error_code ec;
    std::filesystem::remove(ExportSpecFileName, ec);
    FileConvertShortToLong(observer, caption, short_recipe, ExportSpecFileName, InputFileName[0],
                           tabSize);
}

bool clsRecipe::LoadFromFile(Messages& messages, const std::filesystem::path& file_name) {
    if (!FileExists(file_name)) {
        messages.Show("Cannot find recipe file: " + file_name.string(), MessageIcon::None);
        return false;
    }
    // A wrong header is said and loading goes on.
    ResetRecipe();
    if (FileHeaderIsInvalid(messages, file_name, "VOK", "RECIPE", "1.1"))
        messages.Show("invalid header in recipe file: " + file_name.string(), MessageIcon::None);
    // The output section.
    auto get = [&](std::string_view section, std::string_view key) {
        return GetIniValue(file_name, section, key, "");
    };
    OutputFileTitle = get("Output File", "OutputFileTitle");
    OutputFileName = get("Output File", "OutputFileName");
    // A period that is no number ends the load with a message naming the key.
    if (!ReadIntegerKey(messages, get("Output File", "InputFileFirst"), "Output File",
                        "InputFileFirst", InputFileFirst) ||
        !ReadIntegerKey(messages, get("Output File", "InputFileLast"), "Output File",
                        "InputFileLast", InputFileLast))
        return false;
    ExportSpecFileName = std::string(Trim(get("Output File", "ExportSpecFileName")));
    const std::string format(Trim(get("Output File", "WriteDataFormat")));
    WriteDataFormat = format == "NearestDollar" || format == "NearestCent" ? format : "";
    Sheet1Name = get("Output File", "Sheet1Name");
    Sheet2Name = get("Output File", "Sheet2Name");
    // The twelve periods.
    for (int n = 1; n <= 12; ++n) {
        InputFileTitle[n - 1] = get("Input Files", "Title" + std::to_string(n));
        InputFileName[n - 1] = get("Input Files", "FileName" + std::to_string(n));
    }
    return true;
}

bool clsRecipe::SaveToFile(Messages& messages, const std::filesystem::path& file_name) const {
    ProfileFile file(file_name);
    file.Write("Header", "Product", "VOK");
    file.Write("Header", "FileType", "RECIPE");
    file.Write("Header", "FileFormat", "1.1");
    file.Write("Output File", "OutputFileTitle", OutputFileTitle);
    file.Write("Output File", "OutputFileName", OutputFileName);
    file.Write("Output File", "InputFileFirst", std::to_string(InputFileFirst));
    file.Write("Output File", "InputFileLast", std::to_string(InputFileLast));
    file.Write("Output File", "ExportSpecFileName", ExportSpecFileName.string());
    file.Write("Output File", "WriteDataFormat", WriteDataFormat);
    file.Write("Output File", "Sheet1Name", Sheet1Name);
    file.Write("Output File", "Sheet2Name", Sheet2Name);
    for (int n = 1; n <= 12; ++n) {
        file.Write("Input Files", "Title" + std::to_string(n), InputFileTitle[n - 1]);
        file.Write("Input Files", "FileName" + std::to_string(n), InputFileName[n - 1].string());
    }
    std::string error;
    if (file.Commit(error)) return true;
    messages.Show("Cannot write the recipe file " + file_name.string() + ": " + error,
                  MessageIcon::Critical);
    return false;
}

} // namespace vok
