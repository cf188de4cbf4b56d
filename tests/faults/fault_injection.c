/* A preload library (LD_PRELOAD) that makes the n-th write, fsync, close or
 * rename of a file in chosen folders fail, in the manner of SQLite's I/O-error
 * tests. Only calls that go through the dynamic linker are seen: the
 * program's own writes (AtomicFile) and the renames and closes of libraries,
 * not the buffered writes of the C library's stdio.
 *
 * Set in the environment:
 *   VOK_FAULT_DIRS   folders (":" between them) whose files count; calls on
 *                    other files, and on folders, pass through uncounted
 *   VOK_FAULT_SKIP   texts (":" between them); a path holding one does not count
 *   VOK_FAULT_AT     the counted call that fails (1-based); 0 or unset: none
 *   VOK_FAULT_ERRNO  the error it fails with: ENOSPC (default) or EIO
 *   VOK_FAULT_REPORT a file that receives, at exit, the number of counted
 *                    calls and one line per call ("write /path")
 *
 * And, to stop a save at its last step while a test does something else:
 *   VOK_FAULT_HOLD_RENAME  a path (as the program names it); a rename that puts
 *                          a file there waits first
 *   VOK_FAULT_HOLD_MARKER  a file made when that wait starts; the rename goes
 *                          on once the test removes it
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#define MAX_FDS 4096
#define MAX_CALLS 4096

static char *tracked[MAX_FDS]; /* the path of each counted descriptor */
/* Descriptors whose close counts: opened for writing, or flushed. A close of
   a file only read can lose nothing. */
static char closing_counts[MAX_FDS];
static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static long calls;
static char *log_lines[MAX_CALLS];

static int (*real_open)(const char *, int, ...);
static int (*real_open64)(const char *, int, ...);
static int (*real_openat)(int, const char *, int, ...);
static int (*real_openat64)(int, const char *, int, ...);
static ssize_t (*real_write)(int, const void *, size_t);
static int (*real_fsync)(int);
static int (*real_fdatasync)(int);
static int (*real_close)(int);
static int (*real_rename)(const char *, const char *);
static ssize_t (*real_pwrite)(int, const void *, size_t, off_t);
static ssize_t (*real_pwrite64)(int, const void *, size_t, off_t);
static int (*real_mkstemp)(char *);
static int (*real_mkostemp)(char *, int);
static size_t (*real_fwrite)(const void *, size_t, size_t, FILE *);
static int (*real_fclose)(FILE *);
static int (*real_renameat)(int, const char *, int, const char *);

static void *next(const char *name) {
    void *symbol = dlsym(RTLD_NEXT, name);
    if (!symbol) {
        fprintf(stderr, "fault_injection: no %s\n", name);
        abort();
    }
    return symbol;
}

static void report(void) {
    const char *file = getenv("VOK_FAULT_REPORT");
    if (!file) return;
    FILE *out = fopen(file, "w");
    if (!out) return;
    fprintf(out, "%ld\n", calls);
    for (long i = 0; i < calls && i < MAX_CALLS; ++i) fprintf(out, "%s\n", log_lines[i]);
    fclose(out);
}

__attribute__((constructor)) static void setup(void) {
    real_open = next("open");
    real_open64 = next("open64");
    real_openat = next("openat");
    real_openat64 = next("openat64");
    real_write = next("write");
    real_fsync = next("fsync");
    real_fdatasync = next("fdatasync");
    real_close = next("close");
    real_rename = next("rename");
    real_renameat = next("renameat");
    real_pwrite = next("pwrite");
    real_pwrite64 = next("pwrite64");
    real_mkstemp = next("mkstemp");
    real_mkostemp = next("mkostemp");
    real_fwrite = next("fwrite");
    real_fclose = next("fclose");
    atexit(report);
}

/* True when the path lies in one of the folders and holds none of the skipped texts. */
static int counts(const char *path) {
    const char *dirs = getenv("VOK_FAULT_DIRS");
    const char *skip = getenv("VOK_FAULT_SKIP");
    char absolute[PATH_MAX];
    if (!path || !dirs) return 0;
    if (path[0] != '/') {
        if (!getcwd(absolute, sizeof absolute)) return 0;
        strncat(absolute, "/", sizeof absolute - strlen(absolute) - 1);
        strncat(absolute, path, sizeof absolute - strlen(absolute) - 1);
        path = absolute;
    }
    if (skip) {
        char texts[PATH_MAX];
        char *save = NULL;
        snprintf(texts, sizeof texts, "%s", skip);
        for (char *t = strtok_r(texts, ":", &save); t; t = strtok_r(NULL, ":", &save))
            if (*t && strstr(path, t)) return 0;
    }
    char folders[PATH_MAX];
    char *save = NULL;
    snprintf(folders, sizeof folders, "%s", dirs);
    for (char *d = strtok_r(folders, ":", &save); d; d = strtok_r(NULL, ":", &save)) {
        size_t n = strlen(d);
        if (n && strncmp(path, d, n) == 0 && (path[n] == '/' || path[n] == '\0')) return 1;
    }
    return 0;
}

/* Counts a call; true when it is the one that must fail. */
static int fails(const char *what, const char *path) {
    const char *at = getenv("VOK_FAULT_AT");
    pthread_mutex_lock(&lock);
    long n = ++calls;
    if (n <= MAX_CALLS) {
        size_t size = strlen(what) + strlen(path) + 2;
        log_lines[n - 1] = malloc(size);
        if (log_lines[n - 1]) snprintf(log_lines[n - 1], size, "%s %s", what, path);
    }
    pthread_mutex_unlock(&lock);
    if (!at || atol(at) != n) return 0;
    const char *code = getenv("VOK_FAULT_ERRNO");
    errno = code && strcmp(code, "EIO") == 0 ? EIO : ENOSPC;
    return 1;
}

static void track(int fd, const char *path, int flags) {
    if (fd < 0 || fd >= MAX_FDS || (flags & O_DIRECTORY) || !counts(path)) return;
    pthread_mutex_lock(&lock);
    free(tracked[fd]);
    tracked[fd] = strdup(path);
    closing_counts[fd] = (flags & O_ACCMODE) != O_RDONLY;
    pthread_mutex_unlock(&lock);
}

static const char *tracked_path(int fd) {
    return fd >= 0 && fd < MAX_FDS ? tracked[fd] : NULL;
}

#define OPEN_MODE(flags, mode)                                                                     \
    mode_t mode = 0;                                                                               \
    if ((flags) & (O_CREAT | __O_TMPFILE)) {                                                       \
        va_list args;                                                                              \
        va_start(args, flags);                                                                     \
        mode = va_arg(args, mode_t);                                                               \
        va_end(args);                                                                              \
    }

int open(const char *path, int flags, ...) {
    OPEN_MODE(flags, mode);
    int fd = real_open(path, flags, mode);
    track(fd, path, flags);
    return fd;
}

int open64(const char *path, int flags, ...) {
    OPEN_MODE(flags, mode);
    int fd = real_open64(path, flags, mode);
    track(fd, path, flags);
    return fd;
}

int openat(int dirfd, const char *path, int flags, ...) {
    OPEN_MODE(flags, mode);
    int fd = real_openat(dirfd, path, flags, mode);
    if (dirfd == AT_FDCWD || path[0] == '/') track(fd, path, flags);
    return fd;
}

int openat64(int dirfd, const char *path, int flags, ...) {
    OPEN_MODE(flags, mode);
    int fd = real_openat64(dirfd, path, flags, mode);
    if (dirfd == AT_FDCWD || path[0] == '/') track(fd, path, flags);
    return fd;
}

ssize_t write(int fd, const void *buffer, size_t size) {
    const char *path = tracked_path(fd);
    if (path && fails("write", path)) return -1;
    return real_write(fd, buffer, size);
}

ssize_t pwrite(int fd, const void *buffer, size_t size, off_t offset) {
    const char *path = tracked_path(fd);
    if (path && fails("write", path)) return -1;
    return real_pwrite(fd, buffer, size, offset);
}

ssize_t pwrite64(int fd, const void *buffer, size_t size, off_t offset) {
    const char *path = tracked_path(fd);
    if (path && fails("write", path)) return -1;
    return real_pwrite64(fd, buffer, size, offset);
}

int mkstemp(char *path) {
    int fd = real_mkstemp(path);
    track(fd, path, O_RDWR);
    return fd;
}

int mkostemp(char *path, int flags) {
    int fd = real_mkostemp(path, flags);
    track(fd, path, O_RDWR | flags);
    return fd;
}

/* A short count, as stdio gives when the disk refuses the bytes. */
size_t fwrite(const void *buffer, size_t size, size_t count, FILE *stream) {
    const char *path = tracked_path(fileno(stream));
    if (path && size && count && fails("write", path)) return 0;
    return real_fwrite(buffer, size, count, stream);
}

/* Stops following `fd` as it is closed. Returns whether this close is the
   one to fail (with its errno in `saved`): a close that fails still releases
   the descriptor, as after a delayed write error on a network folder. */
static int release_tracked(int fd, int *saved) {
    const char *path = tracked_path(fd);
    if (!path) return 0;
    const int failed = closing_counts[fd] && fails("close", path);
    *saved = errno;
    pthread_mutex_lock(&lock);
    free(tracked[fd]);
    tracked[fd] = NULL;
    pthread_mutex_unlock(&lock);
    return failed;
}

/* The stream is closed either way; its descriptor is no longer followed. */
int fclose(FILE *stream) {
    int saved = 0;
    const int failed = release_tracked(fileno(stream), &saved);
    int result = real_fclose(stream);
    if (failed) {
        errno = saved;
        return EOF;
    }
    return result;
}

int fsync(int fd) {
    const char *path = tracked_path(fd);
    if (path) closing_counts[fd] = 1;
    if (path && fails("fsync", path)) return -1;
    return real_fsync(fd);
}

int fdatasync(int fd) {
    const char *path = tracked_path(fd);
    if (path) closing_counts[fd] = 1;
    if (path && fails("fdatasync", path)) return -1;
    return real_fdatasync(fd);
}

int close(int fd) {
    int saved = 0;
    const int failed = release_tracked(fd, &saved);
    int result = real_close(fd);
    if (failed) {
        errno = saved;
        return -1;
    }
    return result;
}

/* Waits while the test's marker stands, when `to` is the path to hold at. */
static void hold(const char* to) {
    const char* at = getenv("VOK_FAULT_HOLD_RENAME");
    const char* marker = getenv("VOK_FAULT_HOLD_MARKER");
    if (!at || !marker || !to || strcmp(at, to) != 0) return;
    int fd = real_open(marker, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) real_close(fd);
    while (access(marker, F_OK) == 0)
        usleep(5000);
}

int rename(const char *from, const char *to) {
    if ((counts(from) || counts(to)) && fails("rename", to)) return -1;
    hold(to);
    return real_rename(from, to);
}

int renameat(int fromdir, const char *from, int todir, const char *to) {
    if (fromdir == AT_FDCWD && todir == AT_FDCWD && (counts(from) || counts(to)) &&
        fails("rename", to))
        return -1;
    if (todir == AT_FDCWD) hold(to);
    return real_renameat(fromdir, from, todir, to);
}
