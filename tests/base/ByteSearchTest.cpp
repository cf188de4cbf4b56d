// The byte searches against the plain search of std::string_view, on texts
// of every length around the sixteen-byte blocks and needles at every place.
#include "base/ByteSearch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vok {
namespace {

uint64_t Plain(std::string_view text, const std::vector<std::string>& needles) {
    uint64_t found = 0;
    for (size_t k = 0; k < needles.size(); ++k)
        if (text.find(needles[k]) != std::string_view::npos) found |= uint64_t{1} << k;
    return found;
}

TEST(ByteSearch, NeedlesFoundAtOnceAsOneByOne) {
    const std::vector<std::string> needles = {"SUB-TOTAL", "DEPT", "x", "AB", "ABA", "TOTAL"};
    const ByteNeedles set(needles);
    const std::vector<std::string> pieces = {"SUB-TOTAL", "DEPT", "x", "AB", "ABA", "TOTAL",
                                             "SUB-TOTA", "DEP", "A"};
    // Every piece at every place of texts from 0 to 40 bytes (blocks end,
    // overlap and do not fit), the bytes after the text not to be read.
    for (size_t length = 0; length <= 40; ++length) {
        for (const std::string& piece : pieces) {
            for (size_t at = 0; at + piece.size() <= length; ++at) {
                std::string text(length, '.');
                text.replace(at, piece.size(), piece);
                const std::string exact = text; // no slack after it
                EXPECT_EQ(set.Occurring(exact.data(), exact.size()), Plain(exact, needles))
                    << "'" << exact << "'";
                EXPECT_EQ(FindBytes(exact.data(), exact.size(), piece), exact.find(piece));
            }
        }
        const std::string empty(length, ' ');
        EXPECT_EQ(set.Occurring(empty.data(), empty.size()), 0u);
    }
    // Texts cut just before a needle's last byte hold none of it.
    const std::string cut = std::string(30, '.') + "SUB-TOTA";
    EXPECT_EQ(set.Occurring(cut.data(), cut.size()), Plain(cut, needles));
    EXPECT_EQ(ByteNeedles({}).Occurring(cut.data(), cut.size()), 0u);
}

// Bytes beyond ASCII and tabs, found wherever they lie among the blocks the
// search reads at once.
TEST(ByteSearch, AnyOfThreeBytesFindsTheFirst) {
    // The sought bytes at every place of texts around the blocks, one alone
    // and two at once (the later one must not win), and none at all.
    for (size_t length = 0; length <= 40; ++length) {
        const std::string none(length, 'P');
        EXPECT_EQ(FindAnyOf(none.data(), none.size(), '<', '>', '>'), length);
        for (size_t at = 0; at < length; ++at) {
            std::string text(length, 'P');
            text[at] = '>';
            EXPECT_EQ(FindAnyOf(text.data(), text.size(), '<', '>', '\xe9'), at) << text;
            if (at + 3 < length) text[at + 3] = '<';
            EXPECT_EQ(FindAnyOf(text.data(), text.size(), '<', '<', '>'), at) << text;
            text[at] = '\xe9';
            EXPECT_EQ(FindAnyOf(text.data(), text.size(), 'T', 'T', '\xe9'), at) << text;
        }
    }
}

TEST(ByteSearch, FirstNonPlainFindsHighBytesAndTabs) {
    for (const size_t length : {0, 1, 15, 16, 63, 64, 65, 200}) {
        const std::string plain(length, 'a');
        EXPECT_EQ(FirstNonPlain(plain.data(), plain.size()), length);
        for (size_t at = 0; at < length; at += 7) {
            for (const char odd : {'\t', '\x80', '\xFF'}) {
                std::string text = plain;
                text[at] = odd;
                if (at + 3 < length) text[at + 3] = '\t';
                EXPECT_EQ(FirstNonPlain(text.data(), text.size()), at) << length << " " << at;
            }
        }
    }
}

} // namespace
} // namespace vok
