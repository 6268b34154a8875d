#include "advisor.h"

#include "numbertext.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <string>
#include <tuple>

namespace calc {

namespace {

// A missing error (a cut entry) ranks after every figure.
std::int64_t rank_key(const std::optional<double> &ppm)
{
    if (!ppm || !std::isfinite(*ppm))
        return std::numeric_limits<std::int64_t>::max();
    return std::llround(std::fabs(*ppm) / kRankStep);
}

bool total_fits(const std::string &total_text)
{
    const auto rounded = round_to_int32(read_back(total_text));
    return rounded && *rounded >= 0 && *rounded < kTotalLimit;
}

Candidate named(Axis axis, const DriveTrainTexts &drive_train, std::int32_t base_clock)
{
    Candidate c;
    c.axis = axis;
    c.base_clock = base_clock;
    const double factor = lenient_parse(drive_train[kMicrostep]);
    c.microstep = std::isfinite(factor) && std::fabs(factor) < std::numeric_limits<int>::max()
                      ? static_cast<int>(std::lround(factor))
                      : 0;
    return c;
}

// The figures of one axis's half of a Calculate that went through; rates
// only for RA.
void fill_figures(Candidate &c, const DriveTrainTexts &drive_train, const AxisOutput &half,
                  const std::array<RateOutput, kRateCount> *rates)
{
    std::array<std::string, kRateCount> rate_hex;
    if (rates) {
        for (std::size_t k = 0; k < rate_hex.size(); ++k)
            rate_hex[k] = (*rates)[k].hex;
    }
    const AxisAccuracy accuracy = axis_accuracy(c.base_clock, drive_train, c.axis, half.hex_rows,
                                                rates ? std::span<const std::string>(rate_hex)
                                                      : std::span<const std::string>());

    c.cut = !total_fits(half.total);
    for (const EntryAccuracy &e : accuracy.entries) {
        c.cut = c.cut || e.problem.has_value();
        if (e.index < kTableRows)
            c.row_ppm[static_cast<std::size_t>(e.index)] = e.error_ppm;
        else
            c.rate_ppm[static_cast<std::size_t>(e.index - kSolarRow)] = e.error_ppm;
    }
    const EntryAccuracy &sidereal = accuracy.entries[kSiderealRow];
    c.sidereal_ppm = sidereal.error_ppm;
    c.sidereal_drift = sidereal.drift_arcsec_per_hour;
    for (int i = 0; i <= kLastRowTo2x; ++i) {
        const auto &ppm = c.row_ppm[static_cast<std::size_t>(i)];
        if (ppm && (!c.worst_ppm_to_2x || std::fabs(*ppm) > *c.worst_ppm_to_2x))
            c.worst_ppm_to_2x = std::fabs(*ppm);
    }
}

} // namespace

Candidate evaluate(Axis axis, const DriveTrainTexts &drive_train, std::int32_t base_clock)
{
    Candidate c = named(axis, drive_train, base_clock);
    // The axis in RA's place: the rates are only made there, and RA's half
    // of Calculate runs first, so a failure is this axis's own.
    const CalcResult result = calculate(CalcInput{drive_train, drive_train, base_clock});
    const auto *out = std::get_if<CalcOutput>(&result);
    if (!out) {
        c.cut = true;
        return c;
    }
    fill_figures(c, drive_train, out->ra, axis == Axis::Ra ? &out->rates : nullptr);
    return c;
}

bool ranks_before(const Candidate &a, const Candidate &b)
{
    // Each tuple orders its better value first; the larger factor moves more smoothly.
    return std::tuple(a.cut, rank_key(a.sidereal_ppm), rank_key(a.worst_ppm_to_2x), -a.microstep) <
           std::tuple(b.cut, rank_key(b.sidereal_ppm), rank_key(b.worst_ppm_to_2x), -b.microstep);
}

Advice advise(const DriveTrainTexts &ra, const DriveTrainTexts &dec)
{
    Advice advice;
    advice.ra.reserve(kAdvisedClocks.size() * kAdvisedMicrosteps.size());
    advice.dec.reserve(advice.ra.capacity());
    DriveTrainTexts ra_train = ra;
    DriveTrainTexts dec_train = dec;
    for (const std::int32_t clock : kAdvisedClocks) {
        for (const int factor : kAdvisedMicrosteps) {
            ra_train[kMicrostep] = dec_train[kMicrostep] = std::to_string(factor);
            // Both axes in one Calculate, as the window would run them; only
            // when it stops is each axis calculated on its own.
            const CalcResult result = calculate(CalcInput{ra_train, dec_train, clock});
            if (const auto *out = std::get_if<CalcOutput>(&result)) {
                advice.ra.push_back(named(Axis::Ra, ra_train, clock));
                fill_figures(advice.ra.back(), ra_train, out->ra, &out->rates);
                advice.dec.push_back(named(Axis::Dec, dec_train, clock));
                fill_figures(advice.dec.back(), dec_train, out->dec, nullptr);
            } else {
                advice.ra.push_back(evaluate(Axis::Ra, ra_train, clock));
                advice.dec.push_back(evaluate(Axis::Dec, dec_train, clock));
            }
        }
    }
    // Stable: equal candidates keep the 2 MHz one first.
    std::ranges::stable_sort(advice.ra, ranks_before);
    std::ranges::stable_sort(advice.dec, ranks_before);
    // RA tracks; DEC mostly holds still, so RA's best decides the shared clock.
    advice.base_clock = advice.ra.front().base_clock;
    advice.ra_microstep = advice.ra.front().microstep;
    const auto dec_best = std::ranges::find(advice.dec, advice.base_clock, &Candidate::base_clock);
    advice.dec_microstep = dec_best->microstep;
    return advice;
}

} // namespace calc
