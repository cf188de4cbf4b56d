#include "output/xlsx/XlsxSharedStrings.h"

#include "output/workbook/XmlText.h"
#include "output/workbook/XmlScanner.h"

#include <algorithm>

namespace vok {

namespace {

class SharedStringsHandler : public XmlScanner::Handler {
public:
    SharedStringsHandler(const std::vector<uint32_t>& wanted, std::string& arena,
                         std::vector<XlsxSharedStrings::Span>& spans)
        : wanted_(wanted), arena_(arena), spans_(spans) {}

    void StartElement(const XmlTag& tag) override {
        if (tag.local == "si") {
            // Only the strings asked for are collected.
            inItem_ = next_ < wanted_.size() && wanted_[next_] == index_;
            item_.clear();
        } else if (tag.local == "rPh") {
            ++phonetic_;
        } else if (tag.local == "t" && inItem_ && phonetic_ == 0) {
            inText_ = true;
        }
    }
    void EndElement(const XmlTag& tag) override {
        if (tag.local == "t") {
            inText_ = false;
        } else if (tag.local == "rPh") {
            --phonetic_;
        } else if (tag.local == "si") {
            ++index_;
            if (!inItem_) return;
            inItem_ = false;
            ++next_;
            DecodeXstringEscapes(item_);
            spans_.push_back({arena_.size(), static_cast<uint32_t>(item_.size())});
            arena_ += item_;
        }
    }
    void Characters(std::string_view text) override {
        if (inText_) item_.append(text);
    }
    bool Done() const override { return next_ == wanted_.size(); }

private:
    const std::vector<uint32_t>& wanted_;
    std::string& arena_;
    std::vector<XlsxSharedStrings::Span>& spans_;
    std::string item_;
    uint32_t index_ = 0; // of the next string of the table
    size_t next_ = 0;    // the next wanted one
    bool inItem_ = false, inText_ = false;
    int phonetic_ = 0;
};

} // namespace

bool XlsxSharedStrings::Read(const XmlScanner::BlockReader& read, const char* encoding,
                             std::vector<uint32_t> wanted, std::string& error) {
    wanted_ = std::move(wanted);
    arena_.clear();
    spans_.clear();
    if (wanted_.empty()) return true;
    SharedStringsHandler handler(wanted_, arena_, spans_);
    return XmlScanner::ScanBlocks(read, encoding, handler, error);
}

bool XlsxSharedStrings::Get(size_t index, std::string_view& text) const {
    const auto found = std::lower_bound(wanted_.begin(), wanted_.end(), index);
    const auto at = static_cast<size_t>(found - wanted_.begin());
    if (found == wanted_.end() || *found != index || at >= spans_.size()) return false;
    text = std::string_view(arena_).substr(spans_[at].offset, spans_[at].length);
    return true;
}

} // namespace vok
