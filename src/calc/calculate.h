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

inline constexpr int kRaBoxes = kTableRows + kRateCount; // Text7/Text8: rows 0–49, rates 50–52
inline constexpr int kSolarRow = kTableRows;             // the first rate's index after the rows

struct CalcInput {
    DriveTrainTexts ra = kDefaultRa;   // Text1(0…4)
    DriveTrainTexts dec = kDefaultDec; // Text4(0…4)
    std::int32_t base_clock = kClock2MHz;

    bool operator==(const CalcInput &) const = default;
};

struct AxisOutput {
    std::string total;     // total steps, display form (window Text2 / Text5)
    std::string reference; // reference frequency, floored (Text3 / Text6)
    std::string total_hex; // six hex digits (Text11 / Text12)
    std::array<std::string, kTableRows> decimal_rows; // Text7 / Text9, rows 0–49
    std::array<std::string, kTableRows> hex_rows;     // Text8 / Text10, rows 0–49
};

struct RateOutput {
    std::string decimal; // Text7(50+k)
    std::string hex;     // Text8(50+k)
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
    HexDigits,    // the hex boxes, from the decimal ones: rows, then RA's rates
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
