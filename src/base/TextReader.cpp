#include "base/TextReader.h"

#include "base/ByteSearch.h"
#include "base/modUtilityFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vok {

namespace {

constexpr size_t kBufferSize = 1 << 18;
// The most the buffer grows to: the longest line with a byte-order mark and a
// CR LF around it, and a little to spare. A buffer this full without a line
// end holds a line longer than kLongestLine.
constexpr size_t kLargestBuffer = kLongestLine + 8;

// Reads the whole file once to learn whether it is UTF-8; `error` gets the
// errno of a read that failed. `whole` tells that the first read held the
// whole file: the buffer holds its `held` bytes.
bool FileIsUtf8(int fd, char* buffer, size_t capacity, int& error, size_t& held, bool& whole) {
    Utf8Validator validator;
    held = 0;
    whole = false;
    int blocks = 0;
    for (;;) {
        const ssize_t got = ::read(fd, buffer, capacity);
        if (got < 0) {
            if (errno == EINTR) continue;
            error = errno;
            return false;
        }
        if (got == 0) {
            whole = blocks <= 1;
            break;
        }
        ++blocks;
        held = static_cast<size_t>(got);
        if (!validator.Feed(buffer, held)) return false;
    }
    return validator.Finish();
}

} // namespace

std::string LineTooLongText(int64_t line) {
    if (line <= 0) return "a line is longer than 1 MiB (1,048,576 bytes)";
    return fmt::format("line {} is longer than 1 MiB (1,048,576 bytes)", line);
}

void TextReader::Allocate(size_t capacity) {
    auto buffer = std::make_unique_for_overwrite<char[]>(capacity + kSlack);
    if (end_ > 0) std::memcpy(buffer.get(), buffer_.get(), end_);
    buffer_ = std::move(buffer);
    capacity_ = capacity;
    std::memset(buffer_.get() + end_, 0, kSlack);
}

bool TextReader::Open(const std::filesystem::path& path, size_t bufferSize) {
    if (path.empty()) return false;
    // Folders, named pipes and devices are no text source.
    struct stat info {};
    const int fd = OpenForReading(path, openError_, &info);
    if (fd < 0) return false;
    Adopt(fd, info, bufferSize);
    return true;
}

void TextReader::Adopt(int fd, const struct stat& info, size_t bufferSize) {
    fd_ = fd;
    fileSize_ = static_cast<int64_t>(info.st_size);
    // Small files (settings, recipes) get a buffer of their own size.
    const size_t size = static_cast<size_t>(info.st_size);
    if (bufferSize == 0 || bufferSize > kBufferSize) bufferSize = kBufferSize;
    Allocate(std::clamp<size_t>(size + 1, 4096, bufferSize));
}

TextReader::TextReader(const std::filesystem::path& path) {
    if (!Open(path, 0)) return;
    int error = 0;
    size_t held = 0;
    bool whole = false;
    encoding_ = FileIsUtf8(fd_, buffer_.get(), capacity_, error, held, whole)
                    ? TextEncoding::Utf8
                    : TextEncoding::Windows1252;
    // A small file (settings, a recipe) was read whole to learn its encoding:
    // its lines are those bytes, not a second read from its start.
    if (error == 0 && whole) {
        HoldWholeFile(held);
        return;
    }
    Rewind();
    if (error != 0) Fail(error);
}

void TextReader::HoldWholeFile(size_t bytes) {
    // As a read from the start that met the file's end leaves the reader.
    StartAt(0, 1);
    end_ = bytes;
    std::memset(buffer_.get() + end_, 0, kSlack);
    eof_ = true;
    atStart_ = false;
    TakeByteOrderMark();
}

TextReader::TextReader(const std::filesystem::path& path, TextEncoding encoding, size_t bufferSize)
    : encoding_(encoding) {
    Open(path, bufferSize);
}

TextReader::TextReader(OpenedFile file, TextEncoding encoding, size_t bufferSize)
    : encoding_(encoding) {
    if (!file.IsOpen()) return;
    const struct stat info = file.Info();
    Adopt(file.Release(), info, bufferSize);
}

TextReader::~TextReader() {
    Close();
}

TextReader::TextReader(TextReader&& other) noexcept {
    *this = std::move(other);
}

TextReader& TextReader::operator=(TextReader&& other) noexcept {
    if (this == &other) return *this;
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
    fileSize_ = other.fileSize_;
    encoding_ = other.encoding_;
    buffer_ = std::move(other.buffer_);
    capacity_ = other.capacity_;
    readAhead_ = other.readAhead_;
    begin_ = other.begin_;
    bufferOffset_ = other.bufferOffset_;
    end_ = other.end_;
    eof_ = other.eof_;
    atStart_ = other.atStart_;
    readFailed_ = other.readFailed_;
    readError_ = other.readError_;
    tooLongLine_ = other.tooLongLine_;
    firstLine_ = other.firstLine_;
    openError_ = std::move(other.openError_);
    byteOrderMark_ = other.byteOrderMark_;
    linesRead_ = other.linesRead_;
    scratch_ = std::move(other.scratch_);
    return *this;
}

void TextReader::Fail(int error) {
    // The first failure is the one worth telling; what follows is its echo.
    if (!readFailed_) readError_ = error;
    readFailed_ = true;
    eof_ = true;
}

void TextReader::FailLineTooLong() {
    if (!readFailed_) tooLongLine_ = firstLine_ > 0 ? firstLine_ + linesRead_ : 0;
    readFailed_ = true;
    eof_ = true;
    begin_ = end_; // what is held of the line is no line
}

std::string TextReader::ReadError() const {
    if (!readFailed_) return {};
    return tooLongLine_ >= 0 ? LineTooLongText(tooLongLine_) : std::strerror(readError_);
}

void TextReader::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void TextReader::Rewind() {
    Seek(0);
}

void TextReader::Seek(int64_t offset, int64_t line) {
    if (fd_ < 0) return;
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) Fail(errno);
    StartAt(offset, line);
}

void TextReader::StartAt(int64_t offset, int64_t line) {
    firstLine_ = offset == 0 ? 1 : line;
    begin_ = end_ = 0;
    bufferOffset_ = offset;
    eof_ = false;
    atStart_ = offset == 0;
    linesRead_ = 0;
}

void TextReader::TakeByteOrderMark() {
    if (end_ - begin_ >= 3 && std::memcmp(buffer_.get() + begin_, "\xEF\xBB\xBF", 3) == 0) {
        begin_ += 3;
        byteOrderMark_ = true;
    }
}

// Moves the unread bytes to the front and reads more behind them.
bool TextReader::Fill() {
    if (eof_ || fd_ < 0) return false;
    if (begin_ > 0) {
        std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
        end_ -= begin_;
        bufferOffset_ += static_cast<int64_t>(begin_);
        begin_ = 0;
    }
    // A line longer than the buffer: double it, up to the longest line.
    if (end_ == capacity_) {
        if (capacity_ >= kLargestBuffer) {
            FailLineTooLong();
            return false;
        }
        Allocate(std::min(capacity_ * 2, kLargestBuffer));
    }
    size_t room = capacity_ - end_;
    if (readAhead_ > 0 && readAhead_ < room) room = readAhead_;
    for (;;) {
        const ssize_t got = ::read(fd_, buffer_.get() + end_, room);
        if (got < 0) {
            if (errno == EINTR) continue;
            Fail(errno);
            return false;
        }
        if (got == 0) {
            eof_ = true;
            return false;
        }
        end_ += static_cast<size_t>(got);
        // What follows the bytes held reads as zeros.
        std::memset(buffer_.get() + end_, 0, kSlack);
        break;
    }
    if (atStart_ && end_ - begin_ >= 3) {
        TakeByteOrderMark();
        atStart_ = false;
    } else if (atStart_ && eof_) {
        atStart_ = false;
    }
    return true;
}

bool TextReader::AtEnd() {
    if (fd_ < 0) return true;
    while (begin_ == end_ || (atStart_ && !eof_)) {
        if (!Fill()) {
            atStart_ = false;
            break;
        }
    }
    return begin_ == end_;
}

bool TextReader::TakeLine(std::string_view& raw, size_t length, size_t terminator) {
    if (length > kLongestLine) {
        FailLineTooLong();
        return false;
    }
    raw = std::string_view(buffer_.get() + begin_, length);
    begin_ += length + terminator;
    ++linesRead_;
    return true;
}

bool TextReader::NextRawLine(std::string_view& raw) {
    if (AtEnd()) return false;
    for (;;) {
        const char* start = buffer_.get() + begin_;
        const size_t avail = end_ - begin_;
        const size_t len = FindLineEnd(start, avail);
        if (len < avail && start[len] == '\r') {
            if (len + 1 < avail || eof_) {
                // CR LF counts as one terminator; a lone CR ends the line by itself.
                const bool crlf = len + 1 < avail && start[len + 1] == '\n';
                return TakeLine(raw, len, crlf ? 2 : 1);
            }
            // The CR is the last byte held: its LF may follow in the next block.
        } else if (len < avail) {
            return TakeLine(raw, len, 1);
        } else if (eof_ && tooLongLine_ < 0) {
            return TakeLine(raw, avail, 0);
        }
        if (!Fill() && !eof_) return false;
        if (tooLongLine_ >= 0) return false;
    }
}

bool TextReader::ReadLine(std::string_view& line) {
    std::string_view raw;
    if (!NextRawLine(raw)) {
        line = {};
        return false;
    }
    if (encoding_ == TextEncoding::Windows1252 && !IsAscii(raw)) {
        scratch_.clear();
        AppendWindows1252AsUtf8(scratch_, raw);
        line = scratch_;
    } else {
        line = raw;
    }
    return true;
}

std::string_view TextReader::ReadLine() {
    std::string_view line;
    ReadLine(line);
    return line;
}

int64_t TextReader::SkipLines(int64_t count) {
    int64_t skipped = 0;
    std::string_view raw;
    while (skipped < count && NextRawLine(raw))
        ++skipped;
    return skipped;
}

} // namespace vok
