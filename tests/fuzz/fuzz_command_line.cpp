// The command-line reader: the input's lines are the program's arguments
// (Linux style when the first begins with "-", the switch syntax otherwise),
// and the whole input is also read as one switch-syntax text. Nothing may
// touch the disk: the log folder maker is replaced.
#include "base/TextAccess.h"
#include "cli/modParseCommandLine.h"
#include "fuzz/FuzzSupport.h"
#include "output/SheetTarget.h"

#include <cstdlib>

using namespace vok;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text = fuzz::Text(data, size);
    const LogFolderMaker noFolder = [](const std::filesystem::path&) {};
    const std::filesystem::path program = "/nonexistent/program";
    const std::filesystem::path current = "/nonexistent/current";

    std::vector<std::string> args;
    for (size_t start = 0; start <= text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        args.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    clsConversionOptions options;
    const CommandLine read = ReadCommandLine(args, options, program, current, noFolder);
    if ((read.action == CommandLineAction::Error || read.action == CommandLineAction::Refused) &&
        read.error.empty())
        std::abort();
    // A tab size that was taken lies within the bounds of the options dialog.
    if (read.action == CommandLineAction::RunJob &&
        (options.lTabSize < kSmallestTabSize || options.lTabSize > kLargestTabSize))
        std::abort();

    clsConversionOptions switches;
    CommandLine parsed;
    ParseCommandLine(text, switches, program, parsed, noFolder);
    if (parsed.action != CommandLineAction::Refused &&
        (switches.lTabSize < kSmallestTabSize || switches.lTabSize > kLargestTabSize))
        std::abort();
    // Every path of the switch syntax has its folders separated by "/".
    for (const auto* path : {&switches.sInputFile, &switches.sOutputFile, &switches.sRecipeFile})
        if (path->native().find('\\') != std::string::npos) std::abort();

    // The fields the parser is built on.
    std::string letter;
    const int32_t fields = CountFields(text, '/');
    for (int32_t n = 1; n <= std::min(fields, 64); ++n)
        GetField(n, text, '/', letter);

    // The sheet target a command line carries.
    for (const std::string* target : {&options.sSheetTarget, &switches.sSheetTarget}) {
        SheetTarget sheet;
        std::string error;
        if (!ParseSheetTarget(*target, sheet, error) && error.empty()) std::abort();
    }
    return 0;
}
