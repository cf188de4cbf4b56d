#include "output/CsvWriter.h"

#include <algorithm>
#include <cstring>

namespace vok {

CsvWriter::CsvWriter(const std::filesystem::path& fileName, TextEncoding encoding,
                     const TargetKnown* known)
    : fileName_(fileName), encoding_(encoding),
      file_(fileName, AtomicFile::Durability::Unsynced, known) {}

bool CsvWriter::Open(std::string& error) {
    open_ = file_.Create(error);
    return open_;
}

char* CsvWriter::RawLineRoom(size_t bytes) {
    // The line end's two bytes come on top.
    const size_t needed = used_ + bytes + 2;
    if (needed > capacity_) {
        // The block is taken whole, not grown by doubling, which would touch
        // twice its pages: a page never written costs nothing, so a small
        // report's CSV (most of a folder job's) touches only what it writes.
        const size_t capacity = std::max(needed, kBlock + 4096);
        auto bigger = std::make_unique_for_overwrite<char[]>(capacity);
        if (used_ > 0) std::memcpy(bigger.get(), block_.get(), used_);
        block_ = std::move(bigger);
        capacity_ = capacity;
    }
    return block_.get() + used_;
}

void CsvWriter::EndRawLine(char* end) {
    end[0] = '\r';
    end[1] = '\n';
    used_ = static_cast<size_t>(end + 2 - block_.get());
    if (used_ >= kBlock) Flush();
}

void CsvWriter::WriteLine(std::string_view line) {
    if (!open_ || Failed()) return;
    std::string_view bytes = line;
    if (encoding_ == TextEncoding::Windows1252 && !IsAscii(line)) {
        encoded_.clear();
        AppendUtf8AsWindows1252(encoded_, line);
        bytes = encoded_;
    }
    char* at = RawLineRoom(bytes.size());
    std::memcpy(at, bytes.data(), bytes.size());
    EndRawLine(at + bytes.size());
}

void CsvWriter::Flush() {
    // After a failure, or once closed, lines are dropped: nothing more reaches the file.
    if (used_ > 0 && open_ && !Failed()) file_.Write(std::string_view(block_.get(), used_), error_);
    used_ = 0;
}

bool CsvWriter::Close(std::string& error, const StopRequest* stop) {
    if (!open_) {
        error = "the file " + fileName_.string() + " was never opened";
        return false;
    }
    Flush();
    open_ = false;
    if (Failed()) {
        error = error_;
        file_.Discard();
        return false;
    }
    return file_.Commit(error, stop);
}

void CsvWriter::Discard() {
    open_ = false;
    used_ = 0;
    file_.Discard();
}

} // namespace vok
