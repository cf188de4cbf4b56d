// An exclusive lock on a lock file in the program folder, held while a job
// prepares and runs one file, so that two processes sharing the folder do not
// overwrite each other's working files. A second process waits for it.
#pragma once

#include <filesystem>
#include <functional>
#include <stdexcept>

namespace vok {

class ProgramFolderLock {
public:
    // Thrown when the job was stopped while it waited: nothing was written.
    class Stopped : public std::runtime_error {
    public:
        Stopped() : std::runtime_error("stopped while waiting for the working files") {}
    };

    // Waits for the lock; `waiting` is called once if another process holds
    // it, and `giveUp` is asked while it waits (true: Stopped is thrown).
    ProgramFolderLock(const std::filesystem::path& lockFile, const std::function<void()>& waiting,
                      const std::function<bool()>& giveUp);
    ~ProgramFolderLock();
    ProgramFolderLock(const ProgramFolderLock&) = delete;
    ProgramFolderLock& operator=(const ProgramFolderLock&) = delete;

private:
    int fd_ = -1;
};

} // namespace vok
