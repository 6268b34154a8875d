// Linked into a cross build's tests only, which run under qemu-user.
// Qt starts a child with clone(CLONE_PIDFD) once a waitid(P_PIDFD) probe
// says the kernel has pidfds; qemu-user 7 passes the probe to the kernel but
// refuses the flag, so no test could start a program (errno EINVAL). Failing
// the probe here, as a kernel without pidfds would, makes Qt start children
// with plain fork(), which the emulator runs. Qt makes the probe, as every
// other raw system call, through syscall(), which this definition takes over.

#include <dlfcn.h>
#include <sys/syscall.h>

#include <array>
#include <cerrno>
#include <cstdarg>

namespace {
constexpr long kPidfdWaitType = 3; // P_PIDFD
}

extern "C" long syscall(long number, ...)
{
    // Six arguments, the most any system call takes; those not passed are
    // read as whatever the registers hold, and the kernel ignores them.
    std::array<long, 6> a{};
    va_list args;
    va_start(args, number);
    for (long &x : a)
        x = va_arg(args, long);
    va_end(args);
    if (number == SYS_waitid && a[0] == kPidfdWaitType) {
        errno = ENOSYS;
        return -1;
    }
    using Syscall = long (*)(long, ...);
    static const auto real = reinterpret_cast<Syscall>(dlsym(RTLD_NEXT, "syscall"));
    return real(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}
