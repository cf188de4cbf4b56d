// Jobs saving workbooks into one folder take turns: the lock is the folder's
// (a link's target's), a second holder waits until the first lets go, and a
// stop ends the wait.
#include "job/OutputFolderLock.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace vok {
namespace {

using test::TempDir;
namespace fs = std::filesystem;

TEST(OutputFolderLockTest, ASecondSaveIntoTheFolderWaitsForTheFirstAndAStopEndsTheWait) {
    TempDir dir;
    fs::create_directories(dir / "shared");
    fs::create_directories(dir / "mine");
    // The user's name for the workbook is a link into the shared folder.
    fs::create_symlink(dir / "shared/book.xlsx", dir / "mine/book.xlsx");
    int waited = 0, asked = 0;
    const auto waiting = [&](const fs::path&) { ++waited; };
    const auto never = [] { return false; };
    {
        const OutputFolderLock first(dir / "mine/book.xlsx", waiting, never);
        EXPECT_FALSE(first.Stopped());
        EXPECT_EQ(first.Folder(), dir / "shared");
        EXPECT_EQ(waited, 0);
        // Another workbook of the shared folder waits, told once, until stopped.
        const OutputFolderLock second(dir / "shared/other.xlsx", waiting,
                                      [&] { return ++asked == 3; });
        EXPECT_TRUE(second.Stopped());
        EXPECT_EQ(waited, 1);
        EXPECT_EQ(asked, 3);
        // Another folder is not held up.
        const OutputFolderLock elsewhere(dir / "mine/own.xlsx", waiting, never);
        EXPECT_FALSE(elsewhere.Stopped());
        EXPECT_EQ(waited, 1);
    }
    // Let go: the next save goes at once.
    const OutputFolderLock next(dir / "shared/book.xlsx", waiting, never);
    EXPECT_FALSE(next.Stopped());
    EXPECT_EQ(waited, 1);
}

TEST(OutputFolderLockTest, AFolderThatCannotBeOpenedIsWrittenWithoutALock) {
    TempDir dir;
    int waited = 0;
    const OutputFolderLock lock(
        dir / "missing/book.xlsx", [&](const fs::path&) { ++waited; }, [] { return true; });
    EXPECT_FALSE(lock.Stopped());
    EXPECT_EQ(waited, 0);
}

} // namespace
} // namespace vok
