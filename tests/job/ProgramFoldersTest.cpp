// Where the program's own files lie: beside a build or a portable copy, in
// each user's XDG folders for an installation, in VOK_HOME above all; and
// the folders made on first use, or a clear reason why not.
#include "job/ProgramSettings.h"

#include "base/ProgramLayout.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace vok {
namespace {

using test::TempDir;
using test::WriteFile;
namespace fs = std::filesystem;

// A prefix laid out as the install lays it out.
fs::path Installed(const TempDir& dir) {
    fs::create_directories(dir / "usr/bin");
    fs::create_directories(dir / "usr/lib/vok");
    fs::create_directories(dir / "usr/share/vok/help");
    return dir / "usr/bin";
}

TEST(ProgramFoldersTest, OnlyAnInstallLayoutCountsAsInstalled) {
    TempDir dir;
    // A build folder or portable copy: everything beside the executable.
    ProgramLayout layout = LayoutOf(dir.Path());
    EXPECT_FALSE(layout.installed);
    EXPECT_EQ(layout.moduleFolder, dir.Path());
    EXPECT_EQ(layout.helpFolder, dir / "help");
    // A copy in a folder named bin, with a lib folder but no share/vok: still portable.
    fs::create_directories(dir / "usr/bin");
    fs::create_directories(dir / "usr/lib/vok");
    EXPECT_FALSE(LayoutOf(dir / "usr/bin").installed);

    const fs::path bin = Installed(dir);
    layout = LayoutOf(bin);
    EXPECT_TRUE(layout.installed);
    EXPECT_EQ(layout.moduleFolder, dir / "usr/lib/vok");
    EXPECT_EQ(layout.helpFolder, dir / "usr/share/vok/help");
    EXPECT_EQ(layout.iconFile, dir / "usr/share/icons/hicolor/48x48/apps/vok.png");
}

TEST(ProgramFoldersTest, EachUserHasFoldersOfTheirOwn) {
    TempDir dir;
    const ProgramLayout installed = LayoutOf(Installed(dir));
    FolderEnvironment environment;
    environment.home = "/home/ann";
    ProgramFolders folders = ProgramFoldersFor(installed, environment);
    EXPECT_EQ(folders.settings, "/home/ann/.config/vok");
    EXPECT_EQ(folders.state, "/home/ann/.local/state/vok");
    EXPECT_TRUE(folders.perUser);

    environment.xdgConfigHome = "/cfg";
    environment.xdgStateHome = "/st";
    folders = ProgramFoldersFor(installed, environment);
    EXPECT_EQ(folders.settings, "/cfg/vok");
    EXPECT_EQ(folders.state, "/st/vok");
    const ProgramSettings program(folders);
    EXPECT_EQ(program.gConfigFile, "/cfg/vok/config.ini");
    EXPECT_EQ(program.gErrorLogFile, "/st/vok/ErrorLog.txt");
    EXPECT_EQ(program.ExportSpecsFile, "/st/vok/_ExportSpecs.t2x");
    EXPECT_EQ(program.AutoRecipeFile, "/st/vok/_AutoRecipe.rcp");
    EXPECT_EQ(program.LockFile, "/st/vok/vok.lock");
    // The switch syntax's bare names lie in the state folder.
    EXPECT_EQ(program.ProgramFolder, "/st/vok");

    // VOK_HOME wins, installed or not.
    environment.vokHome = "/v";
    folders = ProgramFoldersFor(installed, environment);
    EXPECT_EQ(folders.settings, "/v");
    EXPECT_EQ(folders.state, "/v");
    EXPECT_FALSE(folders.perUser);

    // A portable copy keeps its files beside itself, whatever XDG says.
    environment.vokHome.clear();
    folders = ProgramFoldersFor(LayoutOf("/opt/vok-copy"), environment);
    EXPECT_EQ(folders.settings, "/opt/vok-copy");
    EXPECT_EQ(folders.state, "/opt/vok-copy");
}

TEST(ProgramFoldersTest, FoldersAreMadeForTheirUserAlone) {
    TempDir dir;
    const ProgramFolders folders{dir / "home/.config/vok", dir / "home/.local/state/vok", true};
    std::string error;
    ASSERT_TRUE(MakeProgramFolders(folders, error)) << error;
    for (const fs::path& made : {dir / "home", dir / "home/.local", folders.settings,
                                 folders.state}) {
        struct stat info {};
        ASSERT_EQ(::stat(made.c_str(), &info), 0) << made;
        EXPECT_EQ(info.st_mode & 0077, 0u) << made;
    }
    // Made already: nothing to do.
    EXPECT_TRUE(MakeProgramFolders(folders, error));
}

TEST(ProgramFoldersTest, AFolderThatCannotBeMadeIsNamed) {
    TempDir dir;
    WriteFile(dir / "state", "a file where a folder should be");
    std::string error;
    EXPECT_FALSE(MakeProgramFolders({dir / "config", dir / "state/vok", true}, error));
    EXPECT_EQ(error, "Cannot make the state folder " + (dir / "state/vok").string() + " (" +
                         (dir / "state").string() + ": a file of that name is in the way).");
    WriteFile(dir / "config2", "");
    EXPECT_FALSE(MakeProgramFolders({dir / "config2", dir / "state2", true}, error));
    EXPECT_EQ(error, "Cannot make the settings folder " + (dir / "config2").string() + " (" +
                         (dir / "config2").string() + ": a file of that name is in the way).");
    // No HOME and no XDG folders: nowhere to make them.
    EXPECT_FALSE(MakeProgramFolders({{}, {}, true}, error));
    EXPECT_EQ(error, "Cannot tell where the settings folder lies: neither XDG_CONFIG_HOME nor "
                     "HOME names a folder.");
}

} // namespace
} // namespace vok
