#include "engine/clsLineProcessor.h"

#include "base/NumericText.h"
#include "base/TextAccess.h"
#include "base/TextEncoding.h"
#include "engine/JobState.h"
#include "layout/LineRules.h"
#include "recipe/SectionedFile.h"

#include <algorithm>
#include <cstring>

namespace vok {

namespace {

const std::string kNoRow;

constexpr std::string_view kSumOutOfRange =
    "Error: The sum of a field is outside the currency range in ProcessField!";

} // namespace

const std::string& clsLineProcessor::Row(int32_t period) const {
    if (period < 1 || period > kPeriods) return kNoRow;
    return RowCollection[static_cast<size_t>(period - 1)];
}

void clsLineProcessor::SetRow(Messages& messages, int32_t period, std::string_view line) {
    if (CollectionItemSet(messages, RowCollection, period, std::string(line)))
        rowIsAscii_[static_cast<size_t>(period - 1)] = IsAscii(line);
}

void clsLineProcessor::ClearRows() {
    RowCollection.assign(kPeriods, std::string());
    rowIsAscii_.fill(true);
}

bool clsLineProcessor::SetRawRow(std::string_view read, int32_t tabSize, bool oneByte) {
    const std::string_view line = PassFormFeeds(read);
    // The blank is owed for the line as read, before expansion.
    rawBlank_ = !line.empty() && line.back() != ' ';
    if (tabSize > 0 && std::memchr(line.data(), '\t', line.size())) {
        ExpandTabsInto(rawExpanded_, line, tabSize, oneByte);
        // The same readable bytes after the row as after a line of the reader.
        const size_t size = rawExpanded_.size();
        rawExpanded_.append(TextReader::kSlack, '\0');
        rawExpanded_.resize(size);
        rawRow_ = rawExpanded_;
    } else {
        rawRow_ = line;
    }
    rawOneByte_ = oneByte || IsAscii(rawRow_);
    rawChars_ = -1;
    return line.size() != read.size();
}

void clsLineProcessor::StoreRawRowInSlot1(bool latin) {
    std::string& slot = RowCollection[0];
    slot.clear();
    if (latin)
        AppendWindows1252AsUtf8(slot, rawRow_);
    else
        slot.assign(rawRow_);
    if (rawBlank_) slot.push_back(' ');
    rowIsAscii_[0] = IsAscii(slot);
}

clsLineProcessor::RawField clsLineProcessor::CutRawFieldUtf8(const RawSpan& span) {
    const size_t offset = span.offset, count = span.count;
    // Characters are counted once per row.
    if (rawChars_ < 0) rawChars_ = static_cast<int64_t>(CharCount(rawRow_));
    const auto length = static_cast<size_t>(rawChars_);
    RawField field;
    if (offset > length) return field;
    const std::string_view text = CharSubstr(rawRow_, offset, count);
    field.data = text.data();
    field.size = static_cast<uint32_t>(text.size());
    field.blank = rawBlank_ && count > length - offset;
    Inspect(field);
    return field;
}

std::string_view clsLineProcessor::FieldValue(Messages& messages, const clsRecipe& recipe,
                                              int32_t code, int32_t fieldStart, int32_t fieldEnd,
                                              std::string& scratch) {
    // 1. 64-bit, so that no pair of positions overflows.
    const int64_t width = int64_t{fieldEnd} - fieldStart + 1;
    if (width < 1) return {};
    // 2 and 3.
    std::string_view field;
    switch (code) {
    case kLastPeriod:
        CutField(messages, recipe.InputFileLast, fieldStart, width, field);
        return field;
    case kFirstPeriod:
        CutField(messages, recipe.InputFileFirst, fieldStart, width, field);
        return field;
    case kSum:
    case kAverage:
        scratch.clear();
        SumFields(messages, recipe, code, fieldStart, width, scratch);
        return scratch;
    default:
        messages.Show("Invalid operator in ProcessField!", MessageIcon::None);
        return {};
    }
}

bool clsLineProcessor::CutField(Messages& messages, int32_t period, int64_t start, int64_t width,
                                std::string_view& field) {
    field = {};
    if (period < 1 || period > kPeriods) {
        ReportOnce(messages, "Error: Period " + std::to_string(period) +
                                 " is outside 1 to 12 in ProcessField!");
        return false;
    }
    const size_t index = static_cast<size_t>(period - 1);
    const std::string_view line = RowCollection[index];
    // Positions before 1 hold nothing: the field begins at position 1.
    if (start < 1) {
        width -= 1 - start;
        start = 1;
        if (width < 1) return true;
    }
    const size_t offset = static_cast<size_t>(start - 1);
    const size_t count = static_cast<size_t>(width);
    if (!rowIsAscii_[index])
        field = CharSubstr(line, offset, count);
    else if (offset < line.size())
        field = line.substr(offset, count);
    return true;
}

void clsLineProcessor::SumFields(Messages& messages, const clsRecipe& recipe, int32_t code,
                                 int64_t start, int64_t width, std::string& result) {
    if (recipe.InputFileFirst > recipe.InputFileLast) {
        ReportOnce(messages, "Error: The first period " + std::to_string(recipe.InputFileFirst) +
                                 " lies after the last period " +
                                 std::to_string(recipe.InputFileLast) + " in ProcessField!");
        return;
    }
    // 1. The sum of the periods starts at zero.
    Currency sum = 0;
    int32_t count = 0;
    bool allNumeric = true;
    bool outOfRange = false;
    std::string_view text;
    // 2. The slots do not change during the call, so the text can stay a view.
    for (int32_t period = recipe.InputFileFirst; period <= recipe.InputFileLast; ++period) {
        std::string_view field;
        if (!CutField(messages, period, start, width, field)) return;
        Currency value = 0;
        switch (ParseCurrency(field, value)) {
        case CurrencyParse::Ok:
            ++count;
            if (!AddCurrency(sum, value, sum)) outOfRange = true;
            break;
        case CurrencyParse::OutOfRange:
            ++count;
            outOfRange = true;
            break;
        case CurrencyParse::NotNumeric:
            allNumeric = false;
            text = field;
            break;
        }
    }
    // 3. A field that is no number: its text, unformatted.
    if (!allNumeric) {
        result.assign(text);
        return;
    }
    // A sum the currency cannot hold is never written as some other number.
    if (outOfRange) {
        ReportOnce(messages, std::string(kSumOutOfRange));
        return;
    }
    // 4 and 5.
    if (code == kSum) {
        FormatByWriteDataFormatInto(result, sum, recipe.WriteDataFormat);
    } else if (count > 0) {
        const double average = static_cast<double>(sum) / kCurrencyScale / count;
        FormatDoubleByWriteDataFormatInto(result, average, recipe.WriteDataFormat);
    }
}

void clsLineProcessor::ReportOnce(Messages& messages, const std::string& text) {
    if (std::find(reported_.begin(), reported_.end(), text) != reported_.end()) return;
    reported_.push_back(text);
    messages.Show(text, MessageIcon::Critical);
}

} // namespace vok
