#pragma once

// The process's standard streams, as the system keeps them.

namespace app {

// Whether standard error is a terminal: progress is then a bar redrawn in
// place, and one line per table otherwise.
bool stderr_is_terminal();

// A reader gone from a pipe becomes a write error, said and given status 6
// (see --help), instead of a silent death by SIGPIPE.
void ignore_broken_pipes();

} // namespace app
