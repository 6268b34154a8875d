#pragma once

// What each action will send, read from the boxes as they stand: checked
// before it goes, and marked on the boxes after each Calculate and edit (a
// frame and a tooltip saying the trouble, with the accuracy of what the
// box holds against the speeds the last Calculate made it for).

#include "axisboxes.h"
#include "sendcheckview.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace app {

class SendValues {
public:
    // base_clock: the clock option as it stands; it outlives this.
    SendValues(std::function<AxisBoxes(calc::Axis)> boxes, const std::int32_t &base_clock);

    // The last successful Calculate: what it was given and put into the boxes.
    void calculated(const calc::CalcInput &input, const calc::CalcOutput &output);
    bool any_calculated() const { return m_input.has_value(); }
    const std::optional<calc::CalcInput> &input() const { return m_input; }
    CalculatedClock clock() const;

    ValueToSend entry(calc::Axis axis, int index) const; // a row (0…49) or RA's rate (50…52)
    ValueToSend total(calc::Axis axis, const QString &hex_text) const;
    // In the upload's order, from a row (0…49) or the total
    // (rwlink::UploadSource::kTotalIndex) on.
    std::vector<ValueToSend> upload_from(calc::Axis axis, int index) const;

    // Nothing is marked before the first Calculate.
    void mark_all() const;
    void mark_entry(calc::Axis axis, int index) const;
    void mark_total(calc::Axis axis) const;

private:
    // The axis's drive-train boxes no longer hold what the last Calculate used.
    bool train_changed(calc::Axis axis) const;
    void mark(QLineEdit *box, const std::optional<SendIssue> &issue, const QString &details) const;

    std::function<AxisBoxes(calc::Axis)> m_boxes;
    const std::int32_t &m_base_clock;
    std::optional<calc::CalcInput> m_input;
    std::optional<calc::CalcOutput> m_output;
};

} // namespace app
