/* Loaded with LD_PRELOAD into a test's child process: opening with O_TMPFILE
 * fails with EOPNOTSUPP, as on NFS, vfat or CIFS, so every writer has to fall
 * back to a named temporary file. Everything else passes. */
#include <cerrno>
#include <cstdarg>
#include <dlfcn.h>
#include <fcntl.h>

extern "C" int open(const char *path, int flags, ...)
{
    static const auto real = reinterpret_cast<int (*)(const char *, int, ...)>(dlsym(RTLD_NEXT, "open"));
    va_list args;
    va_start(args, flags);
    const int mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(args, int) : 0;
    va_end(args);
    if ((flags & O_TMPFILE) == O_TMPFILE) {
        errno = EOPNOTSUPP;
        return -1;
    }
    return real(path, flags, mode);
}
