// Helpers shared by the tests: temporary folders and files, and a program
// state with recorded messages.
#pragma once

#include "app/ProgramState.h"
#include "support/RecordingMessages.h"

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

private:
    std::filesystem::path path_;
};

void WriteFile(const std::string& path, std::string_view bytes);
std::string ReadFile(const std::string& path);

// CR LF between and after the lines.
std::string CrLf(std::initializer_list<std::string_view> lines);

// A program state whose program folder is a fresh temporary folder.
struct StateFixture {
    TempDir dir;
    RecordingMessages messages;
    ProgramState state{messages, dir.Path().string()};
};

} // namespace vok::test
