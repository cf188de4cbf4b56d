// The forward scan reports each tag with its byte range in the document and
// the text between tags, wherever the document is cut to be fed to the parser.
#include "output/workbook/XmlScanner.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace vok {
namespace {

class Recorder : public XmlScanner::Handler {
public:
    std::vector<std::string> tags; // the bytes each tag's range covers
    std::vector<int> depths;       // each tag's element's depth
    std::string text;              // the text of the <v> elements, one per line

    void StartElement(const XmlTag& tag) override {
        Record(tag);
        inValue_ = tag.local == "v";
    }
    void EndElement(const XmlTag& tag) override {
        Record(tag);
        if (tag.local == "v") text += '\n';
        inValue_ = false;
    }
    void Characters(std::string_view chars) override {
        if (inValue_) text.append(chars);
    }
    std::string_view xml;

private:
    void Record(const XmlTag& tag) {
        tags.emplace_back(xml.substr(tag.begin, tag.end - tag.begin));
        depths.push_back(tag.depth);
    }
    bool inValue_ = false;
};

// A sheet of several megabytes: tags and values straddle every place the
// document may be cut, and each tag's range still covers its own bytes. An
// element's start and end tell the same depth, the root's being 1.
TEST(XmlScannerTest, TagRangesAndTextsHoldAcrossALargeDocument) {
    std::string xml = R"(<?xml version="1.0" encoding="UTF-8"?><x:sheetData xmlns:x="urn:s">)";
    std::vector<std::string> expectedTags = {R"(<x:sheetData xmlns:x="urn:s">)"};
    std::vector<int> expectedDepths = {1};
    std::string expectedText;
    for (int row = 1; xml.size() < (size_t{5} << 20); ++row) {
        // Rows of varying length, so that cuts fall inside tags and values alike.
        const std::string start = "<x:row r=\"" + std::to_string(row) + "\" spans=\"1:" +
                                  std::string(static_cast<size_t>(row % 17), '9') + "\">";
        const std::string value = "value &amp; " + std::to_string(row * 7919) +
                                  std::string(static_cast<size_t>(row % 29), 'z');
        xml += start + "<x:v>" + value + "</x:v></x:row>";
        expectedTags.insert(expectedTags.end(), {start, "<x:v>", "</x:v>", "</x:row>"});
        expectedDepths.insert(expectedDepths.end(), {2, 3, 3, 2});
        expectedText += "value & " + std::to_string(row * 7919) +
                        std::string(static_cast<size_t>(row % 29), 'z') + "\n";
    }
    xml += "</x:sheetData>";
    expectedTags.emplace_back("</x:sheetData>");
    expectedDepths.push_back(1);

    Recorder recorder;
    recorder.xml = xml;
    std::string error;
    ASSERT_TRUE(XmlScanner::Scan(xml, recorder, error)) << error;
    EXPECT_EQ(recorder.tags, expectedTags);
    EXPECT_EQ(recorder.depths, expectedDepths);
    EXPECT_EQ(recorder.text, expectedText);

    // A fault far into the document is found and placed on its line.
    std::string broken = xml;
    broken.insert(broken.size() - 100, "\n\n<unclosed");
    Recorder ignored;
    ignored.xml = broken;
    EXPECT_FALSE(XmlScanner::Scan(broken, ignored, error));
    EXPECT_NE(error.find("at line 3"), std::string::npos) << error;
}

} // namespace
} // namespace vok
