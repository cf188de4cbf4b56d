#include "output/Biff8Inspector.h"

#include "base/TextEncoding.h"
#include "output/Biff8NumberFormats.h"
#include "output/Biff8Records.h"
#include "output/RkNumber.h"
#include "output/Utf16Text.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace vok {

namespace {

using namespace biff8;

// Records whose content a rewrite from the cell values would drop.
struct LossRecord {
    uint16_t id;
    uint32_t loss;
};
constexpr std::array<LossRecord, 15> kLossRecords{{
    {0x0006, kLossFormulas},           // FORMULA
    {0x0221, kLossFormulas},           // ARRAY
    {0x04BC, kLossFormulas},           // SHRFMLA
    {0x0236, kLossFormulas},           // TABLE (data table)
    {0x0018, kLossDefinedNames},       // NAME
    {0x001C, kLossComments},           // NOTE
    {0x0205, kLossLogicalValues},      // BOOLERR
    {0x01B8, kLossHyperlinks},         // HLINK
    {0x00B0, kLossPivotTables},        // SXVIEW
    {0x01B2, kLossDataValidation},     // DVAL
    {0x01BE, kLossDataValidation},     // DV
    {0x01B0, kLossConditionalFormats}, // CONDFMT
    {0x0879, kLossConditionalFormats}, // CONDFMT12
    {0x00D6, kLossUnreadableCells},    // RSTRING
    {0x00D3, kLossMacros},             // OBPROJ: a macro project
}};

constexpr std::array<std::string_view, 14> kLossTexts{
    "formulas",         "defined names",
    "charts",           "pictures or drawing objects",
    "cell comments",    "macros",
    "a password",       "logical or error values",
    "hyperlinks",       "pivot tables",
    "data validation",  "conditional formatting",
    "embedded objects", "cells of a kind vok cannot read",
};

// Top-level container entries besides the Workbook stream that a rewrite may drop.
constexpr std::array<std::string_view, 4> kPlainEntries{
    "\005SummaryInformation", "\005DocumentSummaryInformation", "\001CompObj", "\001Ole"};

uint16_t Le16(std::string_view data, size_t offset) {
    return static_cast<uint16_t>(static_cast<unsigned char>(data[offset]) |
                                 (static_cast<unsigned char>(data[offset + 1]) << 8));
}

uint32_t Le32(std::string_view data, size_t offset) {
    return Le16(data, offset) | (static_cast<uint32_t>(Le16(data, offset + 2)) << 16);
}

double LeDouble(std::string_view data, size_t offset) {
    const uint64_t bits =
        Le32(data, offset) | (static_cast<uint64_t>(Le32(data, offset + 4)) << 32);
    double value;
    std::memcpy(&value, &bits, 8);
    return value;
}

// Every drawing object (picture, shape, chart, comment, text box, control)
// has an OBJ record, whose first part names its kind; the drawing containers
// alone (MSODRAWINGGROUP, MSODRAWING) are written by some programs even into
// workbooks without any object.
uint32_t ObjectLoss(std::string_view obj) {
    constexpr uint16_t kCommonData = 0x0015, kChart = 0x0005, kComment = 0x0019;
    const uint16_t kind = obj.size() >= 6 && Le16(obj, 0) == kCommonData ? Le16(obj, 4) : 0;
    return kind == kChart ? kLossCharts : kind == kComment ? kLossComments : kLossDrawings;
}

// A string with a character count (8 or 16 bits) and a flags byte; false when
// it runs past the record.
bool ReadString(std::string_view data, size_t offset, bool shortCount, std::string& utf8) {
    const size_t header = shortCount ? 2 : 3;
    if (data.size() < offset + header) return false;
    const size_t count = shortCount ? static_cast<unsigned char>(data[offset]) : Le16(data, offset);
    const bool wide = static_cast<unsigned char>(data[offset + header - 1]) & 1;
    const size_t start = offset + header;
    if (data.size() < start + count * (wide ? 2 : 1)) return false;
    std::u16string units(count, u'\0');
    for (size_t i = 0; i < count; ++i) {
        units[i] = wide ? Le16(data, start + 2 * i)
                        : static_cast<char16_t>(static_cast<unsigned char>(data[start + i]));
    }
    utf8.clear();
    AppendUtf16AsUtf8(utf8, units);
    return true;
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
    do {
        if (position + 4 > stream_.size()) {
            result_.damage = "it is damaged (the workbook stream ends inside a sheet)";
            return;
        }
        const uint16_t id = Le16(stream_, position);
        const uint16_t length = Le16(stream_, position + 2);
        if (position + 4 + length > stream_.size()) {
            result_.damage = "it is damaged (a record runs past the end of the workbook stream)";
            return;
        }
        const std::string_view data = stream_.substr(position + 4, length);
        position += 4 + length;
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
                OnSheetRecord(static_cast<size_t>(sheet), id, data);
            }
        }
    } while (!open.empty());
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
        result_.hasFont = ReadString(data, 14, true, result_.font.name);
        result_.font.height = Le16(data, 0);
    } else if (id == kFormat && data.size() >= 2) {
        std::string code;
        if (ReadString(data, 2, false, code)) formats_.emplace_back(Le16(data, 0), std::move(code));
    } else if (id == kXf && data.size() >= 4) {
        xfFormatIds_.push_back(Le16(data, 2));
    } else if (id == kBoundSheet && data.size() >= 6) {
        const auto type = static_cast<unsigned char>(data[5]);
        if (type == 1 || type == 6) result_.losses |= kLossMacros;
        if (type == 2) result_.losses |= kLossCharts;
        std::string name;
        if (!ReadString(data, 6, true, name)) {
            result_.damage = "it is damaged (a sheet name runs past its record)";
            return;
        }
        sheetOffsets_.push_back(Le32(data, 0));
        result_.sheetNames.push_back(std::move(name));
        result_.numbers.emplace_back();
        result_.texts.emplace_back();
    }
}

void Biff8Inspector::OnSheetRecord(size_t sheet, uint16_t id, std::string_view data) {
    auto& cells = result_.numbers[sheet];
    if (id == kNumber && data.size() >= 14) {
        cells.push_back({Le16(data, 0), Le16(data, 2), Le16(data, 4), LeDouble(data, 6)});
    } else if (id == kRk && data.size() >= 10) {
        cells.push_back({Le16(data, 0), Le16(data, 2), Le16(data, 4), DecodeRk(Le32(data, 6))});
    } else if (id == kMulRk && data.size() >= 6) {
        // row, first column, (XF, RK) pairs, last column
        const uint32_t row = Le16(data, 0);
        const uint16_t first = Le16(data, 2);
        const size_t count = (data.size() - 6) / 6;
        for (size_t i = 0; i < count; ++i) {
            cells.push_back({row, static_cast<uint16_t>(first + i), Le16(data, 4 + 6 * i),
                             DecodeRk(Le32(data, 6 + 6 * i))});
        }
    } else if (id == kLabelSst && data.size() >= 10) {
        const uint32_t index = Le32(data, 6);
        if (index >= sharedStrings_.size()) {
            result_.damage = "it is damaged (a cell refers to a shared string it does not hold)";
            return;
        }
        result_.texts[sheet].push_back({Le16(data, 0), Le16(data, 2), sharedStrings_[index]});
    } else if (id == kLabel && data.size() >= 6) {
        Biff8TextCell& cell = result_.texts[sheet].emplace_back();
        cell.row = Le16(data, 0);
        cell.column = Le16(data, 2);
        if (!ReadString(data, 6, false, cell.text)) {
            result_.damage = "it is damaged (a cell's text runs past its record)";
            return;
        }
    } else if (id == kWsBool && data.size() >= 2 && (static_cast<unsigned char>(data[1]) & 0x10)) {
        result_.losses |= kLossMacros; // a dialog sheet
    }
}

// The shared strings: each a character count, flags, optional counts of
// formatting runs and extended data, the characters, then the runs and the
// data. Characters that run on into the next CONTINUE record start it with a
// new flags byte (one or two bytes per character); everything else runs on
// over record boundaries unmarked.
void Biff8Inspector::DecodeSharedStrings() {
    size_t segment = 0, pos = 8;
    bool ok = sst_[0].size() >= 8;
    auto atEnd = [&] { return pos == sst_[segment].size(); };
    auto nextSegment = [&] {
        if (segment + 1 >= sst_.size()) return false;
        ++segment;
        pos = 0;
        return true;
    };
    auto readByte = [&](uint32_t& byte) {
        while (atEnd()) {
            if (!nextSegment()) return false;
        }
        byte = static_cast<unsigned char>(sst_[segment][pos++]);
        return true;
    };
    auto read = [&](int bytes, uint32_t& value) {
        value = 0;
        for (int i = 0; i < bytes && ok; ++i) {
            uint32_t byte = 0;
            ok = readByte(byte);
            value |= byte << (8 * i);
        }
        return ok;
    };
    const uint32_t unique = ok ? Le32(sst_[0], 4) : 0;
    std::u16string units;
    for (uint32_t i = 0; i < unique && ok; ++i) {
        // 1. The header.
        uint32_t count = 0, flags = 0, runs = 0, extended = 0;
        if (!read(2, count) || !read(1, flags)) break;
        if ((flags & 0x08) && !read(2, runs)) break;
        if ((flags & 0x04) && !read(4, extended)) break;
        // 2. The characters.
        bool wide = flags & 1;
        units.clear();
        while (units.size() < count && ok) {
            if (atEnd()) {
                uint32_t continued = 0;
                ok = nextSegment() && readByte(continued);
                wide = continued & 1;
                if (!ok) break;
            }
            const std::string_view data = sst_[segment];
            const size_t take =
                std::min<size_t>(count - units.size(), (data.size() - pos) / (wide ? 2 : 1));
            if (take == 0) ok = false; // half a character
            for (size_t c = 0; c < take && ok; ++c) {
                units.push_back(
                    wide ? static_cast<char16_t>(Le16(data, pos + 2 * c))
                         : static_cast<char16_t>(static_cast<unsigned char>(data[pos + c])));
            }
            pos += take * (wide ? 2 : 1);
        }
        if (!ok) break;
        std::string& text = sharedStrings_.emplace_back();
        AppendUtf16AsUtf8(text, units);
        // 3. Formatting runs and extended data.
        for (size_t skip = 4 * size_t{runs} + extended; skip > 0 && ok; --skip) {
            uint32_t byte = 0;
            ok = readByte(byte);
        }
    }
    if (!ok) result_.damage = "it is damaged (its shared strings run past their records)";
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
    for (const std::string& name : names) {
        // Document properties, the class name and the link flags carry no
        // content of the workbook.
        if (std::find(kPlainEntries.begin(), kPlainEntries.end(), name) != kPlainEntries.end()) {
            continue;
        }
        const std::string upper = AsciiUpper(name);
        if (upper.starts_with("_VBA_PROJECT") || upper == "VBA" || upper == "MACROS") {
            contents.losses |= kLossMacros;
        } else {
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
