#pragma once

// The millisecond counter that paces the controller actions: 32 bits read
// as a signed number, like Windows' GetTickCount, wrap-around included.
// Tests put a clock of their own behind the same interface, so that paced
// actions run at full speed and every tick rule can be checked exactly.

#include <chrono>
#include <cstdint>

namespace rwlink {

class Clock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~Clock() = default;

    // Milliseconds, 32 bits read as signed: after 2147483647 comes
    // -2147483648.
    virtual std::int32_t tick() = 0;

    // The moment, on the steady clock, at which the counter first shows a
    // reading `ticks` past the last one tick() gave. A test clock moves its
    // counter on by that much instead and answers with the present moment.
    virtual TimePoint due_time(std::int64_t ticks) = 0;
};

} // namespace rwlink
