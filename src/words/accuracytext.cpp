#include "accuracytext.h"

#include "commands.h"
#include "numbertext.h"

#include <cmath>
#include <cstdio>
#include <string_view>

namespace app {

namespace {

std::string format(const char *pattern, double value)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, pattern, value);
    return buf;
}

// A sign only where the rounded figure is not zero: "+24.1", "-0.96", "0.0".
std::string signed_fixed(double value, int decimals)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%+.*f", decimals, value);
    std::string text = buf;
    if (text.find_first_of("123456789") == std::string::npos)
        return text.substr(1);
    return text;
}

std::string hz_text(double hz)
{
    return format("%.4f", hz) + " Hz";
}

std::string trimmed_display(double value)
{
    const std::string text = calc::display_form(value);
    return text.starts_with(' ') ? text.substr(1) : text;
}

std::string pad_left(std::string text, std::size_t width)
{
    if (text.size() < width)
        text.insert(0, width - text.size(), ' ');
    return text;
}

std::string problem_text(const calc::EntryAccuracy &entry)
{
    const calc::NotRepresentable &p = *entry.problem;
    switch (p.reason) {
    case calc::Unrepresentable::DivisorTooLarge: {
        std::string text = "分周値 " + integer_text(p.divisor) +
                           " は 4 桁の16進数に収まりません（上位桁が失われます）。";
        if (!p.fit)
            return text + "基本クロックやﾏｲｸﾛｽﾃｯﾌﾟを変えるだけでは収まりません。"
                          "駆動系の値を確かめてください。";
        const std::string divisor = std::to_string(p.fit->divisor);
        if (p.fit->change == calc::FitChange::SlowClock)
            return text + clock_caption(p.fit->base_clock) + " の基本クロックにすると " + divisor +
                   " で収まります。";
        return text + "ﾏｲｸﾛｽﾃｯﾌﾟを " + std::to_string(p.fit->microstep) + " にすると " + divisor +
               " で収まります。";
    }
    case calc::Unrepresentable::DivisorZero:
        if (entry.calculated_divisor == 0)
            return "分周値が 0 に丸められます（速度が速すぎます）。"
                   "コントローラーは 0 で分周できません。";
        return "送られる分周値が 0000 です。コントローラーは 0 で分周できません。";
    case calc::Unrepresentable::DivisorNegative:
        return "分周値 " + integer_text(p.divisor) +
               " が負です。コントローラーは負の分周値を数えられません。"
               "入力の符号を確かめてください。";
    case calc::Unrepresentable::NotHexadecimal:
        return "送られる「" + entry.sent + "」は16進数ではありません。";
    }
    return {};
}

// The report is plain ASCII; anything else in an edited box shows as '?'.
std::string ascii(std::string_view text)
{
    std::string out;
    for (const char c : text)
        out.push_back(static_cast<unsigned char>(c) < 0x80 ? c : '?');
    return out;
}

std::string problem_note(const calc::EntryAccuracy &entry)
{
    const calc::NotRepresentable &p = *entry.problem;
    switch (p.reason) {
    case calc::Unrepresentable::DivisorTooLarge: {
        const std::string text = "divisor " + integer_text(p.divisor) + " > FFFF";
        if (!p.fit)
            return text + "; no simple fit";
        const std::string divisor = std::to_string(p.fit->divisor);
        if (p.fit->change == calc::FitChange::SlowClock)
            return text + "; " + clock_caption(p.fit->base_clock) + " gives " + divisor;
        return text + "; microstep " + std::to_string(p.fit->microstep) + " gives " + divisor;
    }
    case calc::Unrepresentable::DivisorZero:
        return "divisor 0";
    case calc::Unrepresentable::DivisorNegative:
        return "divisor " + integer_text(p.divisor) + " negative";
    case calc::Unrepresentable::NotHexadecimal:
        return "sends \"" + ascii(entry.sent) + "\": not hex";
    }
    return {};
}

// The axis and the entry: "赤経 テーブル 04".
std::string entry_head(const calc::EntryAccuracy &entry)
{
    return axis_name(entry.axis) + " " + entry_name(entry.index);
}

// Where a failure struck: the total or one entry's divisor.
std::string place_of(const calc::CalcFailure &f)
{
    if (f.index < 0)
        return "総ステップ数";
    return entry_name(f.index) + (f.index >= calc::kSolarRow ? "の分周値" : " の分周値");
}

} // namespace

std::string integer_text(double value)
{
    if (std::isfinite(value) && std::fabs(value) < 1e15)
        return format("%.0f", value);
    return calc::display_form(value).substr(value < 0 ? 0 : 1);
}

std::string failure_message(const calc::CalcFailure &f)
{
    std::string axis = axis_name(f.axis);
    switch (f.cause) {
    case calc::FailureCause::TotalNotFinite:
        return axis + ": 入力の積（総ステップ数）が数値の範囲を超えるか、数値になりません。"
                      "ウォーム・ギア比・モーター・ﾏｲｸﾛｽﾃｯﾌﾟの値を確かめてください。";
    case calc::FailureCause::ZeroTotal:
        return axis + ": 総ステップ数が 0 のため分周値を計算できません。"
                      "空欄や数値でない入力欄がないか確かめてください。";
    case calc::FailureCause::DivisorNotFinite:
        return axis + ": " + place_of(f) +
               "が大きすぎて計算できません（総ステップ数が小さすぎます）。";
    case calc::FailureCause::NotInt32:
        return axis + ": " + place_of(f) + "（" + f.value.substr(f.value.starts_with(' ') ? 1 : 0) +
               "）が 32 ビット整数の範囲に収まりません。";
    }
    return axis;
}

std::string problem_summary(const calc::EntryAccuracy &entry)
{
    return entry_head(entry) + ": " + problem_text(entry);
}

std::string accuracy_tooltip(const calc::EntryAccuracy &entry)
{
    std::string rates = "要求 " + hz_text(entry.asked_hz);
    if (entry.got_hz)
        rates += " → 実際 " + hz_text(*entry.got_hz);
    if (entry.problem)
        return problem_summary(entry) + "\n" + rates;

    std::string text = entry_head(entry);
    if (entry.index >= calc::kSolarRow)
        text += "の追尾速度";
    else
        text += "　倍率 " + trimmed_display(entry.multiplier) +
                (entry.multiplier == 1 ? "（恒星時）" : "");
    text += "\n" + rates + "\n誤差 " + signed_fixed(*entry.error_ppm, 1) + " ppm";
    if (entry.drift_arcsec_per_hour)
        text += "\nドリフト " + signed_fixed(*entry.drift_arcsec_per_hour, 2) + "″/時";
    return text;
}

std::string resolution_tooltip(const calc::AxisAccuracy &axis)
{
    return "分解能 " + format("%.4f", axis.arcsec_per_step) + "″/マイクロステップ（1 回転 " +
           trimmed_display(axis.total) + " マイクロステップ）";
}

std::string report_header()
{
    return pad_left("asked Hz", 12) + " " + pad_left("got Hz", 12) + " " + pad_left("ppm", 10) +
           " " + pad_left("drift\"/h", 9);
}

std::string report_columns(const calc::EntryAccuracy &entry)
{
    std::string line = pad_left(format("%.4f", entry.asked_hz), 12) + " " +
                       pad_left(entry.got_hz ? format("%.4f", *entry.got_hz) : "-", 12);
    if (entry.problem)
        return line + "  " + problem_note(entry);
    line += " " + pad_left(signed_fixed(*entry.error_ppm, 2), 10);
    if (entry.drift_arcsec_per_hour)
        line += " " + pad_left(signed_fixed(*entry.drift_arcsec_per_hour, 2), 9);
    return line;
}

} // namespace app
