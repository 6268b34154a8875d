#include "actionrecord.h"

#include <algorithm>

namespace recorded {

files::SendRecord action_record(const rwlink::ActionResult &result, const ActionOrigin &origin,
                                const QDateTime &ended, const QString &stable_device,
                                const files::StopReason &stop)
{
    using Outcome = rwlink::ActionResult::Outcome;
    using Result = files::SendRecord::Result;
    files::SendRecord r;
    r.started = origin.started;
    // A clock set back during the action must not make its record look
    // contradictory, and so be passed over.
    r.ended = std::max(ended, origin.started);
    r.version = origin.version;
    r.port = result.port;
    r.device = result.device;
    r.stable_device = stable_device == result.device ? QString() : stable_device;
    r.mount_file = origin.mount_file;
    r.mount_name = origin.mount_name;
    r.base_clock = origin.base_clock;
    r.computed_from = origin.computed_from;
    r.commands = result.written;
    r.planned = result.commands_planned;
    switch (result.outcome) {
    case Outcome::Done:
        r.result = Result::Done;
        break;
    case Outcome::Cancelled:
        r.result = Result::Cancelled;
        break;
    case Outcome::Stopped:
        r.result = Result::Stopped;
        break;
    case Outcome::Failed:
        r.result = Result::Failed;
        break;
    }
    r.stop = stop;
    return r;
}

} // namespace recorded
