// Replacing a file safely: the new content goes to a temporary file beside
// the target, is flushed to disk and then renamed over the target, so the
// target is always either the old file or the complete new one.
#pragma once

#include <string>

namespace vok {

class FileReplacement {
public:
    // `target` names the file to replace (or to create). A symbolic link is
    // followed, so the file it points to is replaced, not the link.
    explicit FileReplacement(const std::string& target);
    // Removes the temporary file unless Commit succeeded.
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Creates the empty temporary file; false, with the reason, when the
    // target is read-only or its folder does not take a new file.
    bool Create(std::string& error);
    const std::string& TempPath() const { return temp_; }

    // Gives the written temporary file the target's permissions, flushes it,
    // renames it over the target and flushes the folder.
    bool Commit(std::string& error);

private:
    std::string target_;
    std::string folder_;
    std::string temp_;
    bool committed_ = false;
};

} // namespace vok
