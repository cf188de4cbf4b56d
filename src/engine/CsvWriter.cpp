#include "engine/CsvWriter.h"

#include "app/modUtilityFile.h"

namespace vok {

CsvWriter::CsvWriter(const std::string& fileName, TextEncoding encoding)
    : fileName_(fileName), encoding_(encoding) {
    file_.reset(std::fopen(NativePath(fileName).c_str(), "wb"));
    // A file that cannot be created is a failure even when no line follows,
    // so that Close never reports an output that does not exist as written.
    if (file_)
        std::setvbuf(file_.get(), nullptr, _IOFBF, 1 << 16);
    else
        failed_ = true;
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
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size() ||
        std::fwrite("\r\n", 1, 2, file_.get()) != 2) {
        failed_ = true;
    }
}

bool CsvWriter::Close() {
    if (!file_) return !failed_;
    if (std::fclose(file_.release()) != 0) failed_ = true;
    return !failed_;
}

} // namespace vok
