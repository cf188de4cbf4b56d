// A PDF's pages as glyph boxes, read with poppler's C++ interface. Only the
// PDF reader process (vok-pdf-text), its tests and its fuzz harness link it:
// the program itself never loads the library (see PdfReport).
#pragma once

#include "pdf/grid/PdfGrid.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace poppler {
class document;
}

namespace vok {

class PdfPages {
public:
    enum class State { Opened, Unreadable, Locked };

    static PdfPages FromFile(const std::string& file);
    // For the fuzz target, which hands over bytes without a file.
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
    std::unique_ptr<poppler::document> document_;
    State state_ = State::Unreadable;
    bool complete_ = false;
};

// Keeps poppler's own complaints off stderr: a damaged file is told in vok's
// own words. Call before opening.
void QuietLibrary();

// Rebuilds the text of an opened PDF into `write`, a page at a time, in two
// passes: the first finds the document's leftmost character position, the
// second places every page's glyphs. Returns the reader's exit status
// (PdfTextOutcome.h).
int WritePdfText(const PdfPages& pages, const std::function<bool(std::string_view)>& write);

} // namespace vok
