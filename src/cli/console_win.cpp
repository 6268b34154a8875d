#include "console.h"

#include <cstdio>

#include <io.h>

namespace app {

bool stderr_is_terminal()
{
    return ::_isatty(::_fileno(stderr)) != 0;
}

// Windows has no SIGPIPE: a write to a closed pipe fails as any other.
void ignore_broken_pipes() {}

} // namespace app
