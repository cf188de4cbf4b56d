#include "support/TestSupport.h"

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace vok::test {

TempDir::TempDir() {
    std::random_device rd;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = base / ("vok-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string CrLf(std::initializer_list<std::string_view> lines) {
    std::string out;
    for (const auto line : lines)
        out.append(line).append("\r\n");
    return out;
}

const std::string& SmallLedger() {
    static const std::string report = ReadFile(VOK_SMALL_LEDGER);
    return report;
}

} // namespace vok::test
