// An exclusive lock on a lock file in the program folder, held while a job
// prepares and runs one file, so that two processes sharing the folder do not
// overwrite each other's working files. A second process waits for it.
#pragma once

#include <filesystem>
#include <string>

namespace vok {

class ProgramFolderLock {
public:
    explicit ProgramFolderLock(const std::filesystem::path& lockFile);
    ~ProgramFolderLock();
    ProgramFolderLock(const ProgramFolderLock&) = delete;
    ProgramFolderLock& operator=(const ProgramFolderLock&) = delete;

private:
    int fd_ = -1;
};

} // namespace vok
