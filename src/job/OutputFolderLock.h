// An exclusive lock on the folder a workbook is saved in, held from reading
// the existing workbook to putting the new one in its place. A save rewrites
// the whole workbook from what it read; without the lock, two jobs writing
// into one workbook at once (two users, two program folders) would each save
// the workbook as they found it, and the later save would drop the sheets
// the earlier one wrote while both said they had succeeded. With it the
// second job waits and reads the first one's result.
#pragma once

#include <filesystem>
#include <functional>

namespace vok {

class OutputFolderLock {
public:
    // Waits for the lock on the folder `output` is saved in. `waiting` is
    // called once, with that folder, if another process holds it; `giveUp` is asked while it
    // waits and ends the wait when it answers true (Stopped() then tells).
    // A folder that cannot be locked (unreadable, a file system without
    // locks) is written without one, as before there was a lock.
    OutputFolderLock(const std::filesystem::path& output,
                     const std::function<void(const std::filesystem::path& folder)>& waiting,
                     const std::function<bool()>& giveUp);
    ~OutputFolderLock();
    OutputFolderLock(const OutputFolderLock&) = delete;
    OutputFolderLock& operator=(const OutputFolderLock&) = delete;

    bool Stopped() const { return stopped_; }
    const std::filesystem::path& Folder() const { return folder_; }

private:
    std::filesystem::path folder_;
    int fd_ = -1;
    bool stopped_ = false;
};

} // namespace vok
