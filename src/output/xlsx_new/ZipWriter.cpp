#include "output/xlsx_new/ZipWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#include <limits>
#include <memory>
#include <unistd.h>

namespace vok {

namespace {

constexpr uint32_t kLocalHeader = 0x04034b50;
constexpr uint32_t kCentralHeader = 0x02014b50;
constexpr uint32_t kEndOfDirectory = 0x06054b50;
constexpr uint32_t kZip64EndOfDirectory = 0x06064b50;
constexpr uint32_t kZip64Locator = 0x07064b50;
constexpr uint16_t kZip64Extra = 0x0001;
constexpr uint16_t kDeflated = 8;
constexpr uint16_t kVersion = 20, kVersion64 = 45;
constexpr uint32_t kMax32 = std::numeric_limits<uint32_t>::max();
constexpr size_t kOutBuffer = 1 << 20;

// Little-endian fields, as the format has them.
void Put16(std::string& out, uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}
void Put32(std::string& out, uint32_t v) {
    Put16(out, static_cast<uint16_t>(v & 0xFFFF));
    Put16(out, static_cast<uint16_t>(v >> 16));
}
void Put64(std::string& out, uint64_t v) {
    Put32(out, static_cast<uint32_t>(v & kMax32));
    Put32(out, static_cast<uint32_t>(v >> 32));
}
uint32_t Low32(uint64_t v, bool large) {
    return large ? kMax32 : static_cast<uint32_t>(v);
}

} // namespace

// ISA-L's compressor at its fastest level: several times zlib's speed at
// about zlib's fastest level's size. Reused for every part.
struct ZipWriter::Deflater {
    isal_zstream stream;
    std::unique_ptr<uint8_t[]> level = std::make_unique_for_overwrite<uint8_t[]>(ISAL_DEF_LVL1_DEFAULT);
    void Start() {
        isal_deflate_init(&stream);
        stream.level = 1;
        stream.level_buf = level.get();
        stream.level_buf_size = ISAL_DEF_LVL1_DEFAULT;
        stream.gzip_flag = IGZIP_DEFLATE;
        stream.flush = NO_FLUSH;
    }
};

ZipWriter::ZipWriter(int fd)
    : fd_(fd), out_(std::make_unique_for_overwrite<uint8_t[]>(kOutBuffer)),
      // Not zeroed: isal_deflate_init sets what the compressor reads, and
      // the stream's 80 KB would otherwise be written before their first use.
      deflater_(std::make_unique_for_overwrite<Deflater>()) {
    // Every part carries the time of writing, in the format's local time.
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) && local.tm_year >= 80) {
        dosTime_ = static_cast<uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) |
                                         (local.tm_sec / 2));
        dosDate_ = static_cast<uint16_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) |
                                         local.tm_mday);
    }
}

ZipWriter::~ZipWriter() = default;

bool ZipWriter::Failed(std::string_view what) {
    if (error_.empty()) error_ = std::string(what) + " (" + std::strerror(errno) + ")";
    return false;
}

bool ZipWriter::FlushOut() {
    size_t done = 0;
    while (done < outUsed_) {
        const ssize_t n = ::write(fd_, out_.get() + done, outUsed_ - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Failed("cannot write the workbook");
        done += static_cast<size_t>(n);
    }
    at_ += outUsed_;
    outUsed_ = 0;
    return true;
}

bool ZipWriter::Put(std::string_view bytes) {
    while (!bytes.empty()) {
        if (outUsed_ == kOutBuffer && !FlushOut()) return false;
        const size_t n = std::min(bytes.size(), kOutBuffer - outUsed_);
        std::memcpy(out_.get() + outUsed_, bytes.data(), n);
        outUsed_ += n;
        bytes.remove_prefix(n);
    }
    return true;
}

bool ZipWriter::Patch(uint64_t offset, std::string_view bytes) {
    // What is in the file already is written there, the rest in the buffer.
    if (offset < at_) {
        const std::string_view inFile = bytes.substr(0, static_cast<size_t>(at_ - offset));
        if (::pwrite(fd_, inFile.data(), inFile.size(), static_cast<off_t>(offset)) !=
            static_cast<ssize_t>(inFile.size()))
            return Failed("cannot write the workbook");
        bytes.remove_prefix(inFile.size());
        offset += inFile.size();
    }
    std::memcpy(out_.get() + (offset - at_), bytes.data(), bytes.size());
    return true;
}

bool ZipWriter::BeginPart(std::string_view name, bool large) {
    Entry& entry = entries_.emplace_back();
    entry.name = std::string(name);
    entry.offset = at_ + outUsed_;
    entry.large = large;
    // The header's checksum and sizes are filled in by EndPart.
    std::string header;
    Put32(header, kLocalHeader);
    Put16(header, large ? kVersion64 : kVersion);
    Put16(header, 0); // flags
    Put16(header, kDeflated);
    Put16(header, dosTime_);
    Put16(header, dosDate_);
    Put32(header, 0);
    Put32(header, large ? kMax32 : 0);
    Put32(header, large ? kMax32 : 0);
    Put16(header, static_cast<uint16_t>(name.size()));
    Put16(header, large ? 20 : 0);
    header += name;
    if (large) {
        Put16(header, kZip64Extra);
        Put16(header, 16);
        Put64(header, 0);
        Put64(header, 0);
    }
    deflater_->Start();
    open_ = true;
    return Put(header);
}

bool ZipWriter::Deflate(std::string_view bytes, bool last) {
    Entry& entry = entries_.back();
    entry.crc = crc32_gzip_refl(entry.crc, reinterpret_cast<const uint8_t*>(bytes.data()),
                                bytes.size());
    entry.size += bytes.size();
    isal_zstream& stream = deflater_->stream;
    stream.next_in = reinterpret_cast<uint8_t*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uint32_t>(bytes.size());
    stream.end_of_stream = last ? 1 : 0;
    do {
        if (outUsed_ == kOutBuffer && !FlushOut()) return false;
        stream.next_out = out_.get() + outUsed_;
        stream.avail_out = static_cast<uint32_t>(kOutBuffer - outUsed_);
        if (isal_deflate(&stream) != COMP_OK) {
            error_ = "the compressor failed";
            return false;
        }
        const size_t wrote = kOutBuffer - outUsed_ - stream.avail_out;
        outUsed_ += wrote;
        entry.compressed += wrote;
    } while (stream.avail_in > 0 || stream.avail_out == 0 ||
             (last && stream.internal_state.state != ZSTATE_END));
    return true;
}

bool ZipWriter::Write(std::string_view bytes) {
    // The compressor takes at most 4 GiB at a time.
    constexpr size_t kStep = size_t{1} << 30;
    while (!bytes.empty()) {
        const std::string_view step = bytes.substr(0, kStep);
        if (!Deflate(step, false)) return false;
        bytes.remove_prefix(step.size());
    }
    return true;
}

bool ZipWriter::EndPart() {
    open_ = false;
    if (!Deflate({}, true)) return false;
    Entry& entry = entries_.back();
    if (!entry.large && (entry.size >= kMax32 || entry.compressed >= kMax32)) {
        error_ = "a part of the workbook is larger than 4 GiB";
        return false;
    }
    // The header's checksum and sizes, in place.
    std::string fields;
    Put32(fields, entry.crc);
    Put32(fields, Low32(entry.compressed, entry.large));
    Put32(fields, Low32(entry.size, entry.large));
    if (!Patch(entry.offset + 14, fields)) return false;
    if (!entry.large) return true;
    fields.clear();
    Put64(fields, entry.size);
    Put64(fields, entry.compressed);
    return Patch(entry.offset + 30 + entry.name.size() + 4, fields);
}

bool ZipWriter::AddPart(std::string_view name, std::string_view content) {
    return BeginPart(name) && Write(content) && EndPart();
}

std::string ZipWriter::CentralDirectory() const {
    // Each part's header again, with its place; 64-bit fields where needed.
    std::string directory;
    for (const Entry& entry : entries_) {
        const bool farOffset = entry.offset >= kMax32;
        std::string extra;
        if (entry.large) {
            Put64(extra, entry.size);
            Put64(extra, entry.compressed);
        }
        if (farOffset) Put64(extra, entry.offset);
        const bool zip64 = !extra.empty();
        Put32(directory, kCentralHeader);
        Put16(directory, (3 << 8) | (zip64 ? kVersion64 : kVersion)); // made on Unix
        Put16(directory, zip64 ? kVersion64 : kVersion);
        Put16(directory, 0);
        Put16(directory, kDeflated);
        Put16(directory, dosTime_);
        Put16(directory, dosDate_);
        Put32(directory, entry.crc);
        Put32(directory, Low32(entry.compressed, entry.large));
        Put32(directory, Low32(entry.size, entry.large));
        Put16(directory, static_cast<uint16_t>(entry.name.size()));
        Put16(directory, static_cast<uint16_t>(zip64 ? extra.size() + 4 : 0));
        Put16(directory, 0); // comment
        Put16(directory, 0); // disk
        Put16(directory, 0); // internal attributes
        Put32(directory, 0100644u << 16);
        Put32(directory, Low32(entry.offset, farOffset));
        directory += entry.name;
        if (zip64) {
            Put16(directory, kZip64Extra);
            Put16(directory, static_cast<uint16_t>(extra.size()));
            directory += extra;
        }
    }
    return directory;
}

std::string ZipWriter::EndOfDirectory(uint64_t offset, uint64_t size) const {
    // The 64-bit form too when the directory lies beyond 4 GiB.
    const uint64_t count = entries_.size();
    const bool zip64 = offset >= kMax32 || size >= kMax32 || count >= 0xFFFF;
    std::string end;
    if (zip64) {
        Put32(end, kZip64EndOfDirectory);
        Put64(end, 44);
        Put16(end, (3 << 8) | kVersion64);
        Put16(end, kVersion64);
        Put32(end, 0);
        Put32(end, 0);
        Put64(end, count);
        Put64(end, count);
        Put64(end, size);
        Put64(end, offset);
        Put32(end, kZip64Locator);
        Put32(end, 0);
        Put64(end, offset + size);
        Put32(end, 1);
    }
    Put32(end, kEndOfDirectory);
    Put16(end, 0);
    Put16(end, 0);
    Put16(end, static_cast<uint16_t>(zip64 ? 0xFFFF : count));
    Put16(end, static_cast<uint16_t>(zip64 ? 0xFFFF : count));
    Put32(end, Low32(size, zip64));
    Put32(end, Low32(offset, zip64));
    Put16(end, 0);
    return end;
}

bool ZipWriter::Finish() {
    if (open_) return false;
    const uint64_t offset = at_ + outUsed_;
    const std::string directory = CentralDirectory();
    return Put(directory) && Put(EndOfDirectory(offset, directory.size())) && FlushOut();
}

} // namespace vok
