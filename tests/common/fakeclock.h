#pragma once

// A counter for tests: it moves only when a paced action asks when its
// next reading is due (and, if asked, by a step on every reading), so paced
// actions run at full speed and every tick rule can be checked exactly,
// wrap-around included. The action still comes back through the event
// loop, so queued work (serial writes, posted calls) happens between
// commands.

#include "clock.h"

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

class FakeClock : public rwlink::Clock {
public:
    explicit FakeClock(std::int32_t start = 0);

    std::int32_t tick() override;
    // Moves the counter on by ticks (at most the longest move) and answers
    // with the present moment.
    TimePoint due_time(std::int64_t ticks) override;

    std::int32_t now() const;
    void set_now(std::int32_t now);

    // Every reading moves the counter on by this much afterwards (default 0).
    void set_step_per_reading(int ms) { m_step_per_reading = ms; }
    // A move goes at most this far, so a test sees every reading a slower
    // counter would give (default: as far as asked).
    void set_longest_move(int ms) { m_longest_move = ms; }
    // Called after each move, with the counter already moved on: the
    // action is pausing after a command.
    void set_on_move(std::function<void()> hook) { m_on_move = std::move(hook); }

    const std::vector<std::int32_t> &readings() const { return m_readings; }
    int moves() const { return m_moves; }
    // Total distance moved, however many wrap-arounds.
    std::int64_t moved_ms() const { return m_moved_ms; }

private:
    void advance(std::int64_t ms);

    std::uint32_t m_now = 0; // unsigned, so moving past the top wraps cleanly
    int m_step_per_reading = 0;
    int m_longest_move = 0;
    std::function<void()> m_on_move;
    std::vector<std::int32_t> m_readings;
    int m_moves = 0;
    std::int64_t m_moved_ms = 0;
};
