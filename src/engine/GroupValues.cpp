#include "engine/GroupValues.h"

#include "base/TextEncoding.h"
#include "engine/clsColumn.h"

namespace vok {

void GroupValues::Start(const LineRules& rules, bool latin) {
    latin_ = latin;
    groups_.clear();
    for (const LineGroup& group : rules.groups) {
        Group& g = groups_.emplace_back();
        g.column = group.column;
        for (size_t f = 0; f < group.fieldStart.size() && f < group.fieldEnd.size(); ++f) {
            const int64_t start = group.fieldStart[f], end = group.fieldEnd[f];
            g.spans.push_back({static_cast<size_t>(start - 1),
                               static_cast<size_t>(std::max<int64_t>(end - start + 1, 1))});
        }
        g.values.resize(g.spans.size());
        g.raw.resize(g.spans.size());
    }
    MakeTails();
}

void GroupValues::Take(int32_t k, clsLineProcessor& processor) {
    Group& g = groups_[static_cast<size_t>(k - 1)];
    for (size_t f = 0; f < g.spans.size(); ++f) {
        const clsLineProcessor::RawField field = processor.CutRawField(g.spans[f]);
        std::string& value = g.values[f];
        value.clear();
        if (latin_)
            AppendWindows1252AsUtf8(value, field.Text());
        else
            value.assign(field.Text());
        if (field.blank) value.push_back(' ');
        g.raw[f].clear();
        clsColumn::AppendCsvField(g.raw[f], field.Text(), field.blank);
    }
    MakeTails();
}

void GroupValues::MakeTails() {
    rawTail_.clear();
    utf8Tail_.clear();
    for (const Group& g : groups_) {
        for (size_t f = 0; f < g.values.size(); ++f) {
            rawTail_.push_back(',');
            rawTail_.append(g.raw[f]);
            utf8Tail_.push_back(',');
            clsColumn::AppendCsvField(utf8Tail_, g.values[f], false);
        }
    }
}

} // namespace vok
