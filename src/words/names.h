#pragma once

// The names the window and the command line give the axes, the base clocks,
// the drive-train parts and the tracking rates: each written here once, so a
// heading, a button, a tooltip and a report line cannot drift apart.

#include "commands.h"

#include <QString>

#include <cstdint>
#include <string>

namespace app {

// The core's UTF-8 text as the window and the command line show it.
inline QString core_text(const std::string &text)
{
    return QString::fromStdString(text);
}

// "赤経" or "赤緯".
std::string axis_name(calc::Axis axis);

// "2 MHz" or "250 kHz", as the clock option reads.
std::string clock_caption(std::int32_t base_clock);

// A drive-train box's heading: "ウォーム", "中間ギア", "モーター",
// "減速ギア", "ﾏｲｸﾛｽﾃｯﾌﾟ".
std::string part_name(calc::DriveTrainField part);

// A tracking rate by its number (0…2): "太陽時", "月時", "Kingslate", as
// its button reads.
std::string rate_name(int rate);

// An entry by its index: "テーブル 04" for a row, or the rate's name from
// calc::kSolarRow on.
std::string entry_name(int index);

} // namespace app
