#pragma once

// The commands of the controller actions behind the window's buttons:
//
//   upload      clock, "=SD", 50 RA rows, "=SD", 50 DEC rows, "=SD", "=NEW",
//               both totals, "&XNEW", "=SD"   (109 commands, 108 pauses)
//   send_rate   "&RA05" + rate, "=NEW", "=SD"
//   send_total  "&XRA00"/"&XDEC00" + total recomputed from its decimal box, "=SD"
//
// Each command's body is built when it is due, from the texts the caller
// supplies at that moment, so edits and calculations made during the pauses
// go out with the rows not yet sent. An ActionRunner sends them.

#include "drivetrain.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace rwlink {

// Whether a command may go as it is about to be built.
enum class StepVerdict {
    Send,
    Hold, // wait, the port kept open, until the runner is resumed or cancelled
    Stop, // end the action before this command
};

// One command of an action.
struct ActionStep {
    std::function<QString()> body;      // built when the command is due
    std::function<void()> sent = [] {}; // after it is written, before the pause
    // Asked right before body(), with no event in between, so it judges the
    // very texts the body is built from.
    std::function<StepVerdict()> check = [] { return StepVerdict::Send; };
};
using Action = std::vector<ActionStep>;

// What the upload reads from the window as it goes, and where it reports.
struct UploadSource {
    virtual ~UploadSource() = default;
    virtual std::int32_t base_clock() = 0;
    virtual QString ra_row(int i) = 0;  // hex box of RA row i (0…49)
    virtual QString dec_row(int i) = 0; // hex box of DEC row i (0…49)
    virtual QString ra_total() = 0;
    virtual QString dec_total() = 0;
    virtual void ra_progress(int rows_sent) = 0;
    virtual void dec_progress(int rows_sent) = 0;
    // Whether the value of a row (index 0…49) or of the total (index
    // kTotalIndex) may go as the box now holds it.
    virtual StepVerdict check(calc::Axis /*axis*/, int /*index*/) { return StepVerdict::Send; }
    static constexpr int kTotalIndex = -1;
};

// The 109 commands of an upload; the source is read as they go out.
Action upload_action(const std::shared_ptr<UploadSource> &source);

Action rate_action(
    std::function<QString()> rate_text,
    std::function<StepVerdict()> check = [] { return StepVerdict::Send; });

// The decimal total is converted before anything is sent: a value beyond
// 32 bits gives nothing (the caller says why). Otherwise the six hex digits
// are written into the hex box (write_hex_box) when the first command is
// due, and sent from there.
// check judges the six digits before they are written and sent.
std::optional<Action> total_action(
    calc::Axis axis, const QString &decimal_total_text,
    std::function<void(const QString &)> write_hex_box,
    std::function<StepVerdict(const QString &)> check = [](const QString &) {
        return StepVerdict::Send;
    });

} // namespace rwlink
