#include "accuracy.h"

#include "numbertext.h"
#include "sendcheck.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace calc {

namespace {

constexpr double kSecondsPerHour = 3600;
constexpr double kPpm = 1e6;
// The estimate is the floor of where the divisor crosses the limit, so the
// smallest fitting factor is one or two above it; a few steps absorb rounding.
constexpr int kFitSearchSteps = 4;
constexpr double kLargestMicrostep = 2147483647;

// The divisor a hex box is made from: the displayed value, rounded as the
// box rounds it. Values beyond 32 bits stay as shown; only their size matters.
double calculated_divisor(std::int32_t base_clock, double total, double day, double multiplier)
{
    const double divisor = rate_divisor(base_clock, total, day, multiplier);
    if (!std::isfinite(divisor))
        return divisor;
    const double shown = read_back(display_form(divisor));
    if (const auto rounded = round_to_int32(shown))
        return *rounded;
    return shown;
}

bool fits(double divisor)
{
    return divisor > 0 && divisor < kDivisorLimit;
}

// The six-digit total field takes the rounded displayed total.
bool total_fits(double total)
{
    const auto rounded = round_to_int32(read_back(display_form(total)));
    return rounded && *rounded >= 0 && *rounded < kTotalLimit;
}

bool is_hex_digit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

std::optional<std::int32_t> hex_value(std::string_view digits)
{
    std::int32_t value = 0;
    for (const char c : digits) {
        if (!is_hex_digit(c))
            return std::nullopt;
        const int nibble = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
        value = value * 16 + nibble;
    }
    return value;
}

int box_count(Axis axis)
{
    return axis == Axis::Ra ? kRaBoxes : kTableRows;
}

std::optional<FitSuggestion> fit_for(std::int32_t base_clock, const DriveTrainTexts &drive_train,
                                     double day, double multiplier)
{
    const double total = axis_total(drive_train);
    if (base_clock == kClock2MHz) {
        const double slow = calculated_divisor(kClock250kHz, total, day, multiplier);
        if (fits(slow))
            return FitSuggestion{FitChange::SlowClock, kClock250kHz, 0,
                                 static_cast<std::int32_t>(slow)};
    }

    // The divisor falls as the microstep factor grows; estimate the factor
    // that brings it below the limit, then settle it with the real pipeline.
    const double microstep = lenient_parse(drive_train[kMicrostep]);
    const double raw = rate_divisor(base_clock, total, day, multiplier);
    if (!(microstep > 0) || !std::isfinite(raw) || raw <= 0)
        return std::nullopt;
    const double estimate = std::floor(microstep * raw / (kDivisorLimit - 0.5));
    if (!(estimate < kLargestMicrostep))
        return std::nullopt;

    struct Trial {
        double total;
        double divisor;
    };
    auto trial = [&](std::int64_t factor) {
        DriveTrainTexts changed = drive_train;
        changed[kMicrostep] = std::to_string(factor);
        const double t = axis_total(changed);
        return Trial{t, calculated_divisor(base_clock, t, day, multiplier)};
    };
    auto factor = std::max<std::int64_t>(1, static_cast<std::int64_t>(estimate));
    for (int i = 0; i < kFitSearchSteps; ++i, ++factor) {
        const Trial t = trial(factor);
        if (!fits(t.divisor))
            continue;
        // A larger total only overflows its own six digits from here on.
        if (!total_fits(t.total))
            return std::nullopt;
        return FitSuggestion{FitChange::LargerMicrostep, base_clock, factor,
                             static_cast<std::int32_t>(t.divisor)};
    }
    return std::nullopt;
}

} // namespace

std::string sent_digits(std::string_view hex_text)
{
    return row_value<char>(wire_text(hex_text));
}

EntryAccuracy entry_accuracy(std::int32_t base_clock, const DriveTrainTexts &drive_train, Axis axis,
                             int index, std::string_view hex_text)
{
    if (index < 0 || index >= box_count(axis))
        throw std::out_of_range("accuracy entry " + std::to_string(index));

    EntryAccuracy e;
    e.axis = axis;
    e.index = index;
    if (index >= kSolarRow) {
        e.day = kRateDays[static_cast<std::size_t>(index - kSolarRow)];
        e.multiplier = 1;
    } else {
        e.day = kSiderealDay;
        e.multiplier = kRowMultipliers[static_cast<std::size_t>(index)];
    }
    const double total = axis_total(drive_train);
    e.asked_hz = (total / e.day) * e.multiplier;
    e.calculated_divisor = calculated_divisor(base_clock, total, e.day, e.multiplier);
    e.sent = sent_digits(hex_text);

    const auto sent_value = hex_value(e.sent);
    if (sent_value && *sent_value > 0)
        e.got_hz = static_cast<double>(base_clock) / *sent_value;

    const double divisor = e.calculated_divisor;
    // A zero divisor, calculated or sent, is the same fault: the timer cannot divide by it.
    const bool zero =
        divisor == 0 || (divisor > 0 && divisor < kDivisorLimit && sent_value && *sent_value == 0);
    if (divisor < 0)
        e.problem = NotRepresentable{Unrepresentable::DivisorNegative, divisor, std::nullopt};
    else if (zero)
        e.problem = NotRepresentable{Unrepresentable::DivisorZero, 0, std::nullopt};
    else if (!(divisor < kDivisorLimit)) // NaN included
        e.problem = NotRepresentable{Unrepresentable::DivisorTooLarge, divisor,
                                     fit_for(base_clock, drive_train, e.day, e.multiplier)};
    else if (!sent_value)
        e.problem = NotRepresentable{Unrepresentable::NotHexadecimal, divisor, std::nullopt};
    if (e.problem)
        return e;

    const double difference = *e.got_hz - e.asked_hz;
    e.error_ppm = difference / e.asked_hz * kPpm;
    const bool tracking = index >= kSolarRow || (e.multiplier >= kDriftMinMultiplier &&
                                                 e.multiplier <= kDriftMaxMultiplier);
    if (tracking)
        e.drift_arcsec_per_hour = difference * kSecondsPerHour / total * kArcsecPerTurn;
    return e;
}

AxisAccuracy axis_accuracy(std::int32_t base_clock, const DriveTrainTexts &drive_train, Axis axis,
                           std::span<const std::string> row_hex,
                           std::span<const std::string> rate_hex)
{
    AxisAccuracy a;
    a.axis = axis;
    a.total = axis_total(drive_train);
    a.arcsec_per_step = std::fabs(kArcsecPerTurn / a.total);
    a.entries.reserve(row_hex.size() + rate_hex.size());
    for (std::size_t i = 0; i < row_hex.size(); ++i)
        a.entries.push_back(
            entry_accuracy(base_clock, drive_train, axis, static_cast<int>(i), row_hex[i]));
    for (std::size_t k = 0; k < rate_hex.size(); ++k)
        a.entries.push_back(entry_accuracy(base_clock, drive_train, axis,
                                           kSolarRow + static_cast<int>(k), rate_hex[k]));
    return a;
}

TableAccuracy accuracy_for(const CalcInput &input, const CalcOutput &output)
{
    CalcInput at_output_clock = input;
    at_output_clock.base_clock = output.base_clock;
    std::array<std::string, kRateCount> rate_hex;
    for (std::size_t k = 0; k < rate_hex.size(); ++k)
        rate_hex[k] = output.rates[k].hex;
    return accuracy_for(at_output_clock, output.ra.hex_rows, rate_hex, output.dec.hex_rows);
}

TableAccuracy accuracy_for(const CalcInput &input,
                           const std::array<std::string, kTableRows> &ra_hex_rows,
                           const std::array<std::string, kRateCount> &rate_hex,
                           const std::array<std::string, kTableRows> &dec_hex_rows)
{
    return {axis_accuracy(input.base_clock, input.ra, Axis::Ra, ra_hex_rows, rate_hex),
            axis_accuracy(input.base_clock, input.dec, Axis::Dec, dec_hex_rows)};
}

std::string_view reason_key(Unrepresentable reason)
{
    switch (reason) {
    case Unrepresentable::DivisorTooLarge:
        return "divisor_too_large";
    case Unrepresentable::DivisorZero:
        return "divisor_zero";
    case Unrepresentable::DivisorNegative:
        return "divisor_negative";
    case Unrepresentable::NotHexadecimal:
        return "not_hexadecimal";
    }
    return {};
}

} // namespace calc
