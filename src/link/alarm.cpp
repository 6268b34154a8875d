#include "alarm.h"

#include "steadytimer.h"

#include <QSocketNotifier>

namespace rwlink {

using namespace std::chrono;

Alarm::Alarm(QObject *parent) : QObject(parent), m_fd(open_steady_timer())
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Alarm::ring);
    if (m_fd >= 0) {
        m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &Alarm::on_timer_fd);
    }
}

Alarm::~Alarm()
{
    if (m_fd >= 0) {
        delete m_notifier;
        close_steady_timer(m_fd);
    }
}

void Alarm::start(TimePoint when)
{
    m_active = true;
    if (m_fd >= 0 && arm_steady_timer(m_fd, when))
        return;
    const auto left = when - steady_clock::now();
    m_timer.start(left > 0ns ? ceil<milliseconds>(left) : 0ms);
}

void Alarm::stop()
{
    m_active = false;
    m_timer.stop();
    if (m_fd >= 0)
        disarm_steady_timer(m_fd);
}

void Alarm::on_timer_fd()
{
    if (!steady_timer_rang(m_fd))
        return; // nothing pending: the alarm was stopped or restarted meanwhile
    ring();
}

void Alarm::ring()
{
    if (!m_active)
        return;
    m_active = false;
    emit rang();
}

} // namespace rwlink
