#pragma once

// The command-line side of rw7300-speedtable: the calculator that runs
// without a display. The window opens only when none of these options is
// given.

#include "ports.h"

#include <QStringList>

namespace rwlink {
class Clock;
}

namespace app {

// True when the arguments ask for the command line rather than the window.
bool wants_command_line(int argc, const char *const *argv);

// Parses the arguments (the program name first) and runs the request:
// --calculate (with its listing and upload), --save-mount, --ports,
// --set-port or --clear-port, one of them per run.
// Exit status: one of exitstatus.h's table, or 128 and the signal that
// stopped an upload (SIGINT, SIGTERM). An upload paces on clock when given,
// otherwise on the system's millisecond counter; ports are looked for among
// devices.
int run_command_line(const QStringList &arguments, rwlink::Clock *clock = nullptr,
                     const rwlink::Devices &devices = rwlink::system_devices());

} // namespace app
