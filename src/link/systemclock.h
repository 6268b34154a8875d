#pragma once

// The real clock: the monotonic clock in milliseconds, cut to 32 bits, and
// sleeps that block in a nested event loop until a precise timer fires, so
// the window stays live and the processor idle.

#include "clock.h"

#include <cstdint>
#include <vector>

namespace rwlink {

class SystemClock : public Clock {
public:
    // Counts from the monotonic clock's origin (the system start on Linux).
    SystemClock() = default;
    // Reads first_tick now; lets a test start just before the wrap-around.
    explicit SystemClock(std::int32_t first_tick);

    std::int32_t tick() override;
    bool sleep_ms(int ms) override;
    void wake() override;

private:
    struct Sleep;

    static std::int64_t monotonic_ms();

    std::int64_t m_offset_ms = 0;
    std::vector<Sleep *> m_sleeps; // innermost last; sleeps nest when actions do
};

} // namespace rwlink
