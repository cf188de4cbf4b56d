// A two-sheet workbook package built around parts the fuzzer gives, each part
// stored (not deflated), so that every byte of it is the fuzzer's.
#pragma once

#include <filesystem>
#include <string_view>

namespace vok::fuzz {

// A sheet that refers to the first sheet by name in a formula.
extern const std::string_view kOtherSheet;

struct WorkbookParts {
    std::string_view sheet1;
    std::string_view sheet2 = kOtherSheet;
    // The shared-string table; none when absent.
    const std::string_view* sharedStrings = nullptr;
};

// The package, written into the scratch folder as `name`.
std::filesystem::path StoredWorkbook(std::string_view name, const WorkbookParts& parts);

} // namespace vok::fuzz
