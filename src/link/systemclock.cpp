#include "systemclock.h"

namespace rwlink {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

SystemClock::SystemClock(std::int32_t first_tick) : m_offset_ms(first_tick - monotonic_ms()) {}

std::int64_t SystemClock::monotonic_ms()
{
    return std::chrono::duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::int32_t SystemClock::tick()
{
    m_last_ms = monotonic_ms();
    // Keep the low 32 bits and read them as signed, as the counter would be.
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(m_last_ms + m_offset_ms));
}

Clock::TimePoint SystemClock::due_time(std::int64_t ticks)
{
    // The counter moves on at each whole millisecond of the steady clock,
    // so its next readings are due at known instants: aim at the instant
    // itself rather than at a whole pause from now.
    return TimePoint(milliseconds(m_last_ms + ticks));
}

} // namespace rwlink
