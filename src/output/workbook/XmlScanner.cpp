#include "output/workbook/XmlScanner.h"

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
    int depth = 0; // of the element open innermost
};

XmlTag MakeTag(const ScanState& state, const char* name, const char** attributes) {
    XmlTag tag;
    tag.name = name;
    size_t colon = tag.name.find(':');
    tag.local = colon == std::string_view::npos ? tag.name : tag.name.substr(colon + 1);
    tag.attributes = attributes;
    tag.begin = static_cast<size_t>(XML_GetCurrentByteIndex(state.parser));
    tag.end = tag.begin + static_cast<size_t>(XML_GetCurrentByteCount(state.parser));
    tag.depth = state.depth;
    return tag;
}

void OnStart(void* data, const char* name, const char** attributes) {
    auto* state = static_cast<ScanState*>(data);
    ++state->depth;
    state->handler.StartElement(MakeTag(*state, name, attributes));
}

void OnEnd(void* data, const char* name) {
    auto* state = static_cast<ScanState*>(data);
    state->handler.EndElement(MakeTag(*state, name, nullptr));
    --state->depth;
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

namespace {

// A parser set up to report to `state`; null when memory ran out.
ParserHandle MakeParser(const char* encoding, ScanState& state) {
    ParserHandle parser(XML_ParserCreate(encoding));
    if (!parser) return parser;
    state.parser = parser.get();
    XML_SetUserData(parser.get(), &state);
    XML_SetElementHandler(parser.get(), OnStart, OnEnd);
    XML_SetCharacterDataHandler(parser.get(), OnCharacters);
    XML_SetStartDoctypeDeclHandler(parser.get(), OnDoctype);
    return parser;
}

bool Feed(const ScanState& state, std::string_view bytes, bool last, std::string& error) {
    if (XML_Parse(state.parser, bytes.data(), static_cast<int>(bytes.size()), last) ==
        XML_STATUS_OK)
        return true;
    if (state.sawDoctype) {
        error = "it holds a document type declaration";
    } else {
        error = fmt::format("{} at line {}", XML_ErrorString(XML_GetErrorCode(state.parser)),
                            XML_GetCurrentLineNumber(state.parser));
    }
    return false;
}

} // namespace

bool XmlScanner::Scan(std::string_view xml, Handler& handler, std::string& error) {
    ScanState state{nullptr, handler};
    ParserHandle parser = MakeParser("UTF-8", state);
    if (!parser) {
        error = "out of memory";
        return false;
    }
    // In pieces: the parser copies what it is given into a buffer of its
    // own, which would otherwise hold a second copy of a large document (and
    // its lengths are ints). Positions count from the document's start all
    // the same.
    constexpr size_t kPiece = size_t{1} << 20;
    size_t done = 0;
    do {
        size_t piece = std::min(kPiece, xml.size() - done);
        if (!Feed(state, xml.substr(done, piece), done + piece == xml.size(), error)) return false;
        done += piece;
    } while (done < xml.size());
    return true;
}

bool XmlScanner::ScanBlocks(const BlockReader& read, const char* encoding, Handler& handler,
                            std::string& error) {
    ScanState state{nullptr, handler};
    ParserHandle parser = MakeParser(encoding, state);
    if (!parser) {
        error = "out of memory";
        return false;
    }
    bool fed = true;
    const bool complete = read([&](std::string_view block) {
        fed = Feed(state, block, false, error);
        return fed && !handler.Done();
    });
    if (!fed || !complete) return false;
    return handler.Done() || Feed(state, {}, true, error);
}

} // namespace vok
