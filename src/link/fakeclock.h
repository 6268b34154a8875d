#pragma once

// A clock for tests: time moves only when someone sleeps on it (and, if
// asked, by a step on every reading), so paced actions run at full speed and
// every tick rule can be checked exactly, wrap-around included. Each sleep
// dispatches pending events once, so queued work (serial writes, posted
// calls) still happens between commands.

#include "clock.h"

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace rwlink {

class FakeClock : public Clock {
public:
    explicit FakeClock(std::int32_t start = 0);

    std::int32_t tick() override;
    bool sleep_ms(int ms) override;
    void wake() override {}

    std::int32_t now() const;
    void set_now(std::int32_t now);

    // Every reading moves the time on by this much afterwards (default 0).
    void set_step_per_reading(int ms) { m_step_per_reading = ms; }
    // A sleep moves the time on by at most this much, so a test sees every
    // reading a slower sleeper would (default: the whole sleep).
    void set_longest_sleep(int ms) { m_longest_sleep = ms; }
    // Called after each sleep, with the time already moved on.
    void set_on_sleep(std::function<void()> hook) { m_on_sleep = std::move(hook); }

    const std::vector<std::int32_t> &readings() const { return m_readings; }
    int sleeps() const { return m_sleeps; }
    // Total time slept on, however many wrap-arounds.
    std::int64_t slept_ms() const { return m_slept_ms; }

private:
    void advance(std::int64_t ms);

    std::uint32_t m_now = 0; // unsigned, so moving past the top wraps cleanly
    int m_step_per_reading = 0;
    int m_longest_sleep = 0;
    std::function<void()> m_on_sleep;
    std::vector<std::int32_t> m_readings;
    int m_sleeps = 0;
    std::int64_t m_slept_ms = 0;
};

} // namespace rwlink
