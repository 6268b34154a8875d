#pragma once

// The real counter: the monotonic clock in milliseconds, cut to 32 bits.

#include "clock.h"

#include <cstdint>

namespace rwlink {

class SystemClock : public Clock {
public:
    // Counts from the monotonic clock's origin (the system start on Linux).
    SystemClock() = default;
    // Reads first_tick now; lets a test start just before the wrap-around.
    explicit SystemClock(std::int32_t first_tick);

    std::int32_t tick() override;
    TimePoint due_time(std::int64_t ticks) override;

private:
    static std::int64_t monotonic_ms();

    std::int64_t m_offset_ms = 0;
    std::int64_t m_last_ms = monotonic_ms(); // the last reading, before the offset and the cut
};

} // namespace rwlink
