#include "output/xlsx/OpcParts.h"

#include "output/workbook/XmlScanner.h"

namespace vok {

namespace {

class RelationshipsHandler : public XmlScanner::Handler {
public:
    RelationshipsHandler(std::string_view source, std::vector<OpcRelationship>& out)
        : source_(source), out_(out) {}
    // Only the root's children are its relationships: one inside another is
    // content, or dropping it would cut the part in the wrong place.
    void StartElement(const XmlTag& tag) override {
        if (tag.depth != 2 || tag.local != "Relationship") return;
        OpcRelationship& r = out_.emplace_back();
        const char* id = tag.Attribute("Id");
        const char* type = tag.Attribute("Type");
        const char* target = tag.Attribute("Target");
        const char* mode = tag.Attribute("TargetMode");
        r.id = id ? id : "";
        r.type = type ? type : "";
        r.external = mode && std::string_view(mode) == "External";
        r.target = r.external || !target ? std::string(target ? target : "")
                                         : ResolvePartName(source_, target);
        r.begin = tag.begin;
    }
    void EndElement(const XmlTag& tag) override {
        if (tag.depth == 2 && tag.local == "Relationship") out_.back().end = tag.end;
    }

private:
    std::string_view source_;
    std::vector<OpcRelationship>& out_;
};

class OverridesHandler : public XmlScanner::Handler {
public:
    explicit OverridesHandler(std::vector<OpcOverride>& out) : out_(out) {}
    // As with relationships, only the root's children count.
    void StartElement(const XmlTag& tag) override {
        if (tag.depth != 2 || tag.local != "Override") return;
        const char* name = tag.Attribute("PartName");
        const char* type = tag.Attribute("ContentType");
        std::string_view part = name ? name : "";
        if (!part.empty() && part.front() == '/') part.remove_prefix(1);
        out_.push_back({std::string(part), type ? type : "", tag.begin, tag.begin, tag.end});
    }
    void EndElement(const XmlTag& tag) override {
        if (tag.depth == 2 && tag.local == "Override") out_.back().end = tag.end;
    }

private:
    std::vector<OpcOverride>& out_;
};

} // namespace

bool OpcRelationship::Is(std::string_view kind) const {
    return type.size() > kind.size() &&
           type.compare(type.size() - kind.size(), kind.size(), kind) == 0 &&
           type[type.size() - kind.size() - 1] == '/';
}

std::string RelationshipsPartOf(std::string_view part) {
    size_t slash = part.rfind('/');
    std::string_view folder = slash == std::string_view::npos ? "" : part.substr(0, slash + 1);
    std::string_view file = slash == std::string_view::npos ? part : part.substr(slash + 1);
    return std::string(folder) + "_rels/" + std::string(file) + ".rels";
}

std::string ResolvePartName(std::string_view sourcePart, std::string_view target) {
    std::string path;
    if (!target.empty() && target.front() == '/') {
        path = std::string(target.substr(1));
    } else {
        size_t slash = sourcePart.rfind('/');
        path = (slash == std::string_view::npos ? std::string()
                                                : std::string(sourcePart.substr(0, slash + 1))) +
               std::string(target);
    }
    // Fold "." and ".." segments.
    std::vector<std::string> segments;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        if (slash == std::string::npos) slash = path.size();
        std::string segment = path.substr(start, slash - start);
        if (segment == "..") {
            if (!segments.empty()) segments.pop_back();
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(std::move(segment));
        }
        start = slash + 1;
    }
    std::string resolved;
    for (const std::string& s : segments) {
        if (!resolved.empty()) resolved += '/';
        resolved += s;
    }
    return resolved;
}

bool ParseRelationships(std::string_view xml, std::string_view sourcePart,
                        std::vector<OpcRelationship>& relationships, std::string& error) {
    relationships.clear();
    RelationshipsHandler handler(sourcePart, relationships);
    return XmlScanner::Scan(xml, handler, error);
}

bool ParseContentTypeOverrides(std::string_view xml, std::vector<OpcOverride>& overrides,
                               std::string& error) {
    overrides.clear();
    OverridesHandler handler(overrides);
    return XmlScanner::Scan(xml, handler, error);
}

} // namespace vok
