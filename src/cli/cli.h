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
// Exit status: 0 done, 1 malformed options, 2 the calculation failed or an
// upload was refused (a value the controller cannot take, without --force),
// 3 the listing could not be written, 4 the upload could not send every
// command, 5 the port assignments file could not be written (--set-port,
// --clear-port), 6 standard output could not be written (a full disk, a
// closed stream; said in one line on stderr), 7 the mount file of --mount
// could not be read or that of --save-mount not written (one line on
// stderr; nothing else is printed, written or sent), 130 or 143 an upload
// stopped by SIGINT or SIGTERM. An upload paces on clock when given,
// otherwise on the system's millisecond counter; ports are looked for among
// devices.
int run_command_line(const QStringList &arguments, rwlink::Clock *clock = nullptr,
                     const rwlink::Devices &devices = rwlink::system_devices());

} // namespace app
