#pragma once

// The words of the accuracy advisor, shared by the 精度 dialog and
// --advise: the recommendation, the rule it follows, what 「収まらない」
// means, and the reminder that the microstep factor is set on the driver,
// not by the program.

#include "advisor.h"

#include <string>

namespace app {

// "推奨: 基本クロック 2 MHz、赤経 ﾏｲｸﾛｽﾃｯﾌﾟ 8、赤緯 ﾏｲｸﾛｽﾃｯﾌﾟ 8", or that the
// setting in use is the one to keep; when even the best RA candidate is
// cut, it says that nothing fits.
std::string advice_summary(const calc::Advice &advice);

// How the tolerance decides, with its value.
std::string tolerance_rule(double tolerance);

// "許容内", "許容外", "収まらない", "別クロック": a candidate's standing in a
// table cell.
std::string standing_name(calc::Standing standing);

// The same as a heading over the rows that share it: the tolerance and the
// order within, or the clock that cannot be chosen.
std::string standing_heading(calc::Standing standing, const calc::Advice &advice,
                             std::int32_t base_clock);

// What 「収まらない」 means.
std::string cut_explanation();

// The driver's switches are set by hand.
std::string driver_switch_note();

// A drift in ″/h with two decimals: "1.31".
std::string drift_text(double arcsec_per_hour);

} // namespace app
