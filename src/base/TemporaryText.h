// A text that exists only while the program holds it: a file made in the
// temporary folder and unlinked at once, so that nothing of it is left behind
// however the program ends (an error, Ctrl+C, a kill). It is written and read
// through its descriptor, or opened again by Path() (/proc/self/fd/N).
#pragma once

#include <filesystem>
#include <string>

namespace vok {

class TemporaryText {
public:
    TemporaryText() = default;
    TemporaryText(TemporaryText&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    TemporaryText& operator=(TemporaryText&& other) noexcept;
    TemporaryText(const TemporaryText&) = delete;
    TemporaryText& operator=(const TemporaryText&) = delete;
    ~TemporaryText();

    // A new, empty text; on failure a closed one and `error` says why.
    static TemporaryText Make(std::string& error);

    bool IsOpen() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; }
    // A name that opens the text again, for readers that take a path.
    std::filesystem::path Path() const;
    // Its size in bytes now.
    int64_t Size() const;

private:
    int fd_ = -1;
};

} // namespace vok
