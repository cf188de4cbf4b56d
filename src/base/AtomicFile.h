// Replacing a file safely: the new content goes to a temporary file beside
// the target and is renamed over the target at the end, so the target is
// always either the old file or the complete new one. Every file the program
// writes goes through here: settings, working files, CSV output, workbooks,
// recipes.
//
// How long a write waits for the disk depends on what the file is worth:
// settings and recipes the user saves are synced; outputs are renamed into
// place without waiting (a job of 2,000 files cannot wait 2,000 times for the
// disk); the working files the program remakes for every input are written
// over in place, and not at all when they hold those bytes already.
//
// A symbolic link is followed: the file it points to is replaced and the link
// stays. The new file keeps what the one it replaces had besides its content:
// its owner and group (as far as the user may give them), its extended
// attributes (an access list among them) and its permissions. A target its
// owner made read-only is refused.
#pragma once

#include "base/StopRequest.h"
#include "base/modUtilityFile.h"

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace vok {

// What a job that writes many outputs into one folder knows of a target
// before it is replaced, so that the save does not ask the system again.
struct TargetKnown {
    FileLook look;        // an lstat of the target's name, taken just before
    size_t nameLimit = 0; // FolderNameLimit of its folder; 0 when not known
};

// The longest name a file in `folder` may have.
size_t FolderNameLimit(const std::filesystem::path& folder);

class AtomicFile {
public:
    enum class Durability {
        Synced,   // flushed to disk before the rename, and the rename itself
        Unsynced, // renamed without waiting for the disk: outputs, files remade at will
        Scratch = Unsynced,
        // ReplaceFileContents only: written over the file itself, without a
        // temporary file or a sync, and skipped when the file holds the bytes
        // already. For the working files that every input file remakes.
        InPlace,
    };

    explicit AtomicFile(const std::filesystem::path& target,
                        Durability durability = Durability::Synced,
                        const TargetKnown* known = nullptr);
    // Removes the temporary file unless Commit succeeded.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the empty temporary file and keeps it open for Write; false,
    // with the reason, when the target is read-only or its folder takes no
    // new file.
    bool Create(std::string& error);
    // The same for a library that writes TempPath by name (and may replace
    // the file there): nothing is kept open, and Commit flushes what the
    // library left at that name.
    bool CreateForLibrary(std::string& error);
    const std::filesystem::path& TempPath() const { return temp_; }
    // The file that is replaced (a link's target).
    const std::filesystem::path& Target() const { return target_; }

    // Appends bytes to the temporary file; false, with the reason, when the
    // disk refused them.
    bool Write(std::string_view bytes, std::string& error);

    // Renames the written temporary file over the target; false, with the
    // reason, when anything failed (the target is then as it was). With
    // `stop`, an interrupt that came before the rename drops the file instead,
    // and one that comes during it waits until the target is complete.
    bool Commit(std::string& error, const StopRequest* stop = nullptr);

    // Drops the temporary file; the target stays as it was.
    void Discard();

private:
    bool CloseTemp(std::string& error);

    std::filesystem::path target_;
    std::filesystem::path folder_;
    std::filesystem::path temp_;
    Durability durability_;
    int fd_ = -1;
    bool committed_ = false;
    bool targetMissing_ = false; // nothing was at the target's name when this was made
    // What the caller found at the target's name (a regular file, or nothing).
    bool looked_ = false;
    FileLook look_;
    size_t nameLimit_ = 0;
};

// Removes the temporary files that killed runs left in the folder a save of
// `target` writes in (beside a link's target), for every target there, and
// returns that folder. A job calls it once for each folder it writes outputs
// to; files users save (Durability::Synced) are swept at each save instead.
std::filesystem::path SweepStaleTemporaries(const std::filesystem::path& target);

// The folder a save of `target` writes in: a link's target's, "." for a bare name.
std::filesystem::path SaveFolder(const std::filesystem::path& target);

// The whole content at once; false, with the reason, when it could not be written.
bool ReplaceFileContents(const std::filesystem::path& target, std::string_view bytes,
                         std::string& error,
                         AtomicFile::Durability durability = AtomicFile::Durability::Synced,
                         const StopRequest* stop = nullptr);

// A working file written over itself a piece at a time, as ReplaceFileContents
// writes it whole with Durability::InPlace: while the file holds the pieces
// already they are compared, not written, and a file that held every byte is
// left untouched; from the first difference on the pieces are written, and
// the file ends after the last. No piece is held beyond its call.
class InPlaceFile {
public:
    // `beforeOpening`, when given, is called once before the file is first
    // opened (to take a lock over it).
    explicit InPlaceFile(std::filesystem::path target, std::function<void()> beforeOpening = {});
    ~InPlaceFile();
    InPlaceFile(const InPlaceFile&) = delete;
    InPlaceFile& operator=(const InPlaceFile&) = delete;
    // The next piece; a failure is kept for Finish to tell.
    void Append(std::string_view bytes);
    // Ends the file after the pieces; false, with the first reason, when
    // anything failed.
    bool Finish(std::string& error);

private:
    static constexpr size_t kBlock = 256 * 1024;
    bool Open();
    bool Reopen();
    void Close();
    void WritePending();
    bool Holds(std::string_view bytes);
    void Fail(std::string_view what);

    std::filesystem::path target_;
    int fd_ = -1;
    bool opened_ = false;
    bool same_ = true; // the file holds every byte appended so far, at its place
    int64_t at_ = 0;   // the bytes appended
    int64_t size_ = 0; // the file's size when opened
    std::string error_;
    std::string pending_; // appended, not yet written
    std::function<void()> beforeOpening_;
};

// An error text with the system's reason ("No space left on device").
std::string SystemErrorText(std::string_view what, const std::filesystem::path& path, int error);

} // namespace vok
