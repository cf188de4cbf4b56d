// Start-up of the real program in a fresh program folder: the error log, the
// default config.ini, and that a command-line run never writes settings back.
#include "support/RunProgram.h"
#include "support/TestSupport.h"

#include <chrono>
#include <gtest/gtest.h>
#include <regex>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace vok::test {
namespace {

const std::string kDefaultConfig =
    CrLf({"[Header]", "Product=VOK_B", "FileType=CONFIG", "FileFormat=1.0", "", "[General]",
          "DefaultInputFile=", "DefaultOutputFile=", "UseRecipeFile=", "DefaultRecipeFile=", ""});

bool IsLogHeader(const std::string& log) {
    static const std::regex header(
        R"(VOK Wizard Error Log \[(1[0-2]|[1-9])/([1-9]|[12][0-9]|3[01])/[0-9]{4} )"
        R"((1[0-2]|[1-9]):[0-5][0-9]:[0-5][0-9] (AM|PM)\]\r\n)");
    return std::regex_match(log, header);
}

TEST(StartupTest, FirstStartCreatesConfigAndErrorLog) {
    TempDir home;
    const RunResult run = RunVok({"/X"}, home.Path().string());
    ASSERT_NE(run.exitCode, 127) << "the program could not be started";
    EXPECT_EQ(ReadFile(home.File("config.ini")), kDefaultConfig);
    const std::string log = ReadFile(home.File("ErrorLog.txt"));
    EXPECT_TRUE(IsLogHeader(log)) << log;
}

TEST(StartupTest, SecondStartRewritesTheLogAndLeavesConfigAlone) {
    TempDir home;
    RunVok({"/X"}, home.Path().string());
    // Settings a user made: a command-line run must not touch them.
    const std::string config = CrLf({"[General]", "lTabSize=4", "bShowExcel=FALSE",
                                     "UseRecipeFile=YES", "", "[frmMainMDI]", "Left=300"});
    WriteFile(home.File("config.ini"), config);
    WriteFile(home.File("ErrorLog.txt"), "earlier run\r\nmore lines\r\n");
    RunVok({"/T", "3", "/I", "a.txt"}, home.Path().string());
    EXPECT_EQ(ReadFile(home.File("config.ini")), config);
    const std::string log = ReadFile(home.File("ErrorLog.txt"));
    EXPECT_TRUE(IsLogHeader(log)) << log;
    // A run with the Linux-style syntax leaves it too.
    RunVok({"-i", "a.txt", "-t", "2"}, home.Path().string());
    EXPECT_EQ(ReadFile(home.File("config.ini")), config);
}

TEST(StartupTest, HelpAndVersionSucceedAndBadOptionsFailWithTheirMessage) {
    TempDir home;
    RunResult run = RunVok({"--help"}, home.Path().string());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("Usage"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("--input"), std::string::npos);

    run = RunVok({"--version"}, home.Path().string());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.rfind("vok ", 0), 0u) << run.out;

    run = RunVok({"--frob"}, home.Path().string());
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("Unknown option: --frob"), std::string::npos) << run.err;
    run = RunVok({"-i"}, home.Path().string());
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("needs a value"), std::string::npos) << run.err;
}

// A copy of vok in a folder of its own, with what a test puts beside it.
struct ProgramCopy {
    TempDir dir;
    std::string program = dir.File("bin/vok");

    ProgramCopy() {
        std::filesystem::create_directories(dir / "bin");
        std::filesystem::copy_file(VOK_PROGRAM, program);
    }
    // A shell script beside the copy (or elsewhere) that records how it was called.
    void Script(const std::string& path, const std::string& marker) {
        WriteFile(path, "#!/bin/sh\necho \"$0 $*\" > " + marker + "\necho desktop\n");
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    }
};

// Waits a little for a file that a program started without waiting writes.
std::string WaitForFile(const std::filesystem::path& path) {
    for (int i = 0; i < 100 && !std::filesystem::exists(path); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return ReadFile(path);
}

// A display that answers: a socket file that accepts connections, named by
// WAYLAND_DISPLAY as an absolute path.
struct FakeDisplay {
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    std::string path;
    explicit FakeDisplay(const TempDir& dir) : path(dir.File("wayland-test")) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, path.size());
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd, 8);
    }
    ~FakeDisplay() { ::close(fd); }
};

// No arguments: with a display the desktop program beside vok replaces it;
// without a display, with one that does not answer, or without the desktop
// program, the usage text.
TEST(StartupTest, NoArgumentsStartTheDesktopOnlyWithADisplay) {
    ProgramCopy copy;
    TempDir home;
    const FakeDisplay display(home);
    const Environment desktop{{"WAYLAND_DISPLAY", display.path}};
    const std::string marker = home.File("desktop-started");
    RunResult run = RunProgram(copy.program, {}, home.Path().string(), desktop);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("Usage"), std::string::npos) << run.out;

    copy.Script(copy.dir.File("bin/vok-desktop"), marker);
    for (const Environment& none :
         {Environment{}, Environment{{"DISPLAY", ":987"}},
          Environment{{"WAYLAND_DISPLAY", home.File("nothing-here")}},
          Environment{{"WAYLAND_DISPLAY", display.path}, {"QT_QPA_PLATFORM", "xcb"}}}) {
        run = RunProgram(copy.program, {}, home.Path().string(), none);
        EXPECT_NE(run.out.find("Usage"), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(marker));
    }

    for (const Environment& shown : {desktop, Environment{{"QT_QPA_PLATFORM", "offscreen"}}}) {
        std::filesystem::remove(marker);
        run = RunProgram(copy.program, {}, home.Path().string(), shown);
        EXPECT_EQ(run.out, "desktop\n") << shown[0].first;
        EXPECT_EQ(ReadFile(marker), copy.dir.File("bin/vok-desktop") + " \n");
    }
}

// "/?" with a display opens the how-to-use page with xdg-open (not waited
// for) and the job still runs; without the page it prints the usage text.
TEST(StartupTest, HelpSwitchOpensThePageOnADisplay) {
    ProgramCopy copy;
    TempDir home;
    const std::string opened = home.File("opened");
    copy.Script(copy.dir.File("tools/xdg-open"), opened);
    const FakeDisplay display(home);
    const Environment desktop{{"WAYLAND_DISPLAY", display.path},
                              {"PATH", copy.dir.File("tools") + ":/usr/bin:/bin"}};
    RunResult run = RunProgram(copy.program, {"/?"}, home.Path().string(), desktop);
    EXPECT_NE(run.out.find("/I path"), std::string::npos) << "no manual beside the program";
    EXPECT_EQ(run.err, "Output File must be of type XLS or CSV\n");

    const std::string page = "help/vok_wizard_users_manual/how_do_i_use_it_/howdoiuseit_.htm";
    WriteFile(copy.dir / "bin" / page, "<html></html>");
    run = RunProgram(copy.program, {"/?"}, home.Path().string(), desktop);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "Output File must be of type XLS or CSV\n");
    EXPECT_EQ(WaitForFile(opened),
              copy.dir.File("tools/xdg-open") + " file://" + copy.dir.File("bin/" + page) + "\n");
}

} // namespace
} // namespace vok::test
