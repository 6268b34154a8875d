#pragma once

// Which base clock and microstep factor track best. The factor is set on the
// stepper driver and the clock in the program; together they decide how far
// each whole-number divisor lands from the rate it stands for. The advisor
// runs Calculate for every pair and ranks what comes out:
//
//   drive train ─┬─ clock × factor ──calculate──► hex texts ──axis_accuracy──► Candidate
//                └─ ranked per axis: nothing cut; within the tolerance of the
//                   best |drift|, the larger factor; then |drift|; then the
//                   clock in use; then 2 MHz
//
// A drift no one can see at the eyepiece does not buy coarser steps: the
// tolerance (0.5″/h unless told) says how much drift smoother motion may
// cost. Drifts are compared in steps of 0.01″/h.

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
inline constexpr int kSiderealRow = 3;           // the first 1× row
inline constexpr int kLastRowTo2x = 8;           // the 2× row: the last one that tracks
inline constexpr double kDefaultTolerance = 0.5; // ″/h
inline constexpr double kDriftStep = 0.01;       // ″/h: the finest difference the ranking sees
// The sky turns 1,296,000″ in a sidereal day of 86,164.0905 s, so an error
// of one ppm in the sidereal rate drifts 0.054148″ an hour.
inline constexpr double kSkySiderealDay = 86164.0905;
inline constexpr double kDriftPerPpm = kArcsecPerTurn * 3600 / kSkySiderealDay / 1e6;

// Where a candidate stands in its axis's ranking, in ranking order.
enum class Standing {
    WithinTolerance, // uncut, |drift| within the tolerance of the best
    BeyondTolerance, // uncut, drifting more
    Cut,             // the controller cannot hold its table
    OtherClock,      // DEC only: not at the clock RA's choice fixes
};

struct Candidate {
    Axis axis = Axis::Ra;
    std::int32_t base_clock = kClock2MHz;
    int microstep = 0;
    // A divisor over FFFF or not above 0, a total over FFFFFF, or no table
    // at all: the controller would not run what the table asks.
    bool cut = false;
    Standing standing = Standing::Cut;
    std::optional<double> sidereal_ppm;    // the first 1× row; positive is fast
    std::optional<double> sidereal_drift;  // ″ per hour: sidereal_ppm × kDriftPerPpm
    std::optional<double> worst_ppm_to_2x; // the largest |error| of the rows up to 2×
    std::array<std::optional<double>, kRateCount> rate_ppm; // solar, lunar, King (RA)
    std::array<std::optional<double>, kTableRows> row_ppm;  // every row, for a chart
};

struct Advice {
    std::int32_t base_clock = kClock2MHz; // the clock both axes share
    int ra_microstep = 0;
    int dec_microstep = 0;
    double tolerance = kDefaultTolerance; // ″/h
    // The recommendation is the setting in use: nothing to change.
    bool keeps_current = false;
    std::vector<Candidate> ra;  // every clock and factor, the recommended first
    std::vector<Candidate> dec; // at the shared clock first, then the other
};

// One axis's drive train at one clock, its microstep text as it stands
// (so the current setting can be shown beside the advised ones); microstep
// is the factor rounded to a whole number.
Candidate evaluate(Axis axis, const DriveTrainTexts &drive_train, std::int32_t base_clock);

// The candidates in ranking order, each with its standing: the tolerance
// is counted from the best |drift| among them.
std::vector<Candidate> ranked(std::vector<Candidate> candidates, std::int32_t clock_in_use,
                              double tolerance);

// Every clock and factor of both axes, ranked. The setting in use is the
// clock given and the microstep texts of the drive trains.
Advice advise(const DriveTrainTexts &ra, const DriveTrainTexts &dec, std::int32_t clock_in_use,
              double tolerance = kDefaultTolerance);

} // namespace calc
