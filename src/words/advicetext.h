#pragma once

// The words of the accuracy advisor, shared by the 精度 dialog and
// --advise: the recommendation, and the reminder that the microstep factor
// is set on the driver, not by the program.

#include "advisor.h"

#include <string>

namespace app {

// "推奨: 基本クロック 2 MHz、赤経 ﾏｲｸﾛｽﾃｯﾌﾟ 8、赤緯 ﾏｲｸﾛｽﾃｯﾌﾟ 8"; when even the
// best RA candidate is cut, it says that nothing fits.
std::string advice_summary(const calc::Advice &advice);

// What 適用 cannot do: the driver's switches are set by hand.
std::string driver_switch_note();

} // namespace app
