// Builds the Workbook stream of an .xls file (BIFF8) from the sheets in memory.
//
// Globals: BOF, CODEPAGE (UTF-16), WINDOW1, the fonts (font 0 is the
// workbook's default font), FORMAT records for the workbook's own number
// formats, the 16 built-in XFs and one cell XF per number format, STYLE, one
// BOUNDSHEET8 per sheet, SST with EXTSST, EOF. Each sheet: BOF, DIMENSIONS
// (exactly the cells written), the cells as LABELSST, RK (when exact) or
// NUMBER, WINDOW2 (the first sheet selected and shown), EOF.
#pragma once

#include "output/workbook/SheetData.h"
#include "output/xls/Biff8SharedStrings.h"
#include "output/xls/BiffRecordBuffer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vok {

struct XlsFont {
    std::string name = "Arial";
    uint16_t height = 200; // twips: 10 points
};

class Biff8Writer {
public:
    // The most XF records a workbook may hold; number formats beyond what
    // fits are written as General.
    static constexpr size_t kMaxXfRecords = 4050;
    static constexpr uint16_t kDefaultCellXf = 15;
    // The longest number format code readers accept.
    static constexpr size_t kMaxFormatCodeLength = 255;
    // Streams below 4096 bytes would go into the container's mini stream,
    // which some readers handle badly; the spreadsheet's own files never use
    // it for the Workbook stream.
    static constexpr size_t kMinimumStreamSize = 4096;

    Biff8Writer(const std::vector<SheetData>& sheets, const FormatTable& formats,
                const XlsFont& font);

    // The whole Workbook stream.
    std::string Build();

    // One XF record. `styleXf`: a style XF (parent 0xFFF); otherwise a cell XF
    // whose parent is the Normal style. `usedAttributes` marks what differs
    // from the parent.
    static void WriteXf(BiffRecordBuffer& out, uint16_t formatId, bool styleXf,
                        uint8_t usedAttributes);
    // A BOF record of a substream of `type`.
    static void WriteBof(BiffRecordBuffer& out, uint16_t type);
    // DIMENSIONS: exactly the cells of `extent`.
    static void WriteDimensions(BiffRecordBuffer& out, const CellRange& extent);
    // WINDOW2 of a sheet; the selected one is also shown.
    static void WriteWindow2(BiffRecordBuffer& out, bool selected);

private:
    void CollectCells();
    void AssignFormatIds();
    void WriteGlobals();
    void WriteFonts();
    void WriteFormats();
    void WriteXfs();
    void WriteSheet(size_t sheet);
    uint16_t CellXf(uint16_t format) const;

    const std::vector<SheetData>& sheets_;
    const FormatTable& formats_;
    const XlsFont& font_;

    BiffRecordBuffer out_;
    Biff8SharedStrings strings_;
    std::vector<std::vector<uint32_t>> stringIndexes_; // per sheet, text cells in order
    std::vector<CellRange> extents_;                   // per sheet, the cells written
    std::vector<size_t> sheetPositionFields_;          // lbPlyPos of each BOUNDSHEET8
    std::vector<uint16_t> formatIds_;                  // per FormatTable index
    size_t formatXfs_ = 0; // FormatTable indexes 1..formatXfs_ have their own XF
};

} // namespace vok
