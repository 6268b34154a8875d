#include "systemclock.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace rwlink {

struct SystemClock::Sleep {
    QEventLoop loop;
    bool woken = false;
};

SystemClock::SystemClock(std::int32_t first_tick) : m_offset_ms(first_tick - monotonic_ms()) {}

std::int64_t SystemClock::monotonic_ms()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::int32_t SystemClock::tick()
{
    // Keep the low 32 bits and read them as signed, as the counter would be.
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(monotonic_ms() + m_offset_ms));
}

bool SystemClock::sleep_ms(int ms)
{
    Sleep sleep;
    QTimer timer;
    // A coarse timer may fire up to 5 % early or late; the pacing needs the
    // deadline itself.
    timer.setTimerType(Qt::PreciseTimer);
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &sleep.loop, &QEventLoop::quit);
    timer.start(std::max(ms, 0));

    m_sleeps.push_back(&sleep);
    sleep.loop.exec();
    m_sleeps.erase(std::find(m_sleeps.begin(), m_sleeps.end(), &sleep));

    // QCoreApplication::exit() ends every running loop, and every later one
    // at once, while our timer is still pending.
    return sleep.woken || !timer.isActive();
}

void SystemClock::wake()
{
    for (Sleep *sleep : m_sleeps) {
        sleep->woken = true;
        sleep->loop.quit();
    }
}

} // namespace rwlink
