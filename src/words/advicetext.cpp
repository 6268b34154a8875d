#include "advicetext.h"

#include "names.h"

#include <charconv>

namespace app {

namespace {

std::string setting_text(const calc::Advice &advice)
{
    return "基本クロック " + clock_caption(advice.base_clock) + "、" + axis_name(calc::Axis::Ra) +
           " ﾏｲｸﾛｽﾃｯﾌﾟ " + std::to_string(advice.ra_microstep) + "、" + axis_name(calc::Axis::Dec) +
           " ﾏｲｸﾛｽﾃｯﾌﾟ " + std::to_string(advice.dec_microstep);
}

} // namespace

std::string drift_text(double arcsec_per_hour)
{
    // Not printf: the user's locale may write a decimal comma.
    char text[512]; // the largest double, written out in full
    const auto end =
        std::to_chars(text, text + sizeof text, arcsec_per_hour, std::chars_format::fixed, 2);
    return {text, end.ptr};
}

std::string advice_summary(const calc::Advice &advice)
{
    if (advice.ra.front().cut)
        return "推奨: " + setting_text(advice) +
               " (どの設定でも収まらない値があります。ギア比を見直してください)";
    if (advice.keeps_current)
        return "推奨: 今の設定のまま (" + setting_text(advice) + ")。変える必要はありません。";
    return "推奨: " + setting_text(advice);
}

std::string tolerance_rule(double tolerance)
{
    return "恒星時のずれが最良の設定から " + drift_text(tolerance) +
           "″/時 以内なら、ﾏｲｸﾛｽﾃｯﾌﾟの大きい (動きの滑らかな) 設定を選びます。";
}

std::string standing_name(calc::Standing standing)
{
    switch (standing) {
    case calc::Standing::WithinTolerance:
        return "許容内";
    case calc::Standing::BeyondTolerance:
        return "許容外";
    case calc::Standing::Cut:
        return "収まらない";
    case calc::Standing::OtherClock:
        return "別クロック";
    }
    return {};
}

std::string standing_heading(calc::Standing standing, const calc::Advice &advice,
                             std::int32_t base_clock)
{
    switch (standing) {
    case calc::Standing::WithinTolerance:
        return "ずれが最良から " + drift_text(advice.tolerance) + "″/時 以内: ﾏｲｸﾛｽﾃｯﾌﾟの大きい順";
    case calc::Standing::BeyondTolerance:
        return "ずれがそれより大きい: ずれの小さい順";
    case calc::Standing::Cut:
        return "収まらない: コントローラーが表を保持できません";
    case calc::Standing::OtherClock:
        return "基本クロック " + clock_caption(base_clock) + ": 両軸共通のクロックは" +
               axis_name(calc::Axis::Ra) + "で " + clock_caption(advice.base_clock) +
               " に決まるため選べません";
    }
    return {};
}

std::string cut_explanation()
{
    return "「収まらない」: 除数が FFFF を超えるか 0 以下、または総ステップが FFFFFF "
           "を超えるため、コントローラーがその表を保持できない設定です。";
}

std::string driver_switch_note()
{
    return "ﾏｲｸﾛｽﾃｯﾌﾟはステッピングモーター ドライバーのスイッチで決まります。"
           "変えるときは、ドライバーのスイッチも手で同じ値に合わせてください。";
}

} // namespace app
