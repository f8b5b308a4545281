// Loaded into the tool with LD_PRELOAD to make system calls fail as a full or odd file
// system would: SHIM_FSYNC=fail makes fsync fail with EIO, SHIM_TMPFILE=none makes opening
// a file without a name fail as on a file system that cannot make one. Into the printer, to
// end it at a given moment: SHIM_KILL_AT_RENAME=TEXT kills the process (SIGKILL, as a crash or
// a power cut would) when it renames a file whose name holds TEXT. SHIM_BAD_SECTOR=TEXT@PERCENT
// makes reads of a file whose name holds TEXT fail with EIO where they touch a stretch at
// PERCENT of its length (a tenth of it, at least 512 bytes), as a disk's bad sector does.
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <csignal>
#include <cstdio>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

// The descriptors open on the file with the bad sector, and the streams a read failed on.
constexpr int kTracked = 64;
int badFds[kTracked];
int badCount = 0;
FILE *failedStreams[kTracked];
int failedCount = 0;

bool badFileNamed(const char *path)
{
    const char *set = std::getenv("SHIM_BAD_SECTOR");
    const char *at = set ? std::strchr(set, '@') : nullptr;
    return at && path && at > set && std::strstr(path, std::string(set, size_t(at - set)).c_str()) != nullptr;
}

void track(int fd, const char *path)
{
    if (fd >= 0 && badCount < kTracked && badFileNamed(path))
        badFds[badCount++] = fd;
}

bool tracked(int fd)
{
    for (int i = 0; i < badCount; ++i) {
        if (badFds[i] == fd)
            return true;
    }
    return false;
}

void untrack(int fd)
{
    for (int i = 0; i < badCount; ++i) {
        if (badFds[i] == fd)
            badFds[i] = badFds[--badCount];
    }
}

// Of `wanted` bytes read at `offset` of the file open as `fd`, how many can be read before the
// bad sector (-1: the read starts in it).
long readable(int fd, off_t offset, size_t wanted)
{
    struct stat st;
    if (fstat(fd, &st) != 0)
        return long(wanted);
    const double percent = std::atof(std::strchr(std::getenv("SHIM_BAD_SECTOR"), '@') + 1);
    const off_t length = st.st_size / 10 > 512 ? st.st_size / 10 : 512;
    const off_t start = off_t(double(st.st_size) * percent / 100);
    if (offset + off_t(wanted) <= start || offset >= start + length)
        return long(wanted);
    return offset < start ? long(start - offset) : -1;
}

bool wanted(const char *name, const char *value)
{
    const char *set = std::getenv(name);
    return set && std::strcmp(set, value) == 0;
}

template <typename Fn>
Fn next(const char *name)
{
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

int openWith(const char *name, const char *path, int flags, va_list args)
{
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE))
        mode = mode_t(va_arg(args, int));
    if ((flags & O_TMPFILE) == O_TMPFILE && wanted("SHIM_TMPFILE", "none")) {
        errno = EOPNOTSUPP;
        return -1;
    }
    const int fd = next<int (*)(const char *, int, ...)>(name)(path, flags, mode);
    track(fd, path);
    return fd;
}

} // namespace

extern "C" {

int fsync(int fd)
{
    if (wanted("SHIM_FSYNC", "fail")) {
        errno = EIO;
        return -1;
    }
    return next<int (*)(int)>("fsync")(fd);
}

int open(const char *path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const int fd = openWith("open", path, flags, args);
    va_end(args);
    return fd;
}

int open64(const char *path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const int fd = openWith("open64", path, flags, args);
    va_end(args);
    return fd;
}

int rename(const char *from, const char *to)
{
    const char *text = std::getenv("SHIM_KILL_AT_RENAME");
    if (text && *text && std::strstr(from, text))
        kill(getpid(), SIGKILL);
    return next<int (*)(const char *, const char *)>("rename")(from, to);
}


FILE *fopen(const char *path, const char *mode)
{
    FILE *f = next<FILE *(*)(const char *, const char *)>("fopen")(path, mode);
    if (f)
        track(fileno(f), path);
    return f;
}

FILE *fopen64(const char *path, const char *mode)
{
    FILE *f = next<FILE *(*)(const char *, const char *)>("fopen64")(path, mode);
    if (f)
        track(fileno(f), path);
    return f;
}

ssize_t read(int fd, void *buffer, size_t count)
{
    auto real = next<ssize_t (*)(int, void *, size_t)>("read");
    if (!tracked(fd))
        return real(fd, buffer, count);
    const long can = readable(fd, lseek(fd, 0, SEEK_CUR), count);
    if (can < 0) {
        errno = EIO;
        return -1;
    }
    return real(fd, buffer, size_t(can));
}

size_t fread(void *buffer, size_t size, size_t count, FILE *f)
{
    auto real = next<size_t (*)(void *, size_t, size_t, FILE *)>("fread");
    if (!tracked(fileno(f)) || size == 0)
        return real(buffer, size, count, f);
    const long can = readable(fileno(f), ftello(f), size * count);
    if (size_t(can) == size * count)
        return real(buffer, size, count, f);
    const size_t got = can > 0 ? real(buffer, size, size_t(can) / size, f) : 0;
    if (failedCount < kTracked)
        failedStreams[failedCount++] = f;
    errno = EIO;
    return got;
}

int ferror(FILE *f)
{
    for (int i = 0; i < failedCount; ++i) {
        if (failedStreams[i] == f)
            return 1;
    }
    return next<int (*)(FILE *)>("ferror")(f);
}

void clearerr(FILE *f)
{
    for (int i = 0; i < failedCount; ++i) {
        if (failedStreams[i] == f)
            failedStreams[i] = failedStreams[--failedCount];
    }
    next<void (*)(FILE *)>("clearerr")(f);
}

int close(int fd)
{
    untrack(fd);
    return next<int (*)(int)>("close")(fd);
}

int fclose(FILE *f)
{
    untrack(fileno(f));
    for (int i = 0; i < failedCount; ++i) {
        if (failedStreams[i] == f)
            failedStreams[i] = failedStreams[--failedCount];
    }
    return next<int (*)(FILE *)>("fclose")(f);
}

} // extern "C"
