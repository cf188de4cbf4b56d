// The PDF reader: the input is a PDF (it begins with "%PDF-") read with the
// PDF library and rebuilt into text page by page, or else a list of glyph
// boxes placed on the character grid directly, so that the grid's own steps
// meet positions no library would hand over (huge, negative, not a number).
// The rebuilt text must hold no line end inside a line: only LF ends lines.
#include "fuzz/FuzzSupport.h"
#include "pdf/grid/PdfGrid.h"
#include "pdf/grid/PdfTextOutcome.h"
#include "pdf/reader/PdfPages.h"

#include <cstdlib>
#include <cstring>

using namespace vok;

namespace {

// Glyphs of 4 + 4 + 4 + 1 bytes: x, width, baseline (floats) and a character.
std::vector<Glyph> GlyphsOf(const uint8_t* data, size_t size) {
    std::vector<Glyph> glyphs;
    for (size_t at = 0; at + 13 <= size; at += 13) {
        float x, width, baseline;
        std::memcpy(&x, data + at, 4);
        std::memcpy(&width, data + at + 4, 4);
        std::memcpy(&baseline, data + at + 8, 4);
        glyphs.push_back({x, width, baseline, static_cast<char32_t>(data[at + 12]) * 37});
    }
    return glyphs;
}

void CheckText(std::string_view text) {
    if (text.find('\r') != std::string_view::npos) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes = fuzz::Text(data, size);
    if (bytes.substr(0, 5) == "%PDF-") {
        const PdfPages pages = PdfPages::FromData({bytes.data(), bytes.size()});
        size_t written = 0;
        PdfTextSink sink;
        sink.write = [&written](std::string_view text) {
            CheckText(text);
            written += text.size();
            return written < (64u << 20);
        };
        // Every other input takes the two passes of a sink that cannot restart.
        if (size % 2 == 0) {
            sink.restart = [&written] {
                written = 0;
                return true;
            };
        }
        const int status = WritePdfText(pages, sink);
        if (status < 0 || status > kPdfTextUsage) std::abort();
        return 0;
    }
    std::vector<Glyph> glyphs = GlyphsOf(data, size);
    const double leftmost = LeftmostPosition(glyphs);
    std::string out;
    EmitPage(glyphs, leftmost, size % 2 == 0, out);
    CheckText(out);
    if (!out.empty() && out.back() != '\n') std::abort();
    return 0;
}
