#pragma once

// The millisecond counter the paced waits run on, and the way they let the
// event loop run meanwhile. The waits follow a 32-bit counter read as a
// signed number, like Windows' GetTickCount, wrap-around included; tests put
// a fake clock behind the same interface.

#include <cstdint>

namespace rwlink {

class Clock {
public:
    virtual ~Clock() = default;

    // Milliseconds, 32 bits read as signed: after 2147483647 comes
    // -2147483648.
    virtual std::int32_t tick() = 0;

    // Lets the event loop run for about ms milliseconds, then returns. False
    // when the event loop was told to quit meanwhile (QCoreApplication::exit):
    // the program is ending and nothing more should be sent.
    virtual bool sleep_ms(int ms) = 0;

    // Ends every sleep in progress early, so a cancelled action stops now
    // rather than at the end of its current pause.
    virtual void wake() = 0;
};

} // namespace rwlink
