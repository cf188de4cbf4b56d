// The values a table's group lines carry onto the rows after them: per group
// the fields of its last group line (empty before the first), kept where the
// row being written finds them, and their CSV text made once per group line.
#pragma once

#include "engine/clsLineProcessor.h"
#include "layout/LineRules.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

class GroupValues {
public:
    // Every group of `rules` empty; `latin`: the rows' bytes are Windows-1252.
    void Start(const LineRules& rules, bool latin);
    // The rows from here on are in these bytes (the values taken so far were
    // plain ASCII, the same in either).
    void SetLatin(bool latin) { latin_ = latin; }

    // Group k (1-based) takes the fields of the processor's current raw row.
    void Take(int32_t k, clsLineProcessor& processor);

    size_t Count() const { return groups_.size(); }
    // Group k's (0-based) field values in UTF-8, each as a row's field holds
    // it (a blank past the line's end included), and its first sheet column.
    const std::vector<std::string>& Values(size_t k) const { return groups_[k].values; }
    int32_t Column(size_t k) const { return groups_[k].column; }

    // What every CSV line of the table ends with: a comma and a field per
    // group field, groups in order; in the report's bytes, and in UTF-8.
    std::string_view CsvTail() const { return rawTail_; }
    std::string_view CsvTailUtf8() const { return utf8Tail_; }

private:
    struct Group {
        std::vector<clsLineProcessor::RawSpan> spans;
        std::vector<std::string> values; // UTF-8
        std::vector<std::string> raw;    // CSV fields, as the report's bytes
        int32_t column = 0;
    };
    void MakeTails();

    std::vector<Group> groups_;
    std::string rawTail_, utf8Tail_;
    bool latin_ = false;
};

} // namespace vok
