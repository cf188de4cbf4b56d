// Helpers shared by the tests: temporary folders and files.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vok::test {

// A fresh folder, removed with everything in it when the object ends.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string File(std::string_view name) const { return (path_ / name).string(); }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

void WriteFile(const std::filesystem::path& path, std::string_view bytes);
std::string ReadFile(const std::filesystem::path& path);

// CR LF between and after the lines.
std::string CrLf(std::initializer_list<std::string_view> lines);

// The small ledger report the tests share (tests/data/small-ledger.txt): a
// heading, three accounts between "ACCOUNT NO" and "TOTALS", CR LF lines.
const std::string& SmallLedger();

} // namespace vok::test
