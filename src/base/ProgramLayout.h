// Where the parts of the program lie, told from the executable's own place.
//
// A build folder or a portable copy keeps everything beside the executable:
// the workbook module, the manual (help/) and the program folder with the
// program's own files. An installation (cmake --install, the Debian package)
// lays its parts out the Linux way, relative to the folder of the executables:
// the module in ../lib/vok/, the manual in ../share/vok/help/. Only the
// install lays out those two folders, so their presence is what marks an
// installed vok; the executable is found through /proc/self/exe, so a moved
// installation still finds its module and manual.
#pragma once

#include <filesystem>

namespace vok {

struct ProgramLayout {
    std::filesystem::path executableFolder; // "" when it cannot be told
    bool installed = false;
    std::filesystem::path moduleFolder; // holds the workbook module
    std::filesystem::path helpFolder;   // the manual's pages
    std::filesystem::path iconFile;     // the window's icon
};

// The folder that holds the running executable ("" when it cannot be told).
std::filesystem::path ExecutableFolder();

// The layout of a program whose executables lie in `executableFolder`.
ProgramLayout LayoutOf(const std::filesystem::path& executableFolder);

// The layout of the running program.
ProgramLayout ThisProgramLayout();

} // namespace vok
