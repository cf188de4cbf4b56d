#include "pdf/reader/PdfPages.h"

#include "pdf/grid/PdfTextOutcome.h"

#include <ErrorCodes.h>
#include <GlobalParams.h>
#include <goo/GooString.h>
#include <PDFDoc.h>
#include <Stream.h>
#include <TextOutputDev.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

namespace vok {

namespace {

void Discard(ErrorCategory /*category*/, Goffset /*position*/, const char* /*message*/) {}

// A whole PDF ends with its end-of-file marker; writers may add a little after it.
bool EndsWithMarker(std::string_view tail) {
    return tail.find("%%EOF") != std::string_view::npos;
}

constexpr size_t kTail = 1024;

// One word's glyphs, each at its own box. Boxes are taken as origin and
// extent, as the library's C++ wrapper handed them to earlier versions, so
// that every position rounds as it did. A character without a box of its own
// (none wide, at 0) follows the word's first a pitch apart.
void AddWord(const TextWord& word, std::vector<Glyph>& glyphs) {
    const int length = word.getLength();
    if (length <= 0) return;
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    word.getBBox(&xMin, &yMin, &xMax, &yMax);
    const double boxX = xMin, boxWidth = xMax - xMin;
    const double baseline = yMin + (yMax - yMin);
    const double wordWidth = boxWidth / static_cast<double>(length);
    for (int i = 0; i < length; ++i) {
        word.getCharBBox(i, &xMin, &yMin, &xMax, &yMax);
        Glyph g;
        g.character = static_cast<char32_t>(*word.getChar(i));
        g.baseline = baseline;
        if (xMax - xMin > 0 || xMin != 0) {
            g.x = xMin;
            g.width = xMax - xMin;
        } else {
            g.x = boxX + wordWidth * static_cast<double>(i);
            g.width = wordWidth;
        }
        glyphs.push_back(g);
    }
}

// A word of the page with what finding its duplicates needs: the library's
// pool line (4 points of baseline) and its box.
struct PlacedWord {
    const TextWord* word;
    int line;
    double xMin, yMin, xMax, yMax;
};

bool SameText(const TextWord& a, const TextWord& b) {
    if (a.getLength() != b.getLength()) return false;
    for (int i = 0; i < a.getLength(); ++i)
        if (*a.getChar(i) != *b.getChar(i)) return false;
    return true;
}

// Whether `later` is `word` drawn again over it (bold by overprinting, a
// drop shadow): the same text within a tenth of the font size along the line
// and a fifth across it, the library's own measure.
bool DrawnAgain(const PlacedWord& word, const PlacedWord& later) {
    const double along = 0.1 * word.word->getFontSize();
    const double across = 0.2 * word.word->getFontSize();
    return std::fabs(word.xMin - later.xMin) < along && std::fabs(word.xMax - later.xMax) < along &&
           std::fabs(word.yMin - later.yMin) < across &&
           std::fabs(word.yMax - later.yMax) < across && SameText(*word.word, *later.word);
}

// The page's words less those drawn again over an earlier one, which the
// library's reading order leaves out too: taken line by line, left to
// right, each word drops the later ones that repeat it. Each search looks
// only at words near it; the words stay in the order they were drawn.
void DropDuplicates(std::vector<const TextWord*>& words) {
    constexpr double kPoolLine = 4;
    std::vector<PlacedWord> placed;
    placed.reserve(words.size());
    for (const TextWord* w : words) {
        PlacedWord& p = placed.emplace_back(PlacedWord{w, 0, 0, 0, 0, 0});
        p.line = static_cast<int>(w->getBaseline() / kPoolLine);
        w->getBBox(&p.xMin, &p.yMin, &p.xMax, &p.yMax);
    }
    std::vector<size_t> order(placed.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    const auto before = [&placed](size_t a, size_t b) {
        return placed[a].line != placed[b].line ? placed[a].line < placed[b].line
                                                : placed[a].xMin < placed[b].xMin;
    };
    std::stable_sort(order.begin(), order.end(), before);
    std::vector<bool> dropped(placed.size(), false);
    for (size_t i = 0; i < order.size(); ++i) {
        const PlacedWord& word = placed[order[i]];
        if (dropped[order[i]]) continue;
        const int lastLine = static_cast<int>(
            (word.word->getBaseline() + 0.2 * word.word->getFontSize()) / kPoolLine);
        // A little wider than the measure, which then decides exactly.
        const double reach = 0.1 * word.word->getFontSize() * 1.01 + 1e-9;
        for (size_t j = i + 1; j < order.size() && placed[order[j]].line <= lastLine; ++j) {
            const PlacedWord& later = placed[order[j]];
            if (later.line == word.line && later.xMin >= word.xMin + reach) {
                // The rest of this line lies further right: on to the next.
                while (j + 1 < order.size() && placed[order[j + 1]].line == word.line)
                    ++j;
                continue;
            }
            if (!dropped[order[j]] && DrawnAgain(word, later)) dropped[order[j]] = true;
        }
    }
    size_t kept = 0;
    for (size_t i = 0; i < words.size(); ++i)
        if (!dropped[i]) words[kept++] = words[i];
    words.resize(kept);
}

} // namespace

PdfPages::PdfPages() : library_(std::make_unique<GlobalParamsIniter>(&Discard)) {}
PdfPages::PdfPages(PdfPages&&) noexcept = default;
PdfPages::~PdfPages() = default; // the document goes before the library's settings

namespace {

// Opened, locked, or unreadable: a document that needs a password opens
// only so far as to say so.
PdfPages::State StateOf(const PDFDoc& document) {
    if (document.isOk()) return PdfPages::State::Opened;
    return document.getErrorCode() == errEncrypted ? PdfPages::State::Locked
                                                   : PdfPages::State::Unreadable;
}

} // namespace

PdfPages PdfPages::FromFile(const std::string& file) {
    PdfPages pages;
    pages.document_ = std::make_unique<PDFDoc>(std::make_unique<GooString>(file),
                                               GooString(""), GooString(""));
    if (std::FILE* in = std::fopen(file.c_str(), "rb")) {
        char tail[kTail];
        std::fseek(in, 0, SEEK_END);
        const long size = std::ftell(in);
        std::fseek(in, size > static_cast<long>(kTail) ? size - static_cast<long>(kTail) : 0,
                   SEEK_SET);
        pages.complete_ = EndsWithMarker({tail, std::fread(tail, 1, kTail, in)});
        std::fclose(in);
    }
    pages.state_ = StateOf(*pages.document_);
    return pages;
}

PdfPages PdfPages::FromData(std::span<const char> data) {
    PdfPages pages;
    if (data.size() > static_cast<size_t>(INT32_MAX)) return pages;
    // The document owns the stream, which only reads the bytes the caller keeps.
    auto stream = std::make_unique<MemStream>(data.data(), 0, static_cast<Goffset>(data.size()),
                                              Object(objNull));
    pages.document_ = std::make_unique<PDFDoc>(stream.release(), GooString(""), GooString(""));
    pages.complete_ = EndsWithMarker(
        {data.data() + data.size() - std::min(data.size(), kTail), std::min(data.size(), kTail)});
    pages.state_ = StateOf(*pages.document_);
    return pages;
}

int PdfPages::Count() const {
    return state_ == State::Opened ? document_->getNumPages() : 0;
}

void PdfPages::Collect(int index, std::vector<Glyph>& glyphs) const {
    glyphs.clear();
    if (!document_->getPage(index + 1)) return;
    // The words in the order drawn: the grid places them itself, so the
    // library's reading order (its columns and blocks) is not worked out.
    TextOutputDev device(nullptr, false, 0, true, false);
    document_->displayPageSlice(&device, index + 1, 72, 72, 0, false, false, false, -1, -1, -1,
                                -1, nullptr, nullptr, nullptr, nullptr, true);
    const std::unique_ptr<TextWordList> list = device.makeWordList();
    std::vector<const TextWord*> words;
    words.reserve(static_cast<size_t>(list->getLength()));
    for (int i = 0; i < list->getLength(); ++i) {
        // Turned text (a stamp across the page) is no line of the report.
        if (const TextWord* word = list->get(i); word->getRotation() == 0) words.push_back(word);
    }
    DropDuplicates(words);
    for (const TextWord* word : words)
        AddWord(*word, glyphs);
}

namespace {

// The least of `leftmost` and the leftmost positions of the pages from `first` on.
double LeftmostFrom(const PdfPages& pages, int first, double leftmost,
                    std::vector<Glyph>& glyphs) {
    for (int p = first; p < pages.Count(); ++p) {
        pages.Collect(p, glyphs);
        leftmost = std::min(leftmost, LeftmostPosition(glyphs));
    }
    return leftmost;
}

enum class Placing { Done, WriteFailed, FurtherLeft };

// Places every page against `leftmost`. Unless it is `settled`, `leftmost`
// is the least of the pages so far, and a page reaching further left than
// pages already placed with text stops the placing at `page`.
Placing PlacePages(const PdfPages& pages, const PdfTextSink& sink, bool settled,
                   double& leftmost, int& page, DocumentJudgement& judgement) {
    std::vector<Glyph> glyphs;
    std::string text;
    for (page = 0; page < pages.Count(); ++page) {
        pages.Collect(page, glyphs);
        if (!settled) {
            const double left = LeftmostPosition(glyphs);
            const bool placedBefore = std::isfinite(leftmost);
            if (left < leftmost && placedBefore) {
                leftmost = left;
                return Placing::FurtherLeft;
            }
            leftmost = std::min(leftmost, left);
        }
        text.clear();
        judgement.Add(EmitPage(glyphs, leftmost, page == 0, text));
        if (!sink.write(text)) return Placing::WriteFailed;
    }
    return Placing::Done;
}

} // namespace

int WritePdfText(const PdfPages& pages, const PdfTextSink& sink) {
    if (pages.Opened() == PdfPages::State::Locked) return kPdfTextLocked;
    if (pages.Opened() != PdfPages::State::Opened) return kPdfTextUnreadable;
    // A file cut short that shows no text is damaged, not a scan.
    const int noText = pages.Complete() ? kPdfTextNoText : kPdfTextUnreadable;
    std::vector<Glyph> glyphs;
    double leftmost = kNoPosition;
    const bool twoPasses = !sink.restart;
    if (twoPasses) {
        leftmost = LeftmostFrom(pages, 0, kNoPosition, glyphs);
        if (!std::isfinite(leftmost)) return noText;
    }
    DocumentJudgement judgement;
    int page = 0;
    Placing placing = PlacePages(pages, sink, twoPasses, leftmost, page, judgement);
    if (placing == Placing::FurtherLeft) {
        leftmost = LeftmostFrom(pages, page + 1, leftmost, glyphs);
        if (!sink.restart()) return kPdfTextWriteFailed;
        judgement = {};
        placing = PlacePages(pages, sink, true, leftmost, page, judgement);
    }
    if (placing == Placing::WriteFailed) return kPdfTextWriteFailed;
    // The page breaks of a document without text are taken back.
    if (!std::isfinite(leftmost)) return sink.restart() ? noText : kPdfTextWriteFailed;
    int status = judgement.FixedPitch() ? 0 : kPdfTextProportional;
    if (!pages.Complete()) status |= kPdfTextRepaired;
    return status;
}

} // namespace vok
