// The recipe editor's text work, apart from its windows: reading a recipe as
// one text, the new-recipe header, line ends, and the pieces of a table
// section that the table and field builders put together.
#pragma once

#include "base/TextEncoding.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

inline constexpr std::string_view kCrLf = "\r\n";

// What "New..." starts from: the header of a short recipe, each line ended.
inline constexpr std::string_view kNewRecipeText = "[Header]\r\n"
                                                   "Product=VOK-B\r\n"
                                                   "FileType=RECIPE\r\n"
                                                   "FileFormat=1.0\r\n";

// A recipe file is small; anything larger was picked by mistake (a report).
inline constexpr std::uintmax_t kLargestRecipeFile = 16 * 1024 * 1024;

// What a recipe file's bytes hold beside its text: a save writes the text back
// in the same form, so that an unchanged recipe is saved as the same bytes.
// A new recipe has CR LF line ends, a last line end, UTF-8 and no byte-order mark.
struct RecipeFileForm {
    std::string_view lineEnd = kCrLf; // the file's first line end: CR LF, LF or CR
    bool finalLineEnd = true;         // the file's last line is ended
    bool byteOrderMark = false;
    TextEncoding encoding = TextEncoding::Utf8;
};

// The file's lines joined by CR LF, without a line end after the last, and the
// form of the file. False, with a message naming the file and the reason, when
// it cannot be read whole.
bool ReadRecipeText(const std::filesystem::path& file, std::string& text, RecipeFileForm& form,
                    std::string& error);

// The bytes of a recipe file of `form` holding `text` (CR LF line ends): the
// form's line ends; a line end after the last line when the text has none
// and the form's file ended its last line; the form's byte-order mark and
// encoding (UTF-8 where Windows-1252 has no code for a character typed).
std::string RecipeFileBytes(std::string_view text, const RecipeFileForm& form);

// Table sections of a recipe file: lines holding "[Table " but not "Col".
int32_t CountRecipeTables(const std::filesystem::path& file);

// Every line end (CR LF, lone CR, lone LF) as CR LF.
std::string WithCrLf(std::string_view text);
// Every line end as LF, as a text box keeps them.
std::string WithLf(std::string_view text);

// The builders' checks. A table number is a whole number above 0; a line
// offset a whole number; a field width a whole number from 1 to 32,767. Blanks
// around the number are allowed.
bool ParseTableNumber(std::string_view text, int32_t& number);
bool ParseLineOffset(std::string_view text, int32_t& offset);
bool ParseFieldWidth(std::string_view text, int32_t& width);
// Page header lines: a whole number from 1 to 999. A group's first column:
// one or two letters. A group's template: fixed, with no "=".
bool ParsePageHeaderLines(std::string_view text, int32_t& lines);
bool IsGroupColumn(std::string_view text);
bool IsGroupTemplate(std::string_view text);
inline constexpr int32_t kWidestField = 32767;

// One field of `width` characters: width - 1 fill characters and a blank
// that separates it from the next.
void AppendTemplateField(std::string& parsing, int32_t width, char fill);

// The "Parsing" value of a built template: its last blank becomes part of the
// last field, so the field runs to the template's end and the blank is not
// lost to the trimming of the value; with no field at all, "-" (one field
// over the whole line).
std::string FinishedTemplate(std::string parsing, int32_t fieldCount);

struct TableSectionValues {
    int32_t tableNumber = 1;
    std::string readStartLine;
    int32_t readStartLineOffset = 0;
    std::string readEndLine;
    int32_t readEndLineOffset = 0;
    std::string parsing; // finished
    // The lines the table leaves out and its groups; written only when set.
    std::vector<std::string> skipLines;
    bool skipBlankLines = false;
    int32_t pageHeaderLines = 0;
    struct Group {
        std::string text, parsing, writeColumn;
    };
    std::vector<Group> groups;
};

// The lines the table builder appends: an empty line, then the section, every
// line ended by CR LF.
std::string TableSectionText(const TableSectionValues& values);

} // namespace vok
