// A title's section "Title n" holds WriteSheet, WriteColumn, TotalLines and
// one "Text i" key per line, in that order; the sequential reader relies on
// the order. Running a title writes its non-blank lines one row each from the
// sheet's write pointer down; blank lines keep their rows.
#include "engine/clsTitle.h"

#include "base/ColumnLetters.h"
#include "base/TextEncoding.h"
#include "engine/JobState.h"
#include "recipe/ProfileFile.h"
#include "recipe/SectionedFile.h"

#include <filesystem>
#include <string_view>

namespace vok {

namespace {

// No sheet has more rows; a larger count is a damaged file, not a title.
constexpr int32_t kMaxTitleLines = 1'048'576;

std::string SectionName(int32_t title_number) {
    return "Title " + std::to_string(title_number);
}

std::string TextKey(size_t line) {
    return "Text" + std::to_string(line);
}

// Only "A" to "Z" by character order of the upper-case text, so "AB" passes
// and "ZA" does not, as stored files expect.
bool IsValidWriteColumn(std::string_view value) {
    if (value == kMissing) return false;
    const std::string upper = AsciiUpper(value);
    return upper >= "A" && upper <= "Z";
}

} // namespace

void clsTitle::ReadFromFile(Messages& messages, const std::filesystem::path& file_name,
                            int32_t title_number) {
    ReadFromFile(messages, SectionedText::FromFile(file_name), file_name, title_number);
}

void clsTitle::ReadFromFile(Messages& messages, const SectionedText& text,
                            const std::filesystem::path& file_name, int32_t title_number) {
    SectionedCursor file(text);
    if (!file.IsOpen()) {
        messages.Show("Cannot open " + file_name.string() + " to read " +
                          SectionName(title_number) + "!",
                      MessageIcon::Critical);
        return;
    }
    ReadFromFileSequentially(messages, file, title_number);
}

void clsTitle::ReadFromFileSequentially(Messages& messages, SectionedCursor& file,
                                        int32_t title_number) {
    const std::string section = SectionName(title_number);

    // 1. The sheet; its lookup finds the section from the current position.
    int32_t sheet = 0;
    if (!ReadIntegerKey(messages, ReadIniValue(file, section, "WriteSheet", kMissing), section,
                        "WriteSheet", sheet))
        return;
    if (sheet <= 0) {
        messages.Show("Error in " + section + " : Write sheet number must be > 0!",
                      MessageIcon::Critical);
        return;
    }
    WriteSheet = sheet;

    // 2. The column letters, kept as written.
    std::string column = ReadIniValue(file, "", "WriteColumn", kMissing);
    if (!IsValidWriteColumn(column)) {
        messages.Show("Error in " + section + " : Write Column must be (A-Z)!",
                      MessageIcon::Critical);
        return;
    }
    WriteColumn = std::move(column);

    // 3. The number of lines.
    int32_t total = 0;
    if (!ReadIntegerKey(messages, ReadIniValue(file, "", "TotalLines", kMissing), section,
                        "TotalLines", total))
        return;
    if (total <= 0) {
        messages.Show("Error in " + section + " : Number of lines must be > 0!",
                      MessageIcon::Critical);
        return;
    }
    if (total > kMaxTitleLines) {
        messages.Show("Error in " + section +
                          " : Number of lines must be <= " + std::to_string(kMaxTitleLines) + "!",
                      MessageIcon::Critical);
        return;
    }

    // 4. The lines; a missing one is a blank line.
    TextLines.clear();
    TextLines.reserve(static_cast<size_t>(total));
    for (int32_t i = 1; i <= total; ++i) {
        TextLines.push_back(ReadIniValue(file, "", TextKey(static_cast<size_t>(i)), ""));
    }
}

void clsTitle::WriteToFile(ProfileFile& file, int32_t title_number) const {
    const std::string section = SectionName(title_number);
    file.Write(section, "WriteSheet", std::to_string(WriteSheet));
    file.Write(section, "WriteColumn", WriteColumn);
    file.Write(section, "TotalLines", std::to_string(TextLines.size()));
    for (size_t i = 1; i <= TextLines.size(); ++i) {
        file.Write(section, TextKey(i), TextLines[i - 1]);
    }
}

void clsTitle::Process(JobState& state) {
    // Titles go to workbooks only; a CSV run has none open.
    if (!state.sink.xlApp) return;
    clsExportSpecs& specs = state.recipe.ExportSpecs;
    Messages& messages = state.messages;

    // 1. The next free row of the title's sheet. Only sheets 1 and 2 have one;
    // for any other the pointer operation has said so and there is no row.
    const int32_t first = specs.getWritePointer(messages, WriteSheet);
    if (first < 1) return;
    const int32_t column = ShowProblems(messages, AlphaToNum2(WriteColumn), MessageIcon::Critical);
    if (column < 1) return; // the letters were reported; there is no such column

    // 2. Blank lines write nothing but keep their row.
    const auto count = static_cast<int32_t>(TextLines.size());
    for (int32_t i = 0; i < count; ++i) {
        const std::string& line = TextLines[static_cast<size_t>(i)];
        if (line.empty()) continue;
        if (!WriteCell(state, WriteSheet, first + i, column, line)) return;
    }

    // 3. The next section on this sheet starts right below the last line.
    specs.setWritePointer(messages, WriteSheet, first + count);
}

} // namespace vok
