#pragma once

// The drive train of one axis and the rates derived from it. A divisor is
// always base clock ÷ step frequency: the count the controller's pulse timer
// divides its base clock by to step the motor at that rate.

#include "commands.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace calc {

// Day lengths in seconds. Every speed-table row is a multiple of the sidereal
// rate; the three tracking rates of RA use their own day.
inline constexpr double kSiderealDay = 86164;
inline constexpr double kSolarDay = 86400;
inline constexpr double kLunarDay = 89455;
inline constexpr double kKingDay = 86190;

inline constexpr int kRateCount = 3; // solar, lunar, King
inline constexpr std::array<double, kRateCount> kRateDays = {kSolarDay, kLunarDay, kKingDay};
// Their names in the JSON report.
inline constexpr std::array<std::string_view, kRateCount> kRateKeys = {"solar", "lunar", "king"};

// Speed-table row multipliers, in sidereal rates. Rows 3/4 and 13/14/15
// repeat on purpose: the controller has a slot for each.
inline constexpr std::array<double, kTableRows> kRowMultipliers = {
    0.5, 0.7, 0.75, 1,   1,   1.25, 1.3, 1.5, 2,   4,   //
    8,   12,  14,   16,  16,  16,   20,  30,  40,  50,  //
    60,  70,  80,   90,  100, 110,  120, 130, 140, 150, //
    155, 160, 165,  170, 175, 180,  185, 190, 195, 200, //
    205, 210, 215,  220, 225, 230,  235, 240, 245, 250};

// Microsteps per axis revolution: worm × intermediate × motor × reduction ×
// microstep, multiplied in that order, each box read leniently.
double axis_total(const DriveTrainTexts &inputs);

// base_clock ÷ ((total ÷ day) × multiplier), evaluated in exactly that order.
double rate_divisor(std::int32_t base_clock, double total, double day, double multiplier);

} // namespace calc
