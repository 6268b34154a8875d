// Preloaded into a test's child (LD_PRELOAD): logs the calls that make a
// store's write durable and exclusive, so a test can see their order from
// outside the program. Each line of $RW7300_TRACE is "PID CALL NAME", NAME the
// base name of the file; write and sync are logged once done, unlink (the
// release of a lock file) before it is done, so what the log shows between a
// lock's write and its unlink happened while the lock was held.

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

template <class F> F real(const char *name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

using Write = ssize_t (*)(int, const void *, size_t);

void log_call(const char *call, const char *path)
{
    static const char *const log = std::getenv("RW7300_TRACE");
    static const Write write = real<Write>("write");
    if (!log || !path)
        return;
    const char *slash = std::strrchr(path, '/');
    char line[512];
    const int n = std::snprintf(line, sizeof line, "%ld %s %s\n", static_cast<long>(getpid()), call,
                                slash ? slash + 1 : path);
    const int fd = open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    if (n > 0 && n < static_cast<int>(sizeof line))
        write(fd, line, static_cast<size_t>(n));
    close(fd);
}

void log_fd(const char *call, int fd)
{
    char link[64];
    char path[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, path, sizeof path - 1);
    if (n <= 0)
        return;
    path[n] = '\0';
    log_call(call, path);
}

} // namespace

extern "C" {

ssize_t write(int fd, const void *bytes, size_t count)
{
    static const Write next = real<Write>("write");
    const ssize_t n = next(fd, bytes, count);
    if (n > 0)
        log_fd("write", fd);
    return n;
}

int fdatasync(int fd)
{
    static const auto next = real<int (*)(int)>("fdatasync");
    const int r = next(fd);
    if (r == 0)
        log_fd("sync", fd);
    return r;
}

int fsync(int fd)
{
    static const auto next = real<int (*)(int)>("fsync");
    const int r = next(fd);
    if (r == 0)
        log_fd("sync", fd);
    return r;
}

int unlink(const char *path)
{
    static const auto next = real<int (*)(const char *)>("unlink");
    log_call("unlink", path);
    return next(path);
}

} // extern "C"
