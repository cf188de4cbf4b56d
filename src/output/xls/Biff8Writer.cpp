#include "output/xls/Biff8Writer.h"

#include "output/workbook/Utf16Text.h"
#include "output/xls/Biff8NumberFormats.h"
#include "output/xls/Biff8Records.h"
#include "output/xls/RkNumber.h"

#include <algorithm>

namespace vok {

namespace {

using namespace biff8;

constexpr uint16_t kUtf16CodePage = 1200;

// An empty text is no cell in the file (and an empty shared string upsets readers).
bool IsEmptyText(const CellValue& value) {
    return value.type == CellValue::Type::Text && value.text.empty();
}

void WriteEof(BiffRecordBuffer& out) {
    out.Begin(kEof);
    out.End();
}

} // namespace

Biff8Writer::Biff8Writer(const std::vector<SheetData>& sheets, const FormatTable& formats,
                         const XlsFont& font)
    : sheets_(sheets), formats_(formats), font_(font) {}

std::string Biff8Writer::Build() {
    // 1. Shared strings and sheet extents (the globals need both).
    CollectCells();
    AssignFormatIds();
    // 2. Globals, with placeholders for the sheet positions.
    WriteGlobals();
    // 3. The sheets, each patched into its BOUNDSHEET8.
    for (size_t i = 0; i < sheets_.size(); ++i) {
        out_.PatchU32(sheetPositionFields_[i], static_cast<uint32_t>(out_.Size()));
        WriteSheet(i);
    }
    out_.PadTo(kMinimumStreamSize);
    return out_.TakeBytes();
}

void Biff8Writer::CollectCells() {
    stringIndexes_.assign(sheets_.size(), {});
    extents_.assign(sheets_.size(), {});
    for (size_t i = 0; i < sheets_.size(); ++i) {
        std::vector<uint32_t>& indexes = stringIndexes_[i];
        CellRange& extent = extents_[i];
        sheets_[i].ForEachCell([&](int32_t row, int32_t column, const CellValue& value) {
            if (IsEmptyText(value)) return;
            if (extent.Empty()) {
                extent = {row, column, row, column};
            } else {
                extent.firstColumn = std::min(extent.firstColumn, column);
                extent.lastColumn = std::max(extent.lastColumn, column);
                extent.lastRow = row; // cells come in row order
            }
            if (value.type == CellValue::Type::Text) indexes.push_back(strings_.Add(value.text));
        });
    }
}

void Biff8Writer::AssignFormatIds() {
    formatIds_.assign(formats_.Size(), 0);
    formatXfs_ = std::min(formats_.Size() - 1, kMaxXfRecords - kDefaultCellXf - 1);
    uint16_t nextCustom = kFirstCustomFormatId;
    for (size_t i = 1; i <= formatXfs_; ++i) {
        const std::string& code = formats_.Code(static_cast<uint16_t>(i));
        if (const auto builtIn = BuiltInFormatId(code)) {
            formatIds_[i] = *builtIn;
        } else if (Utf16Length(code) <= kMaxFormatCodeLength) {
            formatIds_[i] = nextCustom++;
        } // else: a code no reader accepts stays General
    }
}

void Biff8Writer::WriteBof(BiffRecordBuffer& out, uint16_t type) {
    out.Begin(kBof);
    out.U16(kBiff8Version);
    out.U16(type);
    out.U16(0x0DBB); // build
    out.U16(0x07CC); // year
    out.U32(0);      // file history
    out.U32(6);      // lowest version that can read all records
    out.End();
}

void Biff8Writer::WriteDimensions(BiffRecordBuffer& out, const CellRange& extent) {
    out.Begin(kDimensions);
    if (extent.Empty()) {
        out.U32(0), out.U32(0), out.U16(0), out.U16(0);
    } else {
        out.U32(static_cast<uint32_t>(extent.firstRow - 1));
        out.U32(static_cast<uint32_t>(extent.lastRow)); // last row + 1, 0-based
        out.U16(static_cast<uint16_t>(extent.firstColumn - 1));
        out.U16(static_cast<uint16_t>(extent.lastColumn));
    }
    out.U16(0);
    out.End();
}

void Biff8Writer::WriteWindow2(BiffRecordBuffer& out, bool selected) {
    out.Begin(kWindow2);
    // Gridlines, headers, zeros, automatic grid colour, outline symbols; the
    // selected sheet is also shown.
    out.U16(selected ? 0x06B6 : 0x00B6);
    out.U16(0);  // top row
    out.U16(0);  // left column
    out.U32(64); // automatic header colour
    out.U16(0);  // zoom in page-break preview: default
    out.U16(0);  // zoom in normal view: default
    out.U32(0);
    out.End();
}

void Biff8Writer::WriteXf(BiffRecordBuffer& out, uint16_t formatId, bool styleXf,
                          uint8_t usedAttributes) {
    out.Begin(kXf);
    out.U16(0); // font 0
    out.U16(formatId);
    out.U16(styleXf ? 0xFFF5 : 0x0001); // locked; style flag and parent
    out.U8(0x20);                       // aligned bottom
    out.U8(0);                          // no rotation
    out.U8(0);                          // no indent
    out.U8(usedAttributes);
    out.U32(0);      // no borders
    out.U32(0);      // border colours
    out.U16(0x20C0); // pattern colours: automatic foreground and background
    out.End();
}

uint16_t Biff8Writer::CellXf(uint16_t format) const {
    if (format == 0 || format > formatXfs_) return kDefaultCellXf;
    return static_cast<uint16_t>(kDefaultCellXf + format);
}

void Biff8Writer::WriteGlobals() {
    WriteBof(out_, kBofGlobals);

    out_.Begin(kCodePage);
    out_.U16(kUtf16CodePage);
    out_.End();

    out_.Begin(kWindow1);
    out_.U16(0);      // left, twips
    out_.U16(0);      // top
    out_.U16(0x4000); // width
    out_.U16(0x2000); // height
    out_.U16(0x0038); // horizontal and vertical scroll bars, sheet tabs
    out_.U16(0);      // active sheet
    out_.U16(0);      // first visible tab
    out_.U16(1);      // selected sheets
    out_.U16(600);    // tab bar width, per mille
    out_.End();

    WriteFonts();
    WriteFormats();
    WriteXfs();

    out_.Begin(kStyle); // Normal, built in, on XF 0
    out_.U16(0x8000);
    out_.U8(0);
    out_.U8(0xFF);
    out_.End();

    std::u16string name;
    sheetPositionFields_.clear();
    for (const SheetData& sheet : sheets_) {
        name.clear();
        AppendUtf16(name, sheet.Name());
        out_.Begin(kBoundSheet);
        sheetPositionFields_.push_back(out_.Size());
        out_.U32(0); // the sheet's BOF position, patched later
        out_.U8(0);  // visible
        out_.U8(0);  // worksheet
        out_.ShortUnicodeString(name);
        out_.End();
    }

    strings_.Write(out_);
    WriteEof(out_);
}

void Biff8Writer::WriteFonts() {
    std::u16string name;
    AppendUtf16(name, font_.name);
    // Readers expect at least five fonts; index 4 is never used, so these are
    // fonts 0, 1, 2, 3 and 5, all the default font.
    for (int i = 0; i < 5; ++i) {
        out_.Begin(kFont);
        out_.U16(font_.height);
        out_.U16(0);      // no attributes
        out_.U16(0x7FFF); // automatic colour
        out_.U16(400);    // normal weight
        out_.U16(0);      // no super- or subscript
        out_.U8(0);       // no underline
        out_.U8(0);       // family
        out_.U8(0);       // character set
        out_.U8(0);
        out_.ShortUnicodeString(name);
        out_.End();
    }
}

void Biff8Writer::WriteFormats() {
    std::u16string code;
    for (size_t i = 1; i <= formatXfs_; ++i) {
        if (formatIds_[i] < kFirstCustomFormatId) continue;
        code.clear();
        AppendUtf16(code, formats_.Code(static_cast<uint16_t>(i)));
        out_.Begin(kFormat);
        out_.U16(formatIds_[i]);
        out_.UnicodeString(code);
        out_.End();
    }
}

void Biff8Writer::WriteXfs() {
    // XF 0 is the Normal style, 1 to 14 the outline styles, 15 the default
    // cell format; then one cell XF per number format of the workbook.
    WriteXf(out_, 0, true, 0x00);
    for (int i = 1; i < 15; ++i)
        WriteXf(out_, 0, true, 0xF4);
    WriteXf(out_, 0, false, 0x00);
    for (size_t i = 1; i <= formatXfs_; ++i)
        WriteXf(out_, formatIds_[i], false, 0x04);
}

void Biff8Writer::WriteSheet(size_t sheet) {
    WriteBof(out_, kBofWorksheet);

    WriteDimensions(out_, extents_[sheet]);

    const std::vector<uint32_t>& indexes = stringIndexes_[sheet];
    size_t nextString = 0;
    sheets_[sheet].ForEachCell([&](int32_t row, int32_t column, const CellValue& value) {
        if (IsEmptyText(value)) return;
        const auto r = static_cast<uint16_t>(row - 1);
        const auto c = static_cast<uint16_t>(column - 1);
        if (value.type == CellValue::Type::Text) {
            out_.Begin(kLabelSst);
            out_.U16(r), out_.U16(c), out_.U16(kDefaultCellXf);
            out_.U32(indexes[nextString++]);
        } else if (const auto rk = EncodeRk(value.number)) {
            out_.Begin(kRk);
            out_.U16(r), out_.U16(c), out_.U16(CellXf(value.format));
            out_.U32(*rk);
        } else {
            out_.Begin(kNumber);
            out_.U16(r), out_.U16(c), out_.U16(CellXf(value.format));
            out_.F64(value.number);
        }
        out_.End();
    });

    WriteWindow2(out_, sheet == 0);

    WriteEof(out_);
}

} // namespace vok
