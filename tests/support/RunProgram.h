// Runs the real vok program for end-to-end tests: a fresh program folder
// (VOK_HOME), the arguments as the shell would hand them over, and the
// program's exit status, standard output and standard error.
#pragma once

#include <string>
#include <vector>

namespace vok::test {

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// `home` becomes VOK_HOME; `cwd`, when not empty, the current folder.
RunResult RunVok(const std::vector<std::string>& args, const std::string& home,
                 const std::string& cwd = {});

} // namespace vok::test
