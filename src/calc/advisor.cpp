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

std::vector<Candidate> ranked(Axis axis, const DriveTrainTexts &drive_train)
{
    std::vector<Candidate> all;
    all.reserve(kAdvisedClocks.size() * kAdvisedMicrosteps.size());
    DriveTrainTexts changed = drive_train;
    for (const std::int32_t clock : kAdvisedClocks) {
        for (const int factor : kAdvisedMicrosteps) {
            changed[kMicrostep] = std::to_string(factor);
            all.push_back(evaluate(axis, changed, clock));
        }
    }
    // Stable: equal candidates keep the 2 MHz one first.
    std::ranges::stable_sort(all, ranks_before);
    return all;
}

} // namespace

Candidate evaluate(Axis axis, const DriveTrainTexts &drive_train, std::int32_t base_clock)
{
    Candidate c;
    c.axis = axis;
    c.base_clock = base_clock;
    const double factor = lenient_parse(drive_train[kMicrostep]);
    c.microstep = std::isfinite(factor) && std::fabs(factor) < std::numeric_limits<int>::max()
                      ? static_cast<int>(std::lround(factor))
                      : 0;

    // The axis in RA's place: the rates are only made there, and RA's half
    // of Calculate runs first, so a failure is this axis's own.
    const CalcResult result = calculate(CalcInput{drive_train, drive_train, base_clock});
    const auto *out = std::get_if<CalcOutput>(&result);
    if (!out) {
        c.cut = true;
        return c;
    }
    const bool ra = axis == Axis::Ra;
    std::array<std::string, kRateCount> rate_hex;
    for (std::size_t k = 0; k < rate_hex.size(); ++k)
        rate_hex[k] = out->rates[k].hex;
    const AxisAccuracy accuracy =
        axis_accuracy(base_clock, drive_train, axis, out->ra.hex_rows,
                      ra ? std::span<const std::string>(rate_hex) : std::span<const std::string>());

    c.cut = !total_fits(out->ra.total);
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
    advice.ra = ranked(Axis::Ra, ra);
    advice.dec = ranked(Axis::Dec, dec);
    // RA tracks; DEC mostly holds still, so RA's best decides the shared clock.
    advice.base_clock = advice.ra.front().base_clock;
    advice.ra_microstep = advice.ra.front().microstep;
    const auto dec_best = std::ranges::find(advice.dec, advice.base_clock, &Candidate::base_clock);
    advice.dec_microstep = dec_best->microstep;
    return advice;
}

} // namespace calc
