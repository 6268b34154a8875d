#pragma once

// The Send button's upload, run from the command line.

#include "calculate.h"
#include "ports.h"

#include <QString>

#include <optional>

namespace rwlink {
class Clock;
}

namespace app {

struct UploadEnd {
    bool complete = false; // every command written
    int signal = 0;        // SIGINT or SIGTERM that stopped it, 0: none
};

// The mount file and drive trains the tables were calculated from, for the
// send record.
struct UploadMount {
    QString file; // empty: none
    QString name;
    std::optional<calc::CalcInput> computed_from; // what out was calculated from, for the record
};

// Sends the 109 commands of a calculation to port ("Com1" … "Com20", mapped
// as in the window, or a device path) at the controller's pace, reporting
// progress and the pace kept on stderr. Runs the application's event loop
// until the upload ends. Paces on clock when given, otherwise on the
// system's millisecond counter; port names lead among devices. SIGINT or
// SIGTERM stops it after the frame being written, closes the port and says
// how many commands went out. The upload's record is appended to the send
// record once the last frame is out; a record that cannot be written is
// said on stderr and changes nothing else.
UploadEnd upload_from_command_line(const calc::CalcOutput &out, const QString &port,
                                   rwlink::Clock *clock = nullptr,
                                   const rwlink::Devices &devices = rwlink::system_devices(),
                                   const UploadMount &mount = {});

} // namespace app
