#pragma once

// When the next command of an action is due. The controller's only flow
// control is a pause after each command, measured on a millisecond counter
// of 32 bits read as a signed number (Windows' GetTickCount): a pause of ms
// from a reading is over at the first reading strictly greater than
// start + ms, so a 150 ms pause lasts past 150 ms in whole counter steps.
// Near the top of the counter the target lies beyond the last signed
// reading; it is then taken past the wrap, and the pause first waits for
// the counter to turn negative.

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace rwlink {

// The pause after each command.
inline constexpr std::chrono::milliseconds kCommandGap{150};

// The least time an action of this many commands takes: the pauses between
// them, each command's own writing aside.
constexpr std::chrono::milliseconds action_length(std::size_t commands)
{
    return commands == 0 ? std::chrono::milliseconds{0}
                         : kCommandGap * static_cast<std::int64_t>(commands - 1);
}

class Pause {
public:
    Pause() = default;
    Pause(std::int32_t start_reading, double ms);

    // How far the counter must move on from this reading before the pause
    // can be over; 0 once it is. Readings must be fed in the order taken.
    std::int64_t ticks_to_go(std::int32_t reading);

private:
    double m_target = 0;
    bool m_awaiting_wrap = false;
};

} // namespace rwlink
