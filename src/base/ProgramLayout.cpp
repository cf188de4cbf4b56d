#include "base/ProgramLayout.h"

#include <system_error>

namespace vok {

ProgramLayout LayoutOf(const std::filesystem::path& executableFolder) {
    namespace fs = std::filesystem;
    ProgramLayout layout;
    layout.executableFolder = executableFolder;
    layout.moduleFolder = executableFolder;
    layout.helpFolder = executableFolder / "help";
    layout.iconFile = executableFolder / "vok.png";
    if (executableFolder.empty()) return layout;
    const fs::path prefix = executableFolder.parent_path();
    std::error_code ec;
    if (fs::is_directory(prefix / "lib" / "vok", ec) &&
        fs::is_directory(prefix / "share" / "vok", ec)) {
        layout.installed = true;
        layout.moduleFolder = prefix / "lib" / "vok";
        layout.helpFolder = prefix / "share" / "vok" / "help";
        layout.iconFile = prefix / "share" / "icons" / "hicolor" / "48x48" / "apps" / "vok.png";
    }
    return layout;
}

std::filesystem::path ExecutableFolder() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : exe.parent_path();
}

ProgramLayout ThisProgramLayout() {
    return LayoutOf(ExecutableFolder());
}

} // namespace vok
