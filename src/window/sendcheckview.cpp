#include "sendcheckview.h"

#include "accuracytext.h"
#include "commands.h"
#include "names.h"

#include <QStringList>

namespace app {

std::optional<SendIssue> check_send(const ValueToSend &value, const CalculatedClock &clock)
{
    SendIssue issue{
        value,
        calc::check_value(value.kind, value.text.toStdString(), value.decimal_text.toStdString()),
        calc::SendProblem::Stale};
    if (issue.check.problem) {
        issue.problem = *issue.check.problem;
        return issue;
    }
    const bool stale = !clock.calculated || value.train_changed ||
                       (value.follows_clock && *clock.calculated != clock.selected);
    if (stale)
        return issue;
    return std::nullopt;
}

std::vector<SendIssue> send_issues(const std::vector<ValueToSend> &values,
                                   const CalculatedClock &clock)
{
    std::vector<SendIssue> issues;
    for (const ValueToSend &value : values) {
        if (auto issue = check_send(value, clock))
            issues.push_back(std::move(*issue));
    }
    return issues;
}

QString confirmed_key(const SendIssue &issue)
{
    return issue.value.place + QChar(0x1F) + QString::fromLatin1(calc::problem_key(issue.problem)) +
           QChar(0x1F) + core_text(issue.check.sent);
}

} // namespace app
