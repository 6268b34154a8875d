#pragma once

// The words for values the controller cannot take as they would go out, in
// one place for the window (a marked box's tooltip, the refusal, the
// questions before and during an action) and the command line's warnings.
// calc's send check finds the problem; the JSON report names it with
// calc::problem_key.

#include "commands.h"
#include "sendcheck.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

// One value as an action would send it.
struct ValueToSend {
    QString place; // "赤経 テーブル 01", "太陽時", "赤緯 総ステップ数"
    calc::ValueKind kind = calc::ValueKind::Row;
    QString text;              // the box that is sent
    QString decimal_text;      // the box it was calculated from
    bool follows_clock = true; // a divisor, made for one base clock; totals are not
    // Its axis's drive train was edited since the Calculate that put this
    // very text into the box (a text the operator typed is theirs).
    bool train_changed = false;
};

// What the window knows about the last Calculate.
struct CalculatedClock {
    std::optional<std::int32_t> calculated; // none before the first Calculate
    std::int32_t selected = 0;              // the clock option now
};

struct SendIssue {
    ValueToSend value;
    calc::SendCheck check;
    calc::SendProblem problem = calc::SendProblem::Stale;
};

// Where a send check looked: an entry by its index (as entry_name), or the
// axis total.
inline constexpr int kTotalPlace = -1;

// One line on a value the controller cannot take as it would go out: the
// axis and the place, what goes wrong and the bytes sent. decimal_text is
// the box the value was calculated from. Only for checks with a problem.
std::string send_problem_summary(calc::Axis axis, int place, const calc::SendCheck &check,
                                 std::string_view decimal_text);

// The first line of a marked box's tooltip: what is wrong and what would
// fix it.
QString problem_text(const SendIssue &issue, const CalculatedClock &clock);

// The refusal when a value would break the frame.
QString refusal_text(const SendIssue &issue);

// The question before sending values with other problems: at most about
// ten places listed, then a count of the rest.
QString confirmation_text(const std::vector<SendIssue> &issues);

// The question when values changed during an action have problems the
// operator did not confirm at its start; written of planned commands sent.
QString paused_text(const std::vector<SendIssue> &issues, int written, int planned);

} // namespace app
