#pragma once

// The window's view of the send checks: which boxes carry a value the
// controller cannot hold, why, and what would fix it, in the window's
// words. Form1 lists the values an action will send; this unit classifies
// them, words the marks' tooltips, and the refusal or the question shown
// before anything goes out.

#include "sendcheck.h"

#include <QString>

#include <cstdint>
#include <optional>
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

// The most serious problem of the value, Stale included; none for a value
// that can go as it is.
std::optional<SendIssue> check_send(const ValueToSend &value, const CalculatedClock &clock);

// Every value with a problem, in the order given.
std::vector<SendIssue> send_issues(const std::vector<ValueToSend> &values,
                                   const CalculatedClock &clock);

// The first line of a marked box's tooltip: what is wrong and what would
// fix it.
QString problem_text(const SendIssue &issue, const CalculatedClock &clock);

// The same problem of the same place with the same bytes on the wire: what
// the operator confirmed once needs no second question.
QString confirmed_key(const SendIssue &issue);

// The refusal when a value would break the frame.
QString refusal_text(const SendIssue &issue);

// The question before sending values with other problems: at most about
// ten places listed, then a count of the rest.
QString confirmation_text(const std::vector<SendIssue> &issues);

// The question when values changed during an action have problems the
// operator did not confirm at its start; written of planned commands sent.
QString paused_text(const std::vector<SendIssue> &issues, int written, int planned);

} // namespace app
