#pragma once

// The Calculate action as a pure function: the ten drive-train texts and the
// base clock in, every text the window shows out.
//
//   inputs ──axis_total──► total ──display──► Text2 ──hex6_from_text──► Text11
//                            │
//                            └─rate_divisor─► display ──► Text7(i) ──hex4_from_text──► Text8(i)
//                                                            └──floored_text──► Text7(i)
//
// Each value is written as text first and later steps read that text back,
// exactly as the window's boxes would; so the hex box holds the rounded
// displayed value and the decimal box its floor (they can differ by one).
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
inline constexpr int kSolarRow = 50;

struct CalcInput {
    DriveTrainTexts ra = kDefaultRa;   // Text1(0…4)
    DriveTrainTexts dec = kDefaultDec; // Text4(0…4)
    std::int32_t base_clock = kClock2MHz;
};

// Field names follow the boxes they go into.
struct CalcOutput {
    std::int32_t base_clock = kClock2MHz;
    std::string text2;                          // RA total steps
    std::string text3;                          // RA reference frequency (floored)
    std::string text5;                          // DEC total steps
    std::string text6;                          // DEC reference frequency (floored)
    std::string text11;                         // RA total, six hex digits
    std::string text12;                         // DEC total, six hex digits
    std::array<std::string, kRaBoxes> text7;    // RA decimal rows and the three rates
    std::array<std::string, kRaBoxes> text8;    // RA hex rows and the three rates
    std::array<std::string, kTableRows> text9;  // DEC decimal rows
    std::array<std::string, kTableRows> text10; // DEC hex rows
    SpeedTable speed_table;                     // columns 0 and 1, rows 0–49 filled
};

enum class FailureCause {
    TotalNotFinite,   // the product of the inputs overflows or is not a number
    ZeroTotal,        // a divisor divides by a total of zero
    DivisorNotFinite, // a divisor divides by a rate too small to represent
    NotInt32,         // a displayed value does not fit a signed 32-bit integer when rounded
};

struct CalcFailure {
    Axis axis = Axis::Ra;
    int step = 0; // the step of the Calculate order where it stopped (2 … 17)
    FailureCause cause = FailureCause::TotalNotFinite;
    int index = -1;    // row 0–49, rate 50–52, or -1 for the axis total
    std::string value; // the offending display text, for NotInt32

    friend bool operator==(const CalcFailure &, const CalcFailure &) = default;
};

using CalcResult = std::variant<CalcOutput, CalcFailure>;

CalcResult calculate(const CalcInput &input);

// A one-line Japanese description naming the axis, the place and the cause.
std::string failure_message(const CalcFailure &failure);

// "赤経" or "赤緯".
const char *axis_name(Axis axis);

} // namespace calc
