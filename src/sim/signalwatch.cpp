#include "signalwatch.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

volatile sig_atomic_t g_write_end = -1;

} // namespace

SignalWatch::SignalWatch(std::initializer_list<int> signal_numbers, QObject *parent)
    : QObject(parent)
{
    int ends[2];
    // Non-blocking, so a handler never waits on a full pipe.
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_read_end = ends[0];
    g_write_end = ends[1];
    struct sigaction action {};
    action.sa_handler = &SignalWatch::handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : signal_numbers)
        ::sigaction(number, &action, nullptr);
    m_notifier = new QSocketNotifier(m_read_end, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalWatch::on_readable);
}

SignalWatch::~SignalWatch()
{
    if (m_read_end < 0)
        return;
    const int write_end = g_write_end;
    g_write_end = -1;
    ::close(write_end);
    ::close(m_read_end);
}

void SignalWatch::handler(int signal_number)
{
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal_number);
    if (g_write_end >= 0) {
        // A full pipe already holds a byte that will wake the loop.
        const ssize_t written = ::write(g_write_end, &byte, 1);
        static_cast<void>(written);
    }
    errno = saved;
}

void SignalWatch::on_readable()
{
    unsigned char bytes[16];
    ssize_t n = 0;
    while ((n = ::read(m_read_end, bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < n; ++i)
            emit caught(bytes[i]);
    }
}
