// What a job and a preview check of their input files before they read them:
// a recipe or report that is no file, cannot be read, or cannot be read to
// its end is said with its cause, never taken for an empty one.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vok {

class Messages;
class SectionedText;
class TextIndex;

// "<lead><path> does not exist!", or, for a path that names a folder, a
// named pipe or a device, what it is instead. `lead` is "Recipe file " or
// "Input file: ".
std::string NoSuchFileMessage(std::string_view lead, const std::filesystem::path& path);

// The recipe's text as read from `path`: when it could not be read in full,
// says why and gives the message; empty when it was read.
std::string RecipeReadProblem(Messages& messages, const SectionedText& recipe,
                              const std::filesystem::path& path);

// The report as one read of it found it (every key text announced first):
// when it cannot be read to its end, says why and gives the message. A
// report that reads as Windows-1252 because of one line, while it also
// holds good UTF-8, is said as a notice. Empty when the report can be used.
std::string ReportReadProblem(Messages& messages, TextIndex& report);

} // namespace vok
