#include "output/CsvWriter.h"

#include "base/modUtilityFile.h"

namespace vok {

CsvWriter::CsvWriter(const std::string& fileName, TextEncoding encoding)
    : fileName_(fileName), encoding_(encoding) {
    file_.reset(std::fopen(NativePath(fileName).c_str(), "wb"));
    // A file that cannot be created is a failure even when no line follows,
    // so that Close never reports an output that does not exist as written.
    // Lines are gathered in a buffer of our own and written in large blocks.
    if (file_) {
        std::setvbuf(file_.get(), nullptr, _IONBF, 0);
        pending_.reserve(kBlock + 4096);
    } else {
        failed_ = true;
    }
}

CsvWriter::~CsvWriter() {
    Close();
}

void CsvWriter::WriteLine(std::string_view line) {
    if (!file_) {
        failed_ = true;
        return;
    }
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
    if (!file_ || pending_.empty()) return;
    if (std::fwrite(pending_.data(), 1, pending_.size(), file_.get()) != pending_.size())
        failed_ = true;
    pending_.clear();
}

bool CsvWriter::Close() {
    if (!file_) return !failed_;
    Flush();
    if (std::fclose(file_.release()) != 0) failed_ = true;
    return !failed_;
}

} // namespace vok
