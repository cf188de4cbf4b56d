#include "editor/RecipeText.h"

#include "base/TextAccess.h"
#include "base/TextReader.h"
#include "base/modUtilityString.h"
#include "layout/LineRules.h"

#include <algorithm>
#include <array>
#include <fmt/format.h>
#include <fstream>
#include <system_error>

namespace vok {

namespace {

// The file's first line end, and whether its last byte ends a line. The
// file was read whole just before; it is read here as bytes, undecoded.
void LearnLineEnds(const std::filesystem::path& file, RecipeFileForm& form) {
    std::ifstream in(file, std::ios::binary);
    std::array<char, 4096> block{};
    bool decided = false;
    bool pendingCr = false;
    char last = '\0';
    while (in.read(block.data(), block.size()) || in.gcount() > 0) {
        const auto size = static_cast<size_t>(in.gcount());
        for (size_t i = 0; i < size && !decided; ++i) {
            const char c = block[i];
            if (pendingCr) {
                form.lineEnd = c == '\n' ? kCrLf : std::string_view("\r");
                decided = true;
            } else if (c == '\r') {
                pendingCr = true;
            } else if (c == '\n') {
                form.lineEnd = "\n";
                decided = true;
            }
        }
        last = block[size - 1];
    }
    // A lone CR as the file's very last byte.
    if (pendingCr && !decided) form.lineEnd = "\r";
    form.finalLineEnd = last == '\n' || last == '\r';
}

// Digits only, with an optional sign when `signAllowed`; blanks around them.
bool ParseInteger(std::string_view text, bool signAllowed, int64_t limit, int64_t& value) {
    std::string_view t = Trim(text);
    bool negative = false;
    if (signAllowed && !t.empty() && (t.front() == '-' || t.front() == '+')) {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    if (t.empty() || t.size() > 10) return false;
    int64_t magnitude = 0;
    for (const char c : t) {
        if (c < '0' || c > '9') return false;
        magnitude = magnitude * 10 + (c - '0');
    }
    if (magnitude > limit) return false;
    value = negative ? -magnitude : magnitude;
    return true;
}

} // namespace

bool ReadRecipeText(const std::filesystem::path& file, std::string& text, RecipeFileForm& form,
                    std::string& error) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(file, ec);
    if (!ec && size > kLargestRecipeFile) {
        error = fmt::format("Cannot read the recipe file {}: at {} bytes it is too large for a "
                            "recipe",
                            file.string(), size);
        return false;
    }
    TextReader reader(file);
    if (!reader.IsOpen()) {
        error = fmt::format("Cannot read the recipe file {}: {}", file.string(), reader.OpenError());
        return false;
    }
    std::string joined;
    std::string_view line;
    bool first = true;
    while (reader.ReadLine(line)) {
        if (!first) joined.append(kCrLf);
        joined.append(line);
        first = false;
    }
    if (reader.ReadFailed()) {
        error =
            fmt::format("Cannot read the recipe file {}: {}", file.string(), reader.ReadError());
        return false;
    }
    text = std::move(joined);
    form = RecipeFileForm{};
    form.byteOrderMark = reader.HadByteOrderMark();
    form.encoding = reader.Encoding();
    LearnLineEnds(file, form);
    return true;
}

std::string RecipeFileBytes(std::string_view text, const RecipeFileForm& form) {
    // The file's line ends, and its last line ended as the file's was.
    std::string body;
    body.reserve(text.size() + 8);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, kCrLf.size(), kCrLf) == 0) {
            body.append(form.lineEnd);
            ++i;
        } else {
            body.push_back(text[i]);
        }
    }
    if (form.finalLineEnd && !text.ends_with(kCrLf)) body.append(form.lineEnd);
    // The file's byte-order mark and encoding, unless a character typed has
    // no code in Windows-1252.
    std::string bytes(form.byteOrderMark ? "\xEF\xBB\xBF" : "");
    if (form.encoding == TextEncoding::Windows1252 && AppendUtf8AsWindows1252(bytes, body))
        return bytes;
    bytes.resize(form.byteOrderMark ? 3 : 0);
    return bytes + body;
}

int32_t CountRecipeTables(const std::filesystem::path& file) {
    return static_cast<int32_t>(file_count_key_lines(file, {"[Table ", {}, {}, "Col"}));
}

std::string WithCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out.append(kCrLf);
        } else if (c == '\n') {
            out.append(kCrLf);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string WithLf(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out.push_back('\n');
        } else {
            out.push_back(c);
        }
    }
    return out;
}

bool ParseTableNumber(std::string_view text, int32_t& number) {
    int64_t value = 0;
    if (!ParseInteger(text, false, INT32_MAX, value) || value < 1) return false;
    number = static_cast<int32_t>(value);
    return true;
}

bool ParseLineOffset(std::string_view text, int32_t& offset) {
    int64_t value = 0;
    if (!ParseInteger(text, true, INT32_MAX, value)) return false;
    offset = static_cast<int32_t>(value);
    return true;
}

bool ParseFieldWidth(std::string_view text, int32_t& width) {
    int64_t value = 0;
    if (!ParseInteger(text, false, kWidestField, value) || value < 1) return false;
    width = static_cast<int32_t>(value);
    return true;
}

bool ParsePageHeaderLines(std::string_view text, int32_t& lines) {
    int64_t value = 0;
    if (!ParseInteger(text, false, kLargestPageHeader, value) || value < 1) return false;
    lines = static_cast<int32_t>(value);
    return true;
}

bool IsGroupColumn(std::string_view text) {
    const std::string_view letters = Trim(text);
    return !letters.empty() && letters.size() <= 2 &&
           std::all_of(letters.begin(), letters.end(), [](char c) {
               return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
           });
}

bool IsGroupTemplate(std::string_view text) {
    return !Trim(text).empty() && text.find('=') == std::string_view::npos;
}

void AppendTemplateField(std::string& parsing, int32_t width, char fill) {
    if (width < 1) return;
    parsing.append(static_cast<size_t>(width - 1), fill);
    parsing.push_back(' ');
}

std::string FinishedTemplate(std::string parsing, int32_t fieldCount) {
    if (parsing.size() > 1 && parsing.back() == ' ') parsing.back() = parsing[parsing.size() - 2];
    if (fieldCount == 0) return "-";
    return parsing;
}

std::string TableSectionText(const TableSectionValues& values) {
    std::string text = fmt::format("\r\n"
                                   "[Table {}]\r\n"
                                   "ReadStartLine={}\r\n"
                                   "ReadStartLineOffset={}\r\n"
                                   "ReadEndLine={}\r\n"
                                   "ReadEndLineOffset={}\r\n"
                                   "Parsing={}\r\n"
                                   "WriteColumn=A\r\n",
                                   values.tableNumber, values.readStartLine,
                                   values.readStartLineOffset, values.readEndLine,
                                   values.readEndLineOffset, values.parsing);
    for (size_t n = 0; n < values.skipLines.size(); ++n)
        text += fmt::format("SkipLine{}={}\r\n", n + 1, values.skipLines[n]);
    if (values.skipBlankLines) text += "SkipBlankLines=YES\r\n";
    if (values.pageHeaderLines > 0)
        text += fmt::format("PageHeaderLines={}\r\n", values.pageHeaderLines);
    for (size_t k = 0; k < values.groups.size(); ++k) {
        const TableSectionValues::Group& g = values.groups[k];
        text += fmt::format("GroupLine{}={}\r\nGroupParsing{}={}\r\nGroupWriteColumn{}={}\r\n",
                            k + 1, g.text, k + 1, g.parsing, k + 1, g.writeColumn);
    }
    return text;
}

} // namespace vok
