#include "alarm.h"

#include <QSocketNotifier>

#include <cstdint>

#ifdef Q_OS_LINUX
#include <sys/timerfd.h>
#include <unistd.h>
#endif

namespace rwlink {

using namespace std::chrono;

Alarm::Alarm(QObject *parent) : QObject(parent)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Alarm::ring);
#ifdef Q_OS_LINUX
    // std::chrono::steady_clock is CLOCK_MONOTONIC.
    m_fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_fd >= 0) {
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &Alarm::on_timer_fd);
    }
#endif
}

Alarm::~Alarm()
{
#ifdef Q_OS_LINUX
    if (m_fd >= 0) {
        delete m_notifier;
        ::close(m_fd);
    }
#endif
}

void Alarm::start(TimePoint when)
{
    m_active = true;
#ifdef Q_OS_LINUX
    if (m_fd >= 0) {
        const auto since_epoch = duration_cast<nanoseconds>(when.time_since_epoch());
        // An it_value of zero would disarm the timer instead.
        const std::int64_t ns = std::max<std::int64_t>(since_epoch.count(), 1);
        itimerspec expiry{};
        expiry.it_value.tv_sec = static_cast<time_t>(ns / 1000000000);
        expiry.it_value.tv_nsec = static_cast<long>(ns % 1000000000);
        if (::timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &expiry, nullptr) == 0)
            return;
    }
#endif
    const auto left = when - steady_clock::now();
    m_timer.start(left > 0ns ? ceil<milliseconds>(left) : 0ms);
}

void Alarm::stop()
{
    m_active = false;
    m_timer.stop();
#ifdef Q_OS_LINUX
    if (m_fd >= 0) {
        const itimerspec disarmed{};
        ::timerfd_settime(m_fd, 0, &disarmed, nullptr);
        // An expiry already counted would otherwise ring after a restart.
        std::uint64_t expiries = 0;
        [[maybe_unused]] const ssize_t n = ::read(m_fd, &expiries, sizeof expiries);
    }
#endif
}

void Alarm::on_timer_fd()
{
#ifdef Q_OS_LINUX
    std::uint64_t expiries = 0;
    if (::read(m_fd, &expiries, sizeof expiries) != sizeof expiries)
        return; // nothing pending: the alarm was stopped or restarted meanwhile
    ring();
#endif
}

void Alarm::ring()
{
    if (!m_active)
        return;
    m_active = false;
    emit rang();
}

} // namespace rwlink
