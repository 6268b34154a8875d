#include "sendvalues.h"

#include "accuracy.h"
#include "accuracytext.h"
#include "actions.h"
#include "alerts.h"
#include "names.h"

#include <QLineEdit>
#include <QVariant>

namespace app {

SendValues::SendValues(std::function<AxisBoxes(calc::Axis)> boxes, const std::int32_t &base_clock)
    : m_boxes(std::move(boxes)), m_base_clock(base_clock)
{
}

void SendValues::calculated(const calc::CalcInput &input, const calc::CalcOutput &output)
{
    m_input = input;
    m_output = output;
}

void SendValues::mark_all() const
{
    if (!m_input)
        return;
    for (int k = 0; k < calc::kRaBoxes; ++k)
        mark_entry(calc::Axis::Ra, k);
    for (int k = 0; k < calc::kTableRows; ++k)
        mark_entry(calc::Axis::Dec, k);
    mark_total(calc::Axis::Ra);
    mark_total(calc::Axis::Dec);
}

void SendValues::mark_entry(calc::Axis axis, int index) const
{
    if (!m_input)
        return;
    const AxisBoxes b = m_boxes(axis);
    const calc::EntryAccuracy measured = calc::entry_accuracy(
        m_base_clock, train_of(*m_input, axis), axis, index, b.hex[index]->text().toStdString());
    const QString accuracy = core_text(accuracy_tooltip(measured));
    const auto issue = check_send(entry(axis, index), clock());
    mark(b.hex[index], issue, accuracy);
    mark(b.decimal[index], issue, accuracy);
}

void SendValues::mark_total(calc::Axis axis) const
{
    if (!m_input)
        return;
    const AxisBoxes b = m_boxes(axis);
    const QString resolution = core_text(
        resolution_tooltip(calc::axis_accuracy(m_base_clock, train_of(*m_input, axis), axis, {})));
    const auto issue = check_send(total(axis, b.total_hex->text()), clock());
    mark(b.total, issue, resolution);
    mark(b.total_hex, issue, {});
}

void SendValues::mark(QLineEdit *box, const std::optional<SendIssue> &issue,
                      const QString &details) const
{
    const QString key = issue ? QLatin1String(calc::problem_key(issue->problem)) : QString();
    QString tip = details;
    if (issue)
        tip = problem_text(*issue, clock()) +
              (details.isEmpty() ? QString() : QStringLiteral("\n\n") + details);
    box->setToolTip(tip);
    if (box->property("sendProblem").toString() == key)
        return;
    box->setProperty("sendProblem", key);
    set_marked(box, issue.has_value());
}

CalculatedClock SendValues::clock() const
{
    CalculatedClock clock;
    if (m_input)
        clock.calculated = m_input->base_clock;
    clock.selected = m_base_clock;
    return clock;
}

ValueToSend SendValues::entry(calc::Axis axis, int index) const
{
    const AxisBoxes b = m_boxes(axis);
    ValueToSend value;
    value.place = core_text(axis_name(axis) + " " + entry_name(index));
    value.kind = index < calc::kTableRows ? calc::ValueKind::Row : calc::ValueKind::Rate;
    value.text = b.hex[index]->text();
    value.decimal_text = b.decimal[index]->text();
    if (m_output && train_changed(axis)) {
        const calc::AxisOutput &out = output_of(*m_output, axis);
        const std::string &put = index < calc::kTableRows
                                     ? out.hex_rows[index]
                                     : m_output->rates[index - calc::kTableRows].hex;
        value.train_changed = value.text == core_text(put);
    }
    return value;
}

ValueToSend SendValues::total(calc::Axis axis, const QString &hex_text) const
{
    ValueToSend value;
    value.place = core_text(axis_name(axis)) + QStringLiteral(" 総ステップ数");
    value.kind = calc::ValueKind::Total;
    value.text = hex_text;
    value.decimal_text = m_boxes(axis).total->text();
    value.follows_clock = false;
    if (m_output && train_changed(axis)) {
        const calc::AxisOutput &out = output_of(*m_output, axis);
        value.train_changed =
            value.decimal_text == core_text(out.total) && hex_text == core_text(out.total_hex);
    }
    return value;
}

bool SendValues::train_changed(calc::Axis axis) const
{
    if (!m_input)
        return false;
    const auto &boxes_now = m_boxes(axis).train;
    const calc::DriveTrainTexts &used = train_of(*m_input, axis);
    for (std::size_t i = 0; i < boxes_now.size(); ++i) {
        if (boxes_now[i]->text().toStdString() != used[i])
            return true;
    }
    return false;
}

std::vector<ValueToSend> SendValues::upload_from(calc::Axis axis, int index) const
{
    // In the upload's order: RA rows, DEC rows, RA total, DEC total.
    std::vector<ValueToSend> values;
    const bool rows = index != rwlink::UploadSource::kTotalIndex;
    if (rows && axis == calc::Axis::Ra) {
        for (int k = index; k < calc::kTableRows; ++k)
            values.push_back(entry(calc::Axis::Ra, k));
    }
    if (rows) {
        for (int k = axis == calc::Axis::Dec ? index : 0; k < calc::kTableRows; ++k)
            values.push_back(entry(calc::Axis::Dec, k));
    }
    if (rows || axis == calc::Axis::Ra)
        values.push_back(total(calc::Axis::Ra, m_boxes(calc::Axis::Ra).total_hex->text()));
    values.push_back(total(calc::Axis::Dec, m_boxes(calc::Axis::Dec).total_hex->text()));
    return values;
}

} // namespace app
