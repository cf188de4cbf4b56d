// Writing an export-specs file's keys through the private-profile writer:
// 10,000 keys in 2,000 sections of 5 keys, as the export spec writer does,
// committed once, committed every 100 keys, and (for a sample) one commit per
// key; then a sample read back with the whole-file lookup. Run by hand.
#include "recipe/ProfileFile.h"
#include "recipe/SectionedFile.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr int kSections = 2000;
constexpr int kKeysPerSection = 5;
constexpr const char* kKeys[kKeysPerSection] = {"Name", "ReadStartLine", "ReadStartLineOffset",
                                                "ReadEndLine", "Parsing"};

std::string Section(int s) {
    return "Table " + std::to_string(s + 1);
}
std::string Value(int s, int k) {
    return k == 4 ? "  ----------  ------------------  ---------"
                  : "value " + std::to_string(s) + "." + std::to_string(k);
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Writes the keys of sections [0, sections) through one ProfileFile, committing
// after every `every` keys (0: once at the end). Returns false when a commit failed.
bool WriteAll(const std::string& file, int sections, int every) {
    vok::ProfileFile profile(file);
    std::string error;
    int written = 0;
    for (int s = 0; s < sections; ++s) {
        for (int k = 0; k < kKeysPerSection; ++k) {
            profile.Write(Section(s), kKeys[k], Value(s, k));
            if (every > 0 && ++written % every == 0 && !profile.Commit(error)) return false;
        }
    }
    return profile.Commit(error);
}

} // namespace

int main() {
    using vok::GetIniValue;
    namespace fs = std::filesystem;
    char pattern[] = "/tmp/vok-ini-bench-XXXXXX";
    if (!::mkdtemp(pattern)) return 1;
    const fs::path dir = pattern;
    const int keys = kSections * kKeysPerSection;

    auto run = [&](const char* what, const std::string& file, int sections, int every) {
        const auto start = std::chrono::steady_clock::now();
        if (!WriteAll(file, sections, every)) {
            std::printf("%s: a commit failed\n", what);
            std::exit(1);
        }
        const double s = Seconds(start);
        const int n = sections * kKeysPerSection;
        std::printf("%-34s %6d keys %9.3f s %9.1f us/key  file %ju bytes\n", what, n, s,
                    s * 1e6 / n, static_cast<uintmax_t>(fs::file_size(file)));
    };
    const std::string once = (dir / "once.t2x").string();
    run("ProfileFile, one Commit", once, kSections, 0);
    run("ProfileFile, Commit every 100 keys", (dir / "every100.t2x").string(), kSections, 100);
    // One load and commit per key, as a lone WriteIniValue does: 200 sections only.
    {
        const std::string file = (dir / "perkey.t2x").string();
        const auto start = std::chrono::steady_clock::now();
        for (int s = 0; s < 200; ++s) {
            for (int k = 0; k < kKeysPerSection; ++k) {
                if (!vok::WriteIniValue(file, Section(s), kKeys[k], Value(s, k))) return 1;
            }
        }
        const double sec = Seconds(start);
        std::printf("%-34s %6d keys %9.3f s %9.1f us/key\n", "WriteIniValue per key (sample)",
                    200 * kKeysPerSection, sec, sec * 1e6 / (200 * kKeysPerSection));
    }

    // Reading back: whole-file lookups spread over the file, each opening it anew.
    const int samples = 200;
    const auto start = std::chrono::steady_clock::now();
    int wrong = 0;
    for (int i = 0; i < samples; ++i) {
        const int s = (i * 7919) % kSections;
        const int k = i % kKeysPerSection;
        const std::string got = GetIniValue(once, Section(s), kKeys[k], vok::kMissing);
        // The reader trims both ends of the "Parsing" value.
        std::string want = Value(s, k);
        if (k == 4) want = want.substr(2);
        if (got != want) ++wrong;
    }
    const double sec = Seconds(start);
    std::printf("%-34s %6d keys %9.3f s %9.1f us/key  (%d of %d keys in the file)\n",
                "GetIniValue, sample read back", samples, sec, sec * 1e6 / samples, keys, keys);
    fs::remove_all(dir);
    if (wrong > 0) {
        std::printf("%d values read back wrong\n", wrong);
        return 1;
    }
    return 0;
}
