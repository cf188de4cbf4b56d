// Renaming sheets inside formulas: references such as Sales!A1, 'My Sheet'!B2
// or 'First:Last'!C3 that name a renamed sheet are made to name it by its new
// name, as a spreadsheet does when a sheet is renamed. String literals,
// external references and structured references are left as they are.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vok {

class XlsxSheetRenamer {
public:
    // Pairs of (old name, new name); old names match ignoring ASCII case.
    explicit XlsxSheetRenamer(std::vector<std::pair<std::string, std::string>> renames)
        : renames_(std::move(renames)) {}

    // True (and `out` set) when the formula named a renamed sheet.
    bool RenameInFormula(std::string_view formula, std::string& out) const;

    // Rewrites the formulas of a part: the text of f, formula, formula1,
    // formula2, definedName and calculatedColumnFormula elements, a
    // hyperlink's location and a pivot source's sheet. False when nothing changed (or, with
    // `error`, when the part is no XML).
    bool RenameInPart(std::string_view xml, std::string& out, std::string& error) const;

    // The new name of a renamed sheet; null for others.
    const std::string* NewNameFor(std::string_view oldName) const;

private:
    bool MayMention(std::string_view xml) const;
    void AppendReference(std::string& out, std::string_view sheets) const;
    // Whether "Sheet" or "First:Last" names a renamed sheet.
    bool NamesRenamed(std::string_view sheets) const;
    // Copy or rename the reference starting at f[i] (quoted, or a run of name
    // characters); each gives the position after it.
    size_t RenameQuoted(std::string_view f, size_t i, std::string& out, bool& changed) const;
    size_t RenameUnquoted(std::string_view f, size_t i, std::string& out, bool& changed) const;

    std::vector<std::pair<std::string, std::string>> renames_;
};

} // namespace vok
