// Sectioned files as recipes and export specifications use them: "[" name "]"
// lines open sections, "key=value" lines carry settings. These are the
// designed readers with their exact rules (case-sensitive names, a section
// ends at any line holding "[", comments after ";", trim modes, the
// "-999999" sentinel), the [Header] check, and small helpers around them.
#pragma once

#include "base/TextReader.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

class Messages;

// Readers that must tell a missing key from a present one pass this default.
inline constexpr std::string_view kMissing = "-999999";

enum TrimMode : int32_t { kTrimLeading = 1, kTrimTrailing = 2, kTrimBoth = 3 };

// Moves the open file just past the header of `section`, searching from its
// current position; false (at the end of the file) when there is none.
bool FindSection(TextReader& file, std::string_view section);

// Sequential lookup on an open file from its current position. An empty
// section name continues the search in the section being read.
std::string ReadIniValue(TextReader& file, std::string_view section, std::string_view key,
                         std::string_view defaultValue, int32_t trimMode = kTrimBoth);

// Whole-file lookups: "" (not the default) when the file cannot be opened.
std::string GetIniValue(const std::filesystem::path& fileName, std::string_view section,
                        std::string_view key, std::string_view defaultValue);
std::string GetIniValueEx(const std::filesystem::path& fileName, std::string_view section,
                          std::string_view key, std::string_view defaultValue, int32_t trimMode);

// True (after showing the message of the first mismatch) when the [Header]
// does not carry the expected product, file type and file format.
bool FileHeaderIsInvalid(Messages& messages, const std::filesystem::path& fileName,
                         std::string_view product, std::string_view fileType,
                         std::string_view fileFormat);

// Converts a whole-number value read from a recipe or export specification.
// A value that is no number shows "Error in <section> : <key> is not a whole
// number: <value>" and gives false, so a bad file never ends in a crash.
bool ReadIntegerKey(Messages& messages, std::string_view value, std::string_view section,
                    std::string_view key, int32_t& result);

int64_t CountFileLines(const std::filesystem::path& fileName);
std::string ReadFileAsText(const std::filesystem::path& fileName);
bool WriteLineToFile(const std::filesystem::path& fileName, std::string_view text, bool append);

void RepeatString(std::string& output, std::string_view piece, int64_t count);
std::string ReverseString(std::string_view text);

template <typename T> void ClearCollection(std::vector<T>& collection) {
    collection.clear();
}

// Replaces the 1-based item at `index`; an index outside the collection shows
// "Invalid Index in CollectionItemSet!" and changes nothing.
bool CollectionItemSet(Messages& messages, std::vector<std::string>& collection, int64_t index,
                       std::string value);

} // namespace vok
