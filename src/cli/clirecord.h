#pragma once

// --history and --holds: the send record, and what a controller holds by it.

#include "options.h"
#include "ports.h"

namespace app {

int list_history(const Options &options);
int print_holds(const Options &options, const rwlink::Devices &devices);

} // namespace app
