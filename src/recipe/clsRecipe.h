// The recipe of one conversion job: its input periods, number format and sheet
// names, and the job's export specification.
#pragma once

#include "engine/clsExportSpecs.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vok {

class ProgramState;

class clsRecipe {
public:
    clsRecipe() { ResetRecipe(); }

    std::string OutputFileTitle;
    std::string OutputFileName;
    int32_t InputFileFirst = 1; // first period, 1 to 12
    int32_t InputFileLast = 1;
    std::string ExportSpecFileName;
    std::string WriteDataFormat; // "NearestCent", "NearestDollar" or ""
    std::string Sheet1Name;
    std::string Sheet2Name;
    std::vector<std::string> InputFileTitle; // always 12 items
    std::vector<std::string> InputFileName;  // always 12 items
    clsExportSpecs ExportSpecs;

    // Every member but ExportSpecs back to its value after reset.
    void ResetRecipe();

    // Turns a short-format recipe into the working export specification file.
    void LoadFromFileShort(ProgramState& state, const std::string& short_recipe);
    // The full recipe form with its separate export specification file.
    void LoadFromFile(ProgramState& state, const std::string& file_name);
    void SaveToFile(ProgramState& state, const std::string& file_name);
};

} // namespace vok
