#pragma once

// SIGINT, SIGTERM and SIGHUP while a controller action runs: the handler
// only notes the signal's number in a pipe; the event loop reads it between
// frames and calls stop, so a frame is never cut and the action ends the
// way the operator's 中止 ends it (the port drained and closed, its lock file
// gone, the record completed). The handlers before come back when it goes.
// Where the system has no such signals (Windows) it watches nothing.

#include <functional>
#include <memory>

namespace rwlink {

class StopSignals {
public:
    explicit StopSignals(std::function<void(int signal_number)> stop);
    ~StopSignals();
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

    // The first signal caught; 0: none.
    int caught() const;

    struct Watch;

private:
    std::unique_ptr<Watch> m_watch;
};

} // namespace rwlink
