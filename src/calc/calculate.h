#pragma once

// The Calculate action as a pure function: the ten drive-train texts and the
// base clock in, every text the window shows out, per axis.
//
//   inputs ──axis_total──► total ──display──► total ──hex6_from_text──► total_hex
//                            │
//                            └─rate_divisor─► display ──► decimal ──hex4_from_text──► hex
//                                                            └──floored_text──► decimal
//
// Each value is written as text first and later steps read that text back,
// exactly as the window's boxes would; so a hex text holds the rounded
// displayed value and its decimal text the floor (they can differ by one).
// The function follows the window's order of steps and stops at the first
// one that cannot be computed; the caller writes nothing in that case.

#include "drivetrain.h"
#include "speedtable.h"

#include <array>
#include <cstdint>
#include <string>
#include <variant>

namespace calc {

// RA's divisors: the fifty rows, then the three tracking rates (50–52).
inline constexpr int kRaBoxes = kTableRows + kRateCount;
inline constexpr int kSolarRow = kTableRows; // the first rate's index after the rows

struct CalcInput {
    DriveTrainTexts ra = kDefaultRa; // worm wheel … microstep, as typed
    DriveTrainTexts dec = kDefaultDec;
    std::int32_t base_clock = kClock2MHz;

    bool operator==(const CalcInput &) const = default;
};

struct AxisOutput {
    std::string total;                                // total steps, display form
    std::string reference;                            // reference frequency, floored
    std::string total_hex;                            // the total in six hex digits, as sent
    std::array<std::string, kTableRows> decimal_rows; // row divisors 0–49, floored
    std::array<std::string, kTableRows> hex_rows;     // the same in four hex digits, as sent
};

struct RateOutput {
    std::string decimal; // the rate's divisor, floored
    std::string hex;     // the same in four hex digits, as sent
};

struct CalcOutput {
    std::int32_t base_clock = kClock2MHz;
    AxisOutput ra;
    AxisOutput dec;
    std::array<RateOutput, kRateCount> rates; // solar, lunar, King
    SpeedTable speed_table;                   // columns 0 and 1, rows 0–49 filled
};

enum class FailureCause {
    TotalNotFinite,   // the product of the inputs overflows or is not a number
    ZeroTotal,        // a divisor divides by a total of zero
    DivisorNotFinite, // a divisor divides by a rate too small to represent
    NotInt32,         // a displayed value does not fit a signed 32-bit integer when rounded
};

// The steps of one axis's half of Calculate, in the order they run; RA's
// half runs first, then DEC's.
enum class CalcStage {
    Total,        // the drive train multiplied out
    RateDivisors, // the three tracking-rate divisors (RA only)
    RowDivisors,  // the fifty row divisors
    HexDigits,    // the hex texts, from the decimal ones: rows, then RA's rates
    TotalHex,     // the six hex digits of the total
};

struct CalcFailure {
    Axis axis = Axis::Ra;
    CalcStage stage = CalcStage::Total; // where in the axis's half it stopped
    FailureCause cause = FailureCause::TotalNotFinite;
    int index = -1;    // row 0–49, rate 50–52, or -1 for the axis total
    std::string value; // the offending display text, for NotInt32

    friend bool operator==(const CalcFailure &, const CalcFailure &) = default;
};

using CalcResult = std::variant<CalcOutput, CalcFailure>;

CalcResult calculate(const CalcInput &input);

} // namespace calc
