#include "engine/InputChecks.h"

#include "base/Messages.h"
#include "base/TextIndex.h"
#include "base/modUtilityFile.h"
#include "recipe/SectionedFile.h"

#include <fmt/format.h>

namespace vok {

std::string NoSuchFileMessage(std::string_view lead, const std::filesystem::path& path) {
    const std::string kind = NonFileKind(path);
    if (kind.empty()) return fmt::format("{}{} does not exist!", lead, path.string());
    return fmt::format("{}{} is {}, not a file!", lead, path.string(), kind);
}

std::string RecipeReadProblem(Messages& messages, const SectionedText& recipe,
                              const std::filesystem::path& path) {
    if (recipe.ReadError().empty()) return {};
    std::string text =
        fmt::format("Cannot read the recipe {}: {}", path.string(), recipe.ReadError());
    messages.Show(text, MessageIcon::Critical);
    return text;
}

std::string ReportReadProblem(Messages& messages, TextIndex& report) {
    const std::string path = report.Path().string();
    // What rebuilding a PDF's text found, then why it has none.
    for (const ReportNote& note : report.Notes())
        messages.Show(note.text, note.failure ? MessageIcon::Exclamation : MessageIcon::Information,
                      {}, note.failure ? MessageKind::Failure : MessageKind::Notice);
    if (!report.Problem().empty()) {
        messages.Show(report.Problem(), MessageIcon::Critical);
        return report.Problem();
    }
    std::string why = report.Exists() ? report.ReadError() : report.OpenError();
    if (!why.empty()) {
        std::string text = fmt::format("Cannot read the report {}: {}", path, why);
        messages.Show(text, MessageIcon::Critical);
        return text;
    }
    if (const int64_t line = report.MixedEncodingLine(); line > 0) {
        messages.Show(fmt::format("Line {} of the report {} is not valid UTF-8, so the whole "
                                  "report is read as Windows-1252, a byte a character: each of "
                                  "its UTF-8 characters beyond ASCII counts as two or three "
                                  "(\"é\" reads as \"Ã©\"), which may move fields. Save the "
                                  "report as UTF-8 to read them as written.",
                                  line, path),
                      MessageIcon::Information, {}, MessageKind::Notice);
    }
    return {};
}

} // namespace vok
