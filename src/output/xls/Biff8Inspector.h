// Reads the record stream of an existing .xls workbook: everything vok could
// not keep on writing into the file (formulas, charts, drawings, macros, a
// password, ...), the default font, the sheets' names and the value and
// number format of every cell vok reads (numbers and texts).
#pragma once

#include "output/xls/Biff8Stream.h"
#include "output/xls/Biff8Writer.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

// What a workbook holds that vok cannot keep when it writes into it.
enum XlsLoss : uint32_t {
    kLossFormulas = 1u << 0,
    kLossCharts = 1u << 1,
    kLossDrawings = 1u << 2,
    kLossComments = 1u << 3,
    kLossMacros = 1u << 4,
    kLossPassword = 1u << 5,
    kLossLogicalValues = 1u << 6,
    kLossPivotTables = 1u << 7,
    kLossDataValidation = 1u << 8,
    kLossConditionalFormats = 1u << 9,
    kLossEmbeddedObjects = 1u << 10,
    kLossUnreadableCells = 1u << 11,
};

// A numeric cell as stored: 0-based row and column, its XF.
struct Biff8NumberCell {
    uint32_t row;
    uint16_t column;
    uint16_t xf;
    double value;
};

// A text cell (LABELSST or LABEL), its text in UTF-8.
struct Biff8TextCell {
    uint32_t row;
    uint16_t column;
    std::string text;
};

struct Biff8Contents {
    std::string damage; // not empty: the stream is no readable BIFF8 workbook (why)
    uint32_t losses = 0;
    bool hasFont = false;
    XlsFont font;                                      // font 0, the default font
    std::vector<std::string> xfFormatCodes;            // per XF; "" is General
    std::vector<std::string> sheetNames;               // per BOUNDSHEET8, in tab order
    std::vector<std::vector<Biff8NumberCell>> numbers; // per sheet, by row, then column
    std::vector<std::vector<Biff8TextCell>> texts;     // per sheet, in stream order
    std::vector<CellRange> extents; // per sheet, every cell record (1-based), blank ones too
};

class Biff8Inspector {
public:
    static Biff8Contents Inspect(std::string_view stream);

    // Adds what the other top-level entries of the container reveal (macro
    // projects, embedded objects); any other entry is kept.
    static void InspectContainerEntries(const std::vector<std::string>& names,
                                        Biff8Contents& contents);

    // "formulas", "formulas and charts", "formulas, charts and macros".
    static std::string DescribeLosses(uint32_t losses);

private:
    explicit Biff8Inspector(std::string_view stream) : stream_(stream) {}
    void Run();
    bool Reading() const { return result_.damage.empty() && !stopped_; }
    // Reads a substream, and those nested in it, from its BOF to its EOF;
    // `sheet` is its index, -1 for the globals.
    void ScanSubstream(size_t position, int32_t sheet);
    bool OnBof(std::string_view data, int32_t sheet, bool outermost);
    void OnGlobalsRecord(uint16_t id, std::string_view data);
    void OnSheetRecord(size_t sheet, const biff8::Record& record);
    void OnCellRecord(size_t sheet, const biff8::Record& record);
    void ResolveFormats();
    void DecodeSharedStrings();

    std::string_view stream_;
    Biff8Contents result_;
    std::vector<uint32_t> sheetOffsets_; // BOF position of each BOUNDSHEET8
    bool stopped_ = false;               // at FILEPASS: what follows is encrypted
    std::vector<std::pair<uint16_t, std::string>> formats_; // FORMAT records
    std::vector<uint16_t> xfFormatIds_;
    std::vector<std::string_view> sst_; // the SST record and its CONTINUE records
    bool inSst_ = false;
    std::vector<std::string> sharedStrings_; // decoded from sst_
};

} // namespace vok
