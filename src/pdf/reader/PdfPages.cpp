#include "pdf/reader/PdfPages.h"

#include "pdf/grid/PdfTextOutcome.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-global.h>
#include <poppler/cpp/poppler-page.h>

namespace vok {

namespace {

void Discard(const std::string& /*text*/, void* /*closure*/) {}

// A whole PDF ends with its end-of-file marker; writers may add a little after it.
bool EndsWithMarker(std::string_view tail) {
    return tail.find("%%EOF") != std::string_view::npos;
}

constexpr size_t kTail = 1024;

// The code points of a word (poppler hands UTF-16).
void DecodeWord(const poppler::ustring& text, std::u32string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        out.push_back(c);
    }
}

// One word's glyphs. Each character has its box; where the library counts
// characters and boxes differently (ligatures), the word's characters follow
// its first box a pitch apart.
void AddWord(const poppler::text_box& word, std::u32string& characters,
             std::vector<Glyph>& glyphs) {
    DecodeWord(word.text(), characters);
    if (characters.empty()) return;
    const poppler::rectf box = word.bbox();
    const double baseline = box.y() + box.height();
    const double wordWidth = box.width() / static_cast<double>(characters.size());
    for (size_t i = 0; i < characters.size(); ++i) {
        const poppler::rectf charBox = word.char_bbox(i);
        Glyph g;
        g.character = characters[i];
        g.baseline = baseline;
        if (charBox.width() > 0 || charBox.x() != 0) {
            g.x = charBox.x();
            g.width = charBox.width();
        } else {
            g.x = box.x() + wordWidth * static_cast<double>(i);
            g.width = wordWidth;
        }
        glyphs.push_back(g);
    }
}

} // namespace

PdfPages::PdfPages() = default;
PdfPages::PdfPages(PdfPages&&) noexcept = default;
PdfPages::~PdfPages() = default;

void QuietLibrary() {
    poppler::set_debug_error_function(&Discard, nullptr);
}

PdfPages PdfPages::FromFile(const std::string& file) {
    PdfPages pages;
    pages.document_.reset(poppler::document::load_from_file(file));
    if (std::FILE* in = std::fopen(file.c_str(), "rb")) {
        char tail[kTail];
        std::fseek(in, 0, SEEK_END);
        const long size = std::ftell(in);
        std::fseek(in, size > static_cast<long>(kTail) ? size - static_cast<long>(kTail) : 0,
                   SEEK_SET);
        pages.complete_ = EndsWithMarker({tail, std::fread(tail, 1, kTail, in)});
        std::fclose(in);
    }
    if (pages.document_)
        pages.state_ = pages.document_->is_locked() ? State::Locked : State::Opened;
    return pages;
}

PdfPages PdfPages::FromData(std::span<const char> data) {
    PdfPages pages;
    if (data.size() > static_cast<size_t>(INT32_MAX)) return pages;
    pages.document_.reset(
        poppler::document::load_from_raw_data(data.data(), static_cast<int>(data.size())));
    pages.complete_ = EndsWithMarker(
        {data.data() + data.size() - std::min(data.size(), kTail), std::min(data.size(), kTail)});
    if (pages.document_)
        pages.state_ = pages.document_->is_locked() ? State::Locked : State::Opened;
    return pages;
}

int PdfPages::Count() const {
    return state_ == State::Opened ? document_->pages() : 0;
}

void PdfPages::Collect(int index, std::vector<Glyph>& glyphs) const {
    glyphs.clear();
    const std::unique_ptr<poppler::page> page(document_->create_page(index));
    if (!page) return;
    std::u32string characters;
    for (const poppler::text_box& word : page->text_list()) {
        // Turned text (a stamp across the page) is no line of the report.
        if (word.rotation() != 0 || word.get_wmode() == poppler::text_box::vertical_wmode) continue;
        AddWord(word, characters, glyphs);
    }
}

int WritePdfText(const PdfPages& pages, const std::function<bool(std::string_view)>& write) {
    if (pages.Opened() == PdfPages::State::Locked) return kPdfTextLocked;
    if (pages.Opened() != PdfPages::State::Opened) return kPdfTextUnreadable;
    const int count = pages.Count();
    std::vector<Glyph> glyphs;
    // The first pass keeps only the leftmost position.
    double leftmost = kNoPosition;
    for (int p = 0; p < count; ++p) {
        pages.Collect(p, glyphs);
        leftmost = std::min(leftmost, LeftmostPosition(glyphs));
    }
    // A file cut short that shows no text is damaged, not a scan.
    if (!std::isfinite(leftmost)) return pages.Complete() ? kPdfTextNoText : kPdfTextUnreadable;
    DocumentJudgement judgement;
    std::string text;
    for (int p = 0; p < count; ++p) {
        pages.Collect(p, glyphs);
        text.clear();
        judgement.Add(EmitPage(glyphs, leftmost, p == 0, text));
        if (!write(text)) return kPdfTextWriteFailed;
    }
    int status = judgement.FixedPitch() ? 0 : kPdfTextProportional;
    if (!pages.Complete()) status |= kPdfTextRepaired;
    return status;
}

} // namespace vok
