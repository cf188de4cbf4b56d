#include "output/xls/Biff8Inspector.h"

#include "base/TextEncoding.h"
#include "output/workbook/Utf16Text.h"
#include "output/xls/Biff8NumberFormats.h"
#include "output/xls/Biff8SharedStrings.h"
#include "output/xls/Biff8Stream.h"
#include "output/xls/RkNumber.h"

#include <algorithm>
#include <array>
#include <fmt/format.h>

namespace vok {

namespace {

using namespace biff8;

// Records whose content a rewrite from the cell values would drop.
struct LossRecord {
    uint16_t id;
    uint32_t loss;
};
constexpr std::array<LossRecord, 13> kLossRecords{{
    {0x0006, kLossFormulas},           // FORMULA
    {0x0221, kLossFormulas},           // ARRAY
    {0x04BC, kLossFormulas},           // SHRFMLA
    {0x0236, kLossFormulas},           // TABLE (data table)
    {0x001C, kLossComments},           // NOTE
    {0x0205, kLossLogicalValues},      // BOOLERR
    {0x00B0, kLossPivotTables},        // SXVIEW
    {0x01B2, kLossDataValidation},     // DVAL
    {0x01BE, kLossDataValidation},     // DV
    {0x01B0, kLossConditionalFormats}, // CONDFMT
    {0x0879, kLossConditionalFormats}, // CONDFMT12
    {0x00D6, kLossUnreadableCells},    // RSTRING
    {0x00D3, kLossMacros},             // OBPROJ: a macro project
}};

constexpr std::array<std::string_view, 12> kLossTexts{
    "formulas",
    "charts",
    "pictures or drawing objects",
    "cell comments",
    "macros",
    "a password",
    "logical or error values",
    "pivot tables",
    "data validation",
    "conditional formatting",
    "embedded objects",
    "cells of a kind vok cannot read",
};

// Every drawing object (picture, shape, chart, comment, text box, control)
// has an OBJ record, whose first part names its kind; the drawing containers
// alone (MSODRAWINGGROUP, MSODRAWING) are written by some programs even into
// workbooks without any object.
uint32_t ObjectLoss(std::string_view obj) {
    constexpr uint16_t kCommonData = 0x0015, kChart = 0x0005, kComment = 0x0019;
    const uint16_t kind = obj.size() >= 6 && Le16(obj, 0) == kCommonData ? Le16(obj, 4) : 0;
    return kind == kChart ? kLossCharts : kind == kComment ? kLossComments : kLossDrawings;
}

} // namespace

Biff8Contents Biff8Inspector::Inspect(std::string_view stream) {
    Biff8Inspector inspector(stream);
    inspector.Run();
    return std::move(inspector.result_);
}

void Biff8Inspector::Run() {
    // 1. The globals, from the start of the stream.
    if (stream_.size() < 4 || Le16(stream_, 0) != kBof) {
        result_.damage = "it is not an Excel 97-2003 workbook";
        return;
    }
    ScanSubstream(0, -1);
    // The shared strings, which the sheets' cells refer to.
    if (Reading() && !sst_.empty()) DecodeSharedStrings();
    // 2. Each sheet from the position its BOUNDSHEET8 gives, whatever lies
    //    between the sheets.
    for (size_t i = 0; i < sheetOffsets_.size() && Reading(); ++i) {
        const size_t offset = sheetOffsets_[i];
        if (offset + 4 > stream_.size() || Le16(stream_, offset) != kBof) {
            result_.damage = "it is damaged (a sheet lies outside the workbook stream)";
            break;
        }
        ScanSubstream(offset, static_cast<int32_t>(i));
    }
    if (!Reading()) return;
    // 3. What the globals and sheets gave, put in order.
    ResolveFormats();
    for (auto& cells : result_.numbers) {
        std::sort(cells.begin(), cells.end(),
                  [](const Biff8NumberCell& a, const Biff8NumberCell& b) {
                      return a.row != b.row ? a.row < b.row : a.column < b.column;
                  });
    }
}

void Biff8Inspector::ScanSubstream(size_t position, int32_t sheet) {
    std::vector<uint16_t> open; // BOF types of the substream and those nested in it
    Record record;
    do {
        if (!ReadRecord(stream_, position, record)) {
            result_.damage = position + 4 > stream_.size()
                                 ? "it is damaged (the workbook stream ends inside a sheet)"
                                 : "it is damaged (a record runs past the end of the workbook "
                                   "stream)";
            return;
        }
        const uint16_t id = record.id;
        const std::string_view data = record.data;
        position = record.End();
        if (id == kBof) {
            if (!OnBof(data, sheet, open.empty())) return;
            open.push_back(data.size() >= 4 ? Le16(data, 2) : 0);
        } else if (id == kEof) {
            open.pop_back();
        } else if (id == kFilePass) {
            // Everything after it is encrypted.
            result_.losses |= kLossPassword;
            stopped_ = true;
            return;
        } else {
            for (const LossRecord& loss : kLossRecords) {
                if (loss.id == id) result_.losses |= loss.loss;
            }
            if (id == kObj) result_.losses |= ObjectLoss(data);
            if (open.size() == 1 && sheet < 0) {
                OnGlobalsRecord(id, data);
            } else if (open.size() == 1 && open.front() == kBofWorksheet) {
                OnSheetRecord(static_cast<size_t>(sheet), record);
            }
        }
    } while (!open.empty() && Reading());
}

bool Biff8Inspector::OnBof(std::string_view data, int32_t sheet, bool outermost) {
    if (data.size() < 4) {
        result_.damage = "it is damaged (a short BOF record)";
        return false;
    }
    const uint16_t version = Le16(data, 0);
    const uint16_t type = Le16(data, 2);
    if (sheet < 0 && outermost && (version != kBiff8Version || type != kBofGlobals)) {
        result_.damage = "it is not an Excel 97-2003 workbook";
        return false;
    }
    if (sheet >= 0 && outermost && type != kBofWorksheet && type != kBofChart &&
        type != kBofMacroSheet && type != kBofVbModule) {
        result_.damage = "it is damaged (a sheet does not begin as one)";
        return false;
    }
    if (type == kBofChart) result_.losses |= kLossCharts;
    if (type == kBofMacroSheet || type == kBofVbModule) result_.losses |= kLossMacros;
    return true;
}

void Biff8Inspector::OnGlobalsRecord(uint16_t id, std::string_view data) {
    if (id == kSst) {
        sst_.assign(1, data);
        inSst_ = true;
    } else if (id == kContinue && inSst_) {
        sst_.push_back(data);
    } else {
        inSst_ = false;
    }
    if (id == kFont && !result_.hasFont && data.size() >= 14) {
        result_.hasFont = ReadBiffString(data, 14, true, result_.font.name);
        result_.font.height = Le16(data, 0);
    } else if (id == kFormat && data.size() >= 2) {
        std::string code;
        if (ReadBiffString(data, 2, false, code))
            formats_.emplace_back(Le16(data, 0), std::move(code));
    } else if (id == kXf && data.size() >= 4) {
        xfFormatIds_.push_back(Le16(data, 2));
    } else if (id == kBoundSheet && data.size() >= 6) {
        const auto type = static_cast<unsigned char>(data[5]);
        if (type == 1 || type == 6) result_.losses |= kLossMacros;
        if (type == 2) result_.losses |= kLossCharts;
        std::string name;
        if (!ReadBiffString(data, 6, true, name)) {
            result_.damage = "it is damaged (a sheet name runs past its record)";
            return;
        }
        sheetOffsets_.push_back(Le32(data, 0));
        result_.sheetNames.push_back(std::move(name));
        result_.numbers.emplace_back();
        result_.texts.emplace_back();
        result_.extents.emplace_back();
    }
}

void Biff8Inspector::OnSheetRecord(size_t sheet, const Record& record) {
    const CellRecordKind kind = CellRecordKindOf(record.id);
    if (kind != CellRecordKind::None) {
        CellSpan span;
        if (!ReadCellSpan(kind, record, span)) {
            result_.damage =
                fmt::format("it is damaged (a cell record of sheet {} is malformed)", sheet + 1);
            return;
        }
        CellRange& extent = result_.extents[sheet];
        extent.Include(span.row + 1, span.first + 1);
        extent.Include(span.row + 1, span.last + 1);
        OnCellRecord(sheet, record);
    } else if (record.id == kRow && record.data.size() < 16) {
        result_.damage =
            fmt::format("it is damaged (a row record of sheet {} is too short)", sheet + 1);
    } else if (record.id == kWsBool && record.data.size() >= 2 &&
               (static_cast<unsigned char>(record.data[1]) & 0x10)) {
        result_.losses |= kLossMacros; // a dialog sheet
    }
}

void Biff8Inspector::OnCellRecord(size_t sheet, const Record& record) {
    const std::string_view data = record.data;
    auto& cells = result_.numbers[sheet];
    const uint16_t row = Le16(data, 0), column = Le16(data, 2);
    if (record.id == kNumber) {
        cells.push_back({row, column, Le16(data, 4), LeDouble(data, 6)});
    } else if (record.id == kRk) {
        cells.push_back({row, column, Le16(data, 4), DecodeRk(Le32(data, 6))});
    } else if (record.id == kMulRk) {
        // row, first column, (XF, RK) pairs, last column
        const size_t count = (data.size() - 6) / 6;
        for (size_t i = 0; i < count; ++i) {
            cells.push_back({row, static_cast<uint16_t>(column + i), Le16(data, 4 + 6 * i),
                             DecodeRk(Le32(data, 6 + 6 * i))});
        }
    } else if (record.id == kLabelSst) {
        const uint32_t index = Le32(data, 6);
        if (index >= sharedStrings_.size()) {
            result_.damage = "it is damaged (a cell refers to a shared string it does not hold)";
            return;
        }
        result_.texts[sheet].push_back({row, column, sharedStrings_[index]});
    } else if (record.id == kLabel) {
        Biff8TextCell& cell = result_.texts[sheet].emplace_back();
        cell.row = row;
        cell.column = column;
        if (!ReadBiffString(data, 6, false, cell.text)) {
            result_.damage = "it is damaged (a cell's text runs past its record)";
            return;
        }
    }
}

void Biff8Inspector::DecodeSharedStrings() {
    const bool read = Biff8SharedStrings::Read(sst_, [this](const Biff8StoredString& stored) {
        AppendUtf16AsUtf8(sharedStrings_.emplace_back(), stored.characters);
    });
    if (!read) result_.damage = "it is damaged (its shared strings run past their records)";
}

void Biff8Inspector::ResolveFormats() {
    result_.xfFormatCodes.clear();
    result_.xfFormatCodes.reserve(xfFormatIds_.size());
    for (const uint16_t id : xfFormatIds_) {
        std::string code;
        const auto own = std::find_if(formats_.begin(), formats_.end(),
                                      [id](const auto& format) { return format.first == id; });
        if (own != formats_.end()) {
            code = own->second;
        } else if (const auto builtIn = BuiltInFormatCode(id)) {
            code = *builtIn;
        }
        if (EqualsNoCase(code, "General")) code.clear();
        result_.xfFormatCodes.push_back(std::move(code));
    }
}

void Biff8Inspector::InspectContainerEntries(const std::vector<std::string>& names,
                                             Biff8Contents& contents) {
    // Every other entry (document properties, the class name, custom data)
    // is kept as it stands.
    for (const std::string& name : names) {
        const std::string upper = AsciiUpper(name);
        if (upper.starts_with("_VBA_PROJECT") || upper == "VBA" || upper == "MACROS") {
            contents.losses |= kLossMacros;
        } else if (upper.starts_with("MBD") || upper == "OBJECTPOOL") {
            contents.losses |= kLossEmbeddedObjects;
        }
    }
}

std::string Biff8Inspector::DescribeLosses(uint32_t losses) {
    std::vector<std::string_view> parts;
    for (size_t i = 0; i < kLossTexts.size(); ++i) {
        if (losses & (1u << i)) parts.push_back(kLossTexts[i]);
    }
    std::string text;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) text += i + 1 == parts.size() ? " and " : ", ";
        text += parts[i];
    }
    return text;
}

} // namespace vok
