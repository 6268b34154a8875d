#pragma once

// Which base clock and microstep factor track best. The factor is set on the
// stepper driver and the clock in the program; together they decide how far
// each whole-number divisor lands from the rate it stands for. The advisor
// runs Calculate for every pair and ranks what comes out:
//
//   drive train ─┬─ clock × factor ──calculate──► hex texts ──axis_accuracy──► Candidate
//                └─ ranked per axis: nothing cut, |sidereal|, worst up to 2×, larger factor
//
// Errors are compared rounded to 0.01 ppm, so a difference no mount could
// show does not outweigh smoother motion.

#include "accuracy.h"
#include "calculate.h"
#include "drivetrain.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace calc {

inline constexpr std::array<std::int32_t, 2> kAdvisedClocks = {kClock2MHz, kClock250kHz};
inline constexpr std::array<int, 9> kAdvisedMicrosteps = {1, 2, 4, 8, 16, 32, 64, 128, 256};
inline constexpr int kSiderealRow = 3;    // the first 1× row
inline constexpr int kLastRowTo2x = 8;    // the 2× row: the last one that tracks
inline constexpr double kRankStep = 0.01; // ppm: the finest difference the ranking sees

struct Candidate {
    Axis axis = Axis::Ra;
    std::int32_t base_clock = kClock2MHz;
    int microstep = 0;
    // A divisor over FFFF or not above 0, a total over FFFFFF, or no table
    // at all: the controller would not run what the table asks.
    bool cut = false;
    std::optional<double> sidereal_ppm;    // the first 1× row; positive is fast
    std::optional<double> sidereal_drift;  // its drift in ″ per hour
    std::optional<double> worst_ppm_to_2x; // the largest |error| of the rows up to 2×
    std::array<std::optional<double>, kRateCount> rate_ppm; // solar, lunar, King (RA)
    std::array<std::optional<double>, kTableRows> row_ppm;  // every row, for a chart
};

struct Advice {
    std::int32_t base_clock = kClock2MHz; // the clock both axes share
    int ra_microstep = 0;
    int dec_microstep = 0;
    std::vector<Candidate> ra;  // every clock and factor, best first
    std::vector<Candidate> dec; // likewise
};

// One axis's drive train at one clock, its microstep text as it stands
// (so the current setting can be shown beside the advised ones); microstep
// is the factor rounded to a whole number.
Candidate evaluate(Axis axis, const DriveTrainTexts &drive_train, std::int32_t base_clock);

// True when a is to be preferred to b.
bool ranks_before(const Candidate &a, const Candidate &b);

Advice advise(const DriveTrainTexts &ra, const DriveTrainTexts &dec);

} // namespace calc
