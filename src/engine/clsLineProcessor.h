// The current row of the report, one line per period, and the turning of one
// field of it into the value that goes to the output: cut by character
// positions, combined over the periods by an operator, numbers formatted.
#pragma once

#include "base/TextReader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vok {

class Messages;
class clsRecipe;

class clsLineProcessor {
public:
    // Operator codes of OperatorCode.
    static constexpr int32_t kLastPeriod = 0;
    static constexpr int32_t kFirstPeriod = 1;
    static constexpr int32_t kSum = 2;
    static constexpr int32_t kAverage = 3;
    static constexpr int32_t kPeriods = 12;

    clsLineProcessor() { ClearRows(); }

    // The line held for a period (1 to 12); "" for any other period.
    const std::string& Row(int32_t period) const;
    // Replaces a period's line; a period outside 1 to 12 shows
    // "Invalid Index in CollectionItemSet!" and stores nothing.
    // Kept for the tests: a table pass fills slot 1 only, so this is how the
    // period operators (sum, average, first, last) are given other periods.
    void SetRow(Messages& messages, int32_t period, std::string_view line);

    // The field's value as a view: into the held line for the first and last
    // period, into `scratch` for sums. Valid until the next row is read or
    // scratch changes. This is the per-cell path: it copies nothing it need not.
    std::string_view FieldValue(Messages& messages, const clsRecipe& recipe, int32_t code,
                                int32_t fieldStart, int32_t fieldEnd, std::string& scratch);

    // Starts a table pass. A problem FieldValue finds (a period outside 1
    // to 12, a sum outside the currency range) is reported once per pass, not
    // once per cell.
    void BeginPass() { reported_.clear(); }

    // The per-line path of a table pass whose columns all take period 1's
    // field as it stands: the row is the line's bytes as the file holds them,
    // cut where they lie; only a line with a tab is copied (expanded).
    // `oneByte`: a byte is a character (ASCII, or Windows-1252 bytes).
    struct RawField {
        // The field's characters that lie on the line: `size` bytes from
        // `data`, followed by at least 16 readable bytes.
        const char* data = nullptr;
        uint32_t size = 0;
        bool blank = false; // the blank the row gets at its end belongs to the field too
        // Whether the text holds a comma, a double quote, an equal sign.
        bool comma = false, quote = false, equal = false;
        std::string_view Text() const { return {data, size}; }
    };
    // Where a field lies: `count` characters (at least 1) from 0-based
    // character `offset`.
    struct RawSpan {
        size_t offset;
        size_t count;
    };
    // Form feeds at the line's start are passed over: they are no part of a
    // field and shift no position. True when the line began with one.
    bool SetRawRow(std::string_view line, int32_t tabSize, bool oneByte);
    // The raw row as the pass sees it: form feeds passed over, tabs expanded.
    std::string_view RawRow() const { return rawRow_; }
    // Slot 1 from the raw row, for the general path: decoded to UTF-8 when
    // `latin`, with the blank a line read into slot 1 gets at its end.
    void StoreRawRowInSlot1(bool latin);
    RawField CutRawField(const RawSpan& span) {
        return rawOneByte_ ? CutOneByte(rawRow_, rawBlank_, span) : CutRawFieldUtf8(span);
    }
    // visit(i, field) for each span of `spans` in order: the loop that runs
    // for every cell, kept in one piece so that the compiler can make it tight.
    template <typename Span, typename Visit>
    void ForEachRawField(const std::vector<Span>& spans, Visit&& visit) {
        if (rawOneByte_) {
            // The row and the spans in locals: what `visit` writes through a
            // char pointer could alias members, which would be read again
            // for every cell.
            const std::string_view row = rawRow_;
            const bool blank = rawBlank_;
            const Span* const span = spans.data();
            const size_t count = spans.size();
            for (size_t i = 0; i < count; ++i)
                visit(i, CutOneByte(row, blank, span[i]));
        } else {
            for (size_t i = 0; i < spans.size(); ++i)
                visit(i, CutRawFieldUtf8(spans[i]));
        }
    }
    size_t RawRowBytes() const { return rawRow_.size(); }

    // FieldValue's scratch for every column: a cell's value is used before
    // the next cell is cut, so thousands of columns need not each hold one.
    std::string& CellScratch() { return cellScratch_; }

private:
    void ClearRows();
    // The raw field of a period's slot; false (reported) for a period outside 1 to 12.
    bool CutField(Messages& messages, int32_t period, int64_t start, int64_t width,
                  std::string_view& field);
    void SumFields(Messages& messages, const clsRecipe& recipe, int32_t code, int64_t start,
                   int64_t width, std::string& result);
    void ReportOnce(Messages& messages, const std::string& text);

    // Slots 1 to 12 (index 0 to 11): the current line of each period, and
    // whether it is plain ASCII, so that cutting a field needs no scan.
    std::vector<std::string> RowCollection;
    std::array<bool, kPeriods> rowIsAscii_{};

    std::vector<std::string> reported_;  // problems reported in this pass

    // The raw row of the per-line path.
    std::string_view rawRow_;
    std::string rawExpanded_; // a row with tabs, expanded
    bool rawBlank_ = false;   // the row ends in a character other than a blank
    bool rawOneByte_ = true;
    int64_t rawChars_ = -1; // characters of a UTF-8 row, once counted

    RawField CutRawFieldUtf8(const RawSpan& span);
    // The field of a one-byte `row`, which gets a closing blank when `blank`.
    [[gnu::always_inline]] static RawField CutOneByte(std::string_view row, bool blank,
                                                      const RawSpan& span) {
        const size_t length = row.size();
        RawField field;
        if (span.offset >= length) {
            // The row's closing blank lies just past the line.
            field.blank = blank && span.offset == length;
            return field;
        }
        const size_t size = std::min(span.count, length - span.offset);
        field.data = row.data() + span.offset;
        field.size = static_cast<uint32_t>(size);
        field.blank = blank && span.count > size;
        Inspect(field);
        return field;
    }
    // What the field's bytes hold, sixteen at a time: the bytes after the
    // field are readable, and their bits are left out.
    [[gnu::always_inline]] static void Inspect(RawField& field) {
#if defined(__SSE2__)
        const __m128i comma = _mm_set1_epi8(','), quote = _mm_set1_epi8('"'),
                      equal = _mm_set1_epi8('=');
        // Commas (in amounts) are common, quotes and equal signs rare: those
        // two share a mask, told apart only when it is set.
        unsigned c = 0, qe = 0;
        for (uint32_t i = 0; i < field.size; i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(field.data + i));
            const unsigned valid = field.size - i >= 16 ? 0xFFFFu : (1u << (field.size - i)) - 1;
            c |= static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, comma))) & valid;
            qe |= static_cast<unsigned>(_mm_movemask_epi8(
                      _mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, equal)))) &
                  valid;
        }
        field.comma = c != 0;
        if (qe != 0) {
            const std::string_view text = field.Text();
            field.quote = text.find('"') != std::string_view::npos;
            field.equal = text.find('=') != std::string_view::npos;
        }
#else
        for (uint32_t i = 0; i < field.size; ++i) {
            field.comma |= field.data[i] == ',';
            field.quote |= field.data[i] == '"';
            field.equal |= field.data[i] == '=';
        }
#endif
    }
    std::string cellScratch_;
};

} // namespace vok
