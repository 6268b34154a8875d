#pragma once

// The record of one controller action, from the runner's result and what
// the caller knew when it started: the window and the command line write
// the same record the same way.

#include "actionrunner.h"
#include "sendrecord.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>

namespace recorded {

struct ActionOrigin {
    QDateTime started;
    QString version;
    QString mount_file; // empty when none was open
    QString mount_name;
    std::int32_t base_clock = 0;
    std::optional<calc::CalcInput> computed_from; // the Calculate the values came from
};

// stable_device: the stable name of the device the port opened, if any;
// stop: why it ended.
files::SendRecord action_record(const rwlink::ActionResult &result, const ActionOrigin &origin,
                                const QDateTime &ended, const QString &stable_device,
                                const files::StopReason &stop);

} // namespace recorded
