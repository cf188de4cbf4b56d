// The encodings of .xlsx parts: which are known, what reading makes of them,
// and that writing back gives the same bytes.
#include "output/xlsx/XmlEncoding.h"

#include <gtest/gtest.h>

namespace vok {
namespace {

using namespace std::string_literals;

PartEncoding Detected(std::string_view bytes) {
    PartEncoding encoding = PartEncoding::Utf8;
    std::string why;
    EXPECT_TRUE(DetectPartEncoding(bytes, encoding, why)) << why;
    return encoding;
}

std::string Refusal(std::string_view bytes) {
    PartEncoding encoding = PartEncoding::Utf8;
    std::string why;
    EXPECT_FALSE(DetectPartEncoding(bytes, encoding, why));
    return why;
}

std::string Utf16Le(std::u16string_view text) {
    std::string out;
    for (char16_t u : text) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    }
    return out;
}

TEST(XmlEncodingTest, TheMarkTheFirstBytesOrTheDeclarationDecide) {
    EXPECT_EQ(Detected("<?xml version=\"1.0\"?><a/>"), PartEncoding::Utf8);
    EXPECT_EQ(Detected("<a/>"), PartEncoding::Utf8);
    EXPECT_EQ(Detected("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-16\"?>"),
              PartEncoding::Utf8);
    EXPECT_EQ(Detected("\xFF\xFE<\0?\0"s), PartEncoding::Utf16Le);
    EXPECT_EQ(Detected("\xFE\xFF\0<\0?"s), PartEncoding::Utf16Be);
    EXPECT_EQ(Detected("<\0?\0"s), PartEncoding::Utf16Le);
    EXPECT_EQ(Detected("\0<\0?"s), PartEncoding::Utf16Be);
    EXPECT_EQ(Detected("<?xml version='1.0' encoding = 'iso-8859-1'?>"), PartEncoding::Latin1);
    EXPECT_EQ(Detected("<?xml version=\"1.0\" encoding=\"US-ASCII\"?>"), PartEncoding::Ascii);
    EXPECT_EQ(Refusal("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><a/>"),
              "is stored in the encoding Shift_JIS, which vok cannot write back");
    EXPECT_EQ(Refusal("<?xml version=\"1.0\" encoding=\"UTF-16\"?><a/>"),
              "declares the encoding UTF-16 but is not stored in it");
    EXPECT_EQ(Refusal("\xFF\xFE\0\0<\0\0\0"s), "is stored in UTF-32, which vok cannot write back");
}

TEST(XmlEncodingTest, ReadingAndWritingBackKeepEveryByte) {
    const std::u16string text =
        u"\uFEFF<?xml version=\"1.0\" encoding=\"UTF-16\"?><t>Gr\u00FC\u00DFe "
        u"\u20AC \U0001F600</t>";
    std::string bytes = Utf16Le(text);
    const std::string original = bytes;
    std::string why;
    ASSERT_TRUE(DecodePart(bytes, PartEncoding::Utf16Le, why)) << why;
    EXPECT_EQ(bytes, "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-16\"?><t>Gr\xC3\xBC\xC3\x9F"
                     "e \xE2\x82\xAC \xF0\x9F\x98\x80</t>");
    EXPECT_EQ(PartEncoder::Encode(bytes, PartEncoding::Utf16Le), original);
    // Block by block, a character split between two blocks comes out whole.
    PartEncoder encoder(PartEncoding::Utf16Le);
    std::string blocks;
    const size_t split = bytes.find("\xE2\x82\xAC") + 1;
    encoder.Append(blocks, std::string_view(bytes).substr(0, split));
    encoder.Append(blocks, std::string_view(bytes).substr(split, 2));
    encoder.Append(blocks, std::string_view(bytes).substr(split + 2));
    encoder.Finish(blocks);
    EXPECT_EQ(blocks, original);
    // Big-endian alike.
    std::string big = PartEncoder::Encode(bytes, PartEncoding::Utf16Be);
    EXPECT_EQ(big.substr(0, 4), "\xFE\xFF\0<"s);
    ASSERT_TRUE(DecodePart(big, PartEncoding::Utf16Be, why)) << why;
    EXPECT_EQ(big, bytes);
    // ISO-8859-1 keeps its bytes; what it cannot hold becomes a character reference.
    std::string latin = "<t>caf\xE9</t>";
    ASSERT_TRUE(DecodePart(latin, PartEncoding::Latin1, why));
    EXPECT_EQ(latin, "<t>caf\xC3\xA9</t>");
    EXPECT_EQ(PartEncoder::Encode(latin + "\xE2\x82\xAC", PartEncoding::Latin1),
              "<t>caf\xE9</t>&#8364;");
    EXPECT_EQ(PartEncoder::Encode("caf\xC3\xA9", PartEncoding::Ascii), "caf&#233;");
}

TEST(XmlEncodingTest, DamagedTextIsRefused) {
    std::string why;
    std::string odd = "<\0a"s;
    EXPECT_FALSE(DecodePart(odd, PartEncoding::Utf16Le, why));
    EXPECT_EQ(why, "its UTF-16 text ends in half a character");
    std::string lone = Utf16Le(u"<a>") + "\x00\xD8"s + Utf16Le(u"</a>");
    EXPECT_FALSE(DecodePart(lone, PartEncoding::Utf16Le, why));
    EXPECT_EQ(why, "its UTF-16 text holds an unpaired surrogate at byte 6");
    std::string ascii = "<a>\xE9</a>";
    EXPECT_FALSE(DecodePart(ascii, PartEncoding::Ascii, why));
}

} // namespace
} // namespace vok
