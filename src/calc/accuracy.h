#pragma once

// How close each speed the controller runs comes to the speed it was meant
// to have. A divisor is a whole number of base-clock ticks, so every entry is
// a little fast or slow; near the tracking rate that error becomes drift on
// the sky. The figures are taken from the four hex digits the controller will
// receive, so an edited hex box shows the accuracy of what would be sent.

#include "calculate.h"
#include "drivetrain.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace calc {

inline constexpr double kArcsecPerTurn = 1296000;
// Drift is only telling for speeds that track: rows from half to twice the
// sidereal rate, and the three tracking rates.
inline constexpr double kDriftMinMultiplier = 0.5;
inline constexpr double kDriftMaxMultiplier = 2;
// Largest values the controller's four- and six-digit fields can hold, plus one.
inline constexpr double kDivisorLimit = 65536;
inline constexpr double kTotalLimit = 16777216;

enum class Unrepresentable {
    DivisorTooLarge, // the calculated divisor needs more than four hex digits
    DivisorZero,     // the divisor is 0, calculated or sent: the timer cannot divide by it
    DivisorNegative, // the calculated divisor is negative (negative drive-train input)
    NotHexadecimal,  // the four characters sent are not all hexadecimal digits
};

// The name a reason goes by in the JSON report: "divisor_too_large",
// "divisor_zero", "divisor_negative", "not_hexadecimal".
std::string_view reason_key(Unrepresentable reason);

enum class FitChange {
    SlowClock,       // the 250 kHz base clock
    LargerMicrostep, // a larger microstep factor, at the same clock
};

// A setting under which the entry's divisor would fit four hex digits.
struct FitSuggestion {
    FitChange change = FitChange::SlowClock;
    std::int32_t base_clock = kClock250kHz;
    std::int64_t microstep = 0; // for LargerMicrostep: the smallest factor that fits
    std::int32_t divisor = 0;   // the divisor the entry would then get

    friend bool operator==(const FitSuggestion &, const FitSuggestion &) = default;
};

struct NotRepresentable {
    Unrepresentable reason = Unrepresentable::DivisorTooLarge;
    // The divisor at fault: the calculated one, or 0 for a sent 0000.
    double divisor = 0;
    std::optional<FitSuggestion> fit; // only for DivisorTooLarge, when a simple change fits
};

struct EntryAccuracy {
    Axis axis = Axis::Ra;
    int index = 0; // row 0–49, or kSolarRow + 0…2 for the RA tracking rates
    double day = kSiderealDay;
    double multiplier = 1;           // the row multiplier; 1 for the tracking rates
    double asked_hz = 0;             // the step frequency the entry stands for
    double calculated_divisor = 0;   // rounded, as the hex box was made from it
    std::string sent;                // the four characters the controller receives
    std::optional<double> got_hz;    // base clock ÷ the sent divisor, when it can be counted
    std::optional<double> error_ppm; // (got − asked) ÷ asked; positive is fast
    std::optional<double> drift_arcsec_per_hour; // positive runs ahead; tracking speeds only
    std::optional<NotRepresentable> problem;
};

struct AxisAccuracy {
    Axis axis = Axis::Ra;
    double total = 0;                   // microsteps per axis revolution
    double arcsec_per_step = 0;         // the axis resolution
    std::vector<EntryAccuracy> entries; // one per hex box, in box order
};

struct TableAccuracy {
    AxisAccuracy ra;  // rows 0–49, then solar, lunar, King
    AxisAccuracy dec; // rows 0–49
};

// The four bytes a hex box puts on the wire, as the upload builds them: the
// text turned into wire characters (wire_text), then the last four of
// "0000" followed by them (row_value).
std::string sent_digits(std::string_view hex_text);

// One entry from the drive-train texts of its axis and the text of its hex
// box. An index outside the axis's boxes throws std::out_of_range.
EntryAccuracy entry_accuracy(std::int32_t base_clock, const DriveTrainTexts &drive_train, Axis axis,
                             int index, std::string_view hex_text);

// Every entry of one axis from its current hex texts: the rows (up to 50),
// then for RA the rates (up to three), indexed from kSolarRow.
AxisAccuracy axis_accuracy(std::int32_t base_clock, const DriveTrainTexts &drive_train, Axis axis,
                           std::span<const std::string> row_hex,
                           std::span<const std::string> rate_hex = {});

// Both axes as a Calculate left them.
TableAccuracy accuracy_for(const CalcInput &input, const CalcOutput &output);

// Both axes from the hex texts as they stand now, edits included, at the
// clock in input.base_clock: that is the clock the upload will announce.
TableAccuracy accuracy_for(const CalcInput &input,
                           const std::array<std::string, kTableRows> &ra_hex_rows,
                           const std::array<std::string, kRateCount> &rate_hex,
                           const std::array<std::string, kTableRows> &dec_hex_rows);

} // namespace calc
