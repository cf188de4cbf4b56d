#include "output/xlsx/ZipPackage.h"

#include "base/TextEncoding.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fmt/format.h>
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#include <memory>
#include <vector>
#include <zip.h>

namespace vok {

namespace {

// What the parts of a package may expand to. Workbook XML compresses ten to
// thirty times, rarely a hundred; a part that claims far more than that for
// the size of its file is damaged or built to exhaust memory (a few hundred
// KB of zip that expand to gigabytes). Small files may always expand to the
// floor, and no part, nor all parts read from one package, beyond the cap.
constexpr zip_uint64_t kMaxExpansionRatio = 200;
constexpr zip_uint64_t kPartFloor = zip_uint64_t{64} << 20;
constexpr zip_uint64_t kPartCap = zip_uint64_t{1} << 30;
constexpr zip_uint64_t kTotalCap = zip_uint64_t{4} << 30;

std::string Megabytes(zip_uint64_t bytes) {
    return fmt::format("{:.1f} MB", static_cast<double>(bytes) / (1 << 20));
}

// Large parts are compressed at the fastest level: writing a big table must
// not wait on the compressor.
constexpr size_t kFastCompressionFrom = 4 << 20;

std::string ArchiveError(zip_t* archive) {
    return zip_strerror(archive);
}

// libzip's words for an error code of zip_open.
std::string ZipErrorText(int code) {
    zip_error_t ze;
    zip_error_init_with_code(&ze, code);
    std::string text = zip_error_strerror(&ze);
    zip_error_fini(&ze);
    return text;
}

// A part that is deflated already, handed to libzip as it stands: libzip
// copies compressed bytes whose sizes and checksum the source states.
class DeflatedSource {
public:
    explicit DeflatedSource(const DeflatedPart& part) : part_(part), time_(std::time(nullptr)) {
        zip_error_init(&error_);
    }
    ~DeflatedSource() { zip_error_fini(&error_); }

    static zip_int64_t Callback(void* state, void* data, zip_uint64_t length,
                                zip_source_cmd_t command) {
        return static_cast<DeflatedSource*>(state)->Handle(data, length, command);
    }

private:
    zip_int64_t Handle(void* data, zip_uint64_t length, zip_source_cmd_t command) {
        switch (command) {
        case ZIP_SOURCE_OPEN:
            piece_ = 0;
            at_ = 0;
            return 0;
        case ZIP_SOURCE_READ: {
            // From the current piece; the next read goes on with the next one.
            while (piece_ < part_.pieces.size() && at_ == part_.pieces[piece_].size) {
                ++piece_;
                at_ = 0;
            }
            if (piece_ == part_.pieces.size()) return 0;
            const DeflatedPart::Piece& piece = part_.pieces[piece_];
            const size_t n = std::min<size_t>(length, piece.size - at_);
            std::memcpy(data, piece.bytes.get() + at_, n);
            at_ += n;
            return static_cast<zip_int64_t>(n);
        }
        case ZIP_SOURCE_CLOSE:
            return 0;
        case ZIP_SOURCE_STAT: {
            auto* st = static_cast<zip_stat_t*>(data);
            zip_stat_init(st);
            st->size = part_.size;
            st->comp_size = part_.compressed;
            st->crc = part_.crc;
            st->comp_method = ZIP_CM_DEFLATE;
            st->mtime = time_;
            st->valid |= ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC | ZIP_STAT_COMP_METHOD |
                         ZIP_STAT_MTIME;
            return sizeof(*st);
        }
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&error_, data, length);
        case ZIP_SOURCE_FREE:
            // The writer of the package owns the source and ends it after libzip.
            return 0;
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ,
                                                  ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                                  ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
        default:
            zip_error_set(&error_, ZIP_ER_OPNOTSUPP, 0);
            return -1;
        }
    }

    const DeflatedPart& part_;
    time_t time_;
    size_t piece_ = 0;
    size_t at_ = 0;
    zip_error_t error_;
};

} // namespace

bool DeflateBlocks(const std::function<bool(std::string&)>& next, DeflatedPart& part,
                   std::string& error) {
    // ISA-L's fastest level: several times zlib's speed at zlib's fastest
    // level's size.
    isal_zstream stream;
    isal_deflate_init(&stream);
    std::vector<uint8_t> levelBuffer(ISAL_DEF_LVL1_DEFAULT);
    stream.level = 1;
    stream.level_buf = levelBuffer.data();
    stream.level_buf_size = static_cast<uint32_t>(levelBuffer.size());
    stream.gzip_flag = IGZIP_DEFLATE;
    stream.flush = NO_FLUSH;
    part = DeflatedPart();
    std::string block, following;
    bool more = next(block);
    while (true) {
        // One block ahead, so that the last one is known as the last.
        const bool last = !more || !next(following);
        part.crc =
            crc32_gzip_refl(part.crc, reinterpret_cast<const uint8_t*>(block.data()), block.size());
        part.size += block.size();
        stream.next_in = reinterpret_cast<uint8_t*>(block.data());
        stream.avail_in = static_cast<uint32_t>(block.size());
        stream.end_of_stream = last ? 1 : 0;
        do {
            // Into the last piece's room, or a new piece.
            if (part.pieces.empty() || part.pieces.back().size == DeflatedPart::kPiece) {
                part.pieces.push_back(
                    {std::make_unique_for_overwrite<char[]>(DeflatedPart::kPiece), 0});
            }
            DeflatedPart::Piece& piece = part.pieces.back();
            stream.next_out = reinterpret_cast<uint8_t*>(piece.bytes.get() + piece.size);
            stream.avail_out = static_cast<uint32_t>(DeflatedPart::kPiece - piece.size);
            if (isal_deflate(&stream) != COMP_OK) {
                error = "the compressor failed";
                return false;
            }
            const size_t wrote = DeflatedPart::kPiece - piece.size - stream.avail_out;
            piece.size += wrote;
            part.compressed += wrote;
        } while (stream.avail_in > 0 || stream.avail_out == 0 ||
                 (last && stream.internal_state.state != ZSTATE_END));
        if (last) break;
        block.swap(following);
    }
    return true;
}

void ZipPackage::ArchiveCloser::operator()(zip_t* archive) const {
    zip_discard(archive);
}

std::unique_ptr<ZipPackage> ZipPackage::Open(const std::filesystem::path& path,
                                             std::string& error) {
    int code = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &code);
    if (!archive) {
        error = code == ZIP_ER_NOZIP ? "it is no Office Open XML workbook (not a zip package)"
                                     : ZipErrorText(code);
        return nullptr;
    }
    auto package = std::make_unique<ZipPackage>(Archive(archive));
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    const zip_uint64_t fileSize = ec ? 0 : static_cast<zip_uint64_t>(size);
    package->partLimit_ = std::min(kPartCap, std::max(kPartFloor, fileSize * kMaxExpansionRatio));
    package->totalLimit_ =
        std::min(kTotalCap, std::max(4 * kPartFloor, 2 * fileSize * kMaxExpansionRatio));
    zip_int64_t count = zip_get_num_entries(archive, 0);
    package->names_.reserve(static_cast<size_t>(std::max<zip_int64_t>(count, 0)));
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
        package->names_.emplace_back(name ? name : "");
    }
    return package;
}

long ZipPackage::Index(std::string_view name) const {
    for (size_t i = 0; i < names_.size(); ++i) {
        if (names_[i] == name) return static_cast<long>(i);
    }
    for (size_t i = 0; i < names_.size(); ++i) {
        if (EqualsNoCase(names_[i], name)) return static_cast<long>(i);
    }
    return -1;
}

std::string ZipPackage::StoredName(std::string_view name) const {
    long index = Index(name);
    return index < 0 ? std::string() : names_[static_cast<size_t>(index)];
}

void ZipPackage::FileCloser::operator()(zip_file_t* file) const {
    zip_fclose(file);
}

uint64_t ZipPackage::ExpandedSize(std::string_view name) const {
    const long index = Index(name);
    zip_stat_t st;
    zip_stat_init(&st);
    if (index < 0 || zip_stat_index(archive_.get(), static_cast<zip_uint64_t>(index), 0, &st) != 0 ||
        !(st.valid & ZIP_STAT_SIZE))
        return 0;
    return st.size;
}

bool ZipPackage::CheckExpansion(std::string_view name, std::string& error) const {
    const uint64_t size = ExpandedSize(name);
    if (size <= partLimit_ && size <= totalLimit_ - std::min(totalLimit_, expanded_)) return true;
    error = fmt::format("its part {} would expand to {}, more than vok reads from a workbook "
                        "of this size (at most {} per part); it is damaged or not a real "
                        "workbook",
                        name, Megabytes(size), Megabytes(partLimit_));
    return false;
}

// Counting what was read against the limits is the caller's part.
ZipPackage::PartFile ZipPackage::OpenPart(std::string_view name, uint64_t& size,
                                          std::string& error) const {
    const long index = Index(name);
    if (index < 0) {
        error = fmt::format("its part {} is missing", name);
        return nullptr;
    }
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(archive_.get(), static_cast<zip_uint64_t>(index), 0, &st) != 0 ||
        !(st.valid & ZIP_STAT_SIZE)) {
        error = fmt::format("its part {} cannot be read: {}", name, ArchiveError(archive_.get()));
        return nullptr;
    }
    if (!CheckExpansion(name, error)) return nullptr;
    size = st.size;
    PartFile file(zip_fopen_index(archive_.get(), static_cast<zip_uint64_t>(index), 0));
    if (!file)
        error = fmt::format("its part {} cannot be read: {}", name, ArchiveError(archive_.get()));
    return file;
}

bool ZipPackage::Read(std::string_view name, std::string& content, std::string& error) const {
    content.clear();
    uint64_t size = 0;
    PartFile file = OpenPart(name, size, error);
    if (!file) return false;
    expanded_ += size;
    content.resize(static_cast<size_t>(size));
    zip_uint64_t done = 0;
    while (done < size) {
        zip_int64_t n = zip_fread(file.get(), content.data() + done, size - done);
        if (n <= 0) {
            error = fmt::format("its part {} is damaged: {}", name, zip_file_strerror(file.get()));
            content.clear();
            return false;
        }
        done += static_cast<zip_uint64_t>(n);
    }
    return true;
}

bool ZipPackage::ReadBlocks(std::string_view name,
                            const std::function<bool(std::string_view)>& take,
                            std::string& error, size_t blockSize) const {
    uint64_t size = 0;
    PartFile file = OpenPart(name, size, error);
    if (!file) return false;
    std::string block(static_cast<size_t>(std::min<uint64_t>(size, std::max<size_t>(blockSize, 1))),
                      '\0');
    zip_uint64_t done = 0;
    while (done < size) {
        const zip_int64_t n =
            zip_fread(file.get(), block.data(), std::min<zip_uint64_t>(block.size(), size - done));
        if (n <= 0) {
            error = fmt::format("its part {} is damaged: {}", name, zip_file_strerror(file.get()));
            return false;
        }
        done += static_cast<zip_uint64_t>(n);
        expanded_ += static_cast<zip_uint64_t>(n);
        if (!take(std::string_view(block.data(), static_cast<size_t>(n)))) return true;
    }
    return true;
}

namespace {

// The package being written: libzip's archive, and the sources of the
// deflated parts, which libzip reads until the archive is closed. An archive
// not closed is discarded, so a failed copy leaves no file.
class PackageWriter {
public:
    explicit PackageWriter(zip_t* out) : out_(out) {}
    ~PackageWriter() {
        if (out_) zip_discard(out_);
    }
    PackageWriter(const PackageWriter&) = delete;
    PackageWriter& operator=(const PackageWriter&) = delete;

    bool AddNew(const std::string& name, const std::string& content) {
        zip_source_t* source = zip_source_buffer(out_, content.data(), content.size(), 0);
        if (!source) return false;
        const zip_int64_t index = zip_file_add(out_, name.c_str(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(source);
            return false;
        }
        const zip_uint32_t level = content.size() >= kFastCompressionFrom ? 1 : 6;
        return zip_set_file_compression(out_, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE,
                                        level) == 0;
    }
    bool AddDeflated(const std::string& name, const DeflatedPart& part) {
        zip_error_t ze;
        zip_error_init(&ze);
        DeflatedSource* state = sources_.emplace_back(std::make_unique<DeflatedSource>(part)).get();
        zip_source_t* source = zip_source_function_create(DeflatedSource::Callback, state, &ze);
        zip_error_fini(&ze);
        return source && Add(name, source, ZIP_FL_ENC_UTF_8) >= 0;
    }
    // Copies a part's compressed bytes as they are: nothing is recompressed
    // and the content stays byte for byte. A part stored uncompressed stays
    // so (libzip would deflate it, as a new part).
    bool Copy(zip_t* from, size_t index, const std::string& name) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(from, index, 0, &st) != 0) return false;
        zip_source_t* source = zip_source_zip(out_, from, index, ZIP_FL_COMPRESSED, 0, -1);
        if (!source) return false;
        const zip_int64_t added = Add(name, source, ZIP_FL_ENC_RAW);
        if (added < 0) return false;
        const bool stored = (st.valid & ZIP_STAT_COMP_METHOD) && st.comp_method == ZIP_CM_STORE;
        return !stored || zip_set_file_compression(out_, static_cast<zip_uint64_t>(added),
                                                   ZIP_CM_STORE, 0) == 0;
    }
    Status Failed(std::string_view what) const {
        return Status::Failed(fmt::format("{}: {}", what, ArchiveError(out_)));
    }
    Status Close() {
        if (zip_close(out_) != 0) return Failed("cannot write the package");
        out_ = nullptr;
        return Status::Ok();
    }

private:
    // The new entry's index; -1 when it could not be added.
    zip_int64_t Add(const std::string& name, zip_source_t* source, zip_flags_t encoding) {
        const zip_int64_t index = zip_file_add(out_, name.c_str(), source, encoding);
        if (index < 0) zip_source_free(source);
        return index;
    }

    zip_t* out_;
    std::vector<std::unique_ptr<DeflatedSource>> sources_;
};

} // namespace

Status ZipPackage::WriteCopy(const std::filesystem::path& path,
                             const std::map<std::string, std::string>& replaced,
                             const std::map<std::string, DeflatedPart>& deflated,
                             const std::set<std::string>& removed) const {
    int code = 0;
    zip_t* out = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!out) return Status::Failed(ZipErrorText(code));
    PackageWriter writer(out);
    // The parts in their order, each replaced, deflated or copied.
    std::set<std::string> added;
    for (size_t i = 0; i < names_.size(); ++i) {
        const std::string& name = names_[i];
        if (removed.count(name)) continue;
        const auto part = deflated.find(name);
        const auto replacement = replaced.find(name);
        if (part == deflated.end() && replacement == replaced.end()) {
            if (!writer.Copy(archive_.get(), i, name)) return writer.Failed("cannot copy " + name);
            continue;
        }
        const bool stored = part != deflated.end() ? writer.AddDeflated(name, part->second)
                                                   : writer.AddNew(name, replacement->second);
        if (!stored) return writer.Failed("cannot store " + name);
        added.insert(name);
    }
    // Parts the package did not hold go at the end.
    for (const auto& [name, content] : replaced) {
        if (!added.count(name) && !writer.AddNew(name, content))
            return writer.Failed("cannot store " + name);
    }
    for (const auto& [name, part] : deflated) {
        if (!added.count(name) && !writer.AddDeflated(name, part))
            return writer.Failed("cannot store " + name);
    }
    return writer.Close();
}

} // namespace vok
