#pragma once

// A single-shot wake-up at an instant of the steady clock, delivered by the
// event loop. Qt's timers count whole milliseconds from the moment they are
// started, and under the GLib event dispatcher they may ring up to a
// millisecond late besides; the pacing needs the instant at which the
// counter moves on. On Linux a timerfd armed with the absolute instant
// rings within microseconds of it; elsewhere a precise QTimer stands in,
// rounded up so that it never rings early.

#include <QObject>
#include <QTimer>

#include <chrono>

class QSocketNotifier;

namespace rwlink {

class Alarm : public QObject {
    Q_OBJECT

public:
    using TimePoint = std::chrono::steady_clock::time_point;

    explicit Alarm(QObject *parent = nullptr);
    ~Alarm() override;
    Alarm(const Alarm &) = delete;
    Alarm &operator=(const Alarm &) = delete;

    // Rings once at `when` (at once when it has passed); a new start
    // replaces the one pending.
    void start(TimePoint when);
    void stop();

signals:
    void rang();

private:
    void on_timer_fd();
    void ring();

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QTimer m_timer; // where there is no timerfd
    bool m_active = false;
};

} // namespace rwlink
