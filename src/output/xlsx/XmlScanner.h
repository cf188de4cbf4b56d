// A forward scan of a whole XML document through expat, reporting every tag
// with its byte range so that a caller can copy the parts it leaves alone
// verbatim and splice in what it changes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vok {

struct XmlTag {
    std::string_view name;     // qualified name as written ("x:row")
    std::string_view local;    // without its prefix ("row")
    const char** attributes;   // name/value pairs, values unescaped; null on an end tag
    size_t begin = 0, end = 0; // byte range of the tag; empty for the end of "<a/>"
    const char* Attribute(std::string_view qualifiedName) const;
    // An attribute matched by local name under any prefix ("r:id" for "id").
    const char* PrefixedAttribute(std::string_view localName) const;
};

class XmlScanner {
public:
    class Handler {
    public:
        virtual ~Handler() = default;
        virtual void StartElement(const XmlTag& /*tag*/) {}
        virtual void EndElement(const XmlTag& /*tag*/) {}
        virtual void Characters(std::string_view /*text*/) {}
    };

    // Scans `xml`; false, with the reason, when it is not well-formed. A
    // document type declaration is refused: the formats never use one.
    static bool Scan(std::string_view xml, Handler& handler, std::string& error);
};

} // namespace vok
