// Writes a zip package (the container of a new .xlsx workbook) part by part,
// each part deflated as it is written: a large sheet never stands in memory,
// neither as text nor compressed. The file must be seekable: each part's
// header gets its sizes and checksum once the part is complete.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

class ZipWriter {
public:
    // Writes into `fd`, which stays the caller's to close; written from its start.
    explicit ZipWriter(int fd);
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    // Starts a part. `large` when it may reach 4 GiB (before or after
    // compression): its header then carries 64-bit sizes.
    bool BeginPart(std::string_view name, bool large = false);
    bool Write(std::string_view bytes);
    bool EndPart();
    // A whole part at once.
    bool AddPart(std::string_view name, std::string_view content);
    // Writes the directory; false when any write failed.
    bool Finish();
    // Why the last step failed.
    const std::string& Error() const { return error_; }

private:
    struct Entry {
        std::string name;
        uint64_t offset = 0, compressed = 0, size = 0;
        uint32_t crc = 0;
        bool large = false;
    };
    struct Deflater;

    bool Deflate(std::string_view bytes, bool last);
    bool Put(std::string_view bytes);
    bool Patch(uint64_t offset, std::string_view bytes);
    bool FlushOut();
    bool Failed(std::string_view what);
    std::string CentralDirectory() const;
    std::string EndOfDirectory(uint64_t offset, uint64_t size) const;

    int fd_;
    uint64_t at_ = 0; // bytes written to the file, and where the next go
    std::vector<Entry> entries_;
    std::unique_ptr<uint8_t[]> out_; // compressed bytes waiting for the file
    size_t outUsed_ = 0;
    std::unique_ptr<Deflater> deflater_; // defined where the compressor is known
    uint16_t dosTime_ = 0, dosDate_ = 0;
    std::string error_;
    bool open_ = false; // a part was begun and not ended
};

} // namespace vok
