// A recent-file list of the conversion form: the paths used lately, newest
// last, kept in a section of config.ini between runs. Keys are the list's name
// followed by a number; the newest entry is stored under the highest number
// (20), the one before it under 19, and so on.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

class ProfileFile;

class clsMRU {
public:
    // Empties the list, remembers its size, file and name, and reads it from the file.
    void Setup(int32_t lMaxItems, std::filesystem::path sSaveToFile,
               std::string sDescriptionOfCollection);

    // Adds a path as the newest entry; an entry equal but for letter case is
    // removed first. The empty path is ignored, and so is one that config.ini
    // cannot give back whole (see StoresWhole).
    void AddUniqueItemToCollection(std::string_view vNewValue);

    // Rebuilds the list from keys 1 to lMaxItems of its section.
    void ReadIniFileIntoCollection();

    // Writes the newest lMaxItems entries into the file in memory, newest
    // under the highest key; the keys below the last one written, left from
    // a longer list, are removed.
    void WriteCollectionToIniFile(ProfileFile& file) const;

    // Writes the list into the file and then empties it.
    void ShutDown(ProfileFile& file);

    int32_t Count() const { return static_cast<int32_t>(clnMRU_.size()); }
    // The entries, oldest first.
    const std::vector<std::string>& clnMRU() const { return clnMRU_; }
    const std::string& Description() const { return sDescriptionOfCollection_; }

private:
    std::vector<std::string> clnMRU_;
    int32_t lMaxItems_ = 20;
    std::filesystem::path sSaveToFile_;
    std::string sDescriptionOfCollection_;
};

// What a missing key reads as; a stored value equal to it is skipped too.
inline constexpr std::string_view kMissingMruEntry = "+-!#";

// Whether a path reads back from config.ini as it was written: a line end in
// it would cut it, and blanks or quotes around it are taken off on reading.
bool StoresWhole(std::string_view path);

} // namespace vok
