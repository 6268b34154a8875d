#include "steadytimer.h"

#include <algorithm>
#include <cstdint>

#include <sys/timerfd.h>
#include <unistd.h>

namespace rwlink {

using namespace std::chrono;

int open_steady_timer()
{
    // std::chrono::steady_clock is CLOCK_MONOTONIC.
    return ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
}

void close_steady_timer(int fd)
{
    ::close(fd);
}

bool arm_steady_timer(int fd, steady_clock::time_point when)
{
    const auto since_epoch = duration_cast<nanoseconds>(when.time_since_epoch());
    // An it_value of zero would disarm the timer instead.
    const std::int64_t ns = std::max<std::int64_t>(since_epoch.count(), 1);
    itimerspec expiry{};
    expiry.it_value.tv_sec = static_cast<time_t>(ns / 1000000000);
    expiry.it_value.tv_nsec = static_cast<long>(ns % 1000000000);
    return ::timerfd_settime(fd, TFD_TIMER_ABSTIME, &expiry, nullptr) == 0;
}

void disarm_steady_timer(int fd)
{
    const itimerspec disarmed{};
    ::timerfd_settime(fd, 0, &disarmed, nullptr);
    steady_timer_rang(fd);
}

bool steady_timer_rang(int fd)
{
    std::uint64_t expiries = 0;
    return ::read(fd, &expiries, sizeof expiries) == sizeof expiries;
}

} // namespace rwlink
