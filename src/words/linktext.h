#pragma once

// The words for what the link reports: a port that failed while in use,
// and a total that cannot be sent.

#include "actionrunner.h"
#include "ports.h"
#include "seriallink.h"

#include <QString>

#include <optional>

namespace app {

// "ポート Com3 (/dev/ttyUSB0)", or "デバイス /dev/ttyUSB0" for a device
// opened by its path.
QString port_label(int port, const QString &device);

// What happened and what to do; empty when nothing failed.
QString link_failure_text(const std::optional<rwlink::LinkFailure> &failure);

// Why a failed action failed, for the window and the command line alike:
// the port that did not open (with what to do; for_command_line names the
// option), or else what the link reported once it was open.
QString action_failure_text(const rwlink::ActionResult &result, const rwlink::PortMap &map,
                            bool for_command_line);

// Why a total cannot be sent, in the window's words.
QString total_out_of_range_text(const QString &decimal_total_text);

} // namespace app
