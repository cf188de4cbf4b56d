// Small pieces of Office Open XML text shared by the .xlsx reader and writers:
// escaping cell text, cell references, numbers, and edits of a raw start tag.
#pragma once

#include "output/Workbook.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

// Appends text as XML character data (or an attribute value): & < > " are
// escaped, and characters XML cannot hold (control characters, U+FFFE, U+FFFF)
// become the format's "_xHHHH_" escapes; a literal "_xHHHH_" keeps its meaning
// by escaping its underscore as "_x005F_".
void AppendXmlText(std::string& out, std::string_view text, bool attribute = false);

// Appends text with XML's own escapes only (& < > and a carriage return), for
// text that keeps whatever "_xHHHH_" escapes it has, such as formulas.
void AppendXmlEscaped(std::string& out, std::string_view text);

// True when the text needs xml:space="preserve" (blanks or line breaks at either end).
bool NeedsSpacePreserve(std::string_view text);

// Undoes the "_xHHHH_" escapes of cell and shared-string text in place.
void DecodeXstringEscapes(std::string& text);

// "B12" -> row 12, column 2. False when it is no cell reference in range.
bool ParseCellReference(std::string_view ref, int32_t& row, int32_t& column);
void AppendColumnLetters(std::string& out, int32_t column);
void AppendCellReference(std::string& out, int32_t row, int32_t column);
// "B2:D9", "B2" for one cell, "A1" for an empty range.
void AppendRangeReference(std::string& out, const CellRange& range);

// The shortest text that reads back as the same double.
void AppendXmlNumber(std::string& out, double value);
void AppendDecimal(std::string& out, int64_t value);

// The prefix of a qualified name, colon included ("x:" of "x:row"), or "".
std::string_view NamePrefix(std::string_view qualifiedName);

// The end of the element name in the raw text of a tag ("<x:row r=..." -> 6).
size_t TagNameEnd(std::string_view tag);

// An attribute inside the raw text of a start tag.
struct RawAttribute {
    size_t begin = 0, end = 0;           // the whole attribute with its leading blank
    size_t valueBegin = 0, valueEnd = 0; // between the quotes
    bool found = false;
};
RawAttribute FindRawAttribute(std::string_view tag, std::string_view qualifiedName);

// The start tag with the attribute set to `value` (added before the tag's end
// when missing). `value` is escaped here.
std::string WithAttribute(std::string_view tag, std::string_view qualifiedName,
                          std::string_view value);
std::string WithoutAttribute(std::string_view tag, std::string_view qualifiedName);

// A byte range of a document and what replaces it (an insertion when empty).
struct XmlEdit {
    size_t begin = 0, end = 0;
    std::string text;
};
// The document with the edits (which must not overlap) applied.
std::string ApplyEdits(std::string_view source, std::vector<XmlEdit> edits);

// Copies a source document to a new one, replacing byte ranges in increasing order.
class XmlSplicer {
public:
    explicit XmlSplicer(std::string_view source) : source_(source) {}
    // Copies the source up to `position` (not before what was consumed).
    void CopyTo(size_t position);
    // Drops the source up to `position`.
    void SkipTo(size_t position);
    std::string& Out() { return out_; }
    // Copies the rest and hands over the result.
    std::string Finish();

private:
    std::string_view source_;
    size_t cursor_ = 0;
    std::string out_;
};

} // namespace vok
