#include "stopsignals.h"

#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace rwlink {

namespace {

constexpr std::array kSignals = {SIGINT, SIGTERM, SIGHUP};

volatile sig_atomic_t g_signal_pipe = -1;

void note_signal(int signal_number)
{
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal_number);
    // A full pipe already holds a byte that wakes the loop.
    const ssize_t written = ::write(g_signal_pipe, &byte, 1);
    static_cast<void>(written);
    errno = saved;
}

} // namespace

struct StopSignals::Watch {
    int read_end = -1;
    int caught = 0;
    std::unique_ptr<QSocketNotifier> notifier;
    std::array<struct sigaction, kSignals.size()> previous{};
};

StopSignals::StopSignals(std::function<void(int)> stop) : m_watch(std::make_unique<Watch>())
{
    int ends[2];
    if (g_signal_pipe >= 0 || ::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // one watch at a time
    Watch *watch = m_watch.get();
    watch->read_end = ends[0];
    g_signal_pipe = ends[1];
    watch->notifier = std::make_unique<QSocketNotifier>(watch->read_end, QSocketNotifier::Read);
    QObject::connect(watch->notifier.get(), &QSocketNotifier::activated, watch->notifier.get(),
                     [watch, stop = std::move(stop)] {
                         unsigned char byte = 0;
                         while (::read(watch->read_end, &byte, 1) == 1) {
                             if (watch->caught == 0)
                                 watch->caught = byte;
                         }
                         if (watch->caught != 0)
                             stop(watch->caught);
                     });
    struct sigaction action {};
    action.sa_handler = &note_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &action, &watch->previous[i]);
}

StopSignals::~StopSignals()
{
    if (m_watch->read_end < 0)
        return;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &m_watch->previous[i], nullptr);
    m_watch->notifier.reset();
    const int write_end = g_signal_pipe;
    g_signal_pipe = -1;
    ::close(write_end);
    ::close(m_watch->read_end);
}

int StopSignals::caught() const
{
    return m_watch->caught;
}

} // namespace rwlink
