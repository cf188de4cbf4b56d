#include "base/AtomicFile.h"

#include "base/modUtilityFile.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fmt/format.h>
#include <limits>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace vok {

namespace {

// Gives the new file the owner and group of the file it replaces, as far as
// this user may (root both, anyone a group they belong to): a file of a
// folder shared through its group stays shared, and one that root rewrote
// stays its owner's to change.
void KeepOwnerAndGroup(int fd, const struct stat& replaced) {
    struct stat made {};
    if (::fstat(fd, &made) != 0) return;
    if (made.st_uid == replaced.st_uid && made.st_gid == replaced.st_gid) return;
    if (::fchown(fd, replaced.st_uid, replaced.st_gid) != 0 && made.st_gid != replaced.st_gid)
        ::fchown(fd, static_cast<uid_t>(-1), replaced.st_gid);
}

// Copies the extended attributes of the file being replaced, its access
// list among them, onto the new one. What the file system refuses (a label
// only its policy gives) stays as the new file has it.
void KeepExtendedAttributes(int fd, const std::filesystem::path& replaced) {
    const ssize_t size = ::listxattr(replaced.c_str(), nullptr, 0);
    if (size <= 0) return;
    std::string names(static_cast<size_t>(size), '\0');
    const ssize_t listed = ::listxattr(replaced.c_str(), names.data(), names.size());
    if (listed <= 0) return;
    names.resize(static_cast<size_t>(listed));
    std::string value;
    for (size_t at = 0; at < names.size(); at = names.find('\0', at) + 1) {
        const char* name = names.c_str() + at;
        const ssize_t length = ::getxattr(replaced.c_str(), name, nullptr, 0);
        if (length < 0) continue;
        value.resize(static_cast<size_t>(length));
        const ssize_t got = ::getxattr(replaced.c_str(), name, value.data(), value.size());
        if (got >= 0) ::fsetxattr(fd, name, value.data(), static_cast<size_t>(got), 0);
    }
}

// Gives the new file at `fd` what the file it replaces (`replaced`, as seen
// in `look`) has besides its content: owner and group, extended attributes,
// then permissions, last because a change of owner may clear some of them
// and an access list sets the group's.
void KeepWhatTheFileHad(int fd, const struct stat& look, const std::filesystem::path& replaced) {
    KeepOwnerAndGroup(fd, look);
    KeepExtendedAttributes(fd, replaced);
    ::fchmod(fd, look.st_mode & 07777);
}

// Flushes a folder to disk, so that a rename in it survives a crash; folders
// that refuse fsync are fine.
void SyncFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// A temporary file is ".~NAME.PID-RAND.tmp"; the zip library writes its own
// beside it, with ".XXXXXX" added. Both must stay within the folder's limit
// of a name's bytes (255 on most file systems), however long the target's
// name is: NAME is shortened to fit.
constexpr size_t kTemporaryExtra = 2 + 1 + 17 + 4; // ".~", ".", "PID-RAND", ".tmp"
constexpr size_t kLibraryExtra = 7;                // the zip library's ".XXXXXX"

// The NAME part of the temporary files of `name` in a folder whose names
// are at most `limit` bytes: the name, or as much of it as fits, cut before
// a character, not inside one.
std::string TemporaryStem(size_t limit, std::string_view name) {
    const size_t room =
        limit > kTemporaryExtra + kLibraryExtra + 1 ? limit - kTemporaryExtra - kLibraryExtra : 1;
    if (name.size() <= room) return std::string(name);
    size_t cut = room;
    while (cut > 1 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut;
    return std::string(name.substr(0, cut));
}

// A name nobody else picks: the process and a number no other process can
// guess, made without asking the kernel for randomness (a call a name cost a
// folder job of small files a fiftieth of its time). The number mixes the
// random bytes the kernel hands every process at its start with the clock's
// nanoseconds (read through the vDSO) and the caller's attempt: should two
// names meet, O_EXCL makes the caller try again, and a clock that has not
// moved since (a coarse one) still gives another name.
std::string UniqueSuffix(int attempt) {
    uint64_t secret = 0;
    if (const auto* bytes = reinterpret_cast<const unsigned char*>(::getauxval(AT_RANDOM)))
        std::memcpy(&secret, bytes, sizeof secret);
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    // splitmix64's finaliser: every bit of the clock moves every bit of the name.
    uint64_t mixed =
        secret ^
        (static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec)) ^
        (static_cast<uint64_t>(attempt) << 56);
    mixed = (mixed ^ (mixed >> 30)) * 0xbf58476d1ce4e5b9u;
    mixed = (mixed ^ (mixed >> 27)) * 0x94d049bb133111ebu;
    mixed ^= mixed >> 31;
    return fmt::format("{:x}-{:08x}", static_cast<unsigned>(::getpid()),
                       static_cast<uint32_t>(mixed));
}

// The process that made a temporary file ".~NAME.PID-RAND.tmp" (or the zip
// library's "...tmp.XXXXXX" beside it), from the rest of its name after
// ".~NAME."; 0 when the rest is not of that form.
pid_t TemporaryOwner(std::string_view rest) {
    // A run of hex digits ending at `stop`, or npos.
    const auto hexRun = [&](size_t from, char stop, unsigned long& value) {
        const char* begin = rest.data() + from;
        const char* end = rest.data() + rest.size();
        const auto [next, ec] = std::from_chars(begin, end, value, 16);
        if (ec != std::errc() || next == begin || next - begin > 8 || next == end || *next != stop)
            return std::string_view::npos;
        return static_cast<size_t>(next - rest.data());
    };
    unsigned long pid = 0, random = 0;
    const size_t dash = hexRun(0, '-', pid);
    if (dash == std::string_view::npos) return 0;
    const size_t dot = hexRun(dash + 1, '.', random);
    if (dot == std::string_view::npos || rest.substr(dot, 4) != ".tmp") return 0;
    const std::string_view after = rest.substr(dot + 4);
    if (!after.empty() && after.front() != '.') return 0;
    return pid <= static_cast<unsigned long>(std::numeric_limits<pid_t>::max())
               ? static_cast<pid_t>(pid)
               : 0;
}

// The process that made the temporary file `entry` (".~NAME.PID-RAND.tmp"
// or the zip library's name beside it) when it is one of ours; 0 otherwise.
// `stem` is the NAME of one target's files (TemporaryStem); with `stem`
// empty the file may belong to any target: NAME may hold dots, so each dot
// is tried as its end.
pid_t EntryOwner(std::string_view entry, std::string_view stem) {
    if (entry.size() < 3 || entry.substr(0, 2) != ".~") return 0;
    const std::string_view rest = entry.substr(2);
    if (!stem.empty()) {
        if (rest.size() <= stem.size() + 1 || rest.substr(0, stem.size()) != stem ||
            rest[stem.size()] != '.')
            return 0;
        return TemporaryOwner(rest.substr(stem.size() + 1));
    }
    for (size_t dot = rest.find('.'); dot != std::string_view::npos;
         dot = rest.find('.', dot + 1)) {
        if (const pid_t owner = TemporaryOwner(rest.substr(dot + 1)); owner > 0) return owner;
    }
    return 0;
}

// Removes the temporary files in `folder` of earlier saves (of the target
// whose TemporaryStem is `stem`, or of any target when it is empty) whose
// process is gone (killed, or the machine stopped): nothing else would ever
// remove them.
void RemoveStaleTemporaries(const std::filesystem::path& folder, std::string_view stem) {
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        const pid_t owner = EntryOwner(entry, stem);
        if (owner <= 0 || owner == ::getpid()) continue;
        if (::kill(owner, 0) == 0 || errno != ESRCH) continue; // still running, or unknown
        ::unlink(it->path().c_str());
    }
}

// The file a save of `target` replaces: a link's target, so the link stays,
// also when the target does not exist yet (a dangling link makes it).
// `missing` tells that nothing at all is at the name: no file, no link.
std::filesystem::path ReplacedFile(const std::filesystem::path& target, bool& missing) {
    struct stat st {};
    missing = false;
    if (::lstat(target.c_str(), &st) != 0) {
        missing = errno == ENOENT;
        return target;
    }
    if (!S_ISLNK(st.st_mode)) return target;
    std::error_code ec;
    std::filesystem::path real = target;
    // Link by link, as the system follows them (it gives up after 40).
    for (int hops = 0; hops < 40 && std::filesystem::is_symlink(real, ec); ++hops) {
        const std::filesystem::path next = std::filesystem::read_symlink(real, ec);
        if (ec) return target;
        real = next.is_absolute() ? next : real.parent_path() / next;
    }
    if (real == target) return target;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(real, ec);
    return ec ? real : resolved;
}

} // namespace

size_t FolderNameLimit(const std::filesystem::path& folder) {
    const long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    return limit > 0 ? static_cast<size_t>(limit) : NAME_MAX;
}

std::filesystem::path SaveFolder(const std::filesystem::path& target) {
    bool missing = false;
    std::filesystem::path folder = ReplacedFile(target, missing).parent_path();
    return folder.empty() ? "." : folder;
}

std::filesystem::path SweepStaleTemporaries(const std::filesystem::path& target) {
    std::filesystem::path folder = SaveFolder(target);
    RemoveStaleTemporaries(folder, {});
    return folder;
}

std::string SystemErrorText(std::string_view what, const std::filesystem::path& path, int error) {
    return fmt::format("{} {} ({})", what, path.string(), std::strerror(error));
}

AtomicFile::AtomicFile(const std::filesystem::path& target, Durability durability,
                       const TargetKnown* known)
    : durability_(durability) {
    // A link is followed as ReplacedFile follows it; a file or nothing at the
    // name is what the caller saw.
    looked_ =
        known && !known->look.IsLink() && (known->look.Exists() || known->look.error == ENOENT);
    if (looked_) {
        target_ = target;
        targetMissing_ = !known->look.Exists();
        look_ = known->look;
        nameLimit_ = known->nameLimit;
    } else {
        target_ = ReplacedFile(target, targetMissing_);
    }
    folder_ = target_.parent_path();
    if (folder_.empty()) folder_ = ".";
}

AtomicFile::~AtomicFile() {
    Discard();
}

void AtomicFile::Discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty() && !committed_) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
}

bool AtomicFile::Create(std::string& error) {
    // A device or a named pipe would be replaced by a regular file: refused.
    // A name that held nothing when the file was opened needs neither check.
    const std::string kind = targetMissing_ ? ""
                             : looked_      ? NonFileKind(look_)
                                            : NonFileKind(target_);
    if (!kind.empty()) {
        error = "Cannot replace " + target_.string() + ": it is " + kind + ", not a file";
        return false;
    }
    // A file its owner made read-only is not replaced behind their back.
    if (!targetMissing_ && (looked_ || ::access(target_.c_str(), F_OK) == 0) &&
        ::access(target_.c_str(), W_OK) != 0) {
        error = SystemErrorText("Cannot replace the read-only file", target_, errno);
        return false;
    }
    if (nameLimit_ == 0) nameLimit_ = FolderNameLimit(folder_);
    const std::string stem = TemporaryStem(nameLimit_, target_.filename().native());
    // Outputs are swept once per folder by their job (SweepStaleTemporaries):
    // a sweep per save would read a folder of n outputs n times.
    if (durability_ == Durability::Synced) RemoveStaleTemporaries(folder_, stem);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path candidate =
            folder_ / (".~" + stem + "." + UniqueSuffix(attempt) + ".tmp");
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            fd_ = fd;
            temp_ = candidate;
            return true;
        }
        if (errno != EEXIST) break;
    }
    error = SystemErrorText("Cannot create a file in the folder", folder_, errno);
    return false;
}

bool AtomicFile::CreateForLibrary(std::string& error) {
    if (!Create(error)) return false;
    // A descriptor kept open would point at a file the library may replace,
    // and flushing it would flush nothing of the library's.
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        error = SystemErrorText("Cannot write", target_, errno);
        Discard();
        return false;
    }
    return true;
}

bool AtomicFile::Write(std::string_view bytes, std::string& error) {
    if (fd_ < 0) {
        error = "Cannot write " + temp_.string() + ": the file is not open";
        return false;
    }
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            error = SystemErrorText("Cannot write", target_, errno);
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool AtomicFile::CloseTemp(std::string& error) {
    const int fd = fd_;
    fd_ = -1;
    if (fd < 0) return true;
    // The new content must be on disk before the name points at it.
    if (durability_ == Durability::Synced && ::fsync(fd) != 0) {
        error = SystemErrorText("Cannot write", target_, errno);
        ::close(fd);
        return false;
    }
    // A delayed write error (a full disk on a network folder) shows at close.
    if (::close(fd) != 0) {
        error = SystemErrorText("Cannot write", target_, errno);
        return false;
    }
    return true;
}

bool AtomicFile::Commit(std::string& error, const StopRequest* stop) {
    if (temp_.empty()) {
        error = "Cannot write " + target_.string() + ": no temporary file was created";
        return false;
    }
    // The file being replaced, as the caller saw it when it looked.
    const FileLook replaced = looked_ ? look_ : FileLook::Of(target_);
    // A temporary a library wrote by its name is opened again, to keep what
    // that file had and to be flushed. A link is not followed: a link someone
    // put in its place is given nothing.
    if (fd_ < 0 && (replaced.Exists() || durability_ == Durability::Synced))
        fd_ = ::open(temp_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    // The new file keeps what the old one had besides its content; nothing
    // there needs nothing kept.
    if (replaced.Exists() && fd_ >= 0) KeepWhatTheFileHad(fd_, replaced.info, target_);
    if (!CloseTemp(error)) {
        Discard();
        return false;
    }
    int renameError = 0;
    const auto rename = [&] {
        if (::rename(temp_.c_str(), target_.c_str()) != 0) renameError = errno;
    };
    const bool attempted = stop ? stop->PutInPlace(rename) : (rename(), true);
    if (!attempted) {
        error = "stopped before " + target_.string() + " was replaced";
        Discard();
        return false;
    }
    if (renameError != 0) {
        error = SystemErrorText("Cannot replace", target_, renameError);
        Discard();
        return false;
    }
    committed_ = true;
    if (durability_ == Durability::Synced) SyncFolder(folder_);
    return true;
}

namespace {

// The working files' way: over the file itself, unless it holds the bytes already.
bool WriteInPlace(const std::filesystem::path& target, std::string_view bytes, std::string& error) {
    InPlaceFile file(target);
    file.Append(bytes);
    return file.Finish(error);
}

} // namespace

bool ReplaceFileContents(const std::filesystem::path& target, std::string_view bytes,
                         std::string& error, AtomicFile::Durability durability,
                         const StopRequest* stop) {
    if (durability == AtomicFile::Durability::InPlace) return WriteInPlace(target, bytes, error);
    AtomicFile file(target, durability);
    return file.Create(error) && file.Write(bytes, error) && file.Commit(error, stop);
}

InPlaceFile::InPlaceFile(std::filesystem::path target, std::function<void()> beforeOpening)
    : target_(std::move(target)), beforeOpening_(std::move(beforeOpening)) {}

InPlaceFile::~InPlaceFile() {
    if (fd_ >= 0) ::close(fd_);
}

void InPlaceFile::Fail(std::string_view what) {
    if (error_.empty()) error_ = SystemErrorText(what, target_, errno);
}

bool InPlaceFile::Open() {
    opened_ = true;
    if (beforeOpening_) beforeOpening_();
    // The same refusal as a replacement: a file its owner made read-only stays.
    if (::access(target_.c_str(), F_OK) == 0 && ::access(target_.c_str(), W_OK) != 0) {
        Fail("Cannot replace the read-only file");
        return false;
    }
    fd_ = ::open(target_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        Fail("Cannot write");
        return false;
    }
    struct stat st {};
    // Only a regular file is compared; anything else is written.
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))
        same_ = false;
    else
        size_ = st.st_size;
    return true;
}

// True when the file holds `bytes` where they are appended.
bool InPlaceFile::Holds(std::string_view bytes) {
    if (at_ + static_cast<int64_t>(bytes.size()) > size_) return false;
    char held[16 * 1024];
    size_t done = 0;
    while (done < bytes.size()) {
        const size_t want = std::min(sizeof held, bytes.size() - done);
        const ssize_t n = ::pread(fd_, held, want, static_cast<off_t>(at_) + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || std::memcmp(held, bytes.data() + done, static_cast<size_t>(n)) != 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

void InPlaceFile::Append(std::string_view bytes) {
    // Written a block at a time, the file open only meanwhile: a job holds
    // no descriptor for it while it reads the report between pieces. The
    // block is taken whole: grown by doubling it would touch twice its pages,
    // while pages never written cost nothing.
    if (pending_.capacity() < kBlock) pending_.reserve(kBlock);
    pending_.append(bytes);
    if (pending_.size() < kBlock) return;
    WritePending();
    Close();
}

void InPlaceFile::WritePending() {
    if (!error_.empty()) return;
    if (!opened_ ? !Open() : !Reopen()) return;
    const std::string_view bytes = pending_;
    if (same_ && Holds(bytes)) {
        at_ += static_cast<int64_t>(bytes.size());
        pending_.clear();
        return;
    }
    same_ = false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done,
                                   static_cast<off_t>(at_) + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            Fail("Cannot write");
            return;
        }
        done += static_cast<size_t>(n);
    }
    at_ += static_cast<int64_t>(done);
    pending_.clear();
}

bool InPlaceFile::Reopen() {
    if (fd_ >= 0) return true;
    fd_ = ::open(target_.c_str(), O_RDWR | O_CLOEXEC);
    if (fd_ < 0) Fail("Cannot write");
    return fd_ >= 0;
}

void InPlaceFile::Close() {
    if (fd_ >= 0 && ::close(fd_) != 0) Fail("Cannot write");
    fd_ = -1;
}

bool InPlaceFile::Finish(std::string& error) {
    WritePending();
    // A file that held more than was appended ends after it.
    if (fd_ >= 0 && error_.empty() && (!same_ || size_ != at_) &&
        ::ftruncate(fd_, static_cast<off_t>(at_)) != 0)
        Fail("Cannot write");
    Close();
    error = error_;
    return error_.empty();
}

} // namespace vok
