#include "steadytimer.h"

namespace rwlink {

// A waitable timer is no descriptor the event loop can watch here: Alarm's
// QTimer keeps the time.
int open_steady_timer()
{
    return -1;
}

void close_steady_timer(int) {}

bool arm_steady_timer(int, std::chrono::steady_clock::time_point)
{
    return false;
}

void disarm_steady_timer(int) {}

bool steady_timer_rang(int)
{
    return false;
}

} // namespace rwlink
