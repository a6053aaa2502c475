// Preloaded into a process to play a file system without unnamed files: every open with
// O_TMPFILE fails with EOPNOTSUPP, as on such a file system. Everything else is passed on.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>

#define FORWARD_OPENAT(name)                                                                       \
    int name(int folder, const char* path, int flags, ...) {                                       \
        va_list rest;                                                                              \
        va_start(rest, flags);                                                                     \
        mode_t mode = 0;                                                                           \
        if ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE)                                 \
            mode = va_arg(rest, mode_t);                                                           \
        va_end(rest);                                                                              \
        if ((flags & O_TMPFILE) == O_TMPFILE) {                                                    \
            errno = EOPNOTSUPP;                                                                    \
            return -1;                                                                             \
        }                                                                                          \
        int (*next)(int, const char*, int, mode_t) = dlsym(RTLD_NEXT, #name);                      \
        return next(folder, path, flags, mode);                                                    \
    }

#define FORWARD_OPEN(name)                                                                         \
    int name(const char* path, int flags, ...) {                                                   \
        va_list rest;                                                                              \
        va_start(rest, flags);                                                                     \
        mode_t mode = 0;                                                                           \
        if ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE)                                 \
            mode = va_arg(rest, mode_t);                                                           \
        va_end(rest);                                                                              \
        if ((flags & O_TMPFILE) == O_TMPFILE) {                                                    \
            errno = EOPNOTSUPP;                                                                    \
            return -1;                                                                             \
        }                                                                                          \
        int (*next)(const char*, int, mode_t) = dlsym(RTLD_NEXT, #name);                           \
        return next(path, flags, mode);                                                            \
    }

FORWARD_OPENAT(openat)
FORWARD_OPENAT(openat64)
FORWARD_OPEN(open)
FORWARD_OPEN(open64)
