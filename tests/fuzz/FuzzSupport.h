// What the fuzz harnesses share: a scratch folder of their own for the files
// the readers take by name, an observer that swallows every message, and the
// input cut into parts.
#pragma once

#include "base/JobObserver.h"
#include "output/OutputType.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace vok::fuzz {

// A file of the given name in this process's scratch folder (made once,
// removed at exit), holding `bytes`.
std::filesystem::path ScratchFile(std::string_view name, std::string_view bytes);
// A path in the scratch folder, removed first when it exists.
std::filesystem::path ScratchPath(std::string_view name);

// The input as text.
inline std::string_view Text(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// The input cut at each line "--8<--" (at most `parts` parts; missing ones empty).
std::vector<std::string_view> Parts(std::string_view text, size_t parts);

// The workbook readers' harness: `bytes` saved as `fileName` is opened as a
// workbook of `type`; when vok takes it, cells are typed in, a sheet is
// renamed, added and cleared, the workbook is saved (every rewriting path of
// the package), and what vok saved must open again with its XML parts as
// well-formed as they were. Aborts on a refusal without a reason or on a
// saved file vok cannot open or damaged.
void RoundTripWorkbook(std::string_view bytes, std::string_view fileName, OutputType type);
// The same for a workbook file already in the scratch folder.
void RoundTripWorkbookFile(const std::filesystem::path& file, OutputType type);

// The XML parts of a workbook package as they were: after a save, every part
// vok added and every part that was well-formed must be well-formed still,
// namespaces included (aborts naming the first that is not). A part vok
// copies as it found it may stay as damaged as it was.
class XmlPartsBefore {
public:
    explicit XmlPartsBefore(const std::filesystem::path& file);
    void ExpectStillWellFormed() const;

private:
    std::filesystem::path file_;
    std::set<std::string> all_, wellFormed_;
};

// Says nothing, answers every question with Yes, and counts the messages.
class QuietObserver : public JobObserver {
public:
    int64_t shown = 0;

protected:
    void DisplayMessage(std::string_view, MessageIcon, std::string_view, MessageKind) override {
        ++shown;
    }
    bool DisplayQuestion(std::string_view, MessageIcon, std::string_view) override { return true; }
};

} // namespace vok::fuzz
