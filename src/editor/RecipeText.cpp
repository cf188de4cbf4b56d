#include "editor/RecipeText.h"

#include "base/TextAccess.h"
#include "base/TextReader.h"
#include "base/modUtilityString.h"

#include <fmt/format.h>
#include <system_error>

namespace vok {

namespace {

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

bool ReadRecipeText(const std::filesystem::path& file, std::string& text, std::string& error) {
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
    return true;
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
    return fmt::format("\r\n"
                       "[Table {}]\r\n"
                       "ReadStartLine={}\r\n"
                       "ReadStartLineOffset={}\r\n"
                       "ReadEndLine={}\r\n"
                       "ReadEndLineOffset={}\r\n"
                       "Parsing={}\r\n"
                       "WriteColumn=A\r\n",
                       values.tableNumber, values.readStartLine, values.readStartLineOffset,
                       values.readEndLine, values.readEndLineOffset, values.parsing);
}

} // namespace vok
