#pragma once

// The system's timer that rings at an absolute instant of the steady clock
// and says so on a descriptor the event loop can watch (a timerfd). Where
// the system has none, open_steady_timer() gives -1 and Alarm uses a
// QTimer instead.

#include <chrono>

namespace rwlink {

// A new timer's descriptor, or -1.
int open_steady_timer();
void close_steady_timer(int fd);

// Rings once at `when` (at once when it has passed); false when the system
// refused, and the caller must wait some other way.
bool arm_steady_timer(int fd, std::chrono::steady_clock::time_point when);

// Disarms the timer and drops a ring already counted, which would otherwise
// come after a restart.
void disarm_steady_timer(int fd);

// Whether the timer rang since it was last asked; asking takes the ring.
bool steady_timer_rang(int fd);

} // namespace rwlink
