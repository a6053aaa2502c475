// Preloaded into a process to play a file system without unnamed files: every open with
// O_TMPFILE fails with EOPNOTSUPP, as on such a file system. Everything else is passed on.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>

// open(path, ...) is openat(AT_FDCWD, path, ...): all four go to the C library's openat.
static int openUnlessUnnamed(int folder, const char* path, int flags, mode_t mode) {
    if ((flags & O_TMPFILE) == O_TMPFILE) {
        errno = EOPNOTSUPP;
        return -1;
    }
    int (*next)(int, const char*, int, mode_t) = dlsym(RTLD_NEXT, "openat");
    return next(folder, path, flags, mode);
}

// The mode argument is there only for a call that may create a file.
#define MODE_ARGUMENT(flags)                                                                       \
    mode_t mode = 0;                                                                               \
    va_list rest;                                                                                  \
    va_start(rest, flags);                                                                         \
    if ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE)                                     \
        mode = va_arg(rest, mode_t);                                                               \
    va_end(rest)

int openat(int folder, const char* path, int flags, ...) {
    MODE_ARGUMENT(flags);
    return openUnlessUnnamed(folder, path, flags, mode);
}

int openat64(int folder, const char* path, int flags, ...) {
    MODE_ARGUMENT(flags);
    return openUnlessUnnamed(folder, path, flags, mode);
}

int open(const char* path, int flags, ...) {
    MODE_ARGUMENT(flags);
    return openUnlessUnnamed(AT_FDCWD, path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    MODE_ARGUMENT(flags);
    return openUnlessUnnamed(AT_FDCWD, path, flags, mode);
}
