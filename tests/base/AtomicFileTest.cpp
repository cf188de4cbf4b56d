// The one routine that replaces files: the old content or the complete new
// one, never half of either, for every writer alike.
#include "base/AtomicFile.h"

#include "base/TextEncoding.h"
#include "support/TestSupport.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace vok {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

size_t EntriesIn(const std::filesystem::path& folder) {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                             std::filesystem::directory_iterator()));
}

TEST(AtomicFileTest, OldContentUntilCommitThenTheNew) {
    TempDir dir;
    const std::filesystem::path target = dir / "a.txt";
    WriteFile(target, "old");
    ::chmod(target.c_str(), 0640);
    std::string error;
    {
        AtomicFile file(target);
        ASSERT_TRUE(file.Create(error)) << error;
        ASSERT_TRUE(file.Write("new ", error));
        ASSERT_TRUE(file.Write("content", error));
        EXPECT_EQ(ReadFile(target), "old");
        ASSERT_TRUE(file.Commit(error)) << error;
    }
    EXPECT_EQ(ReadFile(target), "new content");
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // An object dropped before Commit leaves the old file and no temporary one.
    {
        AtomicFile file(target, AtomicFile::Durability::Scratch);
        ASSERT_TRUE(file.Create(error));
        ASSERT_TRUE(file.Write("lost", error));
    }
    EXPECT_EQ(ReadFile(target), "new content");
    EXPECT_EQ(EntriesIn(dir.Path()), 1u);
}

// A library writes the temporary by its name; what the replaced file had
// (here its permissions and a tag) goes to the file found there, never
// through a link that someone put in its place.
TEST(AtomicFileTest, ALibrarysTemporaryKeepsWhatTheFileHadAndALinkInItsPlaceGetsNothing) {
    TempDir dir;
    const std::filesystem::path target = dir / "book.xlsx";
    const std::filesystem::path other = dir / "other.txt";
    WriteFile(target, "old");
    WriteFile(other, "someone else's");
    ::chmod(target.c_str(), 0640);
    ::chmod(other.c_str(), 0600);
    const bool tagged = ::setxattr(target.c_str(), "user.filed-under", "May", 3, 0) == 0;
    std::string error;
    {
        AtomicFile file(target, AtomicFile::Durability::Synced);
        ASSERT_TRUE(file.CreateForLibrary(error)) << error;
        WriteFile(file.TempPath(), "new");
        ASSERT_TRUE(file.Commit(error)) << error;
    }
    EXPECT_EQ(ReadFile(target), "new");
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    char value[8] = {};
    if (tagged) {
        EXPECT_EQ(::getxattr(target.c_str(), "user.filed-under", value, sizeof value), 3);
    }

    {
        AtomicFile file(target, AtomicFile::Durability::Synced);
        ASSERT_TRUE(file.CreateForLibrary(error)) << error;
        std::filesystem::remove(file.TempPath());
        std::filesystem::create_symlink(other, file.TempPath());
        file.Commit(error);
    }
    ASSERT_EQ(::stat(other.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    if (tagged) {
        EXPECT_LT(::getxattr(other.c_str(), "user.filed-under", value, sizeof value), 0);
    }
    EXPECT_EQ(ReadFile(other), "someone else's");
}

// Writers of one target at once (a job and a preview, a program's threads)
// each get a temporary of their own, named after the process so that a sweep
// knows whose it is, however fast they follow each other.
TEST(AtomicFileTest, WritersOfOneTargetAtOnceEachGetTheirOwnTemporary) {
    TempDir dir;
    const std::filesystem::path target = dir / "a.csv";
    std::string error;
    std::vector<std::unique_ptr<AtomicFile>> files;
    std::set<std::string> names;
    const std::string owner = fmt::format(".~a.csv.{:x}-", ::getpid());
    for (int i = 0; i < 300; ++i) {
        files.push_back(std::make_unique<AtomicFile>(target, AtomicFile::Durability::Scratch));
        ASSERT_TRUE(files.back()->Create(error)) << i << ": " << error;
        const std::string name = files.back()->TempPath().filename().native();
        EXPECT_EQ(name.substr(0, owner.size()), owner);
        EXPECT_EQ(name.size(), owner.size() + 8 + 4) << name;
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 300u);
    ASSERT_TRUE(files[7]->Write("seventh", error));
    ASSERT_TRUE(files[7]->Commit(error)) << error;
    files.clear();
    EXPECT_EQ(ReadFile(target), "seventh");
    EXPECT_EQ(EntriesIn(dir.Path()), 1u);
}

// Every writer follows a link to the file it names and keeps the link: the
// settings writer once replaced the link itself.
TEST(AtomicFileTest, ALinkIsFollowedAndKept) {
    TempDir dir;
    WriteFile(dir / "real/config.ini", "old");
    std::filesystem::create_symlink(dir / "real/config.ini", dir / "config.ini");
    std::string error;
    ASSERT_TRUE(ReplaceFileContents(dir / "config.ini", "new", error)) << error;
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "config.ini"));
    EXPECT_EQ(ReadFile(dir / "real/config.ini"), "new");
    EXPECT_EQ(EntriesIn(dir / "real"), 1u);
}

// An interrupt before the rename drops the new content; a save that goes
// through its rename holds an interrupt off until the target is complete.
// Devices and named pipes are never replaced by a regular file.
TEST(AtomicFileTest, AnInterruptKeepsTheOldFileAndADeviceIsRefused) {
    TempDir dir;
    const std::filesystem::path target = dir / "a.csv";
    WriteFile(target, "old");
    std::string error;
    StopRequest stop;
    {
        AtomicFile file(target, AtomicFile::Durability::Unsynced);
        ASSERT_TRUE(file.Create(error)) << error;
        ASSERT_TRUE(file.Write("new", error));
        stop.RequestInterrupt();
        EXPECT_FALSE(file.Commit(error, &stop));
    }
    EXPECT_EQ(error, "stopped before " + target.string() + " was replaced");
    EXPECT_EQ(ReadFile(target), "old");
    EXPECT_EQ(EntriesIn(dir.Path()), 1u);
    bool ran = false;
    StopRequest running;
    EXPECT_TRUE(running.PutInPlace([&] { ran = true; }));
    EXPECT_TRUE(ran);

    std::filesystem::create_symlink("/dev/null", dir / "null.csv");
    ASSERT_EQ(::mkfifo((dir / "pipe.csv").c_str(), 0600), 0);
    EXPECT_FALSE(ReplaceFileContents(dir / "null.csv", "x", error));
    EXPECT_EQ(error, "Cannot replace /dev/null: it is a character device, not a file");
    EXPECT_FALSE(ReplaceFileContents(dir / "pipe.csv", "x", error));
    EXPECT_NE(error.find("it is a named pipe (FIFO), not a file"), std::string::npos) << error;
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "null.csv"));
    EXPECT_TRUE(std::filesystem::is_fifo(dir / "pipe.csv"));
    EXPECT_EQ(EntriesIn(dir.Path()), 3u);
}

TEST(AtomicFileTest, FailuresNameTheCause) {
    TempDir dir;
    std::string error;
    EXPECT_FALSE(ReplaceFileContents(dir / "no/such/folder/a.txt", "x", error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
    // Commit without a temporary file is refused, never a silent success.
    AtomicFile never(dir / "b.txt");
    EXPECT_FALSE(never.Commit(error));
    EXPECT_FALSE(std::filesystem::exists(dir / "b.txt"));
}

// The working files are written over in place and left alone when they hold
// the bytes already: no temporary file, no new inode, no new time stamp.
TEST(AtomicFileTest, InPlaceWritesOverTheFileOnlyWhenItsContentChanges) {
    TempDir dir;
    const std::filesystem::path target = dir / "_ExportSpecs.t2x";
    std::string error;
    ASSERT_TRUE(ReplaceFileContents(target, "first, longer content", error,
                                    AtomicFile::Durability::InPlace))
        << error;
    struct stat before {};
    ASSERT_EQ(::stat(target.c_str(), &before), 0);
    // A shorter content leaves nothing of the longer one behind.
    ASSERT_TRUE(ReplaceFileContents(target, "second", error, AtomicFile::Durability::InPlace));
    EXPECT_EQ(ReadFile(target), "second");
    struct stat after {};
    ASSERT_EQ(::stat(target.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    // The same bytes again: the file is not touched.
    const timespec old = {1'000'000'000, 0};
    const timespec times[2] = {old, old};
    ASSERT_EQ(::utimensat(AT_FDCWD, target.c_str(), times, 0), 0);
    ASSERT_TRUE(ReplaceFileContents(target, "second", error, AtomicFile::Durability::InPlace));
    ASSERT_EQ(::stat(target.c_str(), &after), 0);
    EXPECT_EQ(after.st_mtim.tv_sec, old.tv_sec);
    ASSERT_TRUE(ReplaceFileContents(target, "third!", error, AtomicFile::Durability::InPlace));
    EXPECT_EQ(ReadFile(target), "third!");
    EXPECT_EQ(EntriesIn(dir.Path()), 1u);
    // A folder that takes no file is said, with its cause.
    EXPECT_FALSE(ReplaceFileContents(dir / "no/such/folder/a.txt", "x", error,
                                     AtomicFile::Durability::InPlace));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
}

// A name of `bytes` bytes ending in `extension`, of two-byte characters as
// far as they go, so that shortening it has characters to cut between.
std::string LongName(size_t bytes, std::string_view extension) {
    std::string name;
    while (name.size() + 2 + extension.size() <= bytes)
        name += "\xC3\xBC"; // u with diaeresis
    name.append(bytes - extension.size() - name.size(), 'x');
    return name + std::string(extension);
}

pid_t GoneProcess() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

// Names of 230 bytes and more once failed with "File name too long": the
// temporary name (and the zip library's, 7 bytes longer) was longer than the
// target's. The stem is shortened between characters, and the sweeps of
// killed runs' temporaries still know the shortened names.
TEST(AtomicFileTest, LongNamesKeepTheirTemporariesWithinTheLimit) {
    TempDir dir;
    for (const size_t length : {230u, 250u, 255u}) {
        const std::filesystem::path target = dir / LongName(length, ".csv");
        ASSERT_EQ(target.filename().native().size(), length);
        std::string error;
        std::string temporary;
        {
            AtomicFile file(target, AtomicFile::Durability::Unsynced);
            ASSERT_TRUE(file.CreateForLibrary(error)) << length << ": " << error;
            temporary = file.TempPath().filename().native();
        }
        EXPECT_LE(temporary.size() + 7, 255u) << temporary;
        Utf8Validator valid;
        EXPECT_TRUE(valid.Feed(temporary.data(), temporary.size()) && valid.Finish()) << temporary;
        EXPECT_EQ(temporary.substr(0, 2), ".~");
        const std::string stem = temporary.substr(2, temporary.find('.', 2) - 2);
        EXPECT_EQ(target.filename().native().substr(0, stem.size()), stem);

        // Temporaries that killed runs left under the shortened name go.
        const std::string dead = fmt::format("{:x}", GoneProcess());
        const std::string stale = ".~" + stem + "." + dead + "-0badc0de.tmp";
        const std::string alive = fmt::format(".~{}.{:x}-0badc0de.tmp", stem, ::getpid());
        WriteFile(dir / stale, "partial");
        WriteFile(dir / (stale + ".Ab12Cd"), "partial");
        WriteFile(dir / alive, "mine");
        ASSERT_TRUE(ReplaceFileContents(target, "saved", error)) << length << ": " << error;
        EXPECT_EQ(ReadFile(target), "saved");
        EXPECT_FALSE(std::filesystem::exists(dir / stale));
        EXPECT_FALSE(std::filesystem::exists(dir / (stale + ".Ab12Cd")));
        EXPECT_TRUE(std::filesystem::exists(dir / alive));
        // The job's sweep of a folder, for any target, knows them too.
        WriteFile(dir / stale, "partial");
        SweepStaleTemporaries(target);
        EXPECT_FALSE(std::filesystem::exists(dir / stale));
        std::filesystem::remove(dir / alive);
        std::filesystem::remove(target);
        EXPECT_EQ(EntriesIn(dir.Path()), 0u);
    }
}

} // namespace
} // namespace vok
