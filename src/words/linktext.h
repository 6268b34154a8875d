#pragma once

// The words for what the link reports: a port that failed while in use,
// and a total that cannot be sent.

#include "seriallink.h"

#include <QString>

#include <optional>

namespace app {

// "ポート Com3 (/dev/ttyUSB0)", or "デバイス /dev/ttyUSB0" for a device
// opened by its path.
QString port_label(int port, const QString &device);

// What happened and what to do; empty when nothing failed.
QString link_failure_text(const std::optional<rwlink::LinkFailure> &failure);

// Why a total cannot be sent, in the window's words.
QString total_out_of_range_text(const QString &decimal_total_text);

} // namespace app
