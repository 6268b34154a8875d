#pragma once

// The words for what the calculation core reports as numbers: the failure
// of a Calculate, the accuracy tooltips of the window and the accuracy
// columns and warnings of the command-line report. The core names axes,
// places and causes by enums; only this unit turns them into text.

#include "accuracy.h"
#include "calculate.h"
#include "names.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace app {

// A one-line description of a failed Calculate naming the axis, the place
// and the cause.
std::string failure_message(const calc::CalcFailure &failure);

// One line on an entry that cannot be sent as calculated: the axis and the
// entry, the fault, and what setting would make it fit. Only for entries
// with a problem.
std::string problem_summary(const calc::EntryAccuracy &entry);

// A whole number as the messages write it: "70000", "-3"; past what
// doubles count exactly, the display form ("1.2E+20").
std::string integer_text(double value);

// Tooltip of a hex box: the row, the asked and the resulting rate, the error
// and the drift; or the problem summary and the rates.
std::string accuracy_tooltip(const calc::EntryAccuracy &entry);

// Tooltip of a total-steps box: seconds of arc per microstep.
std::string resolution_tooltip(const calc::AxisAccuracy &axis);

// Fixed-width ASCII columns for the command-line report.
std::string report_header();
std::string report_columns(const calc::EntryAccuracy &entry);

} // namespace app
