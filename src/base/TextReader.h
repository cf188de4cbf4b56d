// An open text file read line by line: what the job's steps call a file number.
//
// A line ends at CR LF, at a lone CR and at a lone LF; the terminator is not
// part of the line, and a last line without one still counts. A UTF-8
// byte-order mark is not part of the first line. Lines come out as UTF-8
// (Windows-1252 files are decoded). A reader that could not open its file is
// an empty source, like file number 0. A line longer than kLongestLine bytes
// ends the reading as a failed read does: no line is held without bound.
#pragma once

#include "base/TextEncoding.h"
#include "base/modUtilityFile.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

// The longest line any text file vok reads may have: 1 MiB, its line end not counted.
inline constexpr size_t kLongestLine = size_t{1} << 20;

// Why reading stopped at a line longer than kLongestLine: "line 7 is longer
// than 1 MiB (1,048,576 bytes)"; `line` 0 when its number is not known.
std::string LineTooLongText(int64_t line);

class TextReader {
public:
    TextReader() = default;
    // Reads the whole file once first to learn its encoding.
    explicit TextReader(const std::filesystem::path& path);
    // A file whose encoding is known already (from a scan of it): nothing is
    // read before the first line. `bufferSize`, when given, bounds the
    // buffer: a few lines far into a large file need no megabyte.
    TextReader(const std::filesystem::path& path, TextEncoding encoding, size_t bufferSize = 0);
    // The same on a file opened already, read from where its descriptor stands.
    TextReader(OpenedFile file, TextEncoding encoding, size_t bufferSize = 0);
    ~TextReader();
    TextReader(TextReader&& other) noexcept;
    TextReader& operator=(TextReader&& other) noexcept;
    TextReader(const TextReader&) = delete;
    TextReader& operator=(const TextReader&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    // The file's size when it was opened.
    int64_t FileSize() const { return fileSize_; }
    TextEncoding Encoding() const { return encoding_; }

    // True when no further line can be read (and for a reader that is not open).
    bool AtEnd();

    // The next line, valid until the next call; empty at the end of the file.
    std::string_view ReadLine();
    // The same, telling whether a line was there at all.
    bool ReadLine(std::string_view& line);

    // The next line's bytes as the file holds them: Windows-1252 text is not
    // decoded. Valid until the next call. The kSlack bytes after the line may
    // be read too (what they hold is unspecified), so that a caller can read
    // sixteen bytes at a time up to the line's end.
    static constexpr size_t kSlack = 16;
    bool ReadRawLine(std::string_view& line) { return NextRawLine(line); }

    // Skips lines without decoding them; returns how many were skipped.
    int64_t SkipLines(int64_t count);

    // Goes to byte `offset`, which must be the start of a line; at 0 a
    // byte-order mark is passed over as at opening. `line` is that line's
    // 1-based number, for the message of a line too long (0: not known).
    void Seek(int64_t offset, int64_t line = 0);
    // Reads at most about `bytes` per refill from now on, for a few lines
    // far into a large file; 0 reads as much as the buffer takes.
    void SetReadAhead(size_t bytes) { readAhead_ = bytes; }
    // Makes the buffer take at least `bytes`, for a reader that was opened for
    // a few lines and goes on reading.
    void GrowBuffer(size_t bytes) {
        if (fd_ >= 0 && bytes > capacity_) Allocate(bytes);
    }
    // The byte offset in the file of the next line to read.
    int64_t NextLineOffset() const { return bufferOffset_ + static_cast<int64_t>(begin_); }
    // The bytes read ahead from there, as the file holds them (the last of
    // them may be part of a line): what a caller may search before reading
    // them as lines. Valid until the next call.
    std::string_view Ahead() const { return {buffer_.get() + begin_, end_ - begin_}; }

    // Back to the first line; the encoding found at opening is kept.
    void Rewind();

    // True when a read failed after opening (a device error, a file that
    // vanished from a network folder, a line longer than kLongestLine); the
    // lines read so far are all there is.
    bool ReadFailed() const { return readFailed_; }
    // Why the read failed ("Input/output error", LineTooLongText); empty when none did.
    std::string ReadError() const;
    // True once the first line was read from a file that began with a UTF-8
    // byte-order mark (which is not part of that line).
    bool HadByteOrderMark() const { return byteOrderMark_; }

    // Why the file could not be opened ("Permission denied", "it is a
    // folder, not a file"); empty when it was.
    const std::string& OpenError() const { return openError_; }

    void Close();

private:
    bool Open(const std::filesystem::path& path, size_t bufferSize);
    void Adopt(int fd, const struct stat& info, size_t bufferSize);
    void Allocate(size_t capacity);
    // Takes the `bytes` the buffer holds as the whole file, read from its start.
    void HoldWholeFile(size_t bytes);
    // Nothing held, the next read at `offset`, which starts line `line`.
    void StartAt(int64_t offset, int64_t line);
    // Passes over a UTF-8 byte-order mark at the start of what is held.
    void TakeByteOrderMark();
    bool Fill();
    void Fail(int error);
    void FailLineTooLong();
    // Hands out the next `length` bytes as a line and passes over its terminator.
    bool TakeLine(std::string_view& raw, size_t length, size_t terminator);
    bool NextRawLine(std::string_view& raw);

    int fd_ = -1;
    int64_t fileSize_ = 0;
    TextEncoding encoding_ = TextEncoding::Utf8;
    std::unique_ptr<char[]> buffer_; // not zeroed: every byte used was read first
    size_t capacity_ = 0;
    size_t readAhead_ = 0; // 0: fill the buffer
    size_t begin_ = 0;     // first unread byte in the buffer
    int64_t bufferOffset_ = 0; // the file offset of the buffer's first byte
    size_t end_ = 0;       // one past the last valid byte
    bool eof_ = false;     // the file has no more bytes beyond the buffer
    bool atStart_ = true;
    bool readFailed_ = false;
    int readError_ = 0;
    int64_t tooLongLine_ = -1; // the line too long to read (0: its number is not known)
    int64_t firstLine_ = 1;    // the number of the line at the last Seek (0: not known)
    std::string openError_;
    bool byteOrderMark_ = false;
    int64_t linesRead_ = 0;
    std::string scratch_; // lines that span a buffer refill, and decoded lines
};

} // namespace vok
