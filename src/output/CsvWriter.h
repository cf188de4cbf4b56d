// The CSV output file of one run. Lines are written in the input's encoding,
// so the output keeps the report's bytes. They go to a temporary file beside
// the target in large blocks; Close renames it over the target (without
// waiting for the disk: a folder job writes thousands), so a run that
// fails halfway leaves the earlier file as it was.
#pragma once

#include "base/AtomicFile.h"
#include "base/TextEncoding.h"

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace vok {

class CsvWriter {
public:
    // `known`, when given, is what the caller found at the file's name.
    explicit CsvWriter(const std::filesystem::path& fileName,
                       TextEncoding encoding = TextEncoding::Utf8,
                       const TargetKnown* known = nullptr);

    // Creates the temporary file; false, with the reason, when it cannot be made.
    bool Open(std::string& error);
    bool IsOpen() const { return open_; }
    // The encoding of the report the lines come from.
    void SetEncoding(TextEncoding encoding) { encoding_ = encoding; }
    // True once a write failed; Close then reports why.
    bool Failed() const { return !error_.empty(); }
    const std::filesystem::path& FileName() const { return fileName_; }

    // Writes one line (given in UTF-8) followed by CR LF.
    void WriteLine(std::string_view line);

    // The per-line path of a table: the line's bytes, already in the output's
    // encoding, are written straight into the block. RawLineRoom gives room
    // for at least `bytes` more bytes; EndRawLine takes the end of what was
    // written there and ends the line.
    char* RawLineRoom(size_t bytes);
    void EndRawLine(char* end);

    // Writes what is pending and puts the file in place of the target; false,
    // with the reason, when anything could not be written (the target is then
    // as it was).
    bool Close(std::string& error, const StopRequest* stop = nullptr);

    // Drops everything written; the target stays as it was.
    void Discard();

private:
    void Flush();

    std::filesystem::path fileName_;
    TextEncoding encoding_;
    AtomicFile file_;
    bool open_ = false;
    std::string error_; // the first write failure

    static constexpr size_t kBlock = 1 << 18;
    std::string encoded_;
    // The lines not yet written: block_[0 .. used_), room for capacity_.
    std::unique_ptr<char[]> block_;
    size_t used_ = 0;
    size_t capacity_ = 0;
};

} // namespace vok
