// The recipe of one conversion job: its input periods, number format and sheet
// names, and where its export-specs file lies. The job state holds the
// export-specs file itself beside it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

class JobObserver;
class Messages;

class clsRecipe {
public:
    clsRecipe() { ResetRecipe(); }

    std::string OutputFileTitle;
    std::string OutputFileName;
    int32_t InputFileFirst = 1; // first period, 1 to 12
    int32_t InputFileLast = 1;
    std::filesystem::path ExportSpecFileName;
    std::string WriteDataFormat; // "NearestCent", "NearestDollar" or ""
    std::string Sheet1Name;
    std::string Sheet2Name;
    std::vector<std::string> InputFileTitle;          // always 12 items
    std::vector<std::filesystem::path> InputFileName; // always 12 items

    // Every member back to its value after reset.
    void ResetRecipe();

    // Turns a short-format recipe into the working export-specs file
    // `exportSpecFile`, with `inputFile` as the report of its first period.
    // `caption` is the caption the progress texts build on. The job expands
    // from memory (ConvertShortToLong); this file-to-file face serves the
    // tests and the fuzz target.
    void LoadFromFileShort(JobObserver& observer, std::string_view caption,
                           const std::filesystem::path& short_recipe,
                           const std::filesystem::path& inputFile,
                           const std::filesystem::path& exportSpecFile, int32_t tabSize);

    // The full recipe form: the recipe's own keys with the name of a separate
    // export-specs file, which the caller reads. False when the file
    // is missing or cannot be read whole (after a message). No job reads this
    // form; it stays as the recipe object's whole-state file form.
    bool LoadFromFile(Messages& messages, const std::filesystem::path& file_name);
    // False (after a message) when the file could not be written.
    bool SaveToFile(Messages& messages, const std::filesystem::path& file_name) const;
};

} // namespace vok
