#include "spec/clsRecipe.h"

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
    InputFileTitle.assign(12, std::string());
    InputFileName.assign(12, std::string());
}

} // namespace vok
