#include "output/xlsx/XmlScanner.h"

#include <cstring>
#include <expat.h>
#include <fmt/format.h>
#include <memory>

namespace vok {

namespace {

struct ParserDeleter {
    void operator()(XML_ParserStruct* p) const { XML_ParserFree(p); }
};
using ParserHandle = std::unique_ptr<XML_ParserStruct, ParserDeleter>;

struct ScanState {
    XML_Parser parser;
    XmlScanner::Handler& handler;
    bool sawDoctype = false;
};

XmlTag MakeTag(XML_Parser parser, const char* name, const char** attributes) {
    XmlTag tag;
    tag.name = name;
    size_t colon = tag.name.find(':');
    tag.local = colon == std::string_view::npos ? tag.name : tag.name.substr(colon + 1);
    tag.attributes = attributes;
    tag.begin = static_cast<size_t>(XML_GetCurrentByteIndex(parser));
    tag.end = tag.begin + static_cast<size_t>(XML_GetCurrentByteCount(parser));
    return tag;
}

void OnStart(void* data, const char* name, const char** attributes) {
    auto* state = static_cast<ScanState*>(data);
    state->handler.StartElement(MakeTag(state->parser, name, attributes));
}

void OnEnd(void* data, const char* name) {
    auto* state = static_cast<ScanState*>(data);
    state->handler.EndElement(MakeTag(state->parser, name, nullptr));
}

void OnCharacters(void* data, const char* text, int length) {
    auto* state = static_cast<ScanState*>(data);
    state->handler.Characters(std::string_view(text, static_cast<size_t>(length)));
}

void OnDoctype(void* data, const char*, const char*, const char*, int) {
    auto* state = static_cast<ScanState*>(data);
    state->sawDoctype = true;
    XML_StopParser(state->parser, XML_FALSE);
}

} // namespace

const char* XmlTag::Attribute(std::string_view qualifiedName) const {
    if (!attributes) return nullptr;
    for (const char** a = attributes; *a; a += 2) {
        if (qualifiedName == *a) return a[1];
    }
    return nullptr;
}

const char* XmlTag::PrefixedAttribute(std::string_view localName) const {
    if (!attributes) return nullptr;
    for (const char** a = attributes; *a; a += 2) {
        const std::string_view qualified = *a;
        const size_t colon = qualified.find(':');
        if (colon != std::string_view::npos && qualified.substr(colon + 1) == localName)
            return a[1];
    }
    return nullptr;
}

bool XmlScanner::Scan(std::string_view xml, Handler& handler, std::string& error) {
    ParserHandle parser(XML_ParserCreate("UTF-8"));
    if (!parser) {
        error = "out of memory";
        return false;
    }
    ScanState state{parser.get(), handler};
    XML_SetUserData(parser.get(), &state);
    XML_SetElementHandler(parser.get(), OnStart, OnEnd);
    XML_SetCharacterDataHandler(parser.get(), OnCharacters);
    XML_SetStartDoctypeDeclHandler(parser.get(), OnDoctype);

    // expat takes an int length: feed large documents in pieces.
    constexpr size_t kPiece = size_t{1} << 30;
    size_t done = 0;
    do {
        size_t piece = std::min(kPiece, xml.size() - done);
        bool last = done + piece == xml.size();
        if (XML_Parse(parser.get(), xml.data() + done, static_cast<int>(piece), last) !=
            XML_STATUS_OK) {
            if (state.sawDoctype) {
                error = "it holds a document type declaration";
            } else {
                error =
                    fmt::format("{} at line {}", XML_ErrorString(XML_GetErrorCode(parser.get())),
                                XML_GetCurrentLineNumber(parser.get()));
            }
            return false;
        }
        done += piece;
    } while (done < xml.size());
    return true;
}

} // namespace vok
