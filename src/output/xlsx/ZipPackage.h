// A zip package (the container of an .xlsx workbook) read through libzip, and
// the writing of a copy in which some parts are replaced, added or removed
// while every other part is copied as it was, still compressed.
#pragma once

#include "base/Outcome.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

struct zip;
struct zip_file;

namespace vok {

// A part compressed before the package is written: its raw deflate stream,
// and what the package's directory says of it.
struct DeflatedPart {
    // The stream in pieces of kPiece bytes (the last one shorter): no piece
    // is ever copied to grow, and none is larger than needed by more than one.
    static constexpr size_t kPiece = 1 << 20;
    struct Piece {
        std::unique_ptr<char[]> bytes; // kPiece of them
        size_t size = 0;
    };
    std::vector<Piece> pieces;
    uint64_t compressed = 0;
    uint64_t size = 0; // before compression
    uint32_t crc = 0;
};

// Deflates the blocks `next` gives (false once there are none) into `part`,
// block by block: a large sheet never stands in memory uncompressed. Fast:
// workbooks of hundreds of thousands of rows are written often.
bool DeflateBlocks(const std::function<bool(std::string&)>& next, DeflatedPart& part,
                   std::string& error);

class ZipPackage {
    struct ArchiveCloser {
        void operator()(struct zip* archive) const;
    };
    using Archive = std::unique_ptr<struct zip, ArchiveCloser>;

public:
    explicit ZipPackage(Archive archive) : archive_(std::move(archive)) {}
    ZipPackage(const ZipPackage&) = delete;
    ZipPackage& operator=(const ZipPackage&) = delete;

    // Null, with the reason, when the file is no zip archive.
    static std::unique_ptr<ZipPackage> Open(const std::filesystem::path& path, std::string& error);

    // Part names are matched exactly first, then ignoring ASCII case.
    bool Has(std::string_view name) const { return Index(name) >= 0; }
    // The stored name of a part ("" when missing).
    std::string StoredName(std::string_view name) const;
    bool Read(std::string_view name, std::string& content, std::string& error) const;
    // The size a part states it expands to (0 when missing).
    uint64_t ExpandedSize(std::string_view name) const;
    // False, with the reason, when reading the part would expand it beyond
    // what a package of this size may hold.
    bool CheckExpansion(std::string_view name, std::string& error) const;
    // Reads a part `block` bytes at a time (the last block shorter), each
    // handed to `take` (valid until the next one), which returns false to
    // stop early: a large part never stands in memory whole.
    static constexpr size_t kBlock = size_t{1} << 18;
    bool ReadBlocks(std::string_view name, const std::function<bool(std::string_view)>& take,
                    std::string& error, size_t block = kBlock) const;
    const std::vector<std::string>& Names() const { return names_; }

    // Writes a package at `path` holding the parts of this one in their order,
    // with `replaced` parts given new content and `deflated` ones their
    // compressed content (parts not yet present are added at the end), and
    // `removed` parts left out.
    Status WriteCopy(const std::filesystem::path& path,
                     const std::map<std::string, std::string>& replaced,
                     const std::map<std::string, DeflatedPart>& deflated,
                     const std::set<std::string>& removed) const;
    Status WriteCopy(const std::filesystem::path& path,
                     const std::map<std::string, std::string>& replaced,
                     const std::set<std::string>& removed) const {
        return WriteCopy(path, replaced, {}, removed);
    }

private:
    struct FileCloser {
        void operator()(struct zip_file* file) const;
    };
    using PartFile = std::unique_ptr<struct zip_file, FileCloser>;

    long Index(std::string_view name) const;
    // Opens a part for reading once its stated size is within the limits.
    PartFile OpenPart(std::string_view name, uint64_t& size, std::string& error) const;

    Archive archive_;
    std::vector<std::string> names_; // by entry index
    // How much one part, and all parts read together, may expand to; set
    // from the file's size when it is opened.
    uint64_t partLimit_ = 0;
    uint64_t totalLimit_ = 0;
    mutable uint64_t expanded_ = 0;
};

} // namespace vok
