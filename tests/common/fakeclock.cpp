#include "fakeclock.h"

#include <algorithm>

FakeClock::FakeClock(std::int32_t start)
{
    set_now(start);
}

std::int32_t FakeClock::now() const
{
    return static_cast<std::int32_t>(m_now);
}

void FakeClock::set_now(std::int32_t now)
{
    m_now = static_cast<std::uint32_t>(now);
}

void FakeClock::advance(std::int64_t ms)
{
    m_now += static_cast<std::uint32_t>(ms);
}

std::int32_t FakeClock::tick()
{
    const std::int32_t reading = now();
    m_readings.push_back(reading);
    advance(m_step_per_reading);
    return reading;
}

rwlink::Clock::TimePoint FakeClock::due_time(std::int64_t ticks)
{
    const std::int64_t step = std::max<std::int64_t>(
        m_longest_move > 0 ? std::min<std::int64_t>(ticks, m_longest_move) : ticks, 0);
    advance(step);
    m_moved_ms += step;
    ++m_moves;
    if (m_on_move)
        m_on_move();
    return std::chrono::steady_clock::now();
}
