#include "output/xlsx/XlsxPackage.h"

#include "base/AtomicFile.h"
#include "base/TextEncoding.h"
#include "output/workbook/SheetData.h"
#include "output/workbook/XmlText.h"
#include "output/xlsx/OpcParts.h"
#include "output/xlsx/XlsxNewSheets.h"
#include "output/xlsx/XlsxSharedStrings.h"
#include "output/xlsx/XlsxSheetPatcher.h"
#include "output/xlsx/XlsxSheetReader.h"
#include "output/xlsx/XlsxSheetRenamer.h"
#include "output/workbook/XlsxStyles.h"
#include "output/xlsx/XlsxWorkbookPart.h"
#include "output/xlsx/XmlEncoding.h"
#include "output/xlsx/ZipPackage.h"

#include <algorithm>
#include <filesystem>
#include <fmt/format.h>
#include <functional>
#include <map>
#include <memory>
#include <set>

namespace vok {

namespace {

constexpr std::string_view kContentTypesPart = "[Content_Types].xml";
constexpr std::string_view kMacroEnabledWorkbookType =
    "application/vnd.ms-excel.sheet.macroEnabled.main+xml";

bool Failed(std::string& error, std::string_view part, const std::string& why) {
    error = fmt::format("its part {} is damaged ({})", part, why);
    return false;
}

} // namespace

XlsxPackage::XlsxPackage(OnlyOpen) {}

bool XlsxPackage::ReadXml(std::string_view part, std::string& xml, std::string& error) const {
    if (!zip_->Read(part, xml, error)) return false;
    // Inside vok every part is UTF-8; a part keeps its own encoding on disk.
    std::string why;
    PartEncoding encoding = PartEncoding::Utf8;
    if (!DetectPartEncoding(xml, encoding, why)) {
        error = fmt::format("its part {} {}", part, why);
        return false;
    }
    if (!DecodePart(xml, encoding, why)) return Failed(error, part, why);
    encodings_[zip_->StoredName(part)] = encoding;
    return true;
}

PartEncoding XlsxPackage::EncodingOf(const std::string& part) const {
    const auto found = encodings_.find(part);
    return found == encodings_.end() ? PartEncoding::Utf8 : found->second;
}

XlsxPackage::~XlsxPackage() = default;

bool XlsxPackage::ReadStructure(std::string& error) {
    // An Office Open XML package names its content types.
    if (!zip_->Has(kContentTypesPart)) {
        error = "it is no Office Open XML package";
        return false;
    }
    std::map<std::string, OpcRelationship> byId;
    return FindWorkbookPart(error) && FindSharedParts(byId, error) && ReadSheetList(byId, error);
}

bool XlsxPackage::FindWorkbookPart(std::string& error) {
    // The package's relationships lead to the workbook and its properties.
    std::string xml, why;
    std::vector<OpcRelationship> relationships;
    const std::string packageRels = RelationshipsPartOf("");
    if (!ReadXml(packageRels, xml, error)) return false;
    if (!ParseRelationships(xml, "", relationships, why)) return Failed(error, packageRels, why);
    workbookPart_.clear();
    appPart_.clear();
    for (const OpcRelationship& r : relationships) {
        if (r.external) continue;
        if (r.Is("officeDocument") && workbookPart_.empty()) workbookPart_ = r.target;
        if (r.Is("extended-properties") && zip_->Has(r.target))
            appPart_ = zip_->StoredName(r.target);
    }
    if (workbookPart_.empty() || !zip_->Has(workbookPart_)) {
        error = "it holds no workbook";
        return false;
    }
    workbookPart_ = zip_->StoredName(workbookPart_);
    return true;
}

bool XlsxPackage::FindSharedParts(std::map<std::string, OpcRelationship>& byId,
                                  std::string& error) {
    // The workbook's relationships lead to its sheets and shared parts.
    workbookRelsPart_ = RelationshipsPartOf(workbookPart_);
    stylesPart_.clear();
    sharedStringsPart_.clear();
    calcChainPart_.clear();
    if (!zip_->Has(workbookRelsPart_)) return true;
    workbookRelsPart_ = zip_->StoredName(workbookRelsPart_);
    std::string xml, why;
    std::vector<OpcRelationship> relationships;
    if (!ReadXml(workbookRelsPart_, xml, error)) return false;
    if (!ParseRelationships(xml, workbookPart_, relationships, why))
        return Failed(error, workbookRelsPart_, why);
    for (const OpcRelationship& r : relationships) {
        if (r.external) continue;
        byId[r.id] = r;
        if (!zip_->Has(r.target)) continue;
        if (r.Is("styles"))
            stylesPart_ = zip_->StoredName(r.target);
        else if (r.Is("sharedStrings"))
            sharedStringsPart_ = zip_->StoredName(r.target);
        else if (r.Is("calcChain"))
            calcChainPart_ = zip_->StoredName(r.target);
    }
    return true;
}

bool XlsxPackage::ReadSheetList(const std::map<std::string, OpcRelationship>& byId,
                                std::string& error) {
    // The sheets in tab order; a sheet read before keeps its extent.
    std::string xml, why;
    XlsxWorkbookPart workbook;
    if (!ReadXml(workbookPart_, xml, error)) return false;
    if (!workbook.Parse(xml, why)) return Failed(error, workbookPart_, why);
    std::vector<Sheet> before = std::move(sheets_);
    sheets_.clear();
    for (size_t i = 0; i < workbook.sheets.size(); ++i) {
        const XlsxSheetEntry& entry = workbook.sheets[i];
        auto r = byId.find(entry.relationshipId);
        if (r == byId.end() || !zip_->Has(r->second.target)) {
            error = fmt::format("its sheet \"{}\" has no part", entry.name);
            return false;
        }
        Sheet& sheet = sheets_.emplace_back();
        sheet.part = zip_->StoredName(r->second.target);
        sheet.savedName = entry.name;
        sheet.worksheet = r->second.Is("worksheet");
        if (i < before.size()) {
            sheet.extent = before[i].extent;
            sheet.read = before[i].read;
        }
    }
    return true;
}

std::unique_ptr<XlsxPackage> XlsxPackage::Open(const std::filesystem::path& path,
                                               std::vector<SheetData>& sheets, std::string& error,
                                               const XlsxReadLimits& limits) {
    auto package = std::make_unique<XlsxPackage>(OnlyOpen());
    package->limits_ = limits;
    package->zip_ = ZipPackage::Open(path, error);
    if (!package->zip_ || !package->ReadStructure(error) || !package->CheckRewrittenParts(error))
        return nullptr;
    // A shared-string table too large for the file is refused before it is read.
    const std::string& strings = package->sharedStringsPart_;
    if (!strings.empty() && !package->zip_->CheckExpansion(strings, error)) return nullptr;

    // Small worksheets are read now, so that a damaged one is refused before
    // the job runs; a large one costs nothing until a job uses it.
    sheets.clear();
    sheets.reserve(package->sheets_.size());
    for (size_t i = 0; i < package->sheets_.size(); ++i) {
        SheetData& data = sheets.emplace_back(package->sheets_[i].savedName);
        if (package->zip_->ExpandedSize(package->sheets_[i].part) > limits.readAtOpen) continue;
        if (!package->ReadSheet(i, data, error)) return nullptr;
    }
    return package;
}

bool XlsxPackage::ReadSheet(size_t index, SheetData& data, std::string& error) {
    Sheet& sheet = sheets_[index];
    if (sheet.read) return true;
    if (stale_ || !zip_) {
        error = "the workbook could not be read back after its last save";
        return false;
    }
    if (sheet.worksheet && !sheet.added) {
        std::string xml, why;
        if (!ReadXml(sheet.part, xml, error)) return false;
        XlsxSheetSummary summary;
        if (!XlsxSheetReader::ReadValues(xml, data, summary, why))
            return Failed(error, sheet.part, why);
        xml = std::string();
        if (!summary.sharedCells.empty() &&
            !ReadSharedStrings(summary.sharedCells, sheet.part, data, error))
            return false;
        sheet.extent = summary.extent;
        hasFormulas_ |= summary.hasFormulas;
    }
    sheet.read = true;
    data.MarkUnchanged();
    return true;
}

bool XlsxPackage::SharedStringsEncoding(PartEncoding& encoding, std::string& error) const {
    // The declaration stands at the start, which may take more than one block.
    std::string head, why;
    const bool read = zip_->ReadBlocks(
        sharedStringsPart_,
        [&](std::string_view block) {
            head.append(block.substr(0, kDeclarationReach - head.size()));
            return head.size() < kDeclarationReach;
        },
        error, limits_.stringsBlock);
    if (!read) return false;
    if (DetectPartEncoding(head, encoding, why)) return true;
    error = fmt::format("its part {} {}", sharedStringsPart_, why);
    return false;
}

bool XlsxPackage::ReadSharedStrings(const std::vector<XlsxSharedCell>& cells,
                                    const std::string& sheetPart, SheetData& data,
                                    std::string& error) const {
    // 1. Only the strings the sheet uses, read up to the last of them.
    std::vector<uint32_t> wanted;
    wanted.reserve(cells.size());
    for (const XlsxSharedCell& cell : cells)
        wanted.push_back(cell.index);
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    XlsxSharedStrings strings;
    PartEncoding encoding = PartEncoding::Utf8;
    if (!sharedStringsPart_.empty()) {
        std::string why;
        const auto read = [&](const std::function<bool(std::string_view)>& take) {
            return zip_->ReadBlocks(sharedStringsPart_, take, error, limits_.stringsBlock);
        };
        if (!SharedStringsEncoding(encoding, error)) return false;
        if (!strings.Read(read, ExpatEncodingName(encoding), std::move(wanted), why))
            return why.empty() ? false : Failed(error, sharedStringsPart_, why);
    }
    // 2. Each cell gets its text.
    std::string_view text;
    for (const XlsxSharedCell& cell : cells) {
        if (!strings.Get(cell.index, text)) {
            return Failed(error, sheetPart,
                          fmt::format("a cell refers to shared string \"{}\", which is missing",
                                      cell.index));
        }
        if (!text.empty()) data.SetText(cell.row, cell.column, text);
    }
    return true;
}

bool XlsxPackage::MayHaveFormulas() const {
    return hasFormulas_ || std::any_of(sheets_.begin(), sheets_.end(), [](const Sheet& sheet) {
               return sheet.worksheet && !sheet.read && !sheet.added;
           });
}

bool XlsxPackage::CheckRewrittenParts(std::string& error) const {
    // Said now, before the job runs; the sheets and the workbook are read anyway.
    std::string xml;
    for (const std::string* part : {&stylesPart_, &appPart_}) {
        if (!part->empty() && !ReadXml(*part, xml, error)) return false;
    }
    return ReadXml(kContentTypesPart, xml, error);
}

void XlsxPackage::AddSheet() {
    Sheet& sheet = sheets_.emplace_back();
    sheet.worksheet = true;
    sheet.added = true;
    sheet.read = true;
}

bool XlsxPackage::PatchWorkbookPart(const std::vector<SheetData>& sheets, bool recalculate,
                                    std::string& xml, std::string& error) const {
    std::string why;
    XlsxWorkbookPart workbook;
    if (!workbook.Parse(xml, why)) return Failed(error, workbookPart_, why);
    std::vector<XmlEdit> edits;
    for (size_t i = 0; i < workbook.sheets.size() && i < sheets.size(); ++i) {
        const XlsxSheetEntry& entry = workbook.sheets[i];
        if (entry.name == sheets[i].Name()) continue;
        std::string_view tag(xml.data() + entry.begin, entry.end - entry.begin);
        edits.push_back({entry.begin, entry.end, WithAttribute(tag, "name", sheets[i].Name())});
    }
    // Cached results of formulas may depend on the cells vok changed.
    if (recalculate && !workbook.fullCalcOnLoad) {
        if (workbook.hasCalcPr) {
            std::string_view tag(xml.data() + workbook.calcPrBegin,
                                 workbook.calcPrEnd - workbook.calcPrBegin);
            edits.push_back({workbook.calcPrBegin, workbook.calcPrEnd,
                             WithAttribute(tag, "fullCalcOnLoad", "1")});
        } else {
            edits.push_back({workbook.calcPrInsertAt, workbook.calcPrInsertAt,
                             "<" + workbook.prefix + "calcPr fullCalcOnLoad=\"1\"/>"});
        }
    }
    xml = ApplyEdits(xml, std::move(edits));
    return true;
}

bool XlsxPackage::RenameInFormulas(const std::vector<SheetData>& sheets,
                                   std::map<std::string, std::string>& replaced,
                                   std::string& error) const {
    XlsxSheetRenamer renamer(Renames(sheets));
    std::string xml, renamedXml, why;
    for (const std::string& part : zip_->Names()) {
        // Formulas live in the workbook's own XML parts; shared strings,
        // styles and the theme hold none.
        bool candidate = part.size() > 7 && EqualsNoCase(part.substr(0, 3), "xl/") &&
                         EqualsNoCase(part.substr(part.size() - 4), ".xml") &&
                         part != sharedStringsPart_ && part != stylesPart_ &&
                         part != calcChainPart_;
        if (!candidate) continue;
        auto done = replaced.find(part);
        if (done == replaced.end() && !ReadXml(part, xml, error)) return false;
        const std::string& content = done == replaced.end() ? xml : done->second;
        if (renamer.RenameInPart(content, renamedXml, why)) {
            replaced[part] = std::move(renamedXml);
        } else if (!why.empty()) {
            return Failed(error, part, why);
        }
    }
    return true;
}

std::vector<std::pair<std::string, std::string>>
XlsxPackage::Renames(const std::vector<SheetData>& sheets) const {
    std::vector<std::pair<std::string, std::string>> renames;
    for (size_t i = 0; i < sheets_.size() && i < sheets.size(); ++i) {
        if (!sheets_[i].added && sheets[i].Name() != sheets_[i].savedName) {
            renames.emplace_back(sheets_[i].savedName, sheets[i].Name());
        }
    }
    return renames;
}

bool XlsxPackage::PatchTitles(const std::vector<SheetData>& sheets, std::string& xml,
                              std::string& error) const {
    std::string why;
    std::vector<XlsxTitle> titles;
    if (!ParseTitlesOfParts(xml, titles, why)) return Failed(error, appPart_, why);
    // Each sheet's title is the first unused one that carries its saved name.
    std::vector<std::pair<size_t, std::string>> renames; // title index, new name
    std::vector<bool> used(titles.size(), false);
    for (size_t i = 0; i < sheets_.size() && i < sheets.size(); ++i) {
        for (size_t t = 0; t < titles.size(); ++t) {
            if (used[t] || titles[t].text != sheets_[i].savedName) continue;
            used[t] = true;
            if (sheets[i].Name() != sheets_[i].savedName) renames.emplace_back(t, sheets[i].Name());
            break;
        }
    }
    // The other titles name ranges ("Sales!Print_Area") that follow their sheet.
    XlsxSheetRenamer renamer(Renames(sheets));
    std::string renamedTitle;
    for (size_t t = 0; t < titles.size(); ++t) {
        if (!used[t] && renamer.RenameInFormula(titles[t].text, renamedTitle)) {
            renames.emplace_back(t, renamedTitle);
        }
    }
    std::vector<XmlEdit> edits;
    for (const auto& [t, name] : renames) {
        XmlEdit& edit =
            edits.emplace_back(XmlEdit{titles[t].contentBegin, titles[t].contentEnd, {}});
        AppendXmlText(edit.text, name);
    }
    xml = ApplyEdits(xml, std::move(edits));
    return true;
}

bool XlsxPackage::DropCalcChain(std::string& relationships, std::string& contentTypes,
                                std::string& error) const {
    std::string why;
    std::vector<OpcRelationship> rels;
    if (!ParseRelationships(relationships, workbookPart_, rels, why)) {
        return Failed(error, workbookRelsPart_, why);
    }
    std::vector<XmlEdit> drop;
    for (const OpcRelationship& r : rels) {
        if (!r.external && EqualsNoCase(r.target, calcChainPart_)) {
            drop.push_back({r.begin, r.end, {}});
        }
    }
    relationships = ApplyEdits(relationships, std::move(drop));

    std::vector<OpcOverride> overrides;
    if (!ParseContentTypeOverrides(contentTypes, overrides, why)) {
        return Failed(error, kContentTypesPart, why);
    }
    drop = {};
    for (const OpcOverride& o : overrides) {
        if (EqualsNoCase(o.partName, calcChainPart_)) drop.push_back({o.begin, o.end, {}});
    }
    contentTypes = ApplyEdits(contentTypes, std::move(drop));
    return true;
}

bool XlsxPackage::ReadCurrent(const std::string& part,
                              const std::map<std::string, std::string>& replaced, std::string& xml,
                              std::string& error) const {
    const auto found = replaced.find(part);
    if (found == replaced.end()) return ReadXml(part, xml, error);
    xml = found->second;
    return true;
}

bool XlsxPackage::ListAddedSheets(const std::vector<XlsxNewSheet>& added,
                                  std::map<std::string, std::string>& replaced,
                                  std::string& error) const {
    const std::string typesPart = zip_->StoredName(kContentTypesPart);
    std::string workbook, rels, types;
    if (!ReadCurrent(workbookPart_, replaced, workbook, error) ||
        !ReadCurrent(workbookRelsPart_, replaced, rels, error) ||
        !ReadCurrent(typesPart, replaced, types, error) ||
        !AddSheetEntries(workbookPart_, added, workbook, rels, types, error))
        return false;
    replaced[workbookPart_] = std::move(workbook);
    replaced[workbookRelsPart_] = std::move(rels);
    replaced[typesPart] = std::move(types);
    return true;
}

// What one save changes, all of it built before anything is written.
struct XlsxPackage::SaveEdits {
    std::map<std::string, std::string> replaced;  // new content, UTF-8 until written
    std::map<std::string, DeflatedPart> deflated; // rewritten sheets, in their encoding
    std::set<std::string> removed;
    std::vector<CellRange> extents; // of every sheet after the save
    bool cellsChanged = false, formulaRemoved = false, dropChain = false;
};

bool XlsxPackage::PatchSheets(std::vector<SheetData>& sheets, const FormatTable& formats,
                              const std::string& standardFont, SaveEdits& edits,
                              std::string& error) {
    // 1. The styles, for the default font and the formats of typed numbers.
    std::string xml, why;
    XlsxStyles styles;
    const bool haveStyles = !stylesPart_.empty();
    if (haveStyles) {
        if (!ReadXml(stylesPart_, xml, error)) return false;
        if (!styles.Parse(std::move(xml), why)) return Failed(error, stylesPart_, why);
        if (!standardFont.empty()) styles.SetDefaultFontName(standardFont);
    }
    // 2. Every worksheet with edits learns what its new part will hold (its
    // extent, the formulas that leave, the cell formats its numbers need);
    // only then are the styles complete.
    std::vector<std::string> originals(sheets_.size());
    std::vector<std::unique_ptr<XlsxSheetPatcher>> patchers(sheets_.size());
    std::set<std::string> newParts; // of the sheets added since the last save
    for (size_t i = 0; i < sheets_.size() && i < sheets.size(); ++i) {
        edits.extents[i] = sheets_[i].extent;
        if (!sheets_[i].worksheet || (!sheets[i].Changed() && !sheets_[i].added)) continue;
        if (sheets_[i].added) {
            // A sheet added by this job gets a part of its own.
            sheets_[i].part = NewWorksheetPart(workbookPart_, [&](const std::string& part) {
                return zip_->Has(part) || newParts.count(part) != 0;
            });
            newParts.insert(sheets_[i].part);
            originals[i] = kEmptyWorksheetXml;
        } else if (!ReadXml(sheets_[i].part, originals[i], error)) {
            return false;
        }
        patchers[i] =
            std::make_unique<XlsxSheetPatcher>(sheets[i], formats, haveStyles ? &styles : nullptr);
        if (!patchers[i]->Start(originals[i], why))
            return SheetFailed(error, i, sheets, patchers[i]->Result().refused, why);
        edits.extents[i] = patchers[i]->Result().extent;
        edits.formulaRemoved |= patchers[i]->Result().formulaRemoved;
        edits.cellsChanged = true;
    }
    if (haveStyles && styles.Changed()) edits.replaced[stylesPart_] = styles.Patched();
    // 3. Then each part is written and compressed a block at a time.
    for (size_t i = 0; i < patchers.size(); ++i) {
        if (!patchers[i]) continue;
        if (!DeflateSheet(*patchers[i], sheets_[i].part, edits.deflated[sheets_[i].part], error))
            return false;
        patchers[i].reset();
        originals[i] = std::string();
    }
    return true;
}

bool XlsxPackage::SheetFailed(std::string& error, size_t sheet,
                              const std::vector<SheetData>& sheets, bool refused,
                              const std::string& why) const {
    // Edits that would break a formula group are refused, the sheet named as
    // the user knows it; anything else means the part is damaged.
    if (!refused) return Failed(error, sheets_[sheet].part, why);
    error = fmt::format("its sheet \"{}\" {}", sheets[sheet].Name(), why);
    return false;
}

bool XlsxPackage::DeflateSheet(XlsxSheetPatcher& patcher, const std::string& part,
                               DeflatedPart& deflated, std::string& error) const {
    // The blocks go back into the part's own encoding on their way.
    const PartEncoding encoding = EncodingOf(part);
    PartEncoder encoder(encoding);
    std::string utf8, why;
    const auto next = [&](std::string& block) {
        if (encoding == PartEncoding::Utf8) return patcher.Next(block);
        block.clear();
        while (block.empty()) {
            if (!patcher.Next(utf8)) {
                encoder.Finish(block);
                return !block.empty();
            }
            encoder.Append(block, utf8);
        }
        return true;
    };
    if (!DeflateBlocks(next, deflated, why)) return Failed(error, part, why);
    return true;
}

bool XlsxPackage::PatchWorkbook(const std::vector<SheetData>& sheets, SaveEdits& edits,
                                std::string& error) const {
    // 1. Renamed sheets, and a recalculation when formulas may see new values.
    bool renamed = false;
    std::vector<XlsxNewSheet> added;
    for (size_t i = 0; i < sheets_.size() && i < sheets.size(); ++i) {
        if (sheets_[i].added)
            added.push_back({sheets[i].Name(), sheets_[i].part});
        else
            renamed |= sheets[i].Name() != sheets_[i].savedName;
    }
    const bool recalculate = edits.cellsChanged && MayHaveFormulas();
    std::string xml;
    if (renamed || recalculate) {
        if (!ReadXml(workbookPart_, xml, error)) return false;
        std::string patched = xml;
        if (!PatchWorkbookPart(sheets, recalculate, patched, error)) return false;
        if (patched != xml) edits.replaced[workbookPart_] = std::move(patched);
    }
    if (renamed && !RenameInFormulas(sheets, edits.replaced, error)) return false;
    if (renamed && !appPart_.empty()) {
        if (!ReadXml(appPart_, xml, error)) return false;
        std::string patched = xml;
        if (!PatchTitles(sheets, patched, error)) return false;
        if (patched != xml) edits.replaced[appPart_] = std::move(patched);
    }
    // 2. Added sheets are listed after the others.
    return added.empty() || ListAddedSheets(added, edits.replaced, error);
}

bool XlsxPackage::PatchPackageParts(SaveEdits& edits, std::string& error) const {
    const std::string typesPart = zip_->StoredName(kContentTypesPart);
    std::string rels, types;
    // 1. A formula that left makes the calculation chain wrong: drop the chain.
    edits.dropChain = edits.formulaRemoved && !calcChainPart_.empty();
    if (edits.dropChain) {
        if (!ReadCurrent(workbookRelsPart_, edits.replaced, rels, error) ||
            !ReadCurrent(typesPart, edits.replaced, types, error) ||
            !DropCalcChain(rels, types, error)) {
            return false;
        }
        edits.removed.insert(calcChainPart_);
        edits.replaced[workbookRelsPart_] = std::move(rels);
        edits.replaced[typesPart] = std::move(types);
    }
    // 2. A new macro-enabled workbook says so.
    if (macroEnabled_) {
        if (!ReadCurrent(typesPart, edits.replaced, types, error)) return false;
        std::string patched = types;
        if (!SetWorkbookContentType(patched, error)) return false;
        if (patched != types) edits.replaced[typesPart] = std::move(patched);
    }
    return true;
}

bool XlsxPackage::SetWorkbookContentType(std::string& contentTypes, std::string& error) const {
    std::string why;
    std::vector<OpcOverride> overrides;
    if (!ParseContentTypeOverrides(contentTypes, overrides, why))
        return Failed(error, kContentTypesPart, why);
    for (const OpcOverride& o : overrides) {
        if (!EqualsNoCase(o.partName, workbookPart_) || o.contentType == kMacroEnabledWorkbookType)
            continue;
        const std::string_view tag(contentTypes.data() + o.begin, o.tagEnd - o.begin);
        contentTypes = ApplyEdits(
            contentTypes,
            {{o.begin, o.tagEnd, WithAttribute(tag, "ContentType", kMacroEnabledWorkbookType)}});
        return true;
    }
    return true;
}

bool XlsxPackage::WritePackage(const std::filesystem::path& path, SaveEdits& edits,
                               std::string& error, const StopRequest* stop) {
    // 1. Each part goes back into its own encoding.
    for (auto& [part, xml] : edits.replaced) {
        const PartEncoding encoding = EncodingOf(part);
        if (encoding != PartEncoding::Utf8) xml = PartEncoder::Encode(xml, encoding);
    }
    // 2. The new package beside the file, then in the file's place.
    AtomicFile replacement(path, AtomicFile::Durability::Unsynced);
    if (!replacement.CreateForLibrary(error)) return false;
    const Status copied =
        zip_->WriteCopy(replacement.TempPath(), edits.replaced, edits.deflated, edits.removed);
    if (!copied) {
        error = copied.Error();
        return false;
    }
    if (!replacement.Commit(error, stop)) return false;
    mustWrite_ = false;
    // 3. Later saves build on the file as it now is.
    std::string reopenError;
    encodings_.clear();
    zip_ = ZipPackage::Open(path, reopenError);
    if (!zip_ || !ReadStructure(reopenError)) stale_ = true;
    return true;
}

bool XlsxPackage::Save(const std::filesystem::path& path, std::vector<SheetData>& sheets,
                       const FormatTable& formats, const std::string& standardFont,
                       std::string& error, const StopRequest* stop) {
    if (stale_ || !zip_) {
        error = "the workbook could not be read back after its last save";
        return false;
    }
    // 1. The parts that change, all built before anything is written.
    SaveEdits edits;
    edits.extents.resize(sheets_.size());
    if (!PatchSheets(sheets, formats, standardFont, edits, error) ||
        !PatchWorkbook(sheets, edits, error) || !PatchPackageParts(edits, error))
        return false;
    // 2. Written only when something changed.
    const bool changed =
        !edits.replaced.empty() || !edits.deflated.empty() || !edits.removed.empty() || mustWrite_;
    if (changed && !WritePackage(path, edits, error, stop)) return false;
    // 3. The model and the package agree again.
    for (size_t i = 0; i < sheets_.size() && i < sheets.size(); ++i) {
        sheets_[i].extent = edits.extents[i];
        sheets_[i].savedName = sheets[i].Name();
        sheets_[i].added = false;
        sheets[i].MarkUnchanged();
    }
    if (edits.dropChain) calcChainPart_.clear();
    return true;
}

} // namespace vok
