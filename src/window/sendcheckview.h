#pragma once

// The window's view of the send checks: which boxes carry a value the
// controller cannot hold. Form1 lists the values an action will send; this
// unit classifies them; sendtext words the marks' tooltips and the refusal
// or the question shown before anything goes out.

#include "sendtext.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace app {

// The most serious problem of the value, Stale included; none for a value
// that can go as it is.
std::optional<SendIssue> check_send(const ValueToSend &value, const CalculatedClock &clock);

// Every value with a problem, in the order given.
std::vector<SendIssue> send_issues(const std::vector<ValueToSend> &values,
                                   const CalculatedClock &clock);

// The same problem of the same place with the same bytes on the wire: what
// the operator confirmed once needs no second question.
QString confirmed_key(const SendIssue &issue);

} // namespace app
