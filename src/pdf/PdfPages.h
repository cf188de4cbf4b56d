// A PDF's pages as glyph boxes, read with poppler's C++ interface. Only the
// PDF reader process (vok-pdf-text), its tests and its fuzz harness link it:
// the program itself never loads the library (see PdfReport).
#pragma once

#include "pdf/PdfGrid.h"

#include <atomic>
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
    static PdfPages FromData(std::span<const char> data);
    PdfPages(PdfPages&&) noexcept;
    ~PdfPages();

    State Opened() const { return state_; }
    int Count() const;
    // The glyphs the page draws upright, in no particular order, into `glyphs`.
    void Collect(int page, std::vector<Glyph>& glyphs) const;

private:
    PdfPages();
    std::unique_ptr<poppler::document> document_;
    State state_ = State::Unreadable;
};

// Turns poppler's complaints into a count in `counter` (which must outlive
// every PDF opened after), and keeps them off stderr: a damaged file is told
// in vok's own words. Call before opening.
void CountLibraryComplaints(std::atomic<int64_t>& counter);

// Rebuilds the text of an opened PDF into `write`, a page at a time, in two
// passes: the first finds the document's leftmost character position, the
// second places every page's glyphs. Returns the reader's exit status
// (PdfTextOutcome.h); `complaints`, the library's count, tells a repaired file.
int WritePdfText(const PdfPages& pages, const std::function<bool(std::string_view)>& write,
                 const std::atomic<int64_t>& complaints);

} // namespace vok
