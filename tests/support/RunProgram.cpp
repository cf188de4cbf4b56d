#include "support/RunProgram.h"

#include "support/TestSupport.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef VOK_PROGRAM
#define VOK_PROGRAM "vok"
#endif

namespace vok::test {

namespace {

RunResult Run(const std::string& programPath, const std::vector<std::string>& args,
              const std::string& home, const std::string& cwd, RunAs who,
              const Environment& environment) {
    TempDir capture;
    const std::string outFile = capture.File("out"), errFile = capture.File("err");
    RunResult result;
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("VOK_HOME", home.c_str(), 1);
        // No display unless the test gives one: vok would start the desktop.
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            unsetenv(name);
        for (const auto& [name, value] : environment) {
            if (value.empty())
                unsetenv(name.c_str());
            else
                setenv(name.c_str(), value.c_str(), 1);
        }
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(127);
        const int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = open("/dev/null", O_RDONLY);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (who == RunAs::Nobody && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(126);
        std::vector<char*> argv;
        std::string program = programPath;
        argv.push_back(program.data());
        std::vector<std::string> copies(args);
        for (std::string& a : copies)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadFile(outFile);
    result.err = ReadFile(errFile);
    return result;
}

} // namespace

RunResult RunVok(const std::vector<std::string>& args, const std::string& home,
                 const std::string& cwd, RunAs who) {
    return Run(VOK_PROGRAM, args, home, cwd, who, {});
}

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& home, const Environment& environment) {
    return Run(program, args, home, {}, RunAs::Caller, environment);
}

} // namespace vok::test
