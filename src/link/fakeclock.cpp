#include "fakeclock.h"

#include <QCoreApplication>

#include <algorithm>

namespace rwlink {

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

bool FakeClock::sleep_ms(int ms)
{
    QCoreApplication::processEvents();
    const int step = m_longest_sleep > 0 ? std::min(ms, m_longest_sleep) : ms;
    advance(std::max(step, 0));
    m_slept_ms += std::max(step, 0);
    ++m_sleeps;
    if (m_on_sleep)
        m_on_sleep();
    return true;
}

} // namespace rwlink
