#include "stopsignals.h"

namespace rwlink {

// Windows ends a console program its own way; nothing here is caught.
struct StopSignals::Watch {};

StopSignals::StopSignals(std::function<void(int)>) {}
StopSignals::~StopSignals() = default;

int StopSignals::caught() const
{
    return 0;
}

} // namespace rwlink
