#include "pacing.h"

#include <cmath>
#include <limits>

namespace rwlink {

namespace {

constexpr double kTickMax = std::numeric_limits<std::int32_t>::max();
constexpr double kTickSpan = 4294967296.0;

} // namespace

Pause::Pause(std::int32_t start_reading, double ms)
    : m_target(static_cast<double>(start_reading) + ms)
{
    // A target of exactly the top reading counts too: no signed reading can
    // ever be greater than it.
    if (m_target >= kTickMax) {
        m_target -= kTickSpan;
        m_awaiting_wrap = true;
    }
}

std::int64_t Pause::ticks_to_go(std::int32_t reading)
{
    if (m_awaiting_wrap) {
        if (reading >= 0)
            return static_cast<std::int64_t>(kTickMax) - reading + 1;
        m_awaiting_wrap = false;
    }
    if (reading > m_target)
        return 0;
    return static_cast<std::int64_t>(std::floor(m_target)) - reading + 1;
}

} // namespace rwlink
