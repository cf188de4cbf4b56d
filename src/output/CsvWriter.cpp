#include "output/CsvWriter.h"

namespace vok {

CsvWriter::CsvWriter(const std::filesystem::path& fileName, TextEncoding encoding)
    : fileName_(fileName), encoding_(encoding), file_(fileName) {}

bool CsvWriter::Open(std::string& error) {
    open_ = file_.Create(error);
    if (open_) pending_.reserve(kBlock + 4096);
    return open_;
}

void CsvWriter::WriteLine(std::string_view line) {
    if (!open_ || Failed()) return;
    std::string_view bytes = line;
    if (encoding_ == TextEncoding::Windows1252 && !IsAscii(line)) {
        encoded_.clear();
        AppendUtf8AsWindows1252(encoded_, line);
        bytes = encoded_;
    }
    pending_.append(bytes).append("\r\n");
    if (pending_.size() >= kBlock) Flush();
}

void CsvWriter::Flush() {
    if (pending_.empty() || Failed()) return;
    file_.Write(pending_, error_);
    pending_.clear();
}

bool CsvWriter::Close(std::string& error) {
    if (!open_) {
        error = "the file " + fileName_.string() + " was never opened";
        return false;
    }
    open_ = false;
    Flush();
    if (Failed()) {
        error = error_;
        file_.Discard();
        return false;
    }
    return file_.Commit(error);
}

void CsvWriter::Discard() {
    open_ = false;
    pending_.clear();
    file_.Discard();
}

} // namespace vok
