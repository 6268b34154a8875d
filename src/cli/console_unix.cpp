#include "console.h"

#include <csignal>

#include <unistd.h>

namespace app {

bool stderr_is_terminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

void ignore_broken_pipes()
{
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace app
