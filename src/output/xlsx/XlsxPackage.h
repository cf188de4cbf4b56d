// An existing .xlsx workbook on disk: reading its sheets into the sheet model,
// and saving the model's edits by rewriting only the parts that changed while
// every other part of the package is copied byte for byte.
#pragma once

#include "output/Workbook.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vok {

enum class PartEncoding;
class FormatTable;
class SheetData;
class XlsxSheetPatcher;
class ZipPackage;
struct DeflatedPart;
struct OpcRelationship;
struct XlsxSharedCell;
struct XlsxNewSheet;

// How much of an existing workbook is read when it is opened, and in what
// pieces the shared strings are read. The defaults serve every job; the
// fuzz harnesses set them small to reach the large-workbook paths with
// small inputs.
struct XlsxReadLimits {
    // A worksheet whose part expands to more than this is read when first
    // used, not when the package is opened.
    uint64_t readAtOpen = uint64_t{1} << 20;
    // The shared-string table is read this many bytes at a time.
    size_t stringsBlock = size_t{1} << 18;
};

class XlsxPackage {
    struct OnlyOpen { // lets Open, and nothing else, make one
        explicit OnlyOpen() = default;
    };

public:
    explicit XlsxPackage(OnlyOpen);
    ~XlsxPackage();

    // Reads the package at `path`: `sheets` gets one per sheet, in tab order,
    // with the cells of every worksheet up to `limits.readAtOpen`. Null, with
    // the reason, when it is no workbook vok can read.
    static std::unique_ptr<XlsxPackage> Open(const std::filesystem::path& path,
                                             std::vector<SheetData>& sheets, std::string& error,
                                             const XlsxReadLimits& limits = {});
    // True once the sheet's cells are in its SheetData (or it has none to read).
    bool IsRead(size_t sheet) const { return sheets_[sheet].read; }
    // Reads the cells of the file's sheet into `data`, which holds no edits
    // yet, with the strings they share; false, with the reason, when its
    // part is damaged.
    bool ReadSheet(size_t sheet, SheetData& data, std::string& error);

    // False for chart sheets and other sheets that hold no cells.
    bool IsWorksheet(size_t sheet) const { return sheets_[sheet].worksheet; }
    // An empty worksheet after the others, written by the next save.
    void AddSheet();
    // The next save writes the file even when nothing changed: the package
    // was read from a new workbook that is not in its place yet.
    void WriteOnNextSave() { mustWrite_ = true; }
    // The next save declares the workbook macro-enabled (a new .xlsm).
    void MakeMacroEnabled() { macroEnabled_ = true; }
    // Every cell element of the sheet in the file, with or without a value.
    const CellRange& FileExtent(size_t sheet) const { return sheets_[sheet].extent; }

    // Writes the edits to `path` (temporary file and rename). `standardFont`
    // ("" for no change) becomes the font of the default style.
    bool Save(const std::filesystem::path& path, std::vector<SheetData>& sheets,
              const FormatTable& formats, const std::string& standardFont, std::string& error,
              const StopRequest* stop = nullptr);

private:
    struct Sheet {
        std::string part; // its zip entry
        std::string savedName;
        bool worksheet = false;
        bool added = false; // added since the file was read: no part yet
        bool read = false;  // its cells are in the sheet model
        CellRange extent;
    };

    struct SaveEdits;

    // The package's structure: its workbook, shared parts and sheets.
    bool ReadStructure(std::string& error);
    bool FindWorkbookPart(std::string& error);
    bool FindSharedParts(std::map<std::string, OpcRelationship>& byId, std::string& error);
    bool ReadSheetList(const std::map<std::string, OpcRelationship>& byId, std::string& error);
    bool ReadSharedStrings(const std::vector<XlsxSharedCell>& cells, const std::string& sheetPart,
                           SheetData& data, std::string& error) const;
    bool SharedStringsEncoding(PartEncoding& encoding, std::string& error) const;
    // Whether a formula may see the cells a save changes: one was read, or
    // a sheet was never read.
    bool MayHaveFormulas() const;
    // The steps of a save.
    bool PatchSheets(std::vector<SheetData>& sheets, const FormatTable& formats,
                     const std::string& standardFont, SaveEdits& edits, std::string& error);
    bool SheetFailed(std::string& error, size_t sheet, const std::vector<SheetData>& sheets,
                     bool refused, const std::string& why) const;
    bool DeflateSheet(XlsxSheetPatcher& patcher, const std::string& part, DeflatedPart& deflated,
                      std::string& error) const;
    bool PatchWorkbook(const std::vector<SheetData>& sheets, SaveEdits& edits,
                       std::string& error) const;
    bool PatchPackageParts(SaveEdits& edits, std::string& error) const;
    bool WritePackage(const std::filesystem::path& path, SaveEdits& edits, std::string& error,
                      const StopRequest* stop);
    // A part as UTF-8, whatever its encoding in the file (which is noted for
    // writing it back); false, with the reason, for one vok cannot keep.
    bool ReadXml(std::string_view part, std::string& xml, std::string& error) const;
    PartEncoding EncodingOf(const std::string& part) const;
    // Every part a save may rewrite must be one vok can write back.
    bool CheckRewrittenParts(std::string& error) const;
    bool SetWorkbookContentType(std::string& contentTypes, std::string& error) const;
    bool PatchWorkbookPart(const std::vector<SheetData>& sheets, bool recalculate, std::string& xml,
                           std::string& error) const;
    std::vector<std::pair<std::string, std::string>>
    Renames(const std::vector<SheetData>& sheets) const;
    bool RenameInFormulas(const std::vector<SheetData>& sheets,
                          std::map<std::string, std::string>& replaced, std::string& error) const;
    bool PatchTitles(const std::vector<SheetData>& sheets, std::string& xml,
                     std::string& error) const;
    // A part as this save leaves it: its new content, or the file's.
    bool ReadCurrent(const std::string& part, const std::map<std::string, std::string>& replaced,
                     std::string& xml, std::string& error) const;
    bool ListAddedSheets(const std::vector<XlsxNewSheet>& added,
                         std::map<std::string, std::string>& replaced, std::string& error) const;
    bool DropCalcChain(std::string& relationships, std::string& contentTypes,
                       std::string& error) const;

    XlsxReadLimits limits_;
    std::unique_ptr<ZipPackage> zip_;
    std::string workbookPart_, workbookRelsPart_, appPart_;
    std::string stylesPart_, sharedStringsPart_, calcChainPart_;
    std::vector<Sheet> sheets_;
    mutable std::map<std::string, PartEncoding> encodings_; // of the parts read
    bool hasFormulas_ = false;
    bool macroEnabled_ = false;
    bool stale_ = false; // a save replaced the file but it could not be read back
    bool mustWrite_ = false;
};

} // namespace vok
