#include "calculate.h"

#include "numbertext.h"

#include <cmath>
#include <cstdio>
#include <optional>

namespace calc {

namespace {

// Steps of the Calculate order at which a failure can strike.
constexpr int kStepRaTotal = 2;
constexpr int kStepRaRates = 5;
constexpr int kStepRaRows = 6;
constexpr int kStepRaHex = 7;
constexpr int kStepRaTotalHex = 10;
constexpr int kStepDecTotal = 11;
constexpr int kStepDecRows = 14;
constexpr int kStepDecHex = 15;
constexpr int kStepDecTotalHex = 17;

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
        if (!ra_half() || !dec_half())
            return *m_failure;
        return std::move(m_out);
    }

private:
    bool fail(Axis axis, int step, FailureCause cause, int index = -1, std::string value = {})
    {
        m_failure = CalcFailure{axis, step, cause, index, std::move(value)};
        return false;
    }

    std::optional<double> total_of(Axis axis, const DriveTrainTexts &inputs, int step)
    {
        const double total = axis_total(inputs);
        if (!std::isfinite(total)) {
            fail(axis, step, FailureCause::TotalNotFinite);
            return std::nullopt;
        }
        return total;
    }

    // The first display form of a divisor, or a failure.
    bool divisor_text(Axis axis, int step, int index, double total, double day, double multiplier,
                      std::string &box)
    {
        const double divisor = rate_divisor(m_input.base_clock, total, day, multiplier);
        if (const auto cause = check_divisor(total, divisor))
            return fail(axis, step, *cause, index);
        box = display_form(divisor);
        return true;
    }

    bool hex4_box(Axis axis, int step, int index, const std::string &decimal, std::string &box)
    {
        auto hex = hex4_from_text(decimal);
        if (!hex)
            return fail(axis, step, FailureCause::NotInt32, index, decimal);
        box = std::move(*hex);
        return true;
    }

    bool hex6_box(Axis axis, int step, const std::string &decimal, std::string &box)
    {
        auto hex = hex6_from_text(decimal);
        if (!hex)
            return fail(axis, step, FailureCause::NotInt32, -1, decimal);
        box = std::move(*hex);
        return true;
    }

    bool ra_half()
    {
        const auto total = total_of(Axis::Ra, m_input.ra, kStepRaTotal);
        if (!total)
            return false;
        m_out.text2 = display_form(*total);
        m_out.text3 = display_form(floor_value(*total / kSiderealDay));

        for (int k = 0; k < kRateCount; ++k) {
            const int box = kSolarRow + k;
            if (!divisor_text(Axis::Ra, kStepRaRates, box, *total, kRateDays[k], 1.0,
                              m_out.text7[box]))
                return false;
        }
        for (int i = 0; i < kTableRows; ++i) {
            if (!divisor_text(Axis::Ra, kStepRaRows, i, *total, kSiderealDay, kRowMultipliers[i],
                              m_out.text7[i]))
                return false;
        }
        for (int i = 0; i < kRaBoxes; ++i) {
            if (!hex4_box(Axis::Ra, kStepRaHex, i, m_out.text7[i], m_out.text8[i]))
                return false;
        }
        for (int i = 0; i < kTableRows; ++i) {
            m_out.text7[i] = floored_text(m_out.text7[i]);
            m_out.speed_table.set_cell(SpeedTable::kRaColumn, i, m_out.text8[i]);
        }
        for (int i = kTableRows; i < kRaBoxes; ++i)
            m_out.text7[i] = floored_text(m_out.text7[i]);
        return hex6_box(Axis::Ra, kStepRaTotalHex, m_out.text2, m_out.text11);
    }

    bool dec_half()
    {
        const auto total = total_of(Axis::Dec, m_input.dec, kStepDecTotal);
        if (!total)
            return false;
        m_out.text5 = display_form(*total);
        m_out.text6 = display_form(floor_value(*total / kSiderealDay));

        for (int i = 0; i < kTableRows; ++i) {
            if (!divisor_text(Axis::Dec, kStepDecRows, i, *total, kSiderealDay, kRowMultipliers[i],
                              m_out.text9[i]))
                return false;
        }
        for (int i = 0; i < kTableRows; ++i) {
            if (!hex4_box(Axis::Dec, kStepDecHex, i, m_out.text9[i], m_out.text10[i]))
                return false;
            m_out.speed_table.set_cell(SpeedTable::kDecColumn, i, m_out.text10[i]);
        }
        for (int i = 0; i < kTableRows; ++i)
            m_out.text9[i] = floored_text(m_out.text9[i]);
        return hex6_box(Axis::Dec, kStepDecTotalHex, m_out.text5, m_out.text12);
    }

    const CalcInput &m_input;
    CalcOutput m_out;
    std::optional<CalcFailure> m_failure;
};

std::string place_of(const CalcFailure &f)
{
    static const char *const kRateNames[kRateCount] = {"太陽時", "月時", "Kingslate"};
    if (f.index < 0)
        return "総ステップ数";
    if (f.index >= kSolarRow)
        return std::string(kRateNames[f.index - kSolarRow]) + "の分周値";
    char row[16];
    std::snprintf(row, sizeof row, "%02d", f.index + 1);
    return std::string("テーブル ") + row + " の分周値";
}

} // namespace

CalcResult calculate(const CalcInput &input)
{
    return Calculation(input).run();
}

const char *axis_name(Axis axis)
{
    return axis == Axis::Ra ? "赤経" : "赤緯";
}

std::string failure_message(const CalcFailure &f)
{
    std::string axis = axis_name(f.axis);
    switch (f.cause) {
    case FailureCause::TotalNotFinite:
        return axis + ": 入力の積（総ステップ数）が数値の範囲を超えるか、数値になりません。"
                      "ウォーム・ギア比・モーター・ﾏｲｸﾛｽﾃｯﾌﾟの値を確かめてください。";
    case FailureCause::ZeroTotal:
        return axis + ": 総ステップ数が 0 のため分周値を計算できません。"
                      "空欄や数値でない入力欄がないか確かめてください。";
    case FailureCause::DivisorNotFinite:
        return axis + ": " + place_of(f) +
               "が大きすぎて計算できません（総ステップ数が小さすぎます）。";
    case FailureCause::NotInt32:
        return axis + ": " + place_of(f) + "（" + f.value.substr(f.value.starts_with(' ') ? 1 : 0) +
               "）が 32 ビット整数の範囲に収まりません。";
    }
    return axis;
}

} // namespace calc
