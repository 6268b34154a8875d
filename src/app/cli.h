#pragma once

// The command-line side of rw7300-speedtable: the calculator that runs
// without a display. The window opens only when none of these options is
// given.

#include <QStringList>

namespace app {

// True when the arguments ask for the command line rather than the window.
bool wants_command_line(int argc, const char *const *argv);

// Parses the arguments (the program name first) and runs the request.
// Exit status: 0 done, 1 malformed options, 2 the calculation failed.
int run_command_line(const QStringList &arguments);

} // namespace app
