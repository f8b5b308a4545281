// Loaded into the tool with LD_PRELOAD to make system calls fail as a full or odd file
// system would: SHIM_FSYNC=fail makes fsync fail with EIO, SHIM_TMPFILE=none makes opening
// a file without a name fail as on a file system that cannot make one. Into the printer, to
// end it at a given moment: SHIM_KILL_AT_RENAME=TEXT kills the process (SIGKILL, as a crash or
// a power cut would) when it renames a file whose name holds TEXT.
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

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
    return next<int (*)(const char *, int, ...)>(name)(path, flags, mode);
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

}
