#include "desktop_services/clsMRU.h"

#include "base/TextEncoding.h"
#include "base/modUtilityString.h"
#include "recipe/ProfileFile.h"

#include <algorithm>
#include <string>

namespace vok {

void clsMRU::Setup(int32_t lMaxItems, std::filesystem::path sSaveToFile,
                   std::string sDescriptionOfCollection) {
    clnMRU_.clear();
    lMaxItems_ = lMaxItems;
    sSaveToFile_ = std::move(sSaveToFile);
    sDescriptionOfCollection_ = std::move(sDescriptionOfCollection);
    ReadIniFileIntoCollection();
}

bool StoresWhole(std::string_view path) {
    if (path.find_first_of("\r\n") != std::string_view::npos) return false;
    if (Trim(path) != path) return false;
    const bool quoted = path.size() >= 2 && path.front() == path.back() &&
                        (path.front() == '"' || path.front() == '\'');
    return !quoted;
}

void clsMRU::AddUniqueItemToCollection(std::string_view vNewValue) {
    // A path the file would give back cut or changed is not offered again.
    if (vNewValue.empty() || !StoresWhole(vNewValue)) return;
    const auto same = [&](const std::string& entry) { return EqualsNoCase(entry, vNewValue); };
    clnMRU_.erase(std::remove_if(clnMRU_.begin(), clnMRU_.end(), same), clnMRU_.end());
    clnMRU_.emplace_back(vNewValue);
}

void clsMRU::ReadIniFileIntoCollection() {
    clnMRU_.clear();
    const ProfileFile file(sSaveToFile_);
    const std::string& name = sDescriptionOfCollection_;
    for (int32_t n = 1; n <= lMaxItems_; ++n) {
        std::string value = file.Get(name, name + std::to_string(n), kMissingMruEntry);
        value = value.substr(0, value.find('\0'));
        if (value != kMissingMruEntry) AddUniqueItemToCollection(value);
    }
}

void clsMRU::WriteCollectionToIniFile(ProfileFile& file) const {
    const std::string& name = sDescriptionOfCollection_;
    int32_t key = lMaxItems_;
    for (auto it = clnMRU_.rbegin(); it != clnMRU_.rend() && key >= 1; ++it, --key)
        file.Write(name, name + std::to_string(key), *it);
    // Keys of a longer list would come back as its oldest entries.
    for (; key >= 1; --key)
        file.DeleteKey(name, name + std::to_string(key));
}

void clsMRU::ShutDown(ProfileFile& file) {
    WriteCollectionToIniFile(file);
    clnMRU_.clear();
}

} // namespace vok
