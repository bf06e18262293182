/* Loaded with LD_PRELOAD into a test's child process: opening with O_TMPFILE
 * fails with EOPNOTSUPP, as it does on NFS, vfat or CIFS, so every writer
 * has to fall back to a named temporary file. Everything else passes. */
#include <cerrno>
#include <cstdarg>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/types.h>

namespace {

template<class Fn>
Fn next(const char *name)
{
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

bool refused(int flags)
{
    return (flags & O_TMPFILE) == O_TMPFILE;
}

mode_t modeOf(int flags, va_list args)
{
    return (flags & O_CREAT) || refused(flags) ? mode_t(va_arg(args, int)) : 0;
}

} // namespace

extern "C" {

int open(const char *path, int flags, ...)
{
    static const auto real = next<int (*)(const char *, int, ...)>("open");
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    if (refused(flags)) {
        errno = EOPNOTSUPP;
        return -1;
    }
    return real(path, flags, mode);
}

int open64(const char *path, int flags, ...)
{
    static const auto real = next<int (*)(const char *, int, ...)>("open64");
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    if (refused(flags)) {
        errno = EOPNOTSUPP;
        return -1;
    }
    return real(path, flags, mode);
}

int openat(int dir, const char *path, int flags, ...)
{
    static const auto real = next<int (*)(int, const char *, int, ...)>("openat");
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    if (refused(flags)) {
        errno = EOPNOTSUPP;
        return -1;
    }
    return real(dir, path, flags, mode);
}

} // extern "C"
