// Runs the real vok program for end-to-end tests: a fresh program folder
// (VOK_HOME), the arguments as the shell would hand them over, and the
// program's exit status, standard output and standard error.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace vok::test {

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

enum class RunAs { Caller, Nobody };

// `home` becomes VOK_HOME; `cwd`, when not empty, the current folder. With
// RunAs::Nobody a root caller runs the program as the unprivileged user, so
// that file permissions count. The program sees no display, as on a server.
RunResult RunVok(const std::vector<std::string>& args, const std::string& home,
                 const std::string& cwd = {}, RunAs who = RunAs::Caller);

// Runs `program` (a copy of vok, say) like RunVok, with these environment
// variables set on top (an empty value removes one).
using Environment = std::vector<std::pair<std::string, std::string>>;
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& home, const Environment& environment);

} // namespace vok::test
