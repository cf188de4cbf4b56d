#include "output/workbook/XmlText.h"

#include "base/TextEncoding.h"
#include "output/OutputType.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace vok {

namespace {

// References reach as far as the larger of the sheets, an .xlsx one.
constexpr int32_t kMaxReferenceRow = SheetLimitsOf(OutputType::Xlsx).maxRows;
constexpr int32_t kMaxReferenceColumn = SheetLimitsOf(OutputType::Xlsx).maxColumns;

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The code unit of an "_xHHHH_" escape starting at text[i], or -1.
int32_t EscapeAt(std::string_view text, size_t i) {
    if (i + 7 > text.size() || text[i] != '_' || text[i + 1] != 'x' || text[i + 6] != '_') {
        return -1;
    }
    int32_t unit = 0;
    for (size_t k = i + 2; k < i + 6; ++k) {
        int h = HexValue(text[k]);
        if (h < 0) return -1;
        unit = unit * 16 + h;
    }
    return unit;
}

void AppendEscapeUnit(std::string& out, uint32_t unit) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += "_x";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += kHex[(unit >> shift) & 0xF];
    out += '_';
}

bool IsBlankOrBreak(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

} // namespace

void AppendXmlEscaped(std::string& out, std::string_view text) {
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '\r': // a reader would take a bare one for a line end
            out += "&#13;";
            break;
        default:
            out += c;
        }
    }
}

void AppendXmlText(std::string& out, std::string_view text, bool attribute) {
    size_t plain = 0; // start of the run copied as it stands
    auto flush = [&](size_t i) { out.append(text.data() + plain, i - plain); };
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        const char* replacement = nullptr;
        size_t skip = 1;
        switch (c) {
        case '&':
            replacement = "&amp;";
            break;
        case '<':
            replacement = "&lt;";
            break;
        case '>':
            replacement = "&gt;";
            break;
        case '"':
            if (attribute) replacement = "&quot;";
            break;
        case '_':
            if (EscapeAt(text, i) >= 0) replacement = "_x005F_";
            break;
        case 0xEF: // U+FFFE and U+FFFF are no XML characters
            if (i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0xBF &&
                (static_cast<unsigned char>(text[i + 2]) & 0xFE) == 0xBE) {
                flush(i);
                AppendEscapeUnit(out, 0xFFFE | (static_cast<unsigned char>(text[i + 2]) & 1));
                plain = i + 3;
                i += 2;
                continue;
            }
            break;
        default:
            if (c < 0x20 && !(c == '\t' || c == '\n')) {
                flush(i);
                AppendEscapeUnit(out, c);
                plain = i + 1;
                continue;
            }
            if (attribute && (c == '\t' || c == '\n')) {
                // Attribute values lose raw blanks to normalisation.
                flush(i);
                out += c == '\t' ? "&#9;" : "&#10;";
                plain = i + 1;
                continue;
            }
            break;
        }
        if (replacement) {
            flush(i);
            out += replacement;
            plain = i + skip;
        }
    }
    flush(text.size());
}

bool NeedsSpacePreserve(std::string_view text) {
    return !text.empty() && (IsBlankOrBreak(text.front()) || IsBlankOrBreak(text.back()));
}

void DecodeXstringEscapes(std::string& text) {
    if (text.find("_x") == std::string::npos) return;
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        int32_t unit = EscapeAt(text, i);
        if (unit < 0) {
            out += text[i++];
            continue;
        }
        char32_t c = static_cast<char32_t>(unit);
        size_t used = 7;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            int32_t low = EscapeAt(text, i + 7);
            if (low < 0xDC00 || low > 0xDFFF) { // a lone surrogate stays as written
                out += text[i++];
                continue;
            }
            c = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                (static_cast<char32_t>(low) - 0xDC00);
            used = 14;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            out += text[i++];
            continue;
        }
        AppendUtf8(out, c);
        i += used;
    }
    text.swap(out);
}

bool ParseCellReference(std::string_view ref, int32_t& row, int32_t& column) {
    size_t i = 0;
    int64_t col = 0, r = 0;
    while (i < ref.size() &&
           ((ref[i] >= 'A' && ref[i] <= 'Z') || (ref[i] >= 'a' && ref[i] <= 'z'))) {
        col = col * 26 + ((ref[i] | 0x20) - 'a' + 1);
        if (col > kMaxReferenceColumn) return false;
        ++i;
    }
    if (i == 0 || i == ref.size()) return false;
    for (; i < ref.size(); ++i) {
        if (ref[i] < '0' || ref[i] > '9') return false;
        r = r * 10 + (ref[i] - '0');
        if (r > kMaxReferenceRow) return false;
    }
    if (r < 1) return false;
    row = static_cast<int32_t>(r);
    column = static_cast<int32_t>(col);
    return true;
}

void AppendColumnLetters(std::string& out, int32_t column) {
    char letters[4];
    int n = 0;
    for (int32_t c = column; c > 0 && n < 4; c = (c - 1) / 26) {
        letters[n++] = static_cast<char>('A' + (c - 1) % 26);
    }
    while (n > 0)
        out += letters[--n];
}

void AppendCellReference(std::string& out, int32_t row, int32_t column) {
    AppendColumnLetters(out, column);
    AppendDecimal(out, row);
}

void AppendRangeReference(std::string& out, const CellRange& range) {
    if (range.Empty()) {
        out += "A1";
        return;
    }
    AppendCellReference(out, range.firstRow, range.firstColumn);
    if (range.lastRow != range.firstRow || range.lastColumn != range.firstColumn) {
        out += ':';
        AppendCellReference(out, range.lastRow, range.lastColumn);
    }
}

void AppendXmlNumber(std::string& out, double value) {
    if (!std::isfinite(value)) value = 0; // typed input never yields these
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void AppendDecimal(std::string& out, int64_t value) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

std::string_view NamePrefix(std::string_view qualifiedName) {
    size_t colon = qualifiedName.find(':');
    return colon == std::string_view::npos ? std::string_view()
                                           : qualifiedName.substr(0, colon + 1);
}

size_t TagNameEnd(std::string_view tag) {
    size_t i = 1;
    while (i < tag.size() && !IsBlankOrBreak(tag[i]) && tag[i] != '>' && tag[i] != '/')
        ++i;
    return i;
}

RawAttribute FindRawAttribute(std::string_view tag, std::string_view qualifiedName) {
    RawAttribute found;
    size_t i = TagNameEnd(tag);
    while (i < tag.size()) {
        size_t attrBegin = i;
        while (i < tag.size() && IsBlankOrBreak(tag[i]))
            ++i;
        size_t nameBegin = i;
        while (i < tag.size() && tag[i] != '=' && !IsBlankOrBreak(tag[i]) && tag[i] != '>' &&
               tag[i] != '/') {
            ++i;
        }
        if (i == nameBegin) break; // the tag's end
        std::string_view name = tag.substr(nameBegin, i - nameBegin);
        while (i < tag.size() && (IsBlankOrBreak(tag[i]) || tag[i] == '='))
            ++i;
        if (i >= tag.size()) break;
        char quote = tag[i];
        size_t valueBegin = ++i;
        size_t close = tag.find(quote, valueBegin);
        if (close == std::string_view::npos) break;
        i = close + 1;
        if (name == qualifiedName) {
            found = {attrBegin, i, valueBegin, close, true};
            return found;
        }
    }
    return found;
}

std::string WithAttribute(std::string_view tag, std::string_view qualifiedName,
                          std::string_view value) {
    std::string escaped;
    AppendXmlText(escaped, value, true);
    RawAttribute a = FindRawAttribute(tag, qualifiedName);
    std::string out;
    if (a.found) {
        out.append(tag.substr(0, a.valueBegin));
        out += escaped;
        out.append(tag.substr(a.valueEnd));
        return out;
    }
    size_t end = tag.size() - 1; // at ">"
    if (end > 0 && tag[end - 1] == '/') --end;
    out.append(tag.substr(0, end));
    out += ' ';
    out.append(qualifiedName);
    out += "=\"";
    out += escaped;
    out += '"';
    out.append(tag.substr(end));
    return out;
}

std::string WithoutAttribute(std::string_view tag, std::string_view qualifiedName) {
    RawAttribute a = FindRawAttribute(tag, qualifiedName);
    if (!a.found) return std::string(tag);
    std::string out(tag.substr(0, a.begin));
    out.append(tag.substr(a.end));
    return out;
}

std::string ApplyEdits(std::string_view source, std::vector<XmlEdit> edits) {
    std::stable_sort(edits.begin(), edits.end(),
                     [](const XmlEdit& a, const XmlEdit& b) { return a.begin < b.begin; });
    XmlSplicer splicer(source);
    for (const XmlEdit& e : edits) {
        splicer.CopyTo(e.begin);
        splicer.Out() += e.text;
        splicer.SkipTo(e.end);
    }
    return splicer.Finish();
}

void XmlSplicer::CopyTo(size_t position) {
    if (position > cursor_) {
        out_.append(source_.data() + cursor_, position - cursor_);
        cursor_ = position;
    }
}

void XmlSplicer::SkipTo(size_t position) {
    if (position > cursor_) cursor_ = position;
}

std::string XmlSplicer::Finish() {
    CopyTo(source_.size());
    return std::move(out_);
}

} // namespace vok
