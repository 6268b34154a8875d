#pragma once

// The controller actions behind the window's buttons, over a SerialLink:
//
//   upload      clock, "=SD", 50 RA rows, "=SD", 50 DEC rows, "=SD", "=NEW",
//               both totals, "&XNEW", "=SD"   (109 commands, 108 waits)
//   send_rate   "&RA05" + rate, "=NEW", "=SD"
//   send_total  "&XRA00"/"&XDEC00" + total recomputed from its decimal box, "=SD"
//
// The caller supplies the box texts; each is read when its command is built,
// so edits and calculations made during the waits go out with the rows not
// yet sent. An action stops at the first failure or cancellation, sends
// nothing more and leaves the port closed.

#include "drivetrain.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>

namespace rwlink {

class SerialLink;

// The pause after each command; the controller's only flow control.
inline constexpr std::chrono::milliseconds kCommandGap{150};

// What the upload reads from the window as it goes, and where it reports.
struct UploadSource {
    virtual ~UploadSource() = default;
    virtual QString combo_text() = 0;
    virtual std::int32_t base_clock() = 0;
    virtual QString ra_row(int i) = 0;  // hex box of RA row i (0…49)
    virtual QString dec_row(int i) = 0; // hex box of DEC row i (0…49)
    virtual QString ra_total() = 0;
    virtual QString dec_total() = 0;
    virtual void ra_progress(int rows_sent) = 0;
    virtual void dec_progress(int rows_sent) = 0;
};

struct ActionResult {
    enum class Outcome { Done, Cancelled, Failed };

    Outcome outcome = Outcome::Done;
    int commands_written = 0; // frames handed to the port (skipped ones not counted)
    QString failed_command;   // body being sent, or last sent, when the failure showed
    QString error_text;

    bool ok() const { return outcome == Outcome::Done; }
};

ActionResult upload(SerialLink &link, UploadSource &source);

ActionResult send_rate(SerialLink &link, const QString &combo_text,
                       const std::function<QString()> &rate_text);

// The decimal total is converted before the port is touched: a value beyond
// 32 bits fails with a message and sends nothing. Otherwise the six hex
// digits are written into the hex box (write_hex_box) and sent from there.
ActionResult send_total(SerialLink &link, const QString &combo_text, calc::Axis axis,
                        const std::function<QString()> &decimal_total_text,
                        const std::function<void(const QString &)> &write_hex_box);

} // namespace rwlink
