#include "base/AtomicFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fmt/format.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace vok {

namespace {

std::string SystemError() {
    return std::strerror(errno);
}

// Flushes a file or folder to disk; folders that refuse fsync are fine.
bool SyncPath(const std::string& path, bool folder) {
    int fd = ::open(path.c_str(), (folder ? O_RDONLY | O_DIRECTORY : O_RDONLY) | O_CLOEXEC);
    if (fd < 0) return folder;
    int rc = ::fsync(fd);
    if (rc != 0 && folder && (errno == EINVAL || errno == EBADF)) rc = 0;
    ::close(fd);
    return rc == 0;
}

// A name nobody else picks: the process and a random number.
std::string UniqueSuffix() {
    std::random_device random;
    return fmt::format("{:x}-{:08x}", static_cast<unsigned>(::getpid()), random());
}

} // namespace

FileReplacement::FileReplacement(const std::string& target) : target_(target) {
    std::error_code ec;
    if (std::filesystem::is_symlink(target_, ec)) {
        std::filesystem::path real = std::filesystem::canonical(target_, ec);
        if (!ec) target_ = real.string();
    }
    std::filesystem::path folder = std::filesystem::path(target_).parent_path();
    folder_ = folder.empty() ? "." : folder.string();
}

FileReplacement::~FileReplacement() {
    if (!temp_.empty() && !committed_) ::unlink(temp_.c_str());
}

bool FileReplacement::Create(std::string& error) {
    // A file its owner made read-only is not replaced behind their back.
    if (::access(target_.c_str(), F_OK) == 0 && ::access(target_.c_str(), W_OK) != 0) {
        error = fmt::format("the file {} is read-only ({})", target_, SystemError());
        return false;
    }
    std::string name = std::filesystem::path(target_).filename().string();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = folder_ + "/.~" + name + "." + UniqueSuffix() + ".tmp";
        int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            temp_ = candidate;
            return true;
        }
        if (errno != EEXIST) break;
    }
    error = fmt::format("cannot create a file in the folder {} ({})", folder_, SystemError());
    return false;
}

bool FileReplacement::Commit(std::string& error) {
    // 1. Keep the permissions of the file being replaced.
    struct stat st;
    if (::stat(target_.c_str(), &st) == 0) ::chmod(temp_.c_str(), st.st_mode & 07777);
    // 2. The new content must be on disk before the name points at it.
    if (!SyncPath(temp_, false)) {
        error = fmt::format("cannot write {} ({})", temp_, SystemError());
        return false;
    }
    // 3. Replace, then make the rename itself durable.
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        error = fmt::format("cannot replace {} ({})", target_, SystemError());
        return false;
    }
    committed_ = true;
    SyncPath(folder_, true);
    return true;
}

} // namespace vok
