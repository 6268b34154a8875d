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

// A drift the ranking cannot see (a cut entry) comes after every figure.
constexpr std::int64_t kNoDrift = std::numeric_limits<std::int64_t>::max();
// Past this a tolerance takes in every drift there is.
constexpr double kToleranceCeiling = 1e9;

std::int64_t drift_steps(const std::optional<double> &drift)
{
    if (!drift || !std::isfinite(*drift))
        return kNoDrift;
    return std::llround(std::fabs(*drift) / kDriftStep);
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
    c.sidereal_ppm = accuracy.entries[kSiderealRow].error_ppm;
    if (c.sidereal_ppm)
        c.sidereal_drift = *c.sidereal_ppm * kDriftPerPpm;
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

std::vector<Candidate> ranked(std::vector<Candidate> candidates, std::int32_t clock_in_use,
                              double tolerance)
{
    std::int64_t best = kNoDrift;
    for (const Candidate &c : candidates) {
        if (!c.cut)
            best = std::min(best, drift_steps(c.sidereal_drift));
    }
    const std::int64_t window =
        std::llround(std::clamp(tolerance, 0.0, kToleranceCeiling) / kDriftStep);
    for (Candidate &c : candidates) {
        if (c.cut)
            c.standing = Standing::Cut;
        else if (drift_steps(c.sidereal_drift) - best <= window)
            c.standing = Standing::WithinTolerance;
        else
            c.standing = Standing::BeyondTolerance;
    }
    // Each tuple orders its better value first. Within the tolerance the
    // larger factor, which moves the motor more smoothly, comes before the
    // smaller drift; beyond it, the drift comes first.
    const auto key = [clock_in_use](const Candidate &c) {
        const bool smooth_first = c.standing == Standing::WithinTolerance;
        const std::int64_t drift = drift_steps(c.sidereal_drift);
        const std::int64_t finer = -static_cast<std::int64_t>(c.microstep);
        return std::tuple(c.standing, smooth_first ? finer : drift, smooth_first ? drift : finer,
                          c.base_clock != clock_in_use, c.base_clock != kClock2MHz);
    };
    std::ranges::stable_sort(candidates, {}, key);
    return candidates;
}

Advice advise(const DriveTrainTexts &ra, const DriveTrainTexts &dec, std::int32_t clock_in_use,
              double tolerance)
{
    Advice advice;
    advice.tolerance = tolerance;
    std::vector<Candidate> ra_all;
    std::vector<Candidate> dec_all;
    ra_all.reserve(kAdvisedClocks.size() * kAdvisedMicrosteps.size());
    dec_all.reserve(ra_all.capacity());
    DriveTrainTexts ra_train = ra;
    DriveTrainTexts dec_train = dec;
    for (const std::int32_t clock : kAdvisedClocks) {
        for (const int factor : kAdvisedMicrosteps) {
            ra_train[kMicrostep] = dec_train[kMicrostep] = std::to_string(factor);
            // Both axes in one Calculate, as the window would run them; only
            // when it stops is each axis calculated on its own.
            const CalcResult result = calculate(CalcInput{ra_train, dec_train, clock});
            if (const auto *out = std::get_if<CalcOutput>(&result)) {
                ra_all.push_back(named(Axis::Ra, ra_train, clock));
                fill_figures(ra_all.back(), ra_train, out->ra, &out->rates);
                dec_all.push_back(named(Axis::Dec, dec_train, clock));
                fill_figures(dec_all.back(), dec_train, out->dec, nullptr);
            } else {
                ra_all.push_back(evaluate(Axis::Ra, ra_train, clock));
                dec_all.push_back(evaluate(Axis::Dec, dec_train, clock));
            }
        }
    }
    // RA tracks; DEC mostly holds still, so RA's choice fixes the shared
    // clock and DEC is ranked at that clock, the other one after.
    advice.ra = ranked(std::move(ra_all), clock_in_use, tolerance);
    advice.base_clock = advice.ra.front().base_clock;
    advice.ra_microstep = advice.ra.front().microstep;
    const auto other =
        std::stable_partition(dec_all.begin(), dec_all.end(), [&](const Candidate &c) {
            return c.base_clock == advice.base_clock;
        });
    std::vector<Candidate> elsewhere =
        ranked(std::vector<Candidate>(other, dec_all.end()), clock_in_use, tolerance);
    dec_all.erase(other, dec_all.end());
    advice.dec = ranked(std::move(dec_all), clock_in_use, tolerance);
    advice.dec_microstep = advice.dec.front().microstep;
    for (Candidate &c : elsewhere)
        c.standing = Standing::OtherClock;
    advice.dec.insert(advice.dec.end(), elsewhere.begin(), elsewhere.end());

    advice.keeps_current = advice.base_clock == clock_in_use &&
                           lenient_parse(ra[kMicrostep]) == advice.ra_microstep &&
                           lenient_parse(dec[kMicrostep]) == advice.dec_microstep;
    return advice;
}

} // namespace calc
