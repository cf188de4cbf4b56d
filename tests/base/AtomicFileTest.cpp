// The one routine that replaces files: the old content or the complete new
// one, never half of either, for every writer alike.
#include "base/AtomicFile.h"

#include "support/TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

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

} // namespace
} // namespace vok
