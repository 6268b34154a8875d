#include "actionrunner.h"
#include "actions.h"
#include "ptyline.h"
#include "seriallink.h"
#include "systemclock.h"

#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace rwlink;
using Steady = std::chrono::steady_clock;

namespace {

constexpr int kCommands = 21;

double cpu_seconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double milliseconds(Steady::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

std::vector<double> sorted_gaps(const std::vector<Steady::time_point> &times)
{
    std::vector<double> gaps;
    for (size_t i = 1; i < times.size(); ++i)
        gaps.push_back(milliseconds(times[i] - times[i - 1]));
    std::sort(gaps.begin(), gaps.end());
    return gaps;
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
    void pacedAtRealPace();
};

// Twenty-one commands on the system's counter, about 3 s: every pause as the
// upload has them. The whole upload at the real pace is run by the check of
// make run without a display, through the program itself.
void tst_RealPace::pacedAtRealPace()
{
    PtyLine line(12);
    QVERIFY(line.ok());
    SystemClock clock;
    SerialLink link;
    ActionRunner runner(link, clock);
    // Stamped right after each write, at the writer.
    std::vector<Steady::time_point> writes;
    QObject::connect(&runner, &ActionRunner::progress, &runner,
                     [&writes] { writes.push_back(Steady::now()); });
    QSignalSpy finished(&runner, &ActionRunner::finished);
    Receiver receiver(line.master(), kCommands);
    Action action;
    for (int i = 0; i < kCommands; ++i)
        action.push_back({[] { return QStringLiteral("=SD"); }});

    const double cpu_before = cpu_seconds();
    QVERIFY(runner.start("Com12", std::move(action)));
    QVERIFY(finished.wait(10000));
    const double cpu = cpu_seconds() - cpu_before;
    receiver.finish(std::chrono::milliseconds(500));

    const auto result = finished.first().first().value<ActionResult>();
    QVERIFY(result.ok());
    QCOMPARE(int(writes.size()), kCommands);
    QCOMPARE(int(receiver.arrivals.size()), kCommands);

    const std::vector<double> at_writer = sorted_gaps(writes);
    const std::vector<double> at_reader = sorted_gaps(receiver.arrivals);
    const double seconds = milliseconds(writes.back() - writes.front()) / 1000;
    qInfo("%d commands in %.3f s, CPU %.3f s; gaps at the writer min %.3f ms, median %.3f ms, "
          "max %.3f ms; at the reader min %.3f ms, median %.3f ms, max %.3f ms",
          kCommands, seconds, cpu, at_writer.front(), at_writer[at_writer.size() / 2],
          at_writer.back(), at_reader.front(), at_reader[at_reader.size() / 2], at_reader.back());
    // Each command waits for the counter to move 151 steps past the reading
    // taken after the one before it, so no gap at the writer can be shorter
    // than 150 ms; aimed at the instant the counter moves, it is not much
    // longer either.
    QVERIFY2(at_writer.front() >= 150.0, "two writes under 150 ms apart");
    QVERIFY2(at_writer[at_writer.size() / 2] < 152.0, "the pauses overrun");
    // The reader is woken a little late now and then on a loaded machine,
    // which shortens the gap after it by as much; a gap short by more than
    // that, or short most of the time, is the writer's doing.
    QVERIFY2(at_reader.front() >= 145.0, "two commands well under 150 ms apart at the reader");
    QVERIFY2(at_reader[at_reader.size() / 2] >= 150.0, "commands mostly under 150 ms apart");
    // Polling the counter for 3 s would cost about as much CPU time.
    QVERIFY2(cpu < 0.3, "the pauses keep the processor busy");
}

QTEST_GUILESS_MAIN(tst_RealPace)
#include "tst_realpace.moc"
