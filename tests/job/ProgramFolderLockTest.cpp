// Two jobs of one program folder take turns with its working files; a job
// stopped while it waits for the other ends at once, holding nothing.
#include "job/ProgramFolderLock.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace vok {
namespace {

using test::TempDir;

TEST(ProgramFolderLockTest, TheSecondJobWaitsAndAStopWhileItWaitsThrowsWithNothingHeld) {
    TempDir dir;
    const auto lockFile = dir / "vok.lock";
    int waited = 0, asked = 0;
    const auto waiting = [&] { ++waited; };
    const auto never = [] { return false; };
    {
        const ProgramFolderLock first(lockFile, waiting, never);
        EXPECT_EQ(waited, 0);
        EXPECT_THROW(ProgramFolderLock(lockFile, waiting, [&] { return ++asked == 2; }),
                     ProgramFolderLock::Stopped);
        EXPECT_EQ(waited, 1);
        EXPECT_EQ(asked, 2);
    }
    // The first let go, and the one that gave up holds nothing: the next goes at once.
    const ProgramFolderLock next(lockFile, waiting, [] { return true; });
    EXPECT_EQ(waited, 1);
}

} // namespace
} // namespace vok
