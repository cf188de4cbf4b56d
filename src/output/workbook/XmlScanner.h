// A forward scan of a whole XML document through expat, reporting every tag
// with its byte range so that a caller can copy the parts it leaves alone
// verbatim and splice in what it changes.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace vok {

struct XmlTag {
    std::string_view name;     // qualified name as written ("x:row")
    std::string_view local;    // without its prefix ("row")
    const char** attributes;   // name/value pairs, values unescaped; null on an end tag
    size_t begin = 0, end = 0; // byte range of the tag; empty for the end of "<a/>"
    int depth = 0;             // the element's, alike at its start and end: the root is 1
    const char* Attribute(std::string_view qualifiedName) const;
};

class XmlScanner {
public:
    class Handler {
    public:
        virtual ~Handler() = default;
        virtual void StartElement(const XmlTag& /*tag*/) {}
        virtual void EndElement(const XmlTag& /*tag*/) {}
        virtual void Characters(std::string_view /*text*/) {}
        // True once the handler needs nothing more: a scan of blocks stops.
        virtual bool Done() const { return false; }
    };

    // Scans `xml`; false, with the reason, when it is not well-formed. A
    // document type declaration is refused: the formats never use one.
    static bool Scan(std::string_view xml, Handler& handler, std::string& error);
    // Scans a document given a block at a time by `read`, which hands each
    // block to its argument and returns false once the blocks ran out (or
    // the handler is done). `encoding` is the name of the bytes' encoding
    // as expat knows it; tags' byte ranges count in that encoding.
    using BlockReader = std::function<bool(const std::function<bool(std::string_view)>&)>;
    static bool ScanBlocks(const BlockReader& read, const char* encoding, Handler& handler,
                           std::string& error);
};

} // namespace vok
