// A PDF's pages as glyph boxes, read with poppler's core library (its text
// output device, without the copies and conversions of its C++ wrapper).
// Only the PDF reader process (vok-pdf-text), its tests and its fuzz harness
// link it: the program itself never loads the library (see PdfReport).
#pragma once

#include "pdf/grid/PdfGrid.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class GlobalParamsIniter;
class PDFDoc;

namespace vok {

class PdfPages {
public:
    enum class State { Opened, Unreadable, Locked };

    static PdfPages FromFile(const std::string& file);
    // For the fuzz target, which hands over bytes without a file; `data`
    // must outlive the pages.
    static PdfPages FromData(std::span<const char> data);
    PdfPages(PdfPages&&) noexcept;
    ~PdfPages();

    State Opened() const { return state_; }
    // False for a file cut short (no end-of-file marker near its end), which
    // the library reads as far as it can.
    bool Complete() const { return complete_; }
    int Count() const;
    // The glyphs the page draws upright, in no particular order, into `glyphs`.
    void Collect(int page, std::vector<Glyph>& glyphs) const;

private:
    PdfPages();
    // The library's settings live while a document does; its complaints are
    // kept off stderr (a damaged file is told in vok's own words).
    std::unique_ptr<GlobalParamsIniter> library_;
    std::unique_ptr<PDFDoc> document_;
    State state_ = State::Unreadable;
    bool complete_ = false;
};

// Where the rebuilt text goes: `write` takes the next piece of it; `restart`,
// where the destination allows it, takes back everything written so far
// (false when it could not).
struct PdfTextSink {
    std::function<bool(std::string_view)> write;
    std::function<bool()> restart;
};

// Rebuilds the text of an opened PDF into `sink`, a page at a time, and
// returns the reader's exit status (PdfTextOutcome.h). Each page is placed
// against the leftmost character position of the pages read so far: in a
// report that is the document's, so one pass over the pages does. Should a
// later page reach further left, the text is taken back and every page placed
// again. A sink that cannot take text back gets two passes: the first finds
// the document's leftmost position, the second places the pages.
int WritePdfText(const PdfPages& pages, const PdfTextSink& sink);

} // namespace vok
