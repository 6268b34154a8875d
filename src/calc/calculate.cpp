#include "calculate.h"

#include "numbertext.h"

#include <cmath>
#include <optional>
#include <span>

namespace calc {

namespace {

// A divisor as the window would get it, or why it cannot be had.
std::optional<FailureCause> check_divisor(double total, double divisor)
{
    if (std::isfinite(divisor))
        return std::nullopt;
    return total == 0.0 ? FailureCause::ZeroTotal : FailureCause::DivisorNotFinite;
}

class Calculation {
public:
    explicit Calculation(const CalcInput &input) : m_input(input)
    {
        m_out.base_clock = input.base_clock;
    }

    CalcResult run()
    {
        if (!axis_half(Axis::Ra, m_input.ra, m_out.ra, m_out.rates) ||
            !axis_half(Axis::Dec, m_input.dec, m_out.dec, {}))
            return *m_failure;
        return std::move(m_out);
    }

private:
    bool fail(CalcStage stage, FailureCause cause, int index = -1, std::string value = {})
    {
        m_failure = CalcFailure{m_axis, stage, cause, index, std::move(value)};
        return false;
    }

    // The first display form of a divisor, or a failure.
    bool divisor_text(CalcStage stage, int index, double total, double day, double multiplier,
                      std::string &box)
    {
        const double divisor = rate_divisor(m_input.base_clock, total, day, multiplier);
        if (const auto cause = check_divisor(total, divisor))
            return fail(stage, *cause, index);
        box = display_form(divisor);
        return true;
    }

    bool hex4_box(int index, const std::string &decimal, std::string &box)
    {
        auto hex = hex4_from_text(decimal);
        if (!hex)
            return fail(CalcStage::HexDigits, FailureCause::NotInt32, index, decimal);
        box = std::move(*hex);
        return true;
    }

    // One axis in the window's order: total and reference, the rates (RA
    // only), the row divisors, every hex box, then the decimal boxes floored
    // and the total's six hex digits.
    bool axis_half(Axis axis, const DriveTrainTexts &inputs, AxisOutput &out,
                   std::span<RateOutput> rates)
    {
        m_axis = axis;
        const double total = axis_total(inputs);
        if (!std::isfinite(total))
            return fail(CalcStage::Total, FailureCause::TotalNotFinite);
        out.total = display_form(total);
        out.reference = display_form(floor_value(total / kSiderealDay));

        for (std::size_t k = 0; k < rates.size(); ++k) {
            if (!divisor_text(CalcStage::RateDivisors, kSolarRow + int(k), total, kRateDays[k], 1.0,
                              rates[k].decimal))
                return false;
        }
        for (int i = 0; i < kTableRows; ++i) {
            if (!divisor_text(CalcStage::RowDivisors, i, total, kSiderealDay, kRowMultipliers[i],
                              out.decimal_rows[i]))
                return false;
        }
        for (int i = 0; i < kTableRows; ++i) {
            if (!hex4_box(i, out.decimal_rows[i], out.hex_rows[i]))
                return false;
        }
        for (std::size_t k = 0; k < rates.size(); ++k) {
            if (!hex4_box(kSolarRow + int(k), rates[k].decimal, rates[k].hex))
                return false;
        }

        const int column = axis == Axis::Ra ? SpeedTable::kRaColumn : SpeedTable::kDecColumn;
        for (int i = 0; i < kTableRows; ++i) {
            out.decimal_rows[i] = floored_text(out.decimal_rows[i]);
            m_out.speed_table.set_cell(column, i, out.hex_rows[i]);
        }
        for (RateOutput &rate : rates)
            rate.decimal = floored_text(rate.decimal);

        auto total_hex = hex6_from_text(out.total);
        if (!total_hex)
            return fail(CalcStage::TotalHex, FailureCause::NotInt32, -1, out.total);
        out.total_hex = std::move(*total_hex);
        return true;
    }

    const CalcInput &m_input;
    CalcOutput m_out;
    Axis m_axis = Axis::Ra; // the half being calculated
    std::optional<CalcFailure> m_failure;
};

} // namespace

CalcResult calculate(const CalcInput &input)
{
    return Calculation(input).run();
}

} // namespace calc
