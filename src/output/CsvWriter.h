// The CSV output file of one run. Lines are written in the input's encoding,
// so the output keeps the report's bytes; writes are buffered, and a write
// that fails is remembered so the run can report it.
#pragma once

#include "base/TextEncoding.h"

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace vok {

class CsvWriter {
public:
    // Creates the file, or empties it when it exists.
    CsvWriter(const std::string& fileName, TextEncoding encoding);
    ~CsvWriter();

    bool IsOpen() const { return file_ != nullptr; }
    // The encoding of the report the lines come from.
    void SetEncoding(TextEncoding encoding) { encoding_ = encoding; }
    bool Failed() const { return failed_; }
    const std::string& FileName() const { return fileName_; }

    // Writes one line (given in UTF-8) followed by CR LF.
    void WriteLine(std::string_view line);

    // Flushes and closes; false when anything could not be written.
    bool Close();

private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::string fileName_;
    TextEncoding encoding_;
    std::unique_ptr<std::FILE, Closer> file_;
    void Flush();

    static constexpr size_t kBlock = 1 << 16;
    std::string encoded_;
    std::string pending_; // lines not yet written
    bool failed_ = false;
};

} // namespace vok
