#include "fuzz/FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <unistd.h>

namespace vok::fuzz {

namespace {

const std::filesystem::path& ScratchFolder() {
    static const std::filesystem::path folder = [] {
        std::error_code ec;
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                               ? "/dev/shm"
                                               : std::filesystem::temp_directory_path();
        std::string pattern = (base / "vok-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(ScratchFolder(), ignored);
        });
        return std::filesystem::path(pattern);
    }();
    return folder;
}

} // namespace

std::filesystem::path ScratchPath(std::string_view name) {
    std::filesystem::path path = ScratchFolder() / name;
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
    return path;
}

std::filesystem::path ScratchFile(std::string_view name, std::string_view bytes) {
    std::filesystem::path path = ScratchPath(name);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) std::abort();
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
        std::abort();
    std::fclose(file);
    return path;
}

std::vector<std::string_view> Parts(std::string_view text, size_t parts) {
    static constexpr std::string_view kCut = "\n--8<--\n";
    std::vector<std::string_view> result;
    while (result.size() + 1 < parts) {
        const size_t at = text.find(kCut);
        if (at == std::string_view::npos) break;
        result.push_back(text.substr(0, at));
        text.remove_prefix(at + kCut.size());
    }
    result.push_back(text);
    result.resize(parts);
    return result;
}

} // namespace vok::fuzz
