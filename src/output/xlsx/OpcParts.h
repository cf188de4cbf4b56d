// The packaging layer of Office Open XML: relationship parts, the content
// types part and part names. Each item keeps its byte range, so that an entry
// can be dropped from the part without touching the rest.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vok {

struct OpcRelationship {
    std::string id;
    std::string type;
    std::string target; // the part it points at, resolved from the package root
    bool external = false;
    size_t begin = 0, end = 0;
    // True when the type ends in "/" + kind ("worksheet", "styles", ...): the
    // transitional and the strict namespaces share the last segment.
    bool Is(std::string_view kind) const;
};

struct OpcOverride {
    std::string partName; // without its leading "/"
    std::string contentType;
    size_t begin = 0, end = 0;
    size_t tagEnd = 0; // of its start tag
};

// "xl/workbook.xml" -> "xl/_rels/workbook.xml.rels"; "" (the package) -> "_rels/.rels".
std::string RelationshipsPartOf(std::string_view part);

// Resolves a relationship target against the part that holds the relationship.
std::string ResolvePartName(std::string_view sourcePart, std::string_view target);

bool ParseRelationships(std::string_view xml, std::string_view sourcePart,
                        std::vector<OpcRelationship>& relationships, std::string& error);
bool ParseContentTypeOverrides(std::string_view xml, std::vector<OpcOverride>& overrides,
                               std::string& error);

} // namespace vok
