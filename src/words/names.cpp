#include "names.h"

#include "calculate.h"

#include <array>

namespace app {

std::string axis_name(calc::Axis axis)
{
    return axis == calc::Axis::Ra ? "赤経" : "赤緯";
}

std::string clock_caption(std::int32_t base_clock)
{
    return base_clock == calc::kClock2MHz ? "2 MHz" : "250 kHz";
}

std::string part_name(calc::DriveTrainField part)
{
    switch (part) {
    case calc::kWorm:
        return "ウォーム";
    case calc::kIntermediateGear:
        return "中間ギア";
    case calc::kMotor:
        return "モーター";
    case calc::kReductionGear:
        return "減速ギア";
    case calc::kMicrostep:
        return "ﾏｲｸﾛｽﾃｯﾌﾟ";
    }
    return {};
}

std::string rate_name(int rate)
{
    static constexpr std::array<const char *, calc::kRateCount> kRateNames = {"太陽時", "月時",
                                                                              "Kingslate"};
    return kRateNames.at(static_cast<std::size_t>(rate));
}

std::string entry_name(int index)
{
    if (index >= calc::kSolarRow)
        return rate_name(index - calc::kSolarRow);
    return "テーブル " + calc::row_number(index + 1);
}

} // namespace app
