#include "advicetext.h"

#include "names.h"

namespace app {

std::string advice_summary(const calc::Advice &advice)
{
    std::string text = "推奨: 基本クロック " + clock_caption(advice.base_clock) + "、" +
                       axis_name(calc::Axis::Ra) + " ﾏｲｸﾛｽﾃｯﾌﾟ " +
                       std::to_string(advice.ra_microstep) + "、" + axis_name(calc::Axis::Dec) +
                       " ﾏｲｸﾛｽﾃｯﾌﾟ " + std::to_string(advice.dec_microstep);
    if (advice.ra.front().cut)
        text += " (どの設定でも欄に収まらない値があります。ギア比を見直してください)";
    return text;
}

std::string driver_switch_note()
{
    return "ﾏｲｸﾛｽﾃｯﾌﾟはステッピングモーター ドライバーのスイッチで決まります。"
           "適用したら、ドライバーのスイッチも手で同じ値に合わせてください。";
}

} // namespace app
