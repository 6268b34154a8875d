#include "actions.h"
#include "ptyline.h"
#include "seriallink.h"
#include "systemclock.h"

#include <QTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <limits>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace rwlink;
using Steady = std::chrono::steady_clock;

namespace {

// Every box holds the same text; only the pacing is under test here.
class SameBoxes : public UploadSource {
public:
    QString combo_text() override { return "Com12"; }
    std::int32_t base_clock() override { return calc::kClock2MHz; }
    QString ra_row(int) override { return "57A7"; }
    QString dec_row(int) override { return "74DE"; }
    QString ra_total() override { return "EA6000"; }
    QString dec_total() override { return "AFC800"; }
    void ra_progress(int) override {}
    void dec_progress(int) override {}
};

double cpu_seconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The real clock, noting when each wait starts and ends. A wait starts with
// a reading that follows no sleep (a frame has just been written) and ends
// with the last reading before the next one starts.
class WatchedClock : public Clock {
public:
    std::int32_t tick() override
    {
        const auto now = Steady::now();
        if (!m_slept) {
            starts.push_back(now);
            ends.push_back(now);
        } else {
            ends.back() = now;
        }
        m_slept = false;
        return m_real.tick();
    }
    bool sleep_ms(int ms) override
    {
        m_slept = true;
        return m_real.sleep_ms(ms);
    }
    void wake() override { m_real.wake(); }

    std::vector<Steady::time_point> starts, ends;

private:
    SystemClock m_real;
    bool m_slept = false;
};

double milliseconds(Steady::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Stamps each frame as its closing "#" arrives, on a thread of its own so
// that the link's event loop has no say in the timing.
class Receiver {
public:
    Receiver(int fd, std::size_t frames) : m_frames(frames), m_thread([this, fd] { run(fd); }) {}
    ~Receiver() { finish(std::chrono::milliseconds(0)); }

    // Returns once every frame is in, or grace after the call.
    void finish(std::chrono::milliseconds grace)
    {
        m_deadline = (Steady::now() + grace).time_since_epoch().count();
        if (m_thread.joinable())
            m_thread.join();
    }

    std::vector<Steady::time_point> arrivals;

private:
    void run(int fd)
    {
        pollfd wanted{fd, POLLIN, 0};
        while (arrivals.size() < m_frames &&
               Steady::now().time_since_epoch().count() < m_deadline) {
            if (::poll(&wanted, 1, 20) <= 0)
                continue;
            char chunk[256];
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            const auto now = Steady::now();
            for (ssize_t i = 0; i < n; ++i) {
                if (chunk[i] != '#')
                    continue;
                if (m_in_frame)
                    arrivals.push_back(now);
                m_in_frame = !m_in_frame;
            }
        }
    }

    const std::size_t m_frames;
    std::atomic<Steady::rep> m_deadline = std::numeric_limits<Steady::rep>::max();
    bool m_in_frame = false;
    std::thread m_thread;
};

} // namespace

class tst_RealPace : public QObject {
    Q_OBJECT

private slots:
    void uploadAtRealPace();
};

void tst_RealPace::uploadAtRealPace()
{
    PtyLine line(12);
    QVERIFY(line.ok());
    WatchedClock clock;
    SerialLink link(clock);
    SameBoxes boxes;
    Receiver receiver(line.master(), 109);

    const double cpu_before = cpu_seconds();
    const auto start = Steady::now();
    const ActionResult result = upload(link, boxes);
    const auto took = Steady::now() - start;
    const double cpu = cpu_seconds() - cpu_before;
    receiver.finish(std::chrono::milliseconds(500));

    QVERIFY2(result.ok(), qPrintable(result.error_text));
    QCOMPARE(int(receiver.arrivals.size()), 109);

    // At the writer every pause is whole: each frame is written before its
    // wait starts, so the waits bound the gaps between writes from below.
    QCOMPARE(int(clock.starts.size()), 108);
    QCOMPARE(int(clock.ends.size()), 108);
    double shortest_wait = std::numeric_limits<double>::max();
    for (size_t i = 0; i < clock.starts.size(); ++i)
        shortest_wait = std::min(shortest_wait, milliseconds(clock.ends[i] - clock.starts[i]));

    std::vector<double> gaps;
    for (size_t i = 1; i < receiver.arrivals.size(); ++i)
        gaps.push_back(milliseconds(receiver.arrivals[i] - receiver.arrivals[i - 1]));
    std::sort(gaps.begin(), gaps.end());
    const double seconds = std::chrono::duration<double>(took).count();
    qInfo("upload %.3f s, CPU %.3f s; shortest wait %.3f ms; gaps at the reader min %.3f ms, "
          "median %.3f ms, max %.3f ms",
          seconds, cpu, shortest_wait, gaps.front(), gaps[gaps.size() / 2], gaps.back());
    QVERIFY2(shortest_wait >= 150.0, "a wait ended before 150 ms");
    // The reader is woken a little late now and then on a loaded machine,
    // which shortens the gap after it by as much; a gap short by more than
    // that, or short most of the time, is the writer's doing.
    QVERIFY2(gaps.front() >= 145.0, "two commands well under 150 ms apart");
    QVERIFY2(gaps[gaps.size() / 2] >= 150.0, "commands mostly under 150 ms apart");
    QVERIFY2(seconds < 16.6, "the waits overrun");
    // Polling the counter for 16 s would cost about as much CPU time.
    QVERIFY2(cpu < 1.5, "the waits keep the processor busy");
}

QTEST_GUILESS_MAIN(tst_RealPace)
#include "tst_realpace.moc"
