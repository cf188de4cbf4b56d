#include "output/xlsx_new/SheetSpill.h"

#include <cerrno>
#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>

namespace vok {

namespace {

constexpr size_t kBuffer = 1 << 20;

void Put(std::string& out, const void* bytes, size_t size) {
    out.append(static_cast<const char*>(bytes), size);
}

} // namespace

SheetSpill::~SheetSpill() {
    ::close(fd_);
}

std::unique_ptr<SheetSpill> SheetSpill::Create(const std::filesystem::path& folder,
                                               std::string& error) {
    // A file without a name where the file system has them; elsewhere one
    // whose name is removed at once.
    const std::filesystem::path place = folder.empty() ? "." : folder;
    int fd = ::open(place.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::string name = (place / ".vok-rows-XXXXXX").string();
        fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd >= 0) ::unlink(name.c_str());
    }
    if (fd < 0) {
        error = fmt::format("cannot make a temporary file in {} ({})", place.string(),
                            std::strerror(errno));
        return nullptr;
    }
    auto spill = std::make_unique<SheetSpill>(OnlyCreate(), fd);
    spill->buffer_.reserve(kBuffer + 64);
    return spill;
}

void SheetSpill::Add(int32_t row, int32_t column, const CellValue& value) {
    const auto shortColumn = static_cast<uint16_t>(column);
    const auto type = static_cast<char>(value.type);
    Put(buffer_, &row, 4);
    Put(buffer_, &shortColumn, 2);
    buffer_ += type;
    if (value.type == CellValue::Type::Number) {
        Put(buffer_, &value.format, 2);
        Put(buffer_, &value.number, 8);
    } else {
        const auto length = static_cast<uint32_t>(value.text.size());
        Put(buffer_, &length, 4);
        buffer_.append(value.text);
    }
    if (buffer_.size() >= kBuffer) {
        std::string ignored; // told by the next Flush
        Flush(ignored);
    }
}

bool SheetSpill::Flush(std::string& error) {
    size_t done = 0;
    while (failure_ == 0 && done < buffer_.size()) {
        const ssize_t n = ::pwrite(fd_, buffer_.data() + done, buffer_.size() - done,
                                   static_cast<off_t>(written_ + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) failure_ = n < 0 ? errno : ENOSPC;
        else done += static_cast<size_t>(n);
    }
    written_ += done;
    buffer_.clear();
    if (failure_ == 0) return true;
    error = fmt::format("cannot write a temporary file ({})", std::strerror(failure_));
    return false;
}

bool SheetSpill::Fill(size_t need) {
    if (in_.size() - at_ >= need) return true;
    // Keep what is left, then read on.
    in_.erase(0, at_);
    at_ = 0;
    const size_t want = std::max(need, kBuffer);
    while (in_.size() < need && read_ < written_) {
        const size_t old = in_.size();
        in_.resize(old + want);
        const ssize_t n = ::pread(fd_, in_.data() + old, want, static_cast<off_t>(read_));
        if (n < 0 && errno == EINTR) {
            in_.resize(old);
            continue;
        }
        in_.resize(old + static_cast<size_t>(std::max<ssize_t>(n, 0)));
        if (n <= 0) return false;
        read_ += static_cast<uint64_t>(n);
    }
    return in_.size() >= need;
}

} // namespace vok
